// Any text in any form is either a number or refused with a code, and a
// number holds nothing but digits, separators, one leading sign and an
// exponent.
#include "utils/dravik.h"
#include "utils/number_text.h"

#include <cstdlib>
#include <string>

namespace {

bool OnlyNumberCharacters(std::u16string_view text, const olvani::NumberSymbols& symbols) {
    for (char16_t c : text) {
        const std::u16string_view one(&c, 1);
        const bool allowed = (c >= u'0' && c <= u'9') || c == u'e' || c == u'E' || c == u'+' ||
                             c == u'-' || symbols.decimal.find(one) != std::u16string::npos ||
                             symbols.group.find(one) != std::u16string::npos ||
                             symbols.negativeSign.find(one) != std::u16string::npos ||
                             symbols.positiveSign.find(one) != std::u16string::npos;
        if (!allowed)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    static const LCID kLocales[] = {0x409, 0x407, 0x40c, 0x4009, 0x41d, 0x401};
    const bool localeForm = data[0] & 0x80;
    const olvani::NumberSymbols* symbols = localeForm
                                               ? olvani::LocaleNumberSymbols(kLocales[data[0] % 6])
                                               : &dravik::NeutralNumberSymbols();
    if (!symbols)
        abort();
    // Mostly ASCII, with the odd wide unit so that every separator turns up.
    std::u16string text;
    for (size_t i = 1; i < size; ++i)
        text += data[i] < 0xF0 ? static_cast<char16_t>(data[i])
                               : static_cast<char16_t>(0x2000 + (data[i] & 0x0F) * 0x20 + 0x0F);
    const HRESULT hr = dravik::ValidateNumberText(text, *symbols, localeForm);
    if (hr != S_OK && hr != DRAVIK_E_INVALID_NUMBER && hr != E_INVALIDARG)
        abort();
    if ((hr == E_INVALIDARG) != text.empty())
        abort();
    if (hr == S_OK && !OnlyNumberCharacters(text, *symbols))
        abort();
    return 0;
}
