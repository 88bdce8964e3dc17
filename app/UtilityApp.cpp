#include "app/UtilityApp.h"

#include <windows.h>
#include <commctrl.h>

#include "platform/Win32Registry.h"
#include "platform/Win32System.h"
#include "ui/MainDialog.h"

bool UtilityApp::InitInstance() {
    // XP will not create a dialog under the visual-styles manifest until the
    // common controls are initialised.
    InitCommonControls();
    Win32Registry registry;
    Win32System system;
    MainDialog dialog(registry, system);
    dialog.DoModal();
    return false;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    static UtilityApp app;
    app.InitInstance();
    return 0;
}
