#include "utils/report.h"

#include "platform/debugout.h"
#include "utils/frame.h"

#include <string>

namespace dravik {

// Until the error library is linked, a report is one debugger line naming
// the error number; its inserts stay in the trace lines written beside it.
void ReportErrorArgs(UINT number, ...) {
    (void)OwnModule();
    OutputDebugStringA(("dravik: error " + std::to_string(number) + "\n").c_str());
}

} // namespace dravik
