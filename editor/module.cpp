// The editor's registration with the trace library.
#include "trace/client/module_trace.h"

ModuleTraceObject g_moduleTrace(u"BootpSettings");
