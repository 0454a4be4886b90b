#include "server/dialogs/entry_dlg.h"

#include "platform/messagebox.h"
#include "server/core/korrind_doc.h"
#include "server/dialogs/dialog_parts.h"
#include "server/dialogs/doc_messages.h"
#include "server/dialogs/entry_checks.h"
#include "server/dialogs/help.h"
#include "server/dialogs/ip_address_edit.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>

namespace {

constexpr int kTextLimit = 64;
// Host names as long as the engine keeps them: a name from the table must
// survive a Modify whole.
constexpr int kHostNameLimit = static_cast<int>(sizeof(EntryRow::hostName)) - 1;

// The address box shows what is typed in upper case, as the table keeps it.
class UpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

QLabel* AddRow(QGridLayout* grid, int row, int labelId, const QString& text, QWidget* control) {
    auto* label = new QLabel(text, grid->parentWidget());
    if (labelId)
        label->setObjectName(korrind::ControlName(labelId));
    label->setBuddy(control);
    grid->addWidget(label, row, 0);
    grid->addWidget(control, row, 1);
    return label;
}

} // namespace

CEntryDlg::CEntryDlg(CKorrindDoc* doc, QWidget* parent) : QDialog(parent), doc_(doc) {
    BuildControls();
    InitControls();
}

CEntryDlg::CEntryDlg(CKorrindDoc* doc, int rowIndex, QWidget* parent)
    : QDialog(parent), doc_(doc), rowIndex_(rowIndex), caption_("Modify Bootp Entry") {
    const EntryRow& row = doc->EntryRows()[rowIndex];
    values_.hardwareAddress = row.Field(FieldHardwareAddress);
    values_.hostName = row.Field(FieldHostName);
    values_.ipAddress = row.Field(FieldIpAddress);
    values_.comment = row.Field(FieldComment);
    values_.subnetMask = row.Field(FieldSubnetMask);
    values_.gateway = row.Field(FieldGateway);
    BuildControls();
    InitControls();
}

void CEntryDlg::BuildControls() {
    using namespace korrind;
    setWindowTitle(QStringLiteral("Add Bootp Entry"));

    addressBox_ = new QComboBox(this);
    addressBox_->setObjectName(ControlName(kIdAddressBox));
    addressBox_->setEditable(true);
    addressBox_->setInsertPolicy(QComboBox::NoInsert);
    addressBox_->setValidator(new UpperCaseValidator(addressBox_));
    hostNameEdit_ = new QLineEdit(this);
    hostNameEdit_->setObjectName(ControlName(kIdHostName));
    hostNameEdit_->setMaxLength(kHostNameLimit);
    auto* ip = new IpAddressEdit(this);
    ip->setObjectName(ControlName(kIdIpAddress));
    commentEdit_ = new QLineEdit(this);
    commentEdit_->setObjectName(ControlName(kIdComment));
    commentEdit_->setMaxLength(kTextLimit);
    auto* mask = new IpAddressEdit(this);
    mask->setObjectName(ControlName(kIdSubnetMask));
    auto* gateway = new IpAddressEdit(this);
    gateway->setObjectName(ControlName(kIdGateway));
    ipAddress_.Attach(ip);
    subnetMask_.Attach(mask);
    gateway_.Attach(gateway);

    auto* hostBox = new QGroupBox(this);
    auto* hostGrid = new QGridLayout(hostBox);
    AddRow(hostGrid, 0, 1007, QStringLiteral("&MAC Address:"), addressBox_);
    AddRow(hostGrid, 1, 1009, QStringLiteral("&Host Name:"), hostNameEdit_);
    AddRow(hostGrid, 2, 1008, QStringLiteral("&IP Address:"), ip);
    AddRow(hostGrid, 3, 0, QStringLiteral("&Comment:"), commentEdit_);
    auto* netBox = new QGroupBox(this);
    auto* netGrid = new QGridLayout(netBox);
    AddRow(netGrid, 0, 1010, QStringLiteral("&Subnet Mask:"), mask);
    AddRow(netGrid, 1, 1011, QStringLiteral("&Gateway:"), gateway);

    auto* fields = new QVBoxLayout;
    fields->addWidget(hostBox);
    fields->addWidget(netBox);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(fields, 1);
    layout->addWidget(MakeOkCancelHelp(this, QStringLiteral("&Help"), [this] {
        return IsModifyMode() ? kHelpModifyEntry : kHelpAddEntry;
    }));

    QWidget* order[] = {addressBox_, hostNameEdit_, ip, commentEdit_, mask, gateway};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    setTabOrder(gateway, findChild<QWidget*>(ControlName(kIdOk)));
    resize(DialogUnitsToPixels(this, 295, 175));
}

void CEntryDlg::SelectAddress(const std::string& hardwareAddress) {
    QString text = QString::fromStdString(hardwareAddress);
    int index = addressBox_->findText(text);
    if (index >= 0)
        addressBox_->setCurrentIndex(index);
    else
        addressBox_->setEditText(text);
}

void CEntryDlg::InitControls() {
    for (const std::string& address : doc_->RecentAddresses())
        addressBox_->addItem(QString::fromStdString(address));
    if (addressBox_->count() > 0)
        addressBox_->setCurrentIndex(0);
    if (!IsModifyMode()) {
        if (!doc_->DefaultGateway().empty())
            gateway_.SetText(doc_->DefaultGateway());
        if (!doc_->DefaultSubnetMask().empty())
            subnetMask_.SetText(doc_->DefaultSubnetMask());
        return;
    }
    setWindowTitle(QString::fromStdString(caption_));
    addressBox_->setEditText(QString::fromStdString(values_.hardwareAddress));
    hostNameEdit_->setText(QString::fromStdString(values_.hostName));
    commentEdit_->setText(QString::fromStdString(values_.comment));
    ipAddress_.SetText(values_.ipAddress);
    gateway_.SetText(values_.gateway);
    subnetMask_.SetText(values_.subnetMask);
    addressBox_->setEnabled(false);
}

void CEntryDlg::FocusControl(int id) {
    auto* control = findChild<QWidget*>(korrind::ControlName(id));
    if (!control)
        return;
    if (auto* ip = qobject_cast<IpAddressEdit*>(control)) {
        ip->SetFieldFocus(0);
        return;
    }
    control->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        edit->selectAll();
    else if (auto* box = qobject_cast<QComboBox*>(control); box && box->lineEdit())
        box->lineEdit()->selectAll();
}

void CEntryDlg::accept() {
    using namespace korrind;
    // The operator has dealt with this address, whatever the checks say.
    std::string typed = UpperCase(addressBox_->currentText().toStdString());
    ShowDocResult(doc_->DeleteHAEntry(typed));

    EntryInput input;
    input.hardwareAddress = typed;
    input.hostName = hostNameEdit_->text().toStdString();
    input.comment = commentEdit_->text().toStdString();
    input.ipAddress = ipAddress_.Input();
    input.subnetMask = subnetMask_.Input();
    input.gateway = gateway_.Input();
    EntryVerdict verdict = CheckEntry(input, doc_->EntryRows(), rowIndex_);
    if (!verdict.ok) {
        MessageBox(verdict.message, kKorrindTitle, MB_OK | MB_ICONEXCLAMATION);
        FocusControl(verdict.focusId);
        return;
    }
    values_ = verdict.values;
    ipAddress_.SetAcceptedText(values_.ipAddress);
    subnetMask_.SetAcceptedText(values_.subnetMask);
    gateway_.SetAcceptedText(values_.gateway);
    QDialog::accept();
}
