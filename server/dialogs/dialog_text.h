// Texts the dialogs show in message boxes.
#pragma once

namespace korrind {

// Caption of every message box of the program.
inline constexpr const char* kAppTitle = "Korrind Application";

} // namespace korrind
