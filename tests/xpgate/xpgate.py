#!/usr/bin/env python3
"""Windows XP gate for the 32-bit Lumivale.exe.

Checks, from `i686-w64-mingw32-objdump -p`, that the program is a 32-bit x86
GUI executable whose PE header asks for Windows 4.0 to 5.1, that it imports
only from the DLLs below, and only functions listed here: each one exported by
Windows XP SP3's own DLL. A new import fails the gate until it is added here
with its reason, after checking that XP has it.

    xpgate.py PROGRAM              check the program
    xpgate.py --self-test PROGRAM  check that the gate rejects what XP lacks
"""
import re
import subprocess
import sys

OBJDUMP = "i686-w64-mingw32-objdump"

# Functions by DLL, in groups with the reason they are imported.
ALLOWED = {
    "KERNEL32.dll": {
        # The checks: OS version, system folder, find-first-file, version.dll.
        "GetVersionExA", "GetSystemDirectoryA", "FindFirstFileA", "FindClose",
        "LoadLibraryA", "FreeLibrary", "GetProcAddress", "GetModuleHandleA",
        # The command line's switches, and no error boxes of Windows' own
        # while running quietly.
        "GetCommandLineA", "SetErrorMode",
        # mingw-w64 start-up and C runtime glue: module, errors, startup info,
        # crash filter, pseudo-relocation fix-ups (VirtualProtect/Query).
        "GetModuleHandleW", "LoadLibraryW", "GetLastError", "SetLastError",
        "GetStartupInfoA", "SetUnhandledExceptionFilter", "VirtualProtect",
        "VirtualQuery", "Sleep", "GetCurrentThreadId",
        # Thread-safe statics and per-thread data of the static C++ runtime
        # (win32 thread model: no GetTickCount64 or other post-XP calls).
        "InitializeCriticalSection", "DeleteCriticalSection",
        "EnterCriticalSection", "LeaveCriticalSection", "TlsAlloc", "TlsFree",
        "TlsGetValue", "TlsSetValue", "CreateSemaphoreW", "ReleaseSemaphore",
        "WaitForSingleObject", "CloseHandle",
        # Narrow/wide text conversion in the C++ runtime's locale code.
        "MultiByteToWideChar", "WideCharToMultiByte", "IsDBCSLeadByteEx",
    },
    "USER32.dll": {
        # The dialogs, their buttons and texts.
        "DialogBoxParamA", "EndDialog", "GetDlgItem", "EnableWindow",
        "IsWindowEnabled", "SetWindowTextA", "SetWindowLongA", "GetWindowLongA",
        "SendMessageA", "PostMessageA", "LoadStringA", "MessageBoxA",
        # System menu entry for the About box.
        "GetSystemMenu", "AppendMenuA",
        # The icon, and painting it while minimised.
        "LoadIconA", "IsIconic", "BeginPaint", "EndPaint", "GetClientRect",
        "GetSystemMetrics", "DrawIcon",
    },
    "GDI32.dll": set(),
    "ADVAPI32.dll": {
        # The six registry calls of the registry accessor.
        "RegOpenKeyA", "RegCreateKeyA", "RegQueryValueExA", "RegSetValueExA",
        "RegDeleteValueA", "RegCloseKey",
    },
    "COMCTL32.dll": {
        # XP will not create a dialog under the visual-styles manifest until
        # the common controls are initialised.
        "InitCommonControls",
    },
    "msvcrt.dll": {
        # Start-up and exit of the C runtime (XP's msvcrt.dll).
        "__getmainargs", "__initenv", "__p__acmdln", "__p__commode",
        "__p__fmode", "__set_app_type", "__setusermatherr", "_amsg_exit",
        "_cexit", "_initterm", "_onexit", "exit", "abort", "signal",
        # Memory and strings.
        "malloc", "calloc", "realloc", "free", "memchr", "memcmp", "memcpy",
        "memmove", "memset", "strchr", "strcmp", "strlen", "strncmp",
        "strstr", "strcat", "strpbrk", "wcslen", "atoi", "strerror", "_errno",
        # The C++ runtime's locale and its (unused) diagnostics output.
        "__mb_cur_max", "localeconv", "setlocale", "_iob", "fprintf", "fputc",
        "fputs", "fwrite", "vfprintf", "_read", "_close",
    },
}


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def header_field(text, name):
    match = re.search(r"^%s\s+([0-9a-fA-F]+)" % name, text, re.M)
    return match.group(1) if match else None


def imports(text):
    """{dll: [functions]} from objdump's import tables; ordinals as '#n'."""
    found, dll = {}, None
    for line in text.splitlines():
        if line and not line[0].isspace():
            dll = None  # a new part of the dump begins
            continue
        match = re.match(r"\s+DLL Name: (\S+)", line)
        if match:
            dll = match.group(1)
            found.setdefault(dll, [])
            continue
        if dll is None:
            continue
        match = re.match(r"\s+[0-9a-f]+\s+(\d+)\s+(\S+)\s*$", line)
        if match:
            found[dll].append(match.group(2))
            continue
        match = re.match(r"\s+[0-9a-f]+\s+<none>\s+([0-9a-f]+)", line)
        if match:
            found[dll].append("#%d" % int(match.group(1), 16))
    return found


