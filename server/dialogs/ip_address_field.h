// IpAddressField: an IP address control of a dialog together with the text
// the dialog last accepted from it.
#pragma once

#include "server/dialogs/address_rules.h"

#include <string>

class IpAddressEdit;

class IpAddressField {
public:
    // Binds the field to its control; done when the dialog initialises.
    void Attach(IpAddressEdit* control) { control_ = control; }
    IpAddressEdit* Control() const { return control_; }

    // Four pieces split at '.', each a decimal value below 256: the control
    // shows them and the result is 1. Anything else leaves the control alone
    // and gives 0.
    int SetText(const std::string& dotted);

    // Number of filled fields; text gets the dotted address when all four
    // are filled, else the empty string.
    int GetText(std::string* text) const;

    // Filled-field count and address of the control.
    korrind::AddressInput Input() const;

    // 1 when no field holds anything.
    int IsBlank() const;

    // The control's address becomes the accepted text when all four fields
    // are filled and, with asMask 1, it is a usable subnet mask. Result 1/0.
    int Accept(int asMask);

    const std::string& AcceptedText() const { return accepted_; }
    void SetAcceptedText(const std::string& text) { accepted_ = text; }

private:
    std::string accepted_;
    IpAddressEdit* control_ = nullptr;
};
