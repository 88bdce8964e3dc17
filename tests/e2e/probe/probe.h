// The probe: a DLL that the driver hooks into the program's thread
// (WH_GETMESSAGE) to look at what another process cannot see, such as the
// system menu, which GetSystemMenu does not return across processes under Wine.
//
// The driver posts kProbeRequestName to the program's main dialog with
// wParam = MAKEWPARAM(command, argument) and lParam = the driver's reply
// window; the probe answers with WM_COPYDATA (dwData = command, text in lpData).
#pragma once

#define PROBE_REQUEST_MESSAGE "Lumivale.e2e.ProbeRequest"
#define PROBE_HOOK_PROC "ProbeGetMessage"

enum ProbeCommand {
    // Items of the dialog's system menu, one line each:
    // "<id in hex>\t<separator|string>\t<state flags in hex>\t<text>".
    kProbeSystemMenu = 1,
    // SetFocus(NULL): no control keeps the keyboard focus. Answers "ok".
    kProbeClearFocus = 2
};
