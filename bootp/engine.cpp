#include "bootp/engine.h"

BootpEngine::~BootpEngine() {
    CloseServerSocket(socket);
    FreeHashTable(tables);
}
