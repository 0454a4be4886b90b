#include "server/dialogs/ip_address_field.h"

#include "server/dialogs/address_rules.h"
#include "server/dialogs/ip_address_edit.h"

int IpAddressField::SetText(const std::string& dotted) {
    auto bytes = korrind::ParseDottedAddress(dotted);
    if (!bytes || !control_)
        return 0;
    control_->SetAddress(*bytes);
    return 1;
}

int IpAddressField::GetText(std::string* text) const {
    korrind::AddressBytes bytes{};
    int filled = control_ ? control_->GetAddress(&bytes) : 0;
    if (text)
        *text = filled == 4 ? korrind::FormatDottedAddress(bytes) : std::string();
    return filled;
}

int IpAddressField::IsBlank() const {
    return !control_ || control_->IsBlank() ? 1 : 0;
}

int IpAddressField::Accept(int asMask) {
    std::string text;
    if (GetText(&text) < 4)
        return 0;
    if (asMask == 1 && !korrind::IsContiguousMask(korrind::DottedAddressNumber(text)))
        return 0;
    accepted_ = text;
    return 1;
}
