#include "server/dialogs/dialog_commands.h"

#include "bootp/host_directory.h"
#include "platform/messagebox.h"
#include "server/core/korrind_doc.h"
#include "server/dialogs/defaults_dlg.h"
#include "server/dialogs/doc_messages.h"
#include "server/dialogs/entry_checks.h"
#include "server/dialogs/entry_dlg.h"
#include "server/dialogs/host_listing.h"

namespace korrind {
namespace {

bool PassesGate(const ComCtlGate& requireComCtl471) {
    if (requireComCtl471 && requireComCtl471() != 0)
        return true;
    MessageBox(kUpgradeComCtl, kKorrindTitle, MB_OK | MB_ICONEXCLAMATION);
    return false;
}

} // namespace

void OpenBootpManager(CKorrindDoc& doc, QWidget* parent, const ComCtlGate& requireComCtl471) {
    CManagerDlg dialog(&doc, requireComCtl471, parent);
    if (dialog.exec() == QDialog::Accepted)
        ShowDocResult(ApplyManagerChanges(doc));
}

void AddEntryFromMenu(CKorrindDoc& doc, QWidget* parent, const ComCtlGate& requireComCtl471,
                      const std::string& hardwareAddress) {
    if (!PassesGate(requireComCtl471))
        return;
    // The duplicate checks look at the working list; without pending marks
    // it may as well hold the current table, so that an entry already in
    // the file is not added a second time (the engine would drop it).
    if (!HasMarkedRows(doc.EntryRows())) {
        RereadHostTable();
        RebuildEntryRows(doc);
    }
    CEntryDlg dialog(&doc, parent);
    if (!hardwareAddress.empty())
        dialog.SelectAddress(hardwareAddress);
    if (dialog.exec() == QDialog::Accepted)
        ShowDocResult(AddEntryAndApply(doc, dialog.Values()));
}

void EditDefaultSettings(CKorrindDoc& doc, QWidget* parent, const ComCtlGate& requireComCtl471) {
    if (!PassesGate(requireComCtl471))
        return;
    CDefaultsDlg dialog(&doc, parent);
    if (dialog.exec() == QDialog::Accepted)
        ShowDocResult(StoreDefaultSettings(doc, dialog.Gateway(), dialog.SubnetMask()));
}

} // namespace korrind
