// CEditSettingsDlg: the editor's one dialog. It edits the server's three
// registry settings (table file, log file, logging on or off), creates a new
// table file with its header and entry template, rewrites the global subnet
// mask and gateway of an existing one, and opens the host table manager.
#pragma once

#include "platform/wintypes.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>

class QDialog;
class QLineEdit;
class QCheckBox;
class QRadioButton;
class QPushButton;
class QWidget;
class IpAddressEdit;

class CEditSettingsDlg : public QObject {
public:
    explicit CEditSettingsDlg(QWidget* parent = nullptr);
    ~CEditSettingsDlg() override;

    // Builds the dialog from its layout and runs it; IDOK or IDCANCEL, or
    // -1 when the resource module has no layout for it.
    int DoModal();
    // Builds the dialog without running it (the tests drive it).
    QDialog* Create();
    QDialog* Dialog() const { return dialog_; }

    void OnInitDialog();
    void OnOK();
    void OnCheckEnableLog();
    void OnBrowseTabFile();
    void OnBrowseLogFile();
    void OnCreateTemplateClick();
    void OnBootpTabClick();
    void OnBootpManager();
    void OnCreateTemplate();
    void OnHelpTopic();

    // Test seams: the open-file dialog and the host table manager.
    using FileChooser = std::function<QString(QWidget* parent)>;
    using ManagerRunner =
        std::function<void(const QString& table, const QString& mask, const QString& gateway)>;
    void SetFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }
    void SetManagerRunner(ManagerRunner runner) { runManager_ = std::move(runner); }

    bool CreateMode() const { return createMode_ != 0; }
    bool LoggingOn() const { return loggingOn_ != 0; }

private:
    bool InitializeDialogItems();
    bool LoadSettings();
    void ShowTableDefaults();
    bool AppendTemplate();
    bool ReplaceExistingTable();
    bool TakePaths();
    bool WriteSettings();
    bool WriteHeader(const QString& mask, const QString& gateway);
    void ShowIn(IpAddressEdit* control, const QString& text);
    void Message(UINT id, UINT type);
    void FormatMessage(UINT id, long long argument);

    QWidget* parent_;
    std::array<QString, 8> labels_;
    QDialog* dialog_ = nullptr;
    QLineEdit* tableEdit_ = nullptr;
    QLineEdit* logEdit_ = nullptr;
    QRadioButton* createRadio_ = nullptr;
    QRadioButton* existingRadio_ = nullptr;
    QPushButton* managerButton_ = nullptr;
    IpAddressEdit* gatewayEdit_ = nullptr;
    IpAddressEdit* maskEdit_ = nullptr;
    QPushButton* templateButton_ = nullptr;
    QString tablePath_;
    QString logPath_;
    LONG loggingOn_ = 0;
    LONG createMode_ = 1;
    LONG templateWritten_ = 0;
    FileChooser chooseFile_;
    ManagerRunner runManager_;
};

// The dotted text of an IP address control; empty for a blank control.
QString AddressText(const IpAddressEdit* control);
