# Installs, with apt-get, the Debian 12 packages a command needs and does not
# find. Sourced by scripts/test, scripts/demo and scripts/bench.
#
# scripts/test also needs 32-bit Wine (wine32:i386) for the XP build. With it
# installed, Debian's `wine` script picks the 32-bit loader, so scripts/lib/wine.sh
# names the loader of each prefix itself.

# lumivale_need CHECK PACKAGE...: queue the packages when CHECK fails, each
# once.
LUMIVALE_MISSING=()
lumivale_need() {
    local check=$1 package
    shift
    eval "$check" >/dev/null 2>&1 && return 0
    for package; do
        case " ${LUMIVALE_MISSING[*]} " in
        *" $package "*) ;;
        *) LUMIVALE_MISSING+=("$package") ;;
        esac
    done
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
    # The release's tests: clones, a throw-away certificate, a signature.
    lumivale_need "command -v git" git
    lumivale_need "command -v openssl" openssl
    lumivale_need "command -v osslsigncode" osslsigncode
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
    lumivale_apt_install "${LUMIVALE_MISSING[@]}" || return 1
    LUMIVALE_MISSING=()
}

# A package index can fail to download: a mirror in the middle of a sync is
# ordinary and can last hours. The suites of those that failed in the last
# lumivale_apt_update, and what apt said of them, in one line.
LUMIVALE_FAILED_SUITES=()
LUMIVALE_FAILED_INDEXES=

# lumivale_apt_update [APT-OPTION...]: apt-get update that goes on with the
# lists there are when indexes fail, saying which in one line.
lumivale_apt_update() {
    local log
    log=$(mktemp /tmp/lumivale-apt.XXXXXX)
    $LUMIVALE_SUDO apt-get "$@" update -q 2>&1 | tee "$log" || :
    # apt writes "Err:N URI SUITE[/COMPONENT] [ARCH] WHAT", the reason below.
    LUMIVALE_FAILED_INDEXES=$(awk '/^Err:/ {
        sub(/^Err:[0-9]+ /, ""); what = $0
        getline; sub(/^[ \t]+/, ""); sub(/ *\[IP: [^]]*\]$/, "")
        printf "%s%s: %s", sep, what, $0; sep = "; " }' "$log")
    mapfile -t LUMIVALE_FAILED_SUITES < <(awk '/^Err:/ { sub(/\/.*/, "", $3); print $3 }' "$log" | sort -u)
    rm -f "$log"
    [ -z "$LUMIVALE_FAILED_INDEXES" ] ||
        echo "Package indexes that failed to download, going on without them: $LUMIVALE_FAILED_INDEXES"
}

