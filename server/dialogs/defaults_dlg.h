// CDefaultsDlg: the default subnet mask and gateway that pre-fill new
// entries. The mask is required, the gateway may be left blank.
#pragma once

#include "server/dialogs/ip_address_field.h"

#include <QDialog>

class CKorrindDoc;

class CDefaultsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDefaultsDlg(CKorrindDoc* doc, QWidget* parent = nullptr);

    // Accepted texts after OK; the gateway is empty when left blank.
    const std::string& Gateway() const { return gateway_.AcceptedText(); }
    const std::string& SubnetMask() const { return subnetMask_.AcceptedText(); }

    void accept() override;

private:
    CKorrindDoc* doc_;
    IpAddressField gateway_;
    IpAddressField subnetMask_;
};
