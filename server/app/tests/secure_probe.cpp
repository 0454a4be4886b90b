// Prints what korrind takes from its environment once start-up has prepared
// it: the tests run copies of this program with and without a capability.
#include "platform/debugout.h"
#include "platform/registry.h"
#include "server/app/environment.h"

#include <cstdio>

extern char** environ;

int main() {
    // The platform layer on its own first, then korrind's preparation.
    std::printf("secure %d\n", korrind::SecureExecution());
    std::printf("registry %s\n", olvani::RegistryDirectory());
    std::fflush(stdout);
    OutputDebugStringA("probe debug output");
    korrind::PrepareEnvironment();
    for (char** entry = environ; *entry != nullptr; ++entry)
        std::printf("env %s\n", *entry);
    return 0;
}
