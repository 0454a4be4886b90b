#include "trace/trace_keys.h"

#include <algorithm>

namespace morvale {
namespace {

bool IsSeparator(char16_t c) {
    return c == u',' || c == u' ' || c == u'\n';
}

char16_t Fold(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

} // namespace

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

void TraceKeyList::Parse(std::u16string_view text) {
    keys_.clear();
    size_t i = 0;
    while (i < text.size() && keys_.size() < kMaxTraceKeys) {
        while (i < text.size() && IsSeparator(text[i]))
            ++i;
        size_t start = i;
        while (i < text.size() && !IsSeparator(text[i]))
            ++i;
        if (i > start)
            keys_.emplace_back(text.substr(start, i - start));
    }
}

bool TraceKeyList::Selects(std::u16string_view moduleName) const {
    bool invert = !keys_.empty() && keys_.front() == u"*";
    bool listed = EqualsIgnoreCase(moduleName, u"TRACE") ||
                  std::any_of(keys_.begin(), keys_.end(), [&](const std::u16string& key) {
                      return EqualsIgnoreCase(moduleName, key);
                  });
    return invert != listed;
}

} // namespace morvale
