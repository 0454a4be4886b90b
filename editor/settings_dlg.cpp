#include "editor/settings_dlg.h"

#include "editor/manager_dlg.h"
#include "editor/resource_ui.h"
#include "editor/secure_file.h"
#include "editor/table_store.h"
#include "platform/messagebox.h"
#include "platform/strings.h"
#include "server/dialogs/ip_address_edit.h"
#include "trace/client/module_trace.h"
#include "utils/dravik.h"

#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

#include <cstdio>

namespace {

constexpr const char16_t* kSettingsKey = u"SOFTWARE\\Tarvex\\Olvani\\BootpSettings";

// Control ids of dialog 101.
enum : int {
    kIdTableLabel = 1001,
    kIdTablePath = 1002,
    kIdEnableLog = 1003,
    kIdLogLabel = 1004,
    kIdLogPath = 1006,
    kIdDefaultsLabel = 1007,
    kIdGateway = 1013,
    kIdSubnetMask = 1014,
    kIdBrowseTable = 1015,
    kIdBrowseLog = 1016,
    kIdCreateMode = 1018,
    kIdExistingMode = 1019,
    kIdManager = 1038,
    kIdCreateTemplate = 1041,
};

// The strings bound to the labels and buttons, with their controls.
constexpr std::array<UINT, 8> kLabelStrings = {3, 4, 5, 6, 12, 11, 9, 10};

const std::string kTemplate = "\r\n\r\n## Replace <<..>> with appropriate values.\r\n"
                              "## From the next line on remove one '#' from the begin of line.\r\n"
                              "## <<Some Comment For The Device>>\r\n"
                              "#<<Device Host Name>>:\\\r\n"
                              "#ht=1:\\\r\n"
                              "#ha=<<Device Hardware Address>>:\\\r\n"
                              "#ip=<<Device Host IP Address>>:\\\r\n"
                              "#sm=<<Device Host Machine Subnetmask>>:\\\r\n"
                              "#gw=<<Device Host Machine Gateway>>:\\\r\n"
                              "#vm=auto:\\\r\n"
                              "#hn:\\\r\n"
                              "#bs=auto:\\\r\n"
                              "#T145=64:T146=01:T147=01";

std::u16string U16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<size_t>(text.size()));
}

HRESULT ReadSetting(const char16_t* name, QString& value) {
    BSTR text = nullptr;
    HRESULT result = ASVeskGetStringKeyFromRegistry(HKEY_LOCAL_MACHINE, kSettingsKey, name, &text);
    if (result >= 0)
        value = QString::fromUtf16(text, SysStringLen(text));
    SysFreeString(text);
    return result;
}

HRESULT WriteSetting(const char16_t* name, const QString& value) {
    return ASVeskPutStringKeyInRegistry(HKEY_LOCAL_MACHINE, kSettingsKey, name, U16(value).c_str());
}

} // namespace

QString AddressText(const IpAddressEdit* control) {
    if (!control || control->IsBlank())
        return QString();
    korrind::AddressBytes bytes{};
    control->GetAddress(&bytes);
    return QString::fromStdString(korrind::FormatDottedAddress(bytes));
}

CEditSettingsDlg::CEditSettingsDlg(QWidget* parent) : parent_(parent) {
    for (size_t i = 0; i < kLabelStrings.size(); ++i)
        labels_[i] = tesslin::ResourceString(kLabelStrings[i]);
}

CEditSettingsDlg::~CEditSettingsDlg() {
    delete dialog_;
}

