// Whether the X display the environment names can be used, asked before
// Qt starts: Qt ends the whole process when its platform cannot open the
// display, as after sudo from a desktop session.
#pragma once

namespace korrind {

// True when an X connection to $DISPLAY succeeds (socket, authorisation
// and set-up); false without DISPLAY or for a display that refuses us.
bool XDisplayUsable();

} // namespace korrind
