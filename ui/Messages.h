// The program's message box: strings of the table, caption "Lumivale", an
// OK button. The dialog and the command line show the same box, and the
// command line writes the same text to its standard output.
#pragma once

#include <windows.h>

struct Notice;

// Return when the user has dismissed the box; owner may be null.
void ShowNotice(HWND owner, const Notice& notice);
void ShowStringMessage(HWND owner, int id);