QDialog* CEditSettingsDlg::Create() {
    if (dialog_)
        return dialog_;
    dialog_ = tesslin::LoadDialog(101, parent_);
    if (!dialog_)
        return nullptr;
    // The labels and buttons show the module's strings.
    constexpr std::array<int, 8> controls = {
        kIdTableLabel,  kIdLogLabel, kIdEnableLog, kIdDefaultsLabel,
        kIdBrowseTable, IDOK,        IDCANCEL,     9};
    for (size_t i = 0; i < controls.size(); ++i) {
        QWidget* control = tesslin::FindControl<QWidget>(dialog_, controls[i]);
        if (auto* label = qobject_cast<QLabel*>(control))
            label->setText(labels_[i]);
        else if (auto* button = qobject_cast<QAbstractButton*>(control))
            button->setText(labels_[i]);
    }
    if (auto* browseLog = tesslin::FindControl<QPushButton>(dialog_, kIdBrowseLog))
        browseLog->setText(labels_[4]);
    auto connect = [this](int id, void (CEditSettingsDlg::*handler)()) {
        if (auto* button = tesslin::FindControl<QAbstractButton>(dialog_, id))
            QObject::connect(button, &QAbstractButton::clicked, this,
                             [this, handler] { (this->*handler)(); });
    };
    connect(IDOK, &CEditSettingsDlg::OnOK);
    connect(kIdEnableLog, &CEditSettingsDlg::OnCheckEnableLog);
    connect(kIdBrowseTable, &CEditSettingsDlg::OnBrowseTabFile);
    connect(kIdBrowseLog, &CEditSettingsDlg::OnBrowseLogFile);
    connect(kIdCreateMode, &CEditSettingsDlg::OnCreateTemplateClick);
    connect(kIdExistingMode, &CEditSettingsDlg::OnBootpTabClick);
    connect(kIdManager, &CEditSettingsDlg::OnBootpManager);
    connect(kIdCreateTemplate, &CEditSettingsDlg::OnCreateTemplate);
    connect(9, &CEditSettingsDlg::OnHelpTopic);
    if (auto* cancel = tesslin::FindControl<QAbstractButton>(dialog_, IDCANCEL))
        QObject::connect(cancel, &QAbstractButton::clicked, dialog_, &QDialog::reject);
    auto* help = new QShortcut(QKeySequence::HelpContents, dialog_);
    QObject::connect(help, &QShortcut::activated, this, [this] { OnHelpTopic(); });
    OnInitDialog();
    return dialog_;
}

