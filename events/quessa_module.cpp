// Quessa's trace object: the library registers with the trace library under
// the event component's name, which is what TraceKey lists select it by.
#include "trace/client/module_trace.h"

ModuleTraceObject g_moduleTrace(u"VeskEvents");
