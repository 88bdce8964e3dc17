# Installs, with apt-get, the Debian 12 packages a command needs and does not
# find. Sourced by scripts/test, scripts/demo and scripts/bench.
#
# scripts/test also needs 32-bit Wine (wine32:i386) for the XP build. With it
# installed, Debian's `wine` script picks the 32-bit loader, so scripts/lib/wine.sh
# names the loader of each prefix itself.

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

# The locales the end-to-end groups of double-byte code pages run under: Wine
# takes the ANSI code page from LC_ALL (ja_JP: 932, zh_TW: 950) and names
# files with their characters only when the locale exists.
LUMIVALE_LOCALES=(ja_JP zh_TW)
lumivale_need_locales() {
    lumivale_need "test -f /usr/share/i18n/locales/ja_JP && test -f /usr/share/i18n/locales/zh_TW" \
        locales
}

# What this run changed on the machine beyond installing packages; said in one
# line by lumivale_report_system_changes.
LUMIVALE_SYSTEM_CHANGES=()
LUMIVALE_SUDO=
[ "$(id -u)" -eq 0 ] || LUMIVALE_SUDO=sudo

lumivale_install_missing() {
    [ ${#LUMIVALE_MISSING[@]} -eq 0 ] && return 0
    local sudo=$LUMIVALE_SUDO
    # Packages of the i386 architecture need it in dpkg before apt-get update.
    case " ${LUMIVALE_MISSING[*]}" in
    *:i386\ * | *:i386)
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            $sudo dpkg --add-architecture i386
            LUMIVALE_SYSTEM_CHANGES+=("dpkg architecture i386 added")
        fi
        ;;
    esac
    echo "Installing: ${LUMIVALE_MISSING[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q "${LUMIVALE_MISSING[@]}"
    LUMIVALE_MISSING=()
}

# Makes those locales (UTF-8) where `locale -a` lacks them.
lumivale_make_locales() {
    local name
    for name in "${LUMIVALE_LOCALES[@]}"; do
        locale -a 2>/dev/null | grep -qix "$name\.utf-\?8" && continue
        $LUMIVALE_SUDO localedef -i "$name" -f UTF-8 "$name.UTF-8"
        LUMIVALE_SYSTEM_CHANGES+=("locale $name.UTF-8 made with localedef")
    done
}

lumivale_report_system_changes() {
    [ ${#LUMIVALE_SYSTEM_CHANGES[@]} -eq 0 ] && return 0
    local IFS=';'
    echo "System-wide setup:${LUMIVALE_SYSTEM_CHANGES[*]/#/ }"
}

# 32-bit Wine, for the XP build in a WINEARCH=win32 prefix.
lumivale_need_wine32() {
    lumivale_need "test -x /usr/lib/wine/wine && test -x /usr/lib/wine/wine64 && \
        dpkg --print-foreign-architectures | grep -qx i386" wine32:i386
}

# Makes i386 Linux programs, such as the 32-bit Wine loader, runnable.
# Kernels without ia32 emulation cannot run them ("Exec format error"); there
# they run through qemu-user, registered for i386 ELF with binfmt_misc. Where
# the kernel runs them itself, nothing is changed. Call before installing
# i386 packages: their install scripts run i386 programs.
lumivale_enable_i386_programs() {
    lumivale_i386_runs && return 0
    local sudo=$LUMIVALE_SUDO binfmt=/proc/sys/fs/binfmt_misc
    if [ ! -e "$binfmt/register" ]; then
        $sudo mount -t binfmt_misc binfmt_misc "$binfmt"
        LUMIVALE_SYSTEM_CHANGES+=("binfmt_misc mounted on $binfmt")
    fi
    if [ -e "$binfmt/qemu-i386" ]; then
        # Somebody else's handler: not ours to change.
        echo "i386 programs do not run although $binfmt/qemu-i386 is registered:" >&2
        head -n 3 "$binfmt/qemu-i386" >&2
        return 1
    fi
    lumivale_qemu_i386_usable || lumivale_install_qemu || return 1
    local qemu flags=OF
    qemu=$(lumivale_qemu_i386_path)
    # P: argv[0] preserved, for qemu's wrapper that expects it.
    case $qemu in *-binfmt-P) flags=POF ;; esac
    # The i386 ELF header (executables and shared objects), as qemu registers
    # it on other hosts. F: the kernel opens the interpreter now, so it also
    # serves programs started in other mount namespaces.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu:$flags" \
        | $sudo tee "$binfmt/register" >/dev/null
    LUMIVALE_SYSTEM_CHANGES+=("i386 ELF programs registered with binfmt_misc to run through $qemu")
    lumivale_i386_runs || { echo "i386 programs still do not run" >&2; return 1; }
}

# bookworm's qemu 7.2 cannot run Wine ("failed to map the shared user data:
# c0000018"); bookworm-backports has a working one.
lumivale_install_qemu() {
    lumivale_add_backports
    echo "Installing: qemu-user-static (bookworm-backports)"
    $LUMIVALE_SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $LUMIVALE_SUDO apt-get install -y -q \
        -t bookworm-backports qemu-user-static
    lumivale_qemu_i386_usable || { echo "no usable qemu-i386-static" >&2; return 1; }
}

# Runs the smallest i386 program: an ELF header, one segment and
# "mov eax, 1; xor ebx, ebx; int 0x80" (exit(0)).
lumivale_i386_runs() {
    local program status=0
    program=$(mktemp /tmp/lumivale-i386.XXXXXX)
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'`
           `'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'`
           `'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'`
           `'\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'`
           `'\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00'`
           `'\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$program"
    chmod +x "$program"
    "$program" 2>/dev/null || status=$?
    rm -f "$program"
    return $status
}

# The qemu-i386 that binfmt_misc starts with argv[0] preserved (the P flag).
lumivale_qemu_i386_path() {
    local p
    for p in /usr/libexec/qemu-binfmt/i386-binfmt-P /usr/bin/qemu-i386-static; do
        [ -x "$p" ] && { echo "$p"; return 0; }
    done
    return 1
}

# qemu-i386-static of version 8 or later.
lumivale_qemu_i386_usable() {
    local version
    lumivale_qemu_i386_path >/dev/null || return 1
    version=$(qemu-i386-static --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p')
    [ -n "$version" ] && [ "$version" -ge 8 ]
}

# Adds Debian's bookworm-backports suite (a file of its own; debian.sources
# stays as it is), unless apt already knows it.
lumivale_add_backports() {
    apt-cache policy 2>/dev/null | grep -q 'bookworm-backports' && return 0
    local list=/etc/apt/sources.list.d/lumivale-bookworm-backports.sources
    printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
        'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' \
        | $LUMIVALE_SUDO tee "$list" >/dev/null
    LUMIVALE_SYSTEM_CHANGES+=("apt source bookworm-backports added ($list)")
}

# Configures and builds build/win32 and build/win64.
lumivale_build_windows() {
    local root=$1 jobs
    jobs=$(nproc 2>/dev/null || echo 2)
    cmake -S "$root" -B "$root/build/win32" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
    cmake --build "$root/build/win32" -j"$jobs"
    cmake -S "$root" -B "$root/build/win64" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
    cmake --build "$root/build/win64" -j"$jobs"
}

# Configures and builds build/win32, build/win64 and build/native.
lumivale_build_all() {
    local root=$1
    lumivale_build_windows "$root"
    cmake -S "$root" -B "$root/build/native" \
        -DLUMIVALE_WIN32_DIR="$root/build/win32" -DLUMIVALE_WIN64_DIR="$root/build/win64" >/dev/null
    cmake --build "$root/build/native" -j"$(nproc 2>/dev/null || echo 2)"
}
