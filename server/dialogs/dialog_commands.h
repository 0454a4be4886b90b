// The three Configure menu commands as the main frame and view run them:
// each opens its dialog modally and, on OK, does what follows. The parts
// after OK are separate so they can run without a modal loop.
//
//   Configure > Bootp Manager...      OpenBootpManager
//   Configure > Add Entry...          AddEntryFromMenu
//   Configure > Default Settings...   EditDefaultSettings
//   Help buttons, Help > Contents     korrind::OpenHelp (help.h)
#pragma once

#include "server/core/entry_rows.h"
#include "server/dialogs/manager_dlg.h"

class CKorrindDoc;
class QWidget;

namespace korrind {

inline constexpr const char* kUpgradeComCtl = "Upgrade comctl32.dll to version 4.71";

// Runs the Bootp Manager; after OK writes the pending changes and reloads.
void OpenBootpManager(CKorrindDoc& doc, QWidget* parent, const ComCtlGate& requireComCtl471);
// The manager closed with OK: apply, then the engine, the lines and the
// working list start again from the file. 1 when something was written.
int ApplyManagerChanges(CKorrindDoc& doc);

// Runs the entry dialog in add mode; the new entry is written at once.
void AddEntryFromMenu(CKorrindDoc& doc, QWidget* parent, const ComCtlGate& requireComCtl471);
// Appends a new row with the values and applies every marked row.
int AddEntryAndApply(CKorrindDoc& doc, const EntryValues& values);

// Runs the Default Settings dialog; on OK stores the defaults in the file.
void EditDefaultSettings(CKorrindDoc& doc, QWidget* parent, const ComCtlGate& requireComCtl471);
// New defaults into the document's lines, then the file is written.
void StoreDefaultSettings(CKorrindDoc& doc, const std::string& gateway,
                          const std::string& subnetMask);

} // namespace korrind
