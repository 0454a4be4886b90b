#include "utils/report.h"

#include "utils/frame.h"

#include <cstdarg>

namespace dravik {

void ReportErrorArgs(UINT number, ...) {
    (void)number;
    (void)OwnModule();
}

} // namespace dravik