# lumivale_apt_install PACKAGE...: one apt-get install of them all, after an
# update. When it fails after indexes failed, it tries once more with their
# suites left out of apt's sources for this one update and install: a suite
# whose i386 index failed still offers amd64 packages newer than any i386 one
# left, and multiarch needs both at one version ("held broken packages").
# The machine's sources stay as they are. Ends non-zero, saying so in one
# line, when nothing works.
lumivale_apt_install() {
    local sudo=$LUMIVALE_SUDO dir suites failed status=0
    export DEBIAN_FRONTEND=noninteractive
    lumivale_apt_update
    $sudo apt-get install -y -q "$@" && return 0
    if [ ${#LUMIVALE_FAILED_SUITES[@]} -eq 0 ]; then
        echo "Could not install $*: apt-get install failed" >&2
        return 1
    fi
    suites=${LUMIVALE_FAILED_SUITES[*]} failed=$LUMIVALE_FAILED_INDEXES
    dir=$(mktemp -d /tmp/lumivale-sources.XXXXXX)
    lumivale_sources_without "$dir" "${LUMIVALE_FAILED_SUITES[@]}"
    echo "Trying again with $suites left out of apt's sources for this install only"
    local without=(-o Dir::Etc::sourcelist=/dev/null -o Dir::Etc::sourceparts="$dir")
    lumivale_apt_update "${without[@]}"
    $sudo apt-get "${without[@]}" install -y -q "$@" || status=$?
    rm -rf "$dir"
    if [ "$status" -ne 0 ]; then
        echo "Could not install $*, not even with $suites left out of apt's sources; index that failed to download: $failed" >&2
        return 1
    fi
    LUMIVALE_SYSTEM_CHANGES+=("$suites left out of apt's sources for one install, as an index of it failed to download; apt's lists lack it until the next apt-get update")
}

# lumivale_sources_without DIR SUITE...: copies apt's sources into DIR, less
# those suites: a deb822 stanza keeps its other suites (and goes when none is
# left), a one-line entry of one of them goes.
lumivale_sources_without() {
    local dir=$1 list parts file n=0
    shift
    eval "$(apt-config shell list Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d)"
    for file in "$list" "$parts"*.list "$parts"*.sources; do
        [ -f "$file" ] || continue
        n=$((n + 1))
        case $file in
        *.sources) awk -v drop=" $* " 'BEGIN { RS = ""; FS = "\n" }
            {
                head = ""; tail = ""; suites = ""; field = ""; seen = 0
                for (i = 1; i <= NF; i++) {
                    line = $i
                    if (line !~ /^#/ && line ~ /^[^ \t]/)
                        field = tolower(substr(line, 1, index(line, ":") - 1))
                    if (field != "suites" || line ~ /^#/) {
                        if (seen) tail = tail line "\n"; else head = head line "\n"
                        continue
                    }
                    seen = 1
                    sub(/^[^ \t]*:/, "", line)
                    n = split(line, word, /[ \t]+/)
                    for (j = 1; j <= n; j++)
                        if (word[j] != "" && index(drop, " " word[j] " ") == 0)
                            suites = suites " " word[j]
                }
                if (seen && suites == "") next
                printf "%s%s%s", sep, head, seen ? "Suites:" suites "\n" tail : ""
                sep = "\n"
            }' ;;
        *) awk -v drop=" $* " '/^[ \t]*(#|$)/ { print; next }
            {
                i = 2
                if ($i ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
                if (index(drop, " " $(i + 1) " ") == 0) print
            }' ;;
        esac <"$file" >"$dir/$n-${file##*/}"
    done
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

# 32-bit Wine, for the XP build in a WINEARCH=win32 prefix. It comes with
# wine and wine64 in one transaction, even when only it is missing: multiarch
# needs them at one version, and apt, given one alone, may remove the other.
lumivale_need_wine32() {
    lumivale_need "test -x /usr/lib/wine/wine && test -x /usr/lib/wine/wine64 && command -v wine && \
        dpkg --print-foreign-architectures | grep -qx i386" wine wine64 wine32:i386
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
    # pkg/suite: apt takes the dependencies it needs from that suite too.
    lumivale_apt_install qemu-user-static/bookworm-backports || return 1
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

# lumivale_configure ROOT DIR CMAKE-ARGUMENT...: a configure that failed (a
# compiler not installed yet) leaves a cache without the build type's flags,
# which the next configure would keep: the XP build would come out
# unoptimised. Such a cache goes.
lumivale_configure() {
    local root=$1 dir=$2
    shift 2
    cmake -S "$root" -B "$dir" "$@" >/dev/null && return 0
    rm -f "$dir/CMakeCache.txt"
    return 1
}

# Configures and builds build/win32 and build/win64.
lumivale_build_windows() {
    local root=$1 jobs
    jobs=$(nproc 2>/dev/null || echo 2)
    lumivale_configure "$root" "$root/build/win32" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel
    cmake --build "$root/build/win32" -j"$jobs"
    lumivale_configure "$root" "$root/build/win64" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel
    cmake --build "$root/build/win64" -j"$jobs"
}

# Configures and builds build/win32, build/win64 and build/native.
lumivale_build_all() {
    local root=$1
    lumivale_build_windows "$root"
    lumivale_configure "$root" "$root/build/native" \
        -DLUMIVALE_WIN32_DIR="$root/build/win32" -DLUMIVALE_WIN64_DIR="$root/build/win64"
    cmake --build "$root/build/native" -j"$(nproc 2>/dev/null || echo 2)"
}
