# Shell functions that give a run its own X display and Wine prefixes.
# Sourced by scripts/test, scripts/demo, scripts/bench and
# tests/e2e/run-wine.sh (so plain sh, no arrays); each function exports what
# later commands need and records what it started so that lumivale_wine_stop
# ends exactly that and nothing else.

export WINEDEBUG=-all
# The 64-bit server serves 32-bit prefixes too, without emulation where
# 32-bit programs run through qemu.
export WINESERVER=/usr/lib/wine/wineserver64
# No Mono or Gecko installer prompts when a display is present.
export WINEDLLOVERRIDES="mscoree,mshtml="

# lumivale_wine_arch win64|win32: the loader for a prefix of that kind, named
# explicitly. Debian's `wine` script prefers the 32-bit loader whenever wine32
# is installed and then makes WoW64 prefixes, whose 32-bit tools (regedit,
# reg) see the 32-bit registry view, not the one a 64-bit program sees. A
# win32 prefix is 32-bit throughout, as Windows XP is.
lumivale_wine_arch() {
    case $1 in
    win64) WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 ;;
    win32) WINEARCH=win32 WINELOADER=/usr/lib/wine/wine ;;
    *) echo "unknown Wine architecture: $1" >&2; return 1 ;;
    esac
    export WINEARCH WINELOADER
}
lumivale_wine_arch win64

# Runs a Windows program (or a Wine tool such as regedit) with the loader above.
lumivale_wine() { "$WINELOADER" "$@"; }

LUMIVALE_XVFB_PIDS=
LUMIVALE_OWN_PREFIXES=

# Starts Xvfb on a free display and exports DISPLAY. Each prefix gets a
# display of its own: windows of two prefixes on one display take the focus
# from each other.
lumivale_start_xvfb() {
    command -v Xvfb >/dev/null || { echo "Xvfb is not installed" >&2; return 1; }
    local tmp
    tmp=$(mktemp -d)
    # -displayfd: Xvfb picks a free display and writes its number once ready.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
    local pid=$! i
    LUMIVALE_XVFB_PIDS="$LUMIVALE_XVFB_PIDS $pid"
    for i in $(seq 1 100); do
        [ -s "$tmp/display" ] && break
        kill -0 "$pid" 2>/dev/null || break
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

# Records a prefix as this run's own, for lumivale_wine_stop.
lumivale_own_prefix() {
    case " $LUMIVALE_OWN_PREFIXES " in
    *" $1 "*) ;;
    *) LUMIVALE_OWN_PREFIXES="$LUMIVALE_OWN_PREFIXES $1" ;;
    esac
}

# Creates a fresh prefix of the current architecture (lumivale_wine_arch) in
# directory $1 (made if missing) that reports Windows XP, and exports
# WINEPREFIX. $2 = "managed" leaves Wine's windows to the desktop's window
# manager; otherwise Wine places them itself, which removes the pause after
# every message box when no window manager runs.
lumivale_make_prefix() {
    export WINEPREFIX="$1"
    mkdir -p "$WINEPREFIX"
    lumivale_own_prefix "$WINEPREFIX"
    # A server that stays up between programs: restarting it and the
    # prefix's services would cost seconds per program. lumivale_wine_stop
    # ends it.
    "$WINESERVER" -p 2>/dev/null || true
    lumivale_wine wineboot -i >/dev/null 2>&1 || { echo "wineboot failed ($WINEARCH)" >&2; return 1; }
    # Wine here does not load the fonts of its data folder (fonts-wine), so
    # caption buttons would show Marlett's letters ("r") instead of glyphs:
    # the prefix gets its own copy.
    if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
        cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    fi
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
    # Once no program of the prefix runs, Wine ends its services and desktop
    # process; the next program's desktop then waits 10 s for the RPC service.
    # A cmd that waits for input that never comes (a fifo open both ways)
    # keeps them running until lumivale_wine_stop ends the server.
    mkfifo "$WINEPREFIX/lumivale-idle"
    lumivale_wine cmd <>"$WINEPREFIX/lumivale-idle" >/dev/null 2>&1 &
}

# Ends the Wine servers of our prefixes, then our Xvfb servers, and removes
# the prefixes when the caller asks for it ($1 = "remove").
lumivale_wine_stop() {
    local prefix pid
    for prefix in $LUMIVALE_OWN_PREFIXES; do
        WINEPREFIX="$prefix" "$WINESERVER" -k 2>/dev/null || true
        WINEPREFIX="$prefix" "$WINESERVER" -w 2>/dev/null || true
        if [ "${1:-}" = remove ]; then rm -rf "$prefix"; fi
    done
    LUMIVALE_OWN_PREFIXES=
    for pid in $LUMIVALE_XVFB_PIDS; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    LUMIVALE_XVFB_PIDS=
}
