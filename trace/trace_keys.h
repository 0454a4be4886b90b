// The module key list from the TraceKey setting and the module filter built
// on it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morvale {

constexpr size_t kMaxTraceKeys = 50;

class TraceKeyList {
public:
    // TraceParseKeys: splits at commas, blanks and line feeds (runs count as
    // one) and keeps the first kMaxTraceKeys names. Replaces the list. Throws
    // only when memory runs out.
    void Parse(std::u16string_view text);
    void Clear() { keys_.clear(); }
    const std::vector<std::u16string>& Keys() const { return keys_; }

    // Whether a module of this name is traced: listed names (and "TRACE")
    // pass, unless a leading "*" turns the list into an exclusion list.
    bool Selects(std::u16string_view moduleName) const;

private:
    std::vector<std::u16string> keys_;
};

// Case-insensitive comparison of whole names, folding A-Z only, as the C
// locale does.
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);

} // namespace morvale
