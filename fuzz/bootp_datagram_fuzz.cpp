// Hands the engine arbitrary datagrams as if received: length checks, table
// lookups by hardware and IP address, boot file resolution and the reply.
#include "bootp/app_interface.h"
#include "bootp/bootptab_reader.h"
#include "bootp/hash_table.h"
#include "bootp/server.h"
#include "bootp/table_paths.h"
#include "tests/support/recording_application.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

struct QuietApplication : olvani_test::RecordingApplication {
    QuietApplication() : RecordingApplication(false) {}
};

bool Setup(BootpEngine& engine) {
    char dir[] = "/tmp/bootp-fuzz.XXXXXX";
    if (mkdtemp(dir) == nullptr)
        std::abort();
    std::string table = std::string(dir) + "/bootptab";
    std::ofstream(table) << "lab1:ht=1:ha=02000a0b0c0d:ip=10.0.0.5:sm=255.255.255.0:gw=10.0.0.1:"
                            "hn:bs=auto:to=-18000:T145=64:bf=boot:hd=/tmp:\n"
                            "lab2:ht=6:ha=02000a0b0c0e:ip=10.0.0.6:ds=10.0.0.2 10.0.0.3:\n"
                            "lab3:ht=2:ha=07:ip=10.0.0.7:\n";
    SetTablePath(engine, table);
    bool read = CreateHostTables(engine.tables) && ReadHostTable(engine) == 0;
    // A table file that has gone leaves the tables as they were read.
    std::remove(table.c_str());
    rmdir(dir);
    return read;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static BootpEngine engine;
    static const bool ready = Setup(engine);
    static QuietApplication application;
    if (ready)
        ProcessDatagram(engine, application, data, size);
    return 0;
}
