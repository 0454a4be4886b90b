// What the library reports: the calling thread's error information, and the
// numbered reports written to a private event file.
#pragma once

#include "events/quessa.h"
#include "platform/tests/registry_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace dravik::testing {

inline std::u16string ErrorMessage() {
    BSTR text = nullptr;
    if (ASGetErrorMsg(&text) != S_OK)
        return u"(no error information)";
    std::u16string message(text, SysStringLen(text));
    SysFreeString(text);
    return message;
}

// A private registry, and an event file that holds one line per report.
class ReportingRegistry : public olvani::testing::TempRegistry {
protected:
    void SetUp() override {
        TempRegistry::SetUp();
        setenv("OLVANI_EVENT_LOG", EventFile().c_str(), 1);
    }
    std::string EventFile() const { return dir_ + "/events.jsonl"; }
    // Reports made so far, one event line each.
    size_t Reports() const {
        const std::string events = ReadFile(EventFile());
        return static_cast<size_t>(std::count(events.begin(), events.end(), '\n'));
    }
};

} // namespace dravik::testing
