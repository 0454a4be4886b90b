#include "editor/manager_dlg.h"

#include "editor/resource_ui.h"
#include "platform/messagebox.h"
#include "server/dialogs/ip_address_edit.h"
#include "trace/client/module_trace.h"

#include <QDialog>
#include <QHeaderView>
#include <QKeySequence>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>

QString AddressText(const IpAddressEdit* control);

namespace {

enum : int {
    kIdList = 1017,
    kIdHardwareAddress = 1020,
    kIdHostName = 1021,
    kIdComment = 1022,
    kIdIpAddress = 1023,
    kIdSubnetMask = 1024,
    kIdGateway = 1025,
    kIdAdd = 1026,
    kIdModify = 1027,
    kIdDelete = 1028,
    kIdClose = 1029,
    kIdHelp = 9,
};

const QStringList kColumns = {"Hardware Address", "Host Name",   "IP Address",
                              "Comment",          "Subnet Mask", "Gateway"};

QString Q(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

std::u16string U16(const QString& text) {
    return text.toStdU16String();
}

void AddRow(QTreeWidget* list, const BootpRow& row) {
    new QTreeWidgetItem(list, QStringList{Q(row.hardwareAddress), Q(row.hostName), Q(row.ipAddress),
                                          Q(row.comment), Q(row.subnetMask), Q(row.gateway)});
}

void WriteRow(QTreeWidgetItem* item, const BootpRow& row) {
    const std::array<const std::u16string*, 6> cells = {&row.hardwareAddress, &row.hostName,
                                                        &row.ipAddress,       &row.comment,
                                                        &row.subnetMask,      &row.gateway};
    for (int column = 0; column < 6; ++column)
        item->setText(column, Q(*cells[static_cast<size_t>(column)]));
}

BootpRow ReadRow(const QTreeWidgetItem* item) {
    return BootpRow{U16(item->text(0)), U16(item->text(1)), U16(item->text(2)),
                    U16(item->text(3)), U16(item->text(4)), U16(item->text(5))};
}

void Show(UINT id, UINT caption, UINT type = MB_OK | MB_ICONINFORMATION) {
    tesslin::ShowMessage(tesslin::ResourceString(id), tesslin::ResourceString(caption), type);
}

void SetAddress(IpAddressEdit* control, const QString& text) {
    if (auto bytes = korrind::ParseDottedAddress(text.toStdString()))
        control->SetAddress(*bytes);
    else
        control->ClearAddress();
}

QString DottedOrZero(const IpAddressEdit* control) {
    QString text = AddressText(control);
    return text.isEmpty() ? QStringLiteral("0.0.0.0") : text;
}

} // namespace

bool HoldsInvalidCharacter(const QString& text) {
    static const QString invalid = QStringLiteral("/'#%&^$(){}|@~*!`[]<>,.?=:;\"");
    for (QChar c : text)
        if (invalid.contains(c))
            return true;
    return false;
}

// ---------------------------------------------------------------------------
// Manager

CBootpManagerDlg::CBootpManagerDlg(QString tablePath, QString subnetMask, QString gateway,
                                   QWidget* parent)
    : parent_(parent), tablePath_(std::move(tablePath)), subnetMask_(std::move(subnetMask)),
      gateway_(std::move(gateway)) {}

CBootpManagerDlg::~CBootpManagerDlg() {
    delete dialog_;
}

QDialog* CBootpManagerDlg::Create() {
    if (dialog_)
        return dialog_;
    dialog_ = tesslin::LoadDialog(103, parent_);
    if (!dialog_)
        return nullptr;
    auto connect = [this](int id, void (CBootpManagerDlg::*handler)()) {
        if (auto* button = tesslin::FindControl<QPushButton>(dialog_, id))
            QObject::connect(button, &QPushButton::clicked, this,
                             [this, handler] { (this->*handler)(); });
    };
    connect(kIdAdd, &CBootpManagerDlg::OnAdd);
    connect(kIdModify, &CBootpManagerDlg::OnModify);
    connect(kIdDelete, &CBootpManagerDlg::OnDelete);
    if (auto* close = tesslin::FindControl<QPushButton>(dialog_, kIdClose))
        QObject::connect(close, &QPushButton::clicked, dialog_, &QDialog::accept);
    OnInitDialog();
    return dialog_;
}

int CBootpManagerDlg::DoModal() {
    if (!Create())
        return -1;
    return dialog_->exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CBootpManagerDlg::SetButtons(bool enabled) {
    modifyButton_->setEnabled(enabled);
    deleteButton_->setEnabled(enabled);
    empty_ = enabled ? 0 : 1;
}

void CBootpManagerDlg::OnInitDialog() {
    dialog_->setWindowTitle(tesslin::ResourceString(27));
    list_ = tesslin::FindControl<QTreeWidget>(dialog_, kIdList);
    modifyButton_ = tesslin::FindControl<QPushButton>(dialog_, kIdModify);
    deleteButton_ = tesslin::FindControl<QPushButton>(dialog_, kIdDelete);
    if (!list_ || !modifyButton_ || !deleteButton_)
        return;
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setColumnCount(6);
    list_->setHeaderLabels(kColumns);
    for (int column = 0; column < 6; ++column)
        list_->setColumnWidth(column, list_->viewport()->width() / 6);
    Reload();
}

// Fills the list from the file, as when the manager opens.
void CBootpManagerDlg::Reload() {
    list_->clear();
    std::vector<BootpRow> rows;
    CBootpTableEntry::LoadIntoList(U16(tablePath_), rows);
    for (const BootpRow& row : rows)
        AddRow(list_, row);
    SetButtons(list_->topLevelItemCount() > 0);
}

void CBootpManagerDlg::OnAdd() {
    ScopeTrace trace(4, u"CBootpManagerDlg::OnAdd");
    CAddBootpDlg add(tablePath_, subnetMask_, gateway_, list_, dialog_);
    if (add.DoModal() == IDOK)
        empty_ = 0;
    if (!empty_)
        SetButtons(true);
}

void CBootpManagerDlg::OnModify() {
    ScopeTrace trace(4, u"CBootpManagerDlg::OnModify");
    QTreeWidgetItem* selected = list_->currentItem();
    if (!selected || !selected->isSelected()) {
        Show(1034, 27);
        return;
    }
    CModifyBootpDlg modify(tablePath_, ReadRow(selected), list_, dialog_);
    modify.DoModal();
    list_->clearSelection();
    list_->setCurrentItem(nullptr);
}

void CBootpManagerDlg::OnDelete() {
    ScopeTrace trace(4, u"CBootpManagerDlg::OnDelete");
    QTreeWidgetItem* selected = list_->currentItem();
    if (!selected || !selected->isSelected()) {
        Show(1033, 27);
        return;
    }
    if (tesslin::ShowMessage(tesslin::ResourceString(1040), tesslin::ResourceString(27),
                             MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    tesslin::TableChange change =
        CBootpTableEntry::DeleteFromFile(U16(tablePath_), U16(selected->text(0)));
    if (!change.ok) {
        // The list shows the file as it really is.
        tesslin::ShowMessage(QString::fromStdString(change.message), tesslin::ResourceString(27),
                             MB_OK | MB_ICONINFORMATION);
        Reload();
        return;
    }
    delete selected;
    list_->clearSelection();
    list_->setCurrentItem(nullptr);
    if (list_->topLevelItemCount() == 0)
        SetButtons(false);
}

// ---------------------------------------------------------------------------
// Entry dialogs

CEntryDlgBase::CEntryDlgBase(QString tablePath, QTreeWidget* list, QWidget* parent)
    : parent_(parent), list_(list), tablePath_(std::move(tablePath)) {}

CEntryDlgBase::~CEntryDlgBase() {
    delete dialog_;
}

QDialog* CEntryDlgBase::Create() {
    if (dialog_)
        return dialog_;
    dialog_ = tesslin::LoadDialog(102, parent_);
    if (!dialog_)
        return nullptr;
    addressEdit_ = tesslin::FindControl<QLineEdit>(dialog_, kIdHardwareAddress);
    hostEdit_ = tesslin::FindControl<QLineEdit>(dialog_, kIdHostName);
    commentEdit_ = tesslin::FindControl<QLineEdit>(dialog_, kIdComment);
    ipEdit_ = tesslin::FindControl<IpAddressEdit>(dialog_, kIdIpAddress);
    maskEdit_ = tesslin::FindControl<IpAddressEdit>(dialog_, kIdSubnetMask);
    gatewayEdit_ = tesslin::FindControl<IpAddressEdit>(dialog_, kIdGateway);
    if (!addressEdit_ || !hostEdit_ || !commentEdit_ || !ipEdit_ || !maskEdit_ || !gatewayEdit_) {
        delete dialog_;
        dialog_ = nullptr;
        return nullptr;
    }
    addressEdit_->setMaxLength(12);
    hostEdit_->setMaxLength(50);
    commentEdit_->setMaxLength(50);
    if (auto* ok = tesslin::FindControl<QPushButton>(dialog_, IDOK)) {
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
    }
    if (auto* cancel = tesslin::FindControl<QPushButton>(dialog_, IDCANCEL))
        QObject::connect(cancel, &QPushButton::clicked, dialog_, &QDialog::reject);
    if (auto* help = tesslin::FindControl<QPushButton>(dialog_, kIdHelp))
        QObject::connect(help, &QPushButton::clicked, this, [this] { OnHelpTopic(); });
    auto* f1 = new QShortcut(QKeySequence::HelpContents, dialog_);
    QObject::connect(f1, &QShortcut::activated, this, [this] { OnHelpTopic(); });
    OnInitDialog();
    return dialog_;
}

int CEntryDlgBase::DoModal() {
    if (!Create())
        return -1;
    return dialog_->exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

bool CEntryDlgBase::CheckFields(bool newAddress, UINT caption) {
    const QString address = addressEdit_->text();
    const QString host = hostEdit_->text();
    if (address.isEmpty()) {
        Show(1030, caption);
        addressEdit_->setFocus();
        return false;
    }
    static const QString lowerOutsideHex = QStringLiteral("ghijklmnopqrstuvwxyz");
    bool badAddress = address.size() != 12;
    if (newAddress && !badAddress) {
        badAddress = HoldsInvalidCharacter(address);
        for (QChar c : address)
            badAddress = badAddress || lowerOutsideHex.contains(c);
    }
    if (badAddress) {
        Show(1036, caption);
        addressEdit_->setFocus();
        return false;
    }
    if (host.isEmpty() || HoldsInvalidCharacter(host)) {
        Show(1031, caption);
        hostEdit_->setFocus();
        return false;
    }
    if (ipEdit_->IsBlank()) {
        Show(1032, 26);
        return false;
    }
    return true;
}

BootpRow CEntryDlgBase::RowFromControls() const {
    return BootpRow{U16(addressEdit_->text()),    U16(hostEdit_->text()),
                    U16(DottedOrZero(ipEdit_)),   U16(commentEdit_->text()),
                    U16(DottedOrZero(maskEdit_)), U16(DottedOrZero(gatewayEdit_))};
}

void CEntryDlgBase::FillControls(const BootpRow& row) {
    addressEdit_->setText(Q(row.hardwareAddress));
    hostEdit_->setText(Q(row.hostName));
    commentEdit_->setText(Q(row.comment));
    SetAddress(ipEdit_, Q(row.ipAddress));
    SetAddress(maskEdit_, Q(row.subnetMask));
    SetAddress(gatewayEdit_, Q(row.gateway));
}

CAddBootpDlg::CAddBootpDlg(QString tablePath, QString subnetMask, QString gateway,
                           QTreeWidget* list, QWidget* parent)
    : CEntryDlgBase(std::move(tablePath), list, parent), subnetMask_(std::move(subnetMask)),
      gateway_(std::move(gateway)) {}

void CAddBootpDlg::OnInitDialog() {
    ScopeTrace trace(4, u"CAddBootpDlg::OnInitDialog");
    SetAddress(maskEdit_, subnetMask_);
    SetAddress(gatewayEdit_, gateway_);
    addressEdit_->setFocus();
}

void CAddBootpDlg::OnOK() {
    ScopeTrace trace(4, u"CAddBootpDlg::OnOK");
    if (!CheckFields(true, 26))
        return;
    CBootpTableEntry entry(RowFromControls());
    if (!entry.IsNewHardwareAddress(U16(tablePath_), U16(tesslin::ResourceString(26)),
                                    U16(tesslin::ResourceString(1037))))
        return;
    CBootpTableEntry::AppendToFile(U16(tablePath_), entry.FormatEntry(true));
    if (list_)
        AddRow(list_, entry.Row());
    dialog_->accept();
}

void CEntryDlgBase::OnHelpTopic() {
    ScopeTrace trace(4, dynamic_cast<CAddBootpDlg*>(this) ? u"CAddBootpDlg::OnHelpTopic"
                                                          : u"CModifyBootpDlg::OnHelpTopic");
    tesslin::OpenHelpTopic();
}

CModifyBootpDlg::CModifyBootpDlg(QString tablePath, BootpRow row, QTreeWidget* list,
                                 QWidget* parent)
    : CEntryDlgBase(std::move(tablePath), list, parent), row_(std::move(row)) {}

void CModifyBootpDlg::OnInitDialog() {
    ScopeTrace trace(4, u"CModifyBootpDlg::OnInitDialog");
    dialog_->setWindowTitle(tesslin::ResourceString(28));
    FillControls(row_);
    addressEdit_->setReadOnly(true);
    oldHardwareAddress_ = row_.hardwareAddress;
}

void CModifyBootpDlg::OnOK() {
    ScopeTrace trace(4, u"CModifyBootpDlg::OnOK");
    if (!CheckFields(false, 28))
        return;
    CBootpTableEntry entry(RowFromControls());
    tesslin::TableChange change = CBootpTableEntry::ReplaceInFile(
        U16(tablePath_), entry.FormatEntry(false), oldHardwareAddress_);
    if (!change.ok) {
        tesslin::ShowMessage(QString::fromStdString(change.message), tesslin::ResourceString(28),
                             MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (list_ && list_->currentItem())
        WriteRow(list_->currentItem(), entry.Row());
    dialog_->accept();
}
