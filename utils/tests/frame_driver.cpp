// Loads the library and prints what one export answers, in hex: a number
// check, or with "put-nulls" a registry write with neither key nor name.
#include "utils/dravik.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    const bool putNulls = argc > 1 && std::strcmp(argv[1], "put-nulls") == 0;
    const HRESULT hr =
        putNulls ? ASVeskPutStringKeyInRegistry(HKEY_LOCAL_MACHINE, nullptr, nullptr, u"v")
                 : ASVeskIsValidNumber(u"1", 0x409);
    std::printf("result %08x\n", static_cast<unsigned>(hr));
    return 0;
}
