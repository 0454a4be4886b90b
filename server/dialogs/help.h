// Help for the server's dialogs: one HTML file whose sections are named by
// the help context ids, shown in the desktop's browser.
#pragma once

#include <QString>
#include <QUrl>

#include <functional>

namespace korrind {

// Help context ids of the Help buttons; 0 opens the contents.
constexpr int kHelpContents = 0;
constexpr int kHelpManager = 10;
constexpr int kHelpAddEntry = 20;
constexpr int kHelpDefaults = 30;
constexpr int kHelpModifyEntry = 40;

// Path of the help file, or empty when none of the places it may be in
// holds it: $OLVANI_RESOURCE_DIR/korrind/, the installed share folder, the
// program's own folder and the source tree.
QString HelpFilePath();

// The file's URL with the context id as anchor (none for the contents).
QUrl HelpUrl(const QString& path, int contextId);

// Opens the help at a context; tells the user when there is no help file
// or no browser to show it.
void OpenHelp(int contextId);

// Where OpenHelp hands the URL; the default is the desktop's browser.
// Returns the previous opener; an empty one restores the default.
using HelpOpener = std::function<bool(const QUrl&)>;
HelpOpener SetHelpOpener(HelpOpener opener);

} // namespace korrind
