// The three Configure menu commands as the main frame and view run them:
// each opens its dialog modally and, on OK, does what follows and shows
// what the operator is to be told. The parts after OK (entry_commands.h)
// run without a dialog and show nothing.
//
//   Configure > Bootp Manager...      OpenBootpManager
//   Configure > Add Entry...          AddEntryFromMenu
//   Configure > Default Settings...   EditDefaultSettings
//   Help buttons, Help > Contents     korrind::OpenHelp (help.h)
#pragma once

#include "server/core/entry_rows.h"
#include "server/dialogs/entry_commands.h"
#include "server/dialogs/manager_dlg.h"

class CKorrindDoc;
class QWidget;

namespace korrind {

inline constexpr const char* kUpgradeComCtl = "Upgrade comctl32.dll to version 4.71";

// Runs the Bootp Manager; after OK writes the pending changes and reloads.
void OpenBootpManager(CKorrindDoc& doc, QWidget* parent, const ComCtlGate& requireComCtl471);

// Runs the entry dialog in add mode; the new entry is written at once.
// hardwareAddress, when given, is the one the address box shows selected.
void AddEntryFromMenu(CKorrindDoc& doc, QWidget* parent, const ComCtlGate& requireComCtl471,
                      const std::string& hardwareAddress = {});

// Runs the Default Settings dialog; on OK stores the defaults in the file.
void EditDefaultSettings(CKorrindDoc& doc, QWidget* parent, const ComCtlGate& requireComCtl471);

} // namespace korrind
