// Turns one entry's text into a HostEntry: the tags and the template step.
#pragma once

#include "bootp/bootp_message.h"
#include "bootp/hash_table.h"

// Results of ParseTag.
constexpr int kTagDone = 0;
constexpr int kTagEnd = -1;
constexpr int kTagSyntax = -2;
constexpr int kTagUnknownSymbol = -3;
constexpr int kTagBadIpAddress = -4;
constexpr int kTagBadHwAddress = -5;
constexpr int kTagBadSubnetMask = -6;
constexpr int kTagBadTimeOffset = -7;
constexpr int kTagBadVendorMagic = -8;
constexpr int kTagBadHwType = -9;

// 0: keep the entry; -1: drop it. A template (tc=) is looked up in
// `templates`, the tables of the read in progress.
int ParseEntry(HostEntry* entry, const char* text, const HostTables& templates);
// One field at *cursor (see the kTag codes).
int ParseTag(const char** cursor, HostEntry* entry, const HostTables& templates);
// tc=: fills the entry's unset fields from the named template entry.
void ApplyTemplate(HostEntry* entry, const char** cursor, const HostTables& templates);
