// Pings a host with the library and prints the result:
//   dravik_ping_driver HOST [LOOPS [INTERVAL_MS [TIMEOUT_MS [DATASIZE]]]]
// Exit status 0 when the host answered.
#include "platform/strings.h"
#include "utils/dravik.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 6) {
        std::fprintf(stderr, "usage: %s HOST [LOOPS [INTERVAL_MS [TIMEOUT_MS [DATASIZE]]]]\n",
                     argv[0]);
        return 2;
    }
    long values[] = {4, 1000, 1000, 32}; // loops, interval, timeout, datasize
    for (int i = 2; i < argc; ++i)
        values[i - 2] = std::strtol(argv[i], nullptr, 10);
    const std::u16string host = olvani::Utf8ToUtf16(argv[1]);
    const LONG result =
        ASPingHost(host.c_str(), static_cast<LONG>(values[1]), static_cast<LONG>(values[0]),
                   static_cast<LONG>(values[2]), static_cast<LONG>(values[3]));
    std::printf("result %ld\n", static_cast<long>(result));
    return result == 0 ? 0 : 1;
}
