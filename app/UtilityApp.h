// The application object: runs the main dialog modally, then ends the process.
#pragma once

class UtilityApp {
public:
    // Returns false: there is no message loop after the dialog closes.
    bool InitInstance();
};
