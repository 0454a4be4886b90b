// korrind: the BOOTP server program.
#include "server/app/command_ids.h"
#include "server/app/desktop_messagebox.h"
#include "server/app/display_probe.h"
#include "server/app/environment.h"
#include "server/app/korrind_app.h"
#include "server/app/single_instance.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

constexpr char kUsage[] =
    "Usage: korrind [-d<level> | TABLE]\n"
    "       korrind --show | --help | --version\n"
    "\n"
    "The OXL Bootp Server: answers BOOTP requests from the host table named in\n"
    "the registry (BootpSettings\\Bootptabfile).\n"
    "\n"
    "  -d<level>  debug level; a level other than 0 dumps the host tables at start\n"
    "  TABLE      read and write this table file instead of the registry's\n"
    "  --show     show and raise the window of the running server; with none\n"
    "             running, start the server with its window shown\n"
    "  --help     show this text and end\n"
    "  --version  show the version and end\n"
    "\n"
    "A running server is also reached with korrind-ctl(8).\n";

// The switches that act before the server starts; any other argument is
// the engine's (an unknown switch ends the program with status 1). Returns
// the exit status when the program is done, -1 to start the server.
int HandleOwnSwitch(const char* argument, bool& showWindow) {
    if (std::strcmp(argument, "--help") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (std::strcmp(argument, "--version") == 0) {
        std::printf("korrind %s\n", KORRIND_VERSION);
        return 0;
    }
    if (std::strcmp(argument, "--show") != 0)
        return -1;
    std::string error;
    switch (korrind::InstanceLock::AskHolderToShow(korrind::kMainCaption, error)) {
    case 1:
        return 0;
    case 0:
        showWindow = true;
        return -1;
    default:
        std::fprintf(stderr, "korrind: the running server did not show its window: %s\n",
                     error.c_str());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    // Before anything reads it.
    korrind::PrepareEnvironment();
    bool showWindow = false;
    if (argc == 2) {
        int status = HandleOwnSwitch(argv[1], showWindow);
        if (status >= 0)
            return status;
        if (showWindow)
            argc = 1;
    }
    // A server machine has no display; the main window is hidden anyway.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && (!HasDisplay() || DisplayRefused()))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication qt(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (!korrind::IsHeadless())
        korrind::InstallDesktopMessageBox();

    CKorrindApp app(CommandTail(argc, argv));
    if (showWindow)
        app.ShowWindowOnStart();
    return app.Run();
}
