// The program's message box: a string of the table, caption "Lumivale", an
// OK button. The dialog and the command line show the same box.
#pragma once

#include <windows.h>

struct NextLogon;

// Returns when the user has dismissed the box; owner may be null. With
// reasons, each blocker of the next logon adds a line after the string.
void ShowStringMessage(HWND owner, int id, const NextLogon* reasons = 0);
