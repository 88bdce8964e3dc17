#!/usr/bin/env bash
# release_tests.sh CASE ROOT: the release as an administrator takes it.
#   reproducible  the XP program from two clones in other folders, under
#                 another time zone and umask, is the same bytes; a tree
#                 outside git builds and says so
#   zip           scripts/release twice gives the same zip, holding the tested
#                 program, its sums and README.txt as Notepad shows it well; a
#                 tree with uncommitted changes is refused with one line
#   signed        a throw-away certificate signs the program, osslsigncode
#                 verifies it, it passes the XP gate and runs under Wine; a
#                 wrong password stops with one line and no zip
set -euo pipefail
case_=$1 root=$2
. "$root/scripts/lib/deps.sh"
. "$root/scripts/lib/release.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAILED: $*" >&2
    exit 1
}
# The texts of a program's resources are UTF-16.
holds() { python3 -c 'import sys; sys.exit(sys.argv[2].encode("utf-16-le") not in open(sys.argv[1], "rb").read())' "$1" "$2"; }

case $case_ in
reproducible)
    git clone -q "$root" "$work/a"
    git clone -q "$root" "$work/elsewhere/deeper/b"
    lumivale_build_xp "$work/a" "$work/a/build"
    (umask 077 && TZ=Pacific/Kiritimati lumivale_build_xp "$work/elsewhere/deeper/b" \
        "$work/elsewhere/deeper/b/build")
    cmp "$work/a/build/Lumivale.exe" "$work/elsewhere/deeper/b/build/Lumivale.exe" ||
        fail "two builds of one commit differ"
    commit=$(git -C "$root" rev-parse HEAD)
    holds "$work/a/build/Lumivale.exe" "Built from commit $commit" ||
        fail "the version record does not name commit $commit"
    holds "$work/a/build/Lumivale.exe" "Lumivale $(lumivale_version "$root"), commit ${commit:0:12}" ||
        fail "the usage's first line does not name version and commit"
    mkdir "$work/plain"
    git -C "$root" archive HEAD | tar -x -C "$work/plain"
    lumivale_build_xp "$work/plain" "$work/plain/build"
    holds "$work/plain/build/Lumivale.exe" "Built outside git" ||
        fail "a build outside git does not say so"
    echo "1 passed, 0 failed"
    ;;
zip)
    for n in 1 2; do
        LUMIVALE_DIST=$work/dist$n "$root/scripts/release" --dirty >"$work/out$n"
    done
    zip=$(head -1 "$work/out1")
    cmp "$zip" "$(head -1 "$work/out2")" || fail "two releases of one tree differ"
    [ "$(sed -n 2p "$work/out1")" = "$(sha256sum "$zip" | cut -d' ' -f1)" ] ||
        fail "the SHA-256 printed is not the zip's"
    python3 - "$zip" "$root/build/win32/Lumivale.exe" <<'PY'
import hashlib, sys, zipfile
archive = zipfile.ZipFile(sys.argv[1])
names = archive.namelist()
assert names == ["Lumivale.exe", "README.txt", "SHA256SUMS", "SHA1SUMS"], names
program = archive.read("Lumivale.exe")
assert program == open(sys.argv[2], "rb").read(), "not the program the tests ran"
for sums, digest in (("SHA256SUMS", hashlib.sha256), ("SHA1SUMS", hashlib.sha1)):
    assert archive.read(sums).decode() == digest(program).hexdigest() + "  Lumivale.exe\n", sums
text = archive.read("README.txt")
text.decode("ascii")
lines = text.split(b"\r\n")
assert lines[-1] == b"", "README.txt does not end with CR LF"
for number, line in enumerate(lines[:-1], 1):
    assert b"\r" not in line and b"\n" not in line, "line %d: a bare CR or LF" % number
    assert len(line) <= 78, "line %d: %d columns" % (number, len(line))
PY
    git clone -q "$root" "$work/changed"
    echo >>"$work/changed/README.md"
    if LUMIVALE_DIST=$work/refused "$work/changed/scripts/release" 2>"$work/err"; then
        fail "a tree with uncommitted changes was released"
    fi
    [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "README.md" "$work/err" ||
        fail "the refusal is not one line naming README.md: $(cat "$work/err")"
    [ ! -e "$work/refused" ] || fail "a refused release left $work/refused"
    echo "1 passed, 0 failed"
    ;;
signed)
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
        -days 2 -subj "/CN=Lumivale test signer" 2>/dev/null
    openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/test.pfx" \
        -passout pass:throwaway
    LUMIVALE_SIGN_PASSWORD=throwaway LUMIVALE_DIST=$work/dist \
        "$root/scripts/release" --dirty --sign "$work/test.pfx" >"$work/out"
    mkdir "$work/x"
    python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
        "$(head -1 "$work/out")" "$work/x"
    osslsigncode verify -CAfile "$work/cert.pem" -in "$work/x/Lumivale.exe" >"$work/verify" 2>&1 ||
        fail "osslsigncode does not verify it: $(cat "$work/verify")"
    # A SHA-1 signature for Windows XP and the SHA-256 one nested in it.
    [ "$(grep -c "Signature verification: ok" "$work/verify")" -ge 2 ] &&
        grep -q "digest algorithm *: SHA1" "$work/verify" &&
        grep -q "digest algorithm *: SHA256" "$work/verify" ||
        fail "not a SHA-1 and a nested SHA-256 signature: $(cat "$work/verify")"
    cp "$root/build/win32/Lumivale.map" "$work/x/"
    python3 "$root/tests/xpgate/xpgate.py" "$work/x/Lumivale.exe" >/dev/null ||
        fail "the signed program fails the XP gate"
    status=0
    sh "$root/tests/e2e/run-wine.sh" win32 "$work/x/Lumivale.exe" /status /quiet \
        >"$work/status" 2>/dev/null || status=$?
    # Wine hands on the exit code's low byte only.
    known=
    for code in 0 1 2 3 1603 1605 1633 1638; do [ $((code % 256)) -eq "$status" ] && known=1; done
    [ -n "$known" ] || fail "the signed program's /status ended with $status (its low byte)"
    [ -s "$work/status" ] || fail "the signed program's /status said nothing"
    if LUMIVALE_SIGN_PASSWORD=wrong LUMIVALE_DIST=$work/wrong \
        "$root/scripts/release" --dirty --sign "$work/test.pfx" 2>"$work/err" >/dev/null; then
        fail "a wrong password signed"
    fi
    [ "$(wc -l <"$work/err")" -eq 1 ] || fail "not one line: $(cat "$work/err")"
    [ ! -e "$work/wrong" ] || fail "a failed signing left $work/wrong"
    echo "1 passed, 0 failed"
    ;;
*) fail "no case $case_" ;;
esac
