// Ids of the string table's messages, by which the core picks what the
// program says; ui/Lumivale.rc holds the texts.
#pragma once

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
// Before the lines of Unreadable: the values whose read was refused.
#define IDS_UNREADABLE 116
// After a "Restore" whose Welcome Screen the next logon will not show, before
// the reasons; after a refusal when the program runs without an
// administrator's rights.
#define IDS_STILL_NOT_SHOWN 117
#define IDS_NEEDS_ADMINISTRATOR 118
// Standard output of /restore and /disable when there is nothing to do.
#define IDS_ALREADY_RESTORED 119
#define IDS_NOT_RESTORED_NOTHING_TO_DO 120
// /status, among the reasons: what of Restore is not in effect.
#define IDS_UNDONE_GINA 121
#define IDS_UNDONE_CHAINED_GINA 122
#define IDS_UNDONE_LOGON_TYPE 123
// After a Restore, with the marker there, that put in place what was not.
#define IDS_REDONE_GINA 124
#define IDS_REDONE_CHAINED_GINA 125
#define IDS_REDONE_LOGON_TYPE 126
// The first line wherever the chain Winlogon loads at the next start does
// not load; %s is the GINA, or the chain that loops.
#define IDS_CHAIN_MISSING 127
#define IDS_CHAIN_NO_NEXT 128
#define IDS_CHAIN_LOOPS 129
// After "Some errors occured." when Disable would not give back a GINA chain
// that does not load.
#define IDS_REFUSED_MISSING 130
#define IDS_REFUSED_NO_NEXT 131
#define IDS_REFUSED_LOOPS 132
// /status with the marker there and part of Restore not in effect.
#define IDS_STATUS_NOT_IN_EFFECT 133
// Disable would take a GINA that loads now out of the chain.
#define IDS_REFUSED_DROPS 134
// One line for each flag of Unreadable, in its order.
#define IDS_UNREAD_MARKER 135
#define IDS_UNREAD_GINA 136
#define IDS_UNREAD_RECORD 137
#define IDS_UNREAD_CHAINTO 138
#define IDS_UNREAD_LOGON_TYPE 139
#define IDS_UNREAD_POLICY 140
#define IDS_UNREAD_SAVED_GINA 141
#define IDS_UNREAD_SAVED_CHAINTO 142
// Among the reasons: a GinaDLL that names no path; followed by its bytes.
#define IDS_REASON_GINA_NO_PATH 144
// The event of a run in the Application log: how it ran, and a label for
// each value it changed, in the order of layout::kRecordedValues; a value
// that is not there, or one the registry would not show.
#define IDS_RAN_RESTORE_BUTTON 145
#define IDS_RAN_DISABLE_BUTTON 146
#define IDS_RAN_RESTORE_SWITCH 147
#define IDS_RAN_DISABLE_SWITCH 148
#define IDS_VALUE_GINA 149
#define IDS_VALUE_CHAINTO 150
#define IDS_VALUE_CHAINED_CHAINTO 151
#define IDS_VALUE_LOGON_TYPE 152
#define IDS_VALUE_SESSIONS 153
#define IDS_VALUE_SESSIONS_POLICY 154
#define IDS_VALUE_MARKER 155
#define IDS_VALUE_NONE 156
#define IDS_VALUE_UNREADABLE 157
