// Resource and control ids shared by the code and Lumivale.rc.
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_MAIN 102
#define IDR_MAINFRAME 128

#define IDC_DESCRIPTION 1000
#define IDC_DISABLE 1001

#define IDS_ABOUTBOX 101
#define IDS_DESCRIPTION 102
#define IDS_ONLY_XP 103
#define IDS_RESTART 104
#define IDS_ERRORS 105
#define IDS_NOT_INSTALLED 106
#define IDS_WRONG_VERSION 107
// The switches and exit codes, for /? and a command line that is not understood.
#define IDS_USAGE 108
// /status: restored and shown at the next logon, not restored, or restored
// but kept off by the reasons that follow, one line each.
#define IDS_STATUS_SHOWN 109
#define IDS_STATUS_NOT_RESTORED 110
#define IDS_STATUS_NOT_SHOWN 111
#define IDS_REASON_DOMAIN 112
#define IDS_REASON_POLICY 113
#define IDS_REASON_GINA 114  // followed by the GINA's name
#define IDS_REASON_LOGON_TYPE 115
#define IDS_REASON_UNREADABLE 116
// After a "Restore" whose Welcome Screen the next logon will not show, before
// the reasons; after a refusal when the program runs without an
// administrator's rights.
#define IDS_STILL_NOT_SHOWN 117
#define IDS_NEEDS_ADMINISTRATOR 118
// Standard output of /restore and /disable when there is nothing to do.
#define IDS_ALREADY_RESTORED 119
#define IDS_NOT_RESTORED_NOTHING_TO_DO 120

// System-menu command that opens the About box; any command id whose upper
// twelve bits match opens it.
#define CMD_SHOW_ABOUT 0x0010
// The framework's standard Help command.
#define CMD_HELP 0xE146
// Private message the main dialog posts itself to run the startup check.
#define WM_STARTUP_CHECK (0x0400 + 1000)
