// Loads the library and prints what one export answers, in hex.
#include "utils/dravik.h"

#include <cstdio>

int main() {
    std::printf("result %08x\n", static_cast<unsigned>(ASVeskIsValidNumber(u"1", 0x409)));
    return 0;
}
