// Where the document's messages reach the operator in the windowed server:
// each in its own message box, in order, as the document's operations
// always told them.
#pragma once

#include "server/core/doc_result.h"

namespace korrind {

// Shows every message of `said` ("Korrind Application", OK, exclamation
// mark); returns its result.
int ShowDocResult(const DocResult& said);

} // namespace korrind
