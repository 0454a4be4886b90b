// Service use: SIGTERM (systemd stop), SIGINT and SIGHUP close the main
// window like File > Exit, so the engine stops in order.
#pragma once

class QWidget;

namespace korrind {

// Routes the three signals to window->close() on the event loop. Call once.
void CloseOnTerminationSignals(QWidget* window);

} // namespace korrind
