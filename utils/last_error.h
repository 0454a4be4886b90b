// The thread's last system error (errno on this platform) as the library's
// exports turn it into a result and a numbered error report.
#pragma once

#include "platform/wintypes.h"

namespace dravik {

// 0 when errno is 0, else errno folded into the system error facility.
HRESULT LastErrorResult();

// Reports error `number` with the subject (service, account or path), errno
// and its text, then returns LastErrorResult() for that errno.
HRESULT ReportLastError(UINT number, const char16_t* subject);

} // namespace dravik
