// Validation of number texts in a locale's form or the neutral form
// ("-1,234.5"), kept apart from the exports so that it can be exercised on
// any input.
#pragma once

#include "platform/nls.h"

#include <string_view>

namespace dravik {

// The neutral form: "-" and "+", group separator ",", decimal separator ".".
const olvani::NumberSymbols& NeutralNumberSymbols();

// S_OK for a number text, DRAVIK_E_INVALID_NUMBER for any other text,
// E_INVALIDARG for an empty one. Group sizes are checked only in the locale
// form. An exponent ("E", "E+", "E-") must be followed by digits alone.
HRESULT ValidateNumberText(std::u16string_view text, const olvani::NumberSymbols& symbols,
                           bool localeForm);

} // namespace dravik
