# What scripts/release does, in functions its tests call as well. Sourced
# after scripts/lib/deps.sh.

# The packages a release needs: the XP build's toolchain, Python for the zip,
# and osslsigncode when it signs.
lumivale_need_release() {
    lumivale_need "command -v cmake" cmake
    lumivale_need "command -v make" make
    lumivale_need "command -v i686-w64-mingw32-g++-win32" g++-mingw-w64-i686
    lumivale_need "command -v git" git
    lumivale_need "command -v python3" python3
    [ "${1:-}" = sign ] && lumivale_need "command -v osslsigncode" osslsigncode
    return 0
}

# lumivale_version ROOT: the version, as ui/Version.h gives it.
lumivale_version() {
    sed -n 's/^#define LUMIVALE_VERSION_TEXT "\(.*\)"$/\1/p' "$1/ui/Version.h"
}

# lumivale_build_xp ROOT DIR: the XP program alone, in DIR (build/win32 is
# where the tests build and run it).
lumivale_build_xp() {
    lumivale_configure "$1" "$2" \
        -DCMAKE_TOOLCHAIN_FILE="$1/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel
    cmake --build "$2" --target Lumivale -j"$(nproc 2>/dev/null || echo 2)" >/dev/null
}

# lumivale_sign IN OUT PFX [URL]: Authenticode through osslsigncode: a SHA-1
# signature, the one Windows XP checks, and nested in it a SHA-256 one for
# later Windows; each time-stamped by URL when given. The password, from
# LUMIVALE_SIGN_PASSWORD, goes to osslsigncode in a file of this user's, not
# on a command line every user can read. Nothing is left at OUT on failure.
lumivale_sign() {
    local in=$1 out=$2 pfx=$3 url=${4:-} work status=0
    local stamp=() nested=()
    [ -n "$url" ] && stamp=(-t "$url") && nested=(-ts "$url")
    work=$(mktemp -d)
    (umask 077 && printf '%s' "${LUMIVALE_SIGN_PASSWORD:-}" >"$work/password")
    osslsigncode sign -pkcs12 "$pfx" -readpass "$work/password" -h sha1 -n Lumivale \
        "${stamp[@]}" -in "$in" -out "$work/sha1.exe" >"$work/log" 2>&1 &&
        osslsigncode sign -nest -pkcs12 "$pfx" -readpass "$work/password" -h sha256 \
            -n Lumivale "${nested[@]}" -in "$work/sha1.exe" -out "$out" >>"$work/log" 2>&1 ||
        status=1
    [ $status -eq 0 ] || rm -f "$out"
    rm -rf "$work"
    return $status
}

# lumivale_zip ZIP EPOCH FILE...: a zip that Windows XP's "Compressed
# (zipped) Folders" opens, the same bytes for the same files: entries in the
# order given, each dated EPOCH (the commit's time, in UTC), with fixed
# permissions and no extra fields.
lumivale_zip() {
    python3 - "$@" <<'PY'
import os, sys, time, zipfile
target, epoch, files = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip dates nothing before 1980
with zipfile.ZipFile(target, "w") as archive:
    for path in files:
        entry = zipfile.ZipInfo(os.path.basename(path), stamp)
        entry.create_system = 0  # MS-DOS, as Windows writes them
        entry.external_attr = 0x20  # the archive attribute
        entry.compress_type = zipfile.ZIP_DEFLATED
        with open(path, "rb") as data:
            archive.writestr(entry, data.read(), compresslevel=9)
PY
}
