// Message boxes on a desktop: real dialogs instead of the headless default.
#pragma once

namespace korrind {

// True when Qt runs without a display (the offscreen or minimal platform).
bool IsHeadless();

// Sends every MessageBox call to a modal QMessageBox. Call once the
// QApplication exists, and only on a desktop.
void InstallDesktopMessageBox();

} // namespace korrind
