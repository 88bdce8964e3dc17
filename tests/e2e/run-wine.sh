#!/bin/sh
# run-wine.sh win64|win32 PROGRAM [ARG]...: runs a Windows program with that
# architecture's loader in the run's prefix of that architecture (the ones
# scripts/test made, LUMIVALE_WINE_READY=1), or else in a display and prefix
# of its own for this one command.
#
# Wine has no event log: ReportEventW prints each event (a fixme of advapi,
# then its strings on the eventlog channel) to the Unix standard error that
# every Wine process of the run shares. That goes to a file of its own,
# LUMIVALE_WINE_LOG, from which the end-to-end driver reads the events back;
# the rest of it is passed on to this script's standard error at the end.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/wine.sh"
lumivale_wine_arch "$1"
shift
LUMIVALE_WINE_LOG=$(mktemp /tmp/lumivale-wine-log.XXXXXX)
export LUMIVALE_WINE_LOG
events=-all,fixme+advapi,+eventlog
status=0
if [ "${LUMIVALE_WINE_READY:-}" = 1 ]; then
    case $WINEARCH in
    win64) WINEPREFIX=$LUMIVALE_PREFIX_WIN64 DISPLAY=$LUMIVALE_DISPLAY_WIN64 ;;
    win32) WINEPREFIX=$LUMIVALE_PREFIX_WIN32 DISPLAY=$LUMIVALE_DISPLAY_WIN32 ;;
    esac
    export WINEPREFIX DISPLAY
    trap 'rm -f "$LUMIVALE_WINE_LOG"' EXIT
    WINEDEBUG=$events "$WINELOADER" "$@" 2>>"$LUMIVALE_WINE_LOG" || status=$?
else
    trap 'lumivale_wine_stop remove; rm -f "$LUMIVALE_WINE_LOG"' EXIT
    trap 'exit 130' INT TERM
    lumivale_start_xvfb
    lumivale_make_prefix "$(mktemp -d /tmp/lumivale-wine.XXXXXX)"
    WINEDEBUG=$events "$WINELOADER" "$@" 2>>"$LUMIVALE_WINE_LOG" || status=$?
fi
grep -v -e ':eventlog:' -e ':fixme:advapi:' "$LUMIVALE_WINE_LOG" >&2 || true
exit "$status"
