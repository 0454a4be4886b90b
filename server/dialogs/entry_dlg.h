// CEntryDlg: the Add/Modify Bootp Entry dialog. Add mode offers the
// recently seen unknown hardware addresses and the default mask and
// gateway; modify mode edits one row of the document's EntryRows, whose
// hardware address cannot change. OK checks every value; the first failure
// is shown and its control gets the focus.
#pragma once

#include "server/core/entry_rows.h"
#include "server/dialogs/ip_address_field.h"

#include <QDialog>

#include <string>

class CKorrindDoc;
class QComboBox;
class QLineEdit;

class CEntryDlg : public QDialog {
    Q_OBJECT
public:
    // Add mode.
    explicit CEntryDlg(CKorrindDoc* doc, QWidget* parent = nullptr);
    // Modify mode, preloaded from doc->EntryRows()[rowIndex].
    CEntryDlg(CKorrindDoc* doc, int rowIndex, QWidget* parent = nullptr);

    bool IsModifyMode() const { return rowIndex_ >= 0; }
    // Add mode: puts the hardware address in the address box, selected
    // when it is among the recent ones.
    void SelectAddress(const std::string& hardwareAddress);
    // The six values of the row after OK (gateway empty when left blank).
    const EntryValues& Values() const { return values_; }

    void accept() override;

private:
    void BuildControls();
    void InitControls();
    void FocusControl(int id);

    CKorrindDoc* doc_;
    int rowIndex_ = -1;
    std::string caption_;
    // Preloaded in modify mode; the checked values after OK.
    EntryValues values_;
    IpAddressField subnetMask_;
    IpAddressField gateway_;
    IpAddressField ipAddress_;
    QComboBox* addressBox_ = nullptr;
    QLineEdit* commentEdit_ = nullptr;
    QLineEdit* hostNameEdit_ = nullptr;
};
