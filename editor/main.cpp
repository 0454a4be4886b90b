// tesslin: the BOOTP server's settings editor.
#include "editor/resource_ui.h"
#include "editor/settings_dlg.h"
#include "platform/resources.h"
#include "server/app/desktop_messagebox.h"

#include <QApplication>

#include <cstdlib>

namespace {

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = secure_getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (!secure_getenv("QT_QPA_PLATFORM") && !HasDisplay())
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Without its resource module the program has nothing to show: it ends
    // at once, without a window.
    HINSTANCE resources = nullptr;
    if (ASLoadResourceFile(OlvaniThisModule(), &resources) < 0)
        return 1;
    QApplication qt(argc, argv);
    if (!korrind::IsHeadless())
        korrind::InstallDesktopMessageBox();
    tesslin::SetResourceModule(resources);
    {
        CEditSettingsDlg dialog;
        dialog.DoModal();
    }
    FreeLibrary(resources);
    return 0;
}
