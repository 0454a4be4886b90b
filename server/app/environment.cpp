#include "environment.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/auxv.h>
#include <vector>

extern char** environ;

namespace korrind {
namespace {

// What a caller may still choose for a program running with more rights:
// how text, numbers and times are shown.
bool Harmless(const std::string& name) {
    return name == "LANG" || name == "LANGUAGE" || name == "TZ" || name.rfind("LC_", 0) == 0;
}

void KeepOnlyHarmless() {
    std::vector<std::string> names;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        std::string name(*entry,
                         equals ? static_cast<size_t>(equals - *entry) : std::strlen(*entry));
        if (!Harmless(name))
            names.push_back(std::move(name));
    }
    for (const std::string& name : names)
        ::unsetenv(name.c_str());
    ::setenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin", 1);
}

} // namespace

bool SecureExecution() {
    return ::getauxval(AT_SECURE) != 0;
}

void PrepareEnvironment() {
    if (!SecureExecution())
        return;
    KeepOnlyHarmless();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

} // namespace korrind
