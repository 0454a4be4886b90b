// Command and control ids of the server's menus and windows. Each action and
// control carries its id as its object name, so tests and tools find it.
#pragma once

namespace korrind {

constexpr int ID_LOG_DISABLE = 32773;
constexpr int ID_LOG_ENABLE = 32774;
constexpr int ID_BOOTP_MANAGER = 32775;
constexpr int ID_ADD_ENTRY = 32776;
constexpr int ID_DEFAULT_SETTINGS = 32778;
constexpr int ID_HELP_CONTENTS = 32779;
constexpr int ID_EDIT_CLEAR = 57632;
constexpr int ID_APP_ABOUT = 57664;
constexpr int ID_APP_EXIT = 57665;

constexpr int AFX_IDW_STATUS_BAR = 59393;
constexpr int ID_INDICATOR_CAPS = 59137;
constexpr int ID_INDICATOR_NUM = 59138;
constexpr int ID_INDICATOR_SCRL = 59139;

constexpr int IDD_ABOUTBOX = 100;
constexpr int IDOK_BUTTON = 1;

// Main window caption, and the name that keeps a second copy from starting.
inline constexpr char kMainCaption[] = "OXL Bootp Server";

} // namespace korrind
