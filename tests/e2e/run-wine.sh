#!/bin/sh
# run-wine.sh win64|win32 PROGRAM [ARG]...: runs a Windows program with that
# architecture's loader in the run's prefix of that architecture (the ones
# scripts/test made, LUMIVALE_WINE_READY=1), or else in a display and prefix
# of its own for this one command.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/wine.sh"
lumivale_wine_arch "$1"
shift
if [ "${LUMIVALE_WINE_READY:-}" = 1 ]; then
    case $WINEARCH in
    win64) WINEPREFIX=$LUMIVALE_PREFIX_WIN64 DISPLAY=$LUMIVALE_DISPLAY_WIN64 ;;
    win32) WINEPREFIX=$LUMIVALE_PREFIX_WIN32 DISPLAY=$LUMIVALE_DISPLAY_WIN32 ;;
    esac
    export WINEPREFIX DISPLAY
    exec "$WINELOADER" "$@"
fi
trap 'lumivale_wine_stop remove' EXIT
trap 'exit 130' INT TERM
lumivale_start_xvfb
lumivale_make_prefix "$(mktemp -d /tmp/lumivale-wine.XXXXXX)"
lumivale_wine "$@"
