#!/bin/sh
# Runs a Windows program in the run's Wine prefix: the one scripts/test made
# (LUMIVALE_WINE_READY=1), or else a display and prefix of its own for this
# one command.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/wine.sh"
if [ "${LUMIVALE_WINE_READY:-}" = 1 ]; then
    exec "$WINELOADER" "$@"
fi
trap 'lumivale_wine_stop remove' EXIT
trap 'exit 130' INT TERM
lumivale_start_xvfb
lumivale_make_prefix "$(mktemp -d /tmp/lumivale-wine.XXXXXX)"
lumivale_wine "$@"
