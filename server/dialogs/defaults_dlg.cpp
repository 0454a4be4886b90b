#include "server/dialogs/defaults_dlg.h"

#include "platform/messagebox.h"
#include "server/core/korrind_doc.h"
#include "server/dialogs/dialog_parts.h"
#include "server/dialogs/entry_checks.h"
#include "server/dialogs/help.h"
#include "server/dialogs/ip_address_edit.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>

CDefaultsDlg::CDefaultsDlg(CKorrindDoc* doc, QWidget* parent) : QDialog(parent), doc_(doc) {
    using namespace korrind;
    setWindowTitle(QStringLiteral("Default Settings"));
    auto* group =
        new QGroupBox(QStringLiteral("Default settings for new bootp server entries"), this);
    auto* grid = new QGridLayout(group);
    auto* mask = new IpAddressEdit(group);
    mask->setObjectName(ControlName(kIdSubnetMask));
    auto* gateway = new IpAddressEdit(group);
    gateway->setObjectName(ControlName(kIdGateway));
    auto* maskLabel = new QLabel(QStringLiteral("&Subnet Mask:"), group);
    maskLabel->setBuddy(mask);
    auto* gatewayLabel = new QLabel(QStringLiteral("Default &Gateway:"), group);
    gatewayLabel->setBuddy(gateway);
    grid->addWidget(maskLabel, 0, 0);
    grid->addWidget(mask, 0, 1);
    grid->addWidget(gatewayLabel, 1, 0);
    grid->addWidget(gateway, 1, 1);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addWidget(MakeOkCancelHelp(this, QStringLiteral("Help"), [] { return kHelpDefaults; }));
    setTabOrder(mask, gateway);
    setTabOrder(gateway, findChild<QWidget*>(ControlName(kIdOk)));
    resize(DialogUnitsToPixels(this, 202, 117));

    subnetMask_.Attach(mask);
    gateway_.Attach(gateway);
    if (!doc_->DefaultGateway().empty())
        gateway_.SetText(doc_->DefaultGateway());
    if (!doc_->DefaultSubnetMask().empty())
        subnetMask_.SetText(doc_->DefaultSubnetMask());
}

void CDefaultsDlg::accept() {
    using namespace korrind;
    DefaultsVerdict verdict = CheckDefaults(gateway_.Input(), subnetMask_.Input());
    if (!verdict.ok) {
        MessageBox(verdict.message, kKorrindTitle, MB_OK | MB_ICONEXCLAMATION);
        auto* control = findChild<IpAddressEdit*>(ControlName(verdict.focusId));
        if (control)
            control->SetFieldFocus(0);
        return;
    }
    gateway_.SetAcceptedText(verdict.gateway);
    subnetMask_.SetAcceptedText(verdict.subnetMask);
    QDialog::accept();
}
