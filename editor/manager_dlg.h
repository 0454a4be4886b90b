// The host table manager: CBootpManagerDlg lists the hosts of the table file
// and adds, modifies and deletes them through CAddBootpDlg and
// CModifyBootpDlg, which share dialog 102. Every change goes to the file at
// once through CBootpTableEntry.
#pragma once

#include "editor/table_entry.h"
#include "platform/wintypes.h"

#include <QObject>
#include <QString>

class QDialog;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QWidget;
class IpAddressEdit;

class CBootpManagerDlg : public QObject {
public:
    CBootpManagerDlg(QString tablePath, QString subnetMask, QString gateway,
                     QWidget* parent = nullptr);
    ~CBootpManagerDlg() override;

    int DoModal();
    QDialog* Create();
    QDialog* Dialog() const { return dialog_; }
    QTreeWidget* List() const { return list_; }
    bool Empty() const { return empty_ != 0; }

    void OnAdd();
    void OnModify();
    void OnDelete();

private:
    void OnInitDialog();
    void SetButtons(bool enabled);
    void Reload();

    QWidget* parent_;
    QDialog* dialog_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QString tablePath_;
    QString subnetMask_;
    QString gateway_;
    LONG empty_ = 0;
    QPushButton* modifyButton_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
};

// What the two entry dialogs share: dialog 102, its controls and checks.
class CEntryDlgBase : public QObject {
public:
    ~CEntryDlgBase() override;
    int DoModal();
    QDialog* Create();
    QDialog* Dialog() const { return dialog_; }
    void OnHelpTopic();
    virtual void OnOK() = 0;

protected:
    CEntryDlgBase(QString tablePath, QTreeWidget* list, QWidget* parent);
    virtual void OnInitDialog() = 0;
    // The checks of OK in their order; false after showing what is wrong.
    bool CheckFields(bool newAddress, UINT caption);
    BootpRow RowFromControls() const;
    void FillControls(const BootpRow& row);

    QWidget* parent_;
    QDialog* dialog_ = nullptr;
    QTreeWidget* list_;
    QString tablePath_;
    QLineEdit* addressEdit_ = nullptr;
    QLineEdit* hostEdit_ = nullptr;
    QLineEdit* commentEdit_ = nullptr;
    IpAddressEdit* ipEdit_ = nullptr;
    IpAddressEdit* maskEdit_ = nullptr;
    IpAddressEdit* gatewayEdit_ = nullptr;
};

class CAddBootpDlg : public CEntryDlgBase {
public:
    CAddBootpDlg(QString tablePath, QString subnetMask, QString gateway, QTreeWidget* list,
                 QWidget* parent = nullptr);
    void OnOK() override;

private:
    void OnInitDialog() override;
    QString subnetMask_;
    QString gateway_;
};

class CModifyBootpDlg : public CEntryDlgBase {
public:
    CModifyBootpDlg(QString tablePath, BootpRow row, QTreeWidget* list, QWidget* parent = nullptr);
    void OnOK() override;

private:
    void OnInitDialog() override;
    BootpRow row_;
    std::u16string oldHardwareAddress_;
};

// Host names and hardware addresses never hold one of these.
bool HoldsInvalidCharacter(const QString& text);
