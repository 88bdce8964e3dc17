# Installs, with apt-get, the Debian 12 packages a command needs and does not
# find. Sourced by scripts/test and scripts/demo.
#
# No i386 architecture: without wine32, `wine` runs 64-bit programs through
# wine64; with wine32 present it would try, and fail, to run them as 32-bit.

# lumivale_need CHECK PACKAGE...: queue the packages when CHECK fails.
LUMIVALE_MISSING=()
lumivale_need() {
    local check=$1
    shift
    eval "$check" >/dev/null 2>&1 || LUMIVALE_MISSING+=("$@")
}

# The build toolchains, Wine with its fonts, Xvfb, GoogleTest, Python.
lumivale_need_build_and_test() {
    lumivale_need "command -v cmake" cmake
    lumivale_need "command -v g++ && command -v make" g++ make
    lumivale_need "command -v i686-w64-mingw32-g++-win32" g++-mingw-w64-i686
    lumivale_need "command -v x86_64-w64-mingw32-g++-win32" g++-mingw-w64-x86-64
    lumivale_need "test -x /usr/lib/wine/wine64 && command -v wine" wine wine64
    lumivale_need "test -f /usr/share/wine/fonts/ms_sans_serif.ttf" fonts-wine
    lumivale_need "command -v Xvfb" xvfb
    lumivale_need "test -f /usr/include/gtest/gtest.h" libgtest-dev
    lumivale_need "test -f /usr/include/gmock/gmock.h" libgmock-dev
    lumivale_need "command -v python3" python3
}

lumivale_install_missing() {
    [ ${#LUMIVALE_MISSING[@]} -eq 0 ] && return 0
    local sudo=
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing: ${LUMIVALE_MISSING[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q "${LUMIVALE_MISSING[@]}"
    LUMIVALE_MISSING=()
}

# Configures and builds build/win32, build/win64 and build/native.
lumivale_build_all() {
    local root=$1 jobs
    jobs=$(nproc 2>/dev/null || echo 2)
    cmake -S "$root" -B "$root/build/win32" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
    cmake --build "$root/build/win32" -j"$jobs"
    cmake -S "$root" -B "$root/build/win64" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
    cmake --build "$root/build/win64" -j"$jobs"
    cmake -S "$root" -B "$root/build/native" \
        -DLUMIVALE_WIN32_DIR="$root/build/win32" -DLUMIVALE_WIN64_DIR="$root/build/win64" >/dev/null
    cmake --build "$root/build/native" -j"$jobs"
}
