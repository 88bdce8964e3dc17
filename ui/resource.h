// Resource and control ids shared by the code and Lumivale.rc.
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_MAIN 102
#define IDR_MAINFRAME 128

#define IDC_DESCRIPTION 1000
#define IDC_DISABLE 1001

// The string table's ids, which the core picks its messages by.
#include "checks/MessageIds.h"
// The dialog's text while a press waits for another copy.
#define IDS_WAITING 143

// System-menu command that opens the About box; any command id whose upper
// twelve bits match opens it.
#define CMD_SHOW_ABOUT 0x0010
// The framework's standard Help command.
#define CMD_HELP 0xE146
// Private message the main dialog posts itself to run the startup check.
#define WM_STARTUP_CHECK (0x0400 + 1000)
