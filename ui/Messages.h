// The program's message box: a string of the table, caption "Lumivale", an
// OK button. The dialog and the command line show the same box.
#pragma once

#include <windows.h>

// Returns when the user has dismissed the box; owner may be null.
void ShowStringMessage(HWND owner, int id);
