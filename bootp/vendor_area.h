// The reply's 64-byte vendor area in the RFC 1048 format: the magic cookie,
// the entry's options in a fixed order as far as they fit, and the end
// option when a byte is left.
#pragma once

#include "bootp/bootp_message.h"

#include <cstdint>

// Fills `vend` of `packet` (bytes 4 to 63 of the area must be zero) from
// `entry`. `fileSize` is the resolved boot file's size in bytes, or 1 when
// no file was resolved; `autoTimeOffset` the seconds sent for `to=auto`.
void FillVendorArea(uint8_t* packet, const HostEntry* entry, uint32_t fileSize,
                    int32_t autoTimeOffset);
