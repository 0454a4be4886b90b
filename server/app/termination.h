// Service use: SIGTERM (systemd stop), SIGINT and SIGHUP close the main
// window like File > Exit, so the engine stops in order.
#pragma once

#include <functional>

class QWidget;

namespace korrind {

// Routes the three signals to exit() on the event loop, while window lives.
// Call once.
void CloseOnTerminationSignals(QWidget* window, std::function<void()> exit);

} // namespace korrind