def problems(headers, text):
    """Everything that would keep the program from running on XP."""
    found = []
    if not re.search(r"file format pei-i386", headers) or \
            not re.search(r"architecture: i386\b", headers):
        found.append("not a 32-bit x86 PE file")
    if header_field(text, "Magic") != "010b":
        found.append("optional header is not PE32")
    if header_field(text, "Subsystem") != "00000002":
        found.append("subsystem is not Windows GUI")
    for kind, field in (("OS", "OSystem"), ("subsystem", "Subsystem")):
        major = header_field(text, "Major%sVersion" % field)
        minor = header_field(text, "Minor%sVersion" % field)
        if major is None or minor is None:
            found.append("%s version missing" % kind)
            continue
        version = (int(major), int(minor))
        if not (4, 0) <= version <= (5, 1):
            found.append("%s version %d.%d is outside 4.0-5.1" % ((kind,) + version))
    delay = re.search(r"^Entry d ([0-9a-f]+) ([0-9a-f]+)", text, re.M)
    if delay is None or int(delay.group(2), 16) != 0:
        found.append("delay-load imports cannot be checked")
    allowed = {dll.lower(): names for dll, names in ALLOWED.items()}
    table = imports(text)
    if not table:
        found.append("no import table found")
    for dll, functions in sorted(table.items()):
        names = allowed.get(dll.lower())
        if names is None:
            found.append("imports from %s, which is not allowed" % dll)
            continue
        for function in functions:
            if function not in names:
                found.append("%s!%s is not in the XP list" % (dll, function))
    return found


def inject_import(text, dll, function):
    """The objdump text with one more function imported from dll."""
    lines, out = text.splitlines(), []
    for line in lines:
        out.append(line)
        if re.match(r"\s+DLL Name: %s$" % re.escape(dll), line):
            out.append("\tvma:  Hint/Ord Member-Name Bound-To")
            out.append("\t3f000\t  700  %s" % function)
    return "\n".join(out)


def self_test(headers, text):
    """Each mutation of the real program's header must be caught."""
    assert not problems(headers, text), "the real program must pass first"
    kernel = next(d for d in imports(text) if d.lower() == "kernel32.dll")
    mutations = {
        "Vista-only import": (headers, inject_import(text, kernel, "GetTickCount64")),
        "Vista-only lock": (headers, inject_import(text, kernel, "InitializeCriticalSectionEx")),
        "fibre-local storage (2003)": (headers, inject_import(text, kernel, "FlsAlloc")),
        "unlisted DLL": (headers, text.replace(
            "DLL Name: %s" % kernel, "DLL Name: api-ms-win-core-synch-l1-2-0.dll", 1)),
        "import by ordinal": (headers, inject_import(text, kernel, "x").replace(
            "3f000\t  700  x", "3f000\t<none> 0123")),
        "OS version 6.1": (headers, re.sub(
            r"^(MajorOSystemVersion\s+)\d+", r"\g<1>6", text, flags=re.M)),
        "subsystem 5.2": (headers, re.sub(
            r"^(MinorSubsystemVersion\s+)\d+", r"\g<1>2", text, flags=re.M)),
        "OS version 3.1": (headers, re.sub(
            r"^(MajorOSystemVersion\s+)\d+", r"\g<1>3", text, flags=re.M)),
        "64-bit file": (headers.replace("pei-i386", "pei-x86-64"), text),
        "PE32+ header": (headers, re.sub(r"^(Magic\s+)010b", r"\g<1>020b", text, flags=re.M)),
        "console program": (headers, re.sub(
            r"^(Subsystem\s+)00000002", r"\g<1>00000003", text, flags=re.M)),
        "delay-load imports": (headers, re.sub(
            r"^Entry d 00000000 00000000", "Entry d 00050000 00000040", text, flags=re.M)),
    }
    passed = failed = 0
    for name, (mutated_headers, mutated) in mutations.items():
        caught = problems(mutated_headers, mutated)
        print("%-28s %s" % (name, caught[0] if caught else "NOT CAUGHT"))
        passed, failed = (passed + 1, failed) if caught else (passed, failed + 1)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


def main(argv):
    args = argv[1:]
    testing = args[:1] == ["--self-test"]
    if testing:
        args = args[1:]
    if len(args) != 1:
        print(__doc__)
        return 2
    program = args[0]
    try:
        headers, text = run(OBJDUMP, "-f", program), run(OBJDUMP, "-p", program)
    except (OSError, subprocess.CalledProcessError) as error:
        print("XP gate: cannot read %s: %s" % (program, error))
        return 1
    if testing:
        return self_test(headers, text)
    table = imports(text)
    print("%s: %d functions from %s" % (
        program, sum(len(f) for f in table.values()), ", ".join(sorted(table))))
    found = problems(headers, text)
    for problem in found:
        print("XP gate: " + problem)
    print("XP gate: %s" % ("FAILED" if found else "passed"))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
