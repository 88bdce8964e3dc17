# Shell functions that give a run its own X display and Wine prefix.
# Sourced by scripts/test, scripts/demo and tests/e2e/run-wine.sh; each
# function exports what later commands need and records what it started so
# that lumivale_wine_stop ends exactly that and nothing else.

export WINEDEBUG=-all
# Debian's `wine` script prefers the 32-bit loader whenever wine32 is
# installed, and 32-bit tools then read and write the 32-bit registry view of
# a 64-bit prefix. The 64-bit loader is named explicitly, so the registry view
# is the program's own whatever else is installed.
export WINEARCH=win64
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64

# Runs a Windows program (or a Wine tool such as regedit) with the loader above.
lumivale_wine() { "$WINELOADER" "$@"; }
# No Mono or Gecko installer prompts when a display is present.
export WINEDLLOVERRIDES="mscoree,mshtml="

LUMIVALE_XVFB_PID=
LUMIVALE_OWN_PREFIX=

# Starts Xvfb on a free display and exports DISPLAY.
lumivale_start_xvfb() {
    command -v Xvfb >/dev/null || { echo "Xvfb is not installed" >&2; return 1; }
    local tmp
    tmp=$(mktemp -d)
    # -displayfd: Xvfb picks a free display and writes its number once ready.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
    LUMIVALE_XVFB_PID=$!
    local i
    for i in $(seq 1 100); do
        [ -s "$tmp/display" ] && break
        kill -0 "$LUMIVALE_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$tmp/display" ]; then
        rm -rf "$tmp"
        echo "Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$(tr -dc 0-9 <"$tmp/display")"
    rm -rf "$tmp"
}

# Creates a fresh 64-bit prefix in directory $1 (made if missing) that reports
# Windows XP, and exports WINEPREFIX. $2 = "managed" leaves Wine's windows to
# the desktop's window manager; otherwise Wine places them itself, which
# removes the pause after every message box when no window manager runs.
lumivale_make_prefix() {
    export WINEPREFIX="$1"
    mkdir -p "$WINEPREFIX"
    LUMIVALE_OWN_PREFIX="$WINEPREFIX"
    # A server that stays up between programs: restarting it and the
    # prefix's services would cost seconds per program. lumivale_wine_stop
    # ends it.
    "$WINESERVER" -p 2>/dev/null || true
    lumivale_wine wineboot -i >/dev/null 2>&1 || { echo "wineboot failed" >&2; return 1; }
    local reg="$WINEPREFIX/lumivale-settings.reg" managed=N
    [ "${2:-}" = managed ] && managed=Y
    # Version winxp: GetVersionExA reports NT 5.1.
    # ShowCrashDialog 0: a crashing program exits instead of waiting on a dialog.
    cat >"$reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine]
"Version"="winxp"

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="$managed"
REG
    lumivale_wine regedit /S "$(lumivale_wine winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1 \
        || { echo "could not configure the Wine prefix" >&2; return 1; }
}

# Ends the Wine server of our prefix, then Xvfb, and removes the prefix when
# the caller asks for it ($1 = "remove").
lumivale_wine_stop() {
    if [ -n "$LUMIVALE_OWN_PREFIX" ]; then
        WINEPREFIX="$LUMIVALE_OWN_PREFIX" "$WINESERVER" -k 2>/dev/null || true
        WINEPREFIX="$LUMIVALE_OWN_PREFIX" "$WINESERVER" -w 2>/dev/null || true
        if [ "${1:-}" = remove ]; then rm -rf "$LUMIVALE_OWN_PREFIX"; fi
        LUMIVALE_OWN_PREFIX=
    fi
    if [ -n "$LUMIVALE_XVFB_PID" ]; then
        kill "$LUMIVALE_XVFB_PID" 2>/dev/null || true
        wait "$LUMIVALE_XVFB_PID" 2>/dev/null || true
        LUMIVALE_XVFB_PID=
    fi
}