int CEditSettingsDlg::DoModal() {
    if (!Create())
        return -1;
    return dialog_->exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CEditSettingsDlg::Message(UINT id, UINT type) {
    tesslin::ShowMessage(tesslin::ResourceString(id), tesslin::ResourceString(2), type);
}

void CEditSettingsDlg::FormatMessage(UINT id, long long argument) {
    tesslin::ShowMessage(tesslin::ResourceFormat(id, argument), tesslin::ResourceString(2), MB_OK);
}

void CEditSettingsDlg::OnInitDialog() {
    ScopeTrace trace(4, u"CEditSettingsDlg::OnInitDialog");
    dialog_->setWindowTitle(tesslin::ResourceString(2));
    InitializeDialogItems();
}

bool CEditSettingsDlg::InitializeDialogItems() {
    ScopeTrace trace(4, u"CEditSettingsDlg::InitializeDialogItems");
    tableEdit_ = tesslin::FindControl<QLineEdit>(dialog_, kIdTablePath);
    logEdit_ = tesslin::FindControl<QLineEdit>(dialog_, kIdLogPath);
    createRadio_ = tesslin::FindControl<QRadioButton>(dialog_, kIdCreateMode);
    existingRadio_ = tesslin::FindControl<QRadioButton>(dialog_, kIdExistingMode);
    managerButton_ = tesslin::FindControl<QPushButton>(dialog_, kIdManager);
    gatewayEdit_ = tesslin::FindControl<IpAddressEdit>(dialog_, kIdGateway);
    maskEdit_ = tesslin::FindControl<IpAddressEdit>(dialog_, kIdSubnetMask);
    templateButton_ = tesslin::FindControl<QPushButton>(dialog_, kIdCreateTemplate);
    if (!tableEdit_ || !logEdit_ || !createRadio_ || !existingRadio_ || !managerButton_ ||
        !gatewayEdit_ || !maskEdit_ || !templateButton_) {
        FormatMessage(16, static_cast<uint32_t>(E_POINTER));
        return false;
    }
    LoadSettings();
    OnCheckEnableLog();
    ShowTableDefaults();
    return true;
}

bool CEditSettingsDlg::LoadSettings() {
    ScopeTrace trace(4, u"CEditSettingsDlg::LoadSettings");
    auto* check = tesslin::FindControl<QCheckBox>(dialog_, kIdEnableLog);
    auto loggingOff = [&] {
        loggingOn_ = 0;
        if (check)
            check->setChecked(false);
    };
    QString value;
    HRESULT result = ReadSetting(u"Bootptabfile", value);
    if (result < 0) {
        FormatMessage(13, static_cast<uint32_t>(result));
        return false;
    }
    tablePath_ = value;
    tableEdit_->setText(value);
    result = ReadSetting(u"Bootplogfile", value);
    if (result < 0) {
        FormatMessage(14, static_cast<uint32_t>(result));
        logPath_.clear();
        logEdit_->clear();
        loggingOff();
        return false;
    }
    logPath_ = value;
    logEdit_->setText(value);
    result = ReadSetting(u"EnableLogging", value);
    if (result < 0) {
        FormatMessage(15, static_cast<uint32_t>(result));
        loggingOff();
        return false;
    }
    bool on = value.compare(QLatin1String("1"), Qt::CaseInsensitive) == 0;
    loggingOn_ = on ? 1 : 0;
    if (check)
        check->setChecked(on);
    return true;
}

void CEditSettingsDlg::OnCheckEnableLog() {
    ScopeTrace trace(4, u"CEditSettingsDlg::OnCheckEnableLog");
    auto* check = tesslin::FindControl<QCheckBox>(dialog_, kIdEnableLog);
    bool on = check && check->isChecked();
    if (logEdit_)
        logEdit_->setEnabled(on);
    if (auto* browse = tesslin::FindControl<QPushButton>(dialog_, kIdBrowseLog))
        browse->setEnabled(on);
    loggingOn_ = on ? 1 : 0;
}

void CEditSettingsDlg::ShowIn(IpAddressEdit* control, const QString& text) {
    std::optional<korrind::AddressBytes> bytes = korrind::ParseDottedAddress(text.toStdString());
    if (bytes)
        control->SetAddress(*bytes);
    else
        control->ClearAddress();
}

void CEditSettingsDlg::ShowTableDefaults() {
    ScopeTrace trace(4, u"CEditSettingsDlg::ShowTableDefaults");
    std::u16string mask, gateway;
    if (CSecureFile::ReadGlobalDefaults(U16(tablePath_), mask, gateway)) {
        createMode_ = 0;
        ShowIn(maskEdit_, QString::fromStdU16String(mask));
        ShowIn(gatewayEdit_, QString::fromStdU16String(gateway));
        createRadio_->setChecked(false);
        existingRadio_->setChecked(true);
        managerButton_->setEnabled(true);
        templateButton_->setEnabled(false);
        return;
    }
    createMode_ = 1;
    maskEdit_->ClearAddress();
    gatewayEdit_->ClearAddress();
    createRadio_->setChecked(true);
    existingRadio_->setChecked(false);
    templateButton_->setEnabled(true);
    managerButton_->setEnabled(false);
}

void CEditSettingsDlg::OnBrowseTabFile() {
    ScopeTrace trace(4, u"CEditSettingsDlg::OnBrowseTabFile");
    QString chosen = chooseFile_
                         ? chooseFile_(dialog_)
                         : QFileDialog::getSaveFileName(dialog_, QString(), QString(), QString(),
                                                        nullptr, QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty())
        return;
    tableEdit_->setText(chosen);
    tablePath_ = chosen;
    ShowTableDefaults();
}

void CEditSettingsDlg::OnBrowseLogFile() {
    ScopeTrace trace(4, u"CEditSettingsDlg::OnBrowseLogFile");
    QString chosen = chooseFile_
                         ? chooseFile_(dialog_)
                         : QFileDialog::getSaveFileName(dialog_, QString(), QString(), QString(),
                                                        nullptr, QFileDialog::DontConfirmOverwrite);
    if (!chosen.isEmpty())
        logEdit_->setText(chosen);
}

void CEditSettingsDlg::OnBootpTabClick() {
    ScopeTrace trace(4, u"CEditSettingsDlg::OnBootpTabClick");
    LoadSettings();
    ShowTableDefaults();
    createRadio_->setChecked(false);
    existingRadio_->setChecked(true);
    managerButton_->setEnabled(true);
    templateButton_->setEnabled(false);
}

void CEditSettingsDlg::OnCreateTemplateClick() {
    ScopeTrace trace(4, u"CEditSettingsDlg::OnCreateTemplateClick");
    managerButton_->setEnabled(false);
    templateButton_->setEnabled(true);
    tablePath_.clear();
    tableEdit_->clear();
    maskEdit_->ClearAddress();
    gatewayEdit_->ClearAddress();
}

// Asks before an existing table is replaced. The old table is kept beside
// the new one as "<table>.bak" rather than deleted, so a wrong answer loses
// nothing. False ends the action.
bool CEditSettingsDlg::ReplaceExistingTable() {
    std::u16string mask, gateway;
    if (!CSecureFile::ReadGlobalDefaults(U16(tablePath_), mask, gateway))
        return true;
    int answer = tesslin::ShowMessage(tesslin::ResourceString(1043), tesslin::ResourceString(2),
                                      MB_YESNO | MB_ICONQUESTION);
    if (answer != IDYES) {
        OnBootpTabClick();
        return false;
    }
    std::string path = tablePath_.toStdString();
    if (std::rename(path.c_str(), (path + ".bak").c_str()) != 0) {
        FormatMessage(1044, 0);
        return false;
    }
    return true;
}

// The three settings in order; the first failure is shown and ends it.
bool CEditSettingsDlg::WriteSettings() {
    auto* check = tesslin::FindControl<QCheckBox>(dialog_, kIdEnableLog);
    const QString logging = check && check->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    const std::array<std::pair<const char16_t*, QString>, 3> settings = {
        {{u"Bootptabfile", tablePath_}, {u"Bootplogfile", logPath_}, {u"EnableLogging", logging}}};
    for (size_t i = 0; i < settings.size(); ++i) {
        HRESULT result = WriteSetting(settings[i].first, settings[i].second);
        if (result < 0) {
            FormatMessage(static_cast<UINT>(20 + i), static_cast<uint32_t>(result));
            return false;
        }
    }
    return true;
}

bool CEditSettingsDlg::WriteHeader(const QString& mask, const QString& gateway) {
    CSecureFile file;
    if (!file.CreateSecureFile(U16(tablePath_)))
        return false;
    if (!file.WriteTableHeader(U16(mask), U16(gateway))) {
        FormatMessage(25, 0);
        return false;
    }
    return true;
}

// Takes both paths from their edits; false, with the field to fill in
// focused, when the table path is empty or logging is on without a log path.
bool CEditSettingsDlg::TakePaths() {
    if (!tableEdit_ || !logEdit_)
        return false;
    logPath_ = logEdit_->text();
    tablePath_ = tableEdit_->text();
    if (tablePath_.isEmpty()) {
        Message(18, MB_OK | MB_ICONINFORMATION);
        tableEdit_->setFocus();
        return false;
    }
    if (loggingOn_ && logPath_.isEmpty()) {
        Message(19, MB_OK | MB_ICONINFORMATION);
        logEdit_->setFocus();
        return false;
    }
    return true;
}

void CEditSettingsDlg::OnOK() {
    ScopeTrace trace(4, u"CEditSettingsDlg::OnOK");
    if (!tableEdit_ || !logEdit_) {
        FormatMessage(17, static_cast<uint32_t>(E_POINTER));
        dialog_->accept();
        return;
    }
    if (!TakePaths())
        return;
    const bool freshTable = createRadio_->isChecked() && !templateWritten_;
    if (freshTable && !ReplaceExistingTable())
        return;
    if (!WriteSettings()) {
        dialog_->accept();
        return;
    }
    WriteHeader(AddressText(maskEdit_), AddressText(gatewayEdit_));
    if (freshTable) {
        AppendTemplate();
        createMode_ = 0;
    }
    dialog_->accept();
}

void CEditSettingsDlg::OnCreateTemplate() {
    ScopeTrace trace(4, u"CEditSettingsDlg::OnCreateTemplate");
    if (!createRadio_->isChecked())
        return;
    tablePath_ = tableEdit_->text();
    if (tablePath_.isEmpty()) {
        Message(18, MB_OK | MB_ICONINFORMATION);
        tableEdit_->setFocus();
        return;
    }
    if (!ReplaceExistingTable())
        return;
    HRESULT result = WriteSetting(u"Bootptabfile", tablePath_);
    if (result < 0) {
        FormatMessage(20, static_cast<uint32_t>(result));
        return;
    }
    WriteHeader(AddressText(maskEdit_), AddressText(gatewayEdit_));
    if (!AppendTemplate()) {
        FormatMessage(1042, 0);
        return;
    }
    Message(1039, MB_OK | MB_ICONINFORMATION);
    templateWritten_ = 1;
    ShowTableDefaults();
}

void CEditSettingsDlg::OnBootpManager() {
    ScopeTrace trace(4, u"CEditSettingsDlg::OnBootpManager");
    if (!TakePaths())
        return;
    if (!WriteSettings())
        return;
    const QString mask = AddressText(maskEdit_);
    const QString gateway = AddressText(gatewayEdit_);
    CSecureFile file;
    if (file.CreateSecureFile(U16(tablePath_)) && !file.WriteTableHeader(U16(mask), U16(gateway))) {
        FormatMessage(25, 0);
        return;
    }
    createMode_ = 0;
    if (runManager_) {
        runManager_(tablePath_, mask, gateway);
        return;
    }
    CBootpManagerDlg manager(tablePath_, mask, gateway, dialog_);
    manager.DoModal();
}

void CEditSettingsDlg::OnHelpTopic() {
    ScopeTrace trace(4, u"CEditSettingsDlg::OnHelpTopic");
    tesslin::OpenHelpTopic();
}

bool CEditSettingsDlg::AppendTemplate() {
    ScopeTrace trace(4, u"CEditSettingsDlg::AppendTemplate");
    return tesslin::AppendToTable(tablePath_.toStdString(), kTemplate);
}
