// Numbered errors of the library, reported through the error library under
// this library's own module handle; the texts are the library's messages.
#pragma once

#include "events/quessa.h"
#include "platform/wintypes.h"
#include "utils/frame.h"

#include <type_traits>

namespace dravik {

// One report of error `number` with its inserts (wide strings for %s, 32-bit
// integers for %d), in the order its message expects them.
template <class... Inserts> void ReportError(UINT number, Inserts... inserts) {
    static_assert((std::is_scalar_v<Inserts> && ...),
                  "inserts are 32-bit integers and wide string pointers");
    ASVeskReportError4(OwnModule(), 0, nullptr, number, inserts...);
}

} // namespace dravik
