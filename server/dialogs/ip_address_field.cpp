#include "server/dialogs/ip_address_field.h"

#include "server/dialogs/ip_address_edit.h"

int IpAddressField::SetText(const std::string& dotted) {
    auto bytes = korrind::ParseDottedAddress(dotted);
    if (!bytes || !control_)
        return 0;
    control_->SetAddress(*bytes);
    return 1;
}

korrind::AddressInput IpAddressField::Input() const {
    korrind::AddressInput input;
    if (control_)
        input.filled = control_->GetAddress(&input.bytes);
    return input;
}

int IpAddressField::GetText(std::string* text) const {
    korrind::AddressInput input = Input();
    if (text)
        *text = input.filled == 4 ? korrind::FormatDottedAddress(input.bytes) : std::string();
    return input.filled;
}

int IpAddressField::IsBlank() const {
    return Input().filled == 0 ? 1 : 0;
}

int IpAddressField::Accept(int asMask) {
    auto text = korrind::AcceptAddress(Input(), asMask == 1);
    if (!text)
        return 0;
    accepted_ = *text;
    return 1;
}
