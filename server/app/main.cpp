// korrind: the BOOTP server program.
#include "server/app/desktop_messagebox.h"
#include "server/app/display_probe.h"
#include "server/app/environment.h"
#include "server/app/korrind_app.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

// Qt would end the process on a display it cannot open (a stale DISPLAY,
// no authorisation after sudo): the hidden window needs none, so the
// server runs offscreen and says so in one line.
bool DisplayRefused() {
    if (korrind::XDisplayUsable())
        return false;
    const char* display = std::getenv("DISPLAY");
    if (display != nullptr && *display != '\0')
        std::fprintf(stderr, "korrind: cannot open display \"%s\"; running without a window\n",
                     display);
    return true;
}

// The whole command line after the program name, as one string: a table
// path with blanks in it stays one path.
std::string CommandTail(int argc, char** argv) {
    std::string tail;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            tail += ' ';
        tail += argv[i];
    }
    return tail;
}

} // namespace

int main(int argc, char** argv) {
    // Before anything reads it.
    korrind::PrepareEnvironment();
    // A server machine has no display; the main window is hidden anyway.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && (!HasDisplay() || DisplayRefused()))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication qt(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (!korrind::IsHeadless())
        korrind::InstallDesktopMessageBox();

    CKorrindApp app(CommandTail(argc, argv));
    return app.Run();
}
