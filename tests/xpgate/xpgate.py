#!/usr/bin/env python3
"""Windows XP gate for the 32-bit Lumivale.exe.

Checks that the program runs on every Windows XP machine:

- from `i686-w64-mingw32-objdump -p`: a 32-bit x86 GUI executable whose PE
  header asks for Windows 4.0 to 5.1, importing only from the DLLs below, and
  only functions listed here, each exported by Windows XP SP3's own DLL. A new
  import fails the gate until it is added here with its reason, after checking
  that XP has it;
- from `objdump -d` of every executable section: no instruction that a
  Pentium lacks (CMOV, FCMOV, FCOMI/FUCOMI, long NOPs, MMX, SSE and later).
  The linker map beside the program (Lumivale.map) names the function each
  one lies in;
- its size: at most 48 KB.

    xpgate.py PROGRAM              check the program
    xpgate.py --self-test PROGRAM  check that the gate rejects what XP lacks
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

OBJDUMP = "i686-w64-mingw32-objdump"
CXXFILT = "i686-w64-mingw32-c++filt"
SIZE_LIMIT = 48 * 1024

# Functions by DLL, in groups with the reason they are imported.
ALLOWED = {
    "KERNEL32.dll": {
        # The checks: OS version, system folder, find-first-file, version.dll.
        "GetVersionExA", "GetSystemDirectoryA", "FindFirstFileA", "FindClose",
        # Paths read a character at a time in double-byte code pages.
        "IsDBCSLeadByte",
        "LoadLibraryA", "FreeLibrary", "GetProcAddress",
        # Dialog templates read as resources.
        "FindResourceA", "LoadResource", "LockResource",
        # Start and end of the process (the program's own entry point).
        "GetModuleHandleA", "GetCommandLineA", "GetStartupInfoA", "ExitProcess",
        # No error boxes of Windows' own while running quietly.
        "SetErrorMode",
        # The heap behind new and delete.
        "GetProcessHeap", "HeapAlloc", "HeapFree",
        # The machine-wide lock around Restore and Disable: a named mutex
        # (kernel32 of every NT), and the security descriptor built for it.
        "OpenMutexA", "CreateMutexA", "WaitForSingleObject", "ReleaseMutex",
        "CloseHandle", "LocalFree",
        # The dialog's wait for it, its 10 seconds counted.
        "GetTickCount",
        # What a run with switches says, on the standard output it was given.
        "GetStdHandle", "WriteFile",
        # The event source's registration names the program's own file; the
        # event's user is the process token's.
        "GetModuleFileNameA", "GetCurrentProcess",
    },
    "USER32.dll": {
        # The dialogs, their buttons and texts.
        "DialogBoxParamA", "EndDialog", "GetDlgItem", "EnableWindow",
        "IsWindowEnabled", "SetWindowTextA", "SetWindowLongA", "GetWindowLongA",
        "SendMessageA", "PostMessageA", "LoadStringA", "MessageBoxA",
        # Centring the dialogs on the work area or over their owner, and
        # reading where the templates put them.
        "GetWindowRect", "SetWindowPos", "MonitorFromWindow", "MonitorFromPoint",
        "GetMonitorInfoA",
        # System menu entry for the About box.
        "GetSystemMenu", "AppendMenuA",
        # The icon, and painting it while minimised.
        "LoadIconA", "IsIconic", "BeginPaint", "EndPaint", "GetClientRect",
        "GetSystemMetrics", "DrawIcon",
        # The dialog's messages kept flowing while it waits for the lock.
        "MsgWaitForMultipleObjects", "PeekMessageA", "IsDialogMessageA",
        "TranslateMessage", "DispatchMessageA", "PostQuitMessage",
    },
    "ADVAPI32.dll": {
        # The six registry calls of the registry accessor.
        "RegOpenKeyA", "RegCreateKeyA", "RegQueryValueExA", "RegSetValueExA",
        "RegDeleteValueA", "RegCloseKey",
        # The lock's security descriptor, from its text form (Windows 2000 on).
        "ConvertStringSecurityDescriptorToSecurityDescriptorA",
        # Whether the token holds the Administrators group (Windows 2000 on),
        # to tell a refusal for want of rights.
        "AllocateAndInitializeSid", "CheckTokenMembership", "FreeSid",
        # The event of each run that changes the machine or is refused, in
        # the Application log (NT 3.1 on), with the account that ran it.
        "RegisterEventSourceA", "ReportEventA", "DeregisterEventSource",
        "OpenProcessToken", "GetTokenInformation",
    },
    "COMCTL32.dll": {
        # XP will not create a dialog under the visual-styles manifest until
        # the common controls are initialised.
        "InitCommonControls",
    },
}

# Instructions a Pentium (i586) does not have, by mnemonic: what they need.
NEWER_MNEMONICS = [
    (r"cmov", "CMOV, a Pentium Pro instruction"),
    (r"fcmov", "FCMOV, a Pentium Pro instruction"),
    (r"f(u)?comip?$", "FCOMI/FUCOMI, a Pentium Pro instruction"),
    (r"(sysenter|sysexit)$", "SYSENTER, a Pentium II instruction"),
    (r"(emms|femms|maskmovq)$", "MMX"),
    (r"(sfence|lfence|mfence|prefetch\w*|ldmxcsr|stmxcsr|fxsave\w*|fxrstor\w*|movnti"
     r"|clflush\w*)$", "SSE"),
    # (tzcnt is left out: compilers write it for a bsf that older processors
    # run as one, ignoring the prefix.)
    (r"(popcnt|lzcnt|crc32\w*|movbe)$", "a post-SSE2 extension"),
]
# Operands in registers a Pentium does not have.
NEWER_REGISTERS = [
    (r"%mm\d", "MMX"),
    (r"%[xyz]mm\d", "SSE"),
    (r"%k[0-7]\b", "AVX-512"),
]


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


def needs_newer_processor(mnemonic, operands):
    """What an instruction needs beyond a Pentium, or None."""
    # A NOP with an operand is the long NOP (0F 1F) of the Pentium Pro.
    if mnemonic.startswith("nop") and operands:
        return "a long NOP, a Pentium Pro instruction"
    for pattern, need in NEWER_MNEMONICS:
        if re.match(pattern, mnemonic):
            return need
    for pattern, need in NEWER_REGISTERS:
        if re.search(pattern, operands):
            return need
    return None


def disassembly(program):
    """({section: instruction count}, [(address, mnemonic, operands)],
    {address: symbol}) of every executable section, as objdump -d decodes
    them; symbols only when the program still has its symbol table."""
    sections, listing, labels, section = {}, [], {}, None
    for line in run(OBJDUMP, "-d", "-w", program).splitlines():
        match = re.match(r"Disassembly of section (\S+):", line)
        if match:
            section = match.group(1)
            sections[section] = 0
            continue
        match = re.match(r"([0-9a-f]+) <(.+)>:$", line)
        if match:  # 32-bit symbols carry a leading underscore
            labels[int(match.group(1), 16)] = re.sub(r"^(\.text\$)?_", "", match.group(2))
            continue
        match = re.match(r"\s*([0-9a-f]+):\t[0-9a-f ]+\t(\S+)\s*(.*)$", line)
        if match and section is not None:
            sections[section] += 1
            # Prefixes (rep, lock, data16) come first; the operation follows.
            words = (match.group(2) + " " + match.group(3)).split(None, 1)
            while words and re.match(r"(rep\w*|lock|data16|addr16|[cdefgs]s)$", words[0]) \
                    and len(words) > 1:
                words = words[1].split(None, 1)
            mnemonic = words[0] if words else match.group(2)
            operands = words[1] if len(words) > 1 else ""
            listing.append((int(match.group(1), 16), mnemonic, operands.split("#")[0].strip()))
    return sections, listing, labels


def demangle(names):
    """The C++ names of mangled ones; others unchanged."""
    mangled = sorted({n for n in names if n.startswith("_Z")})
    if not mangled:
        return {}
    try:
        out = subprocess.run([CXXFILT, "-n"], input="\n".join(mangled) + "\n",
                             check=True, capture_output=True, text=True).stdout.splitlines()
    except (OSError, subprocess.CalledProcessError):
        return {}
    return dict(zip(mangled, out)) if len(out) == len(mangled) else {}


def functions(map_text, code_sections):
    """[(address, name)] by address, from a GNU ld map: every input section
    (one per function, from -ffunction-sections) and every symbol placed in
    the given output sections."""
    names, output, pending = {}, None, None
    body = map_text.split("Linker script and memory map", 1)[-1]
    for line in body.splitlines():
        match = re.match(r"^(\.\S+)(\s|$)", line)
        if match:  # an output section begins
            output, pending = match.group(1), None
            continue
        if output not in code_sections:
            continue
        match = re.match(r"^ (\.\S+)(?:\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.*))?$", line)
        if match:  # an input section, its address on this line or the next
            pending = match.group(1)
            if match.group(2) is None:
                continue
            address, size = match.group(2), match.group(3)
        else:
            match = re.match(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s", line)
            if pending and match:
                address, size = match.group(1), match.group(2)
            else:
                pending = None
                # A symbol, or a linker assignment "name = value".
                match = re.match(r"^\s+0x([0-9a-f]+)\s+(\S.*?)(?:\s+=\s.*)?$", line)
                if match and match.group(2) != "." and \
                        not re.match(r"0x|PROVIDE|LONG|ASSERT", match.group(2)):
                    names[int(match.group(1), 16)] = match.group(2)
                continue
        if int(size, 16):
            section = pending
            name = section.split("$", 1)[1] if "$" in section else "code of " + section
            names.setdefault(int(address, 16), name)
        pending = None
    plain = demangle(names.values())
    return sorted((address, plain.get(name, name)) for address, name in names.items())


def function_at(address, table):
    """The name of the function that holds address."""
    found = None
    for start, name in table:
        if start > address:
            break
        found = name
    return found or "an unnamed place"


def code_problems(listing, table):
    """Each instruction a Pentium lacks, with the function it lies in."""
    found = []
    for address, mnemonic, operands in listing:
        need = needs_newer_processor(mnemonic, operands)
        if need:
            found.append("%s at 0x%x in %s needs %s" % (
                (mnemonic + " " + operands).strip(), address, function_at(address, table), need))
    return found


def map_of(program):
    return os.path.splitext(program)[0] + ".map"


def check(program, map_path):
    """(problems, summary lines) of the whole gate on one program."""
    headers, text = run(OBJDUMP, "-f", program), run(OBJDUMP, "-p", program)
    found = problems(headers, text)
    size = os.path.getsize(program)
    if size > SIZE_LIMIT:
        found.append("%d bytes, more than %d" % (size, SIZE_LIMIT))
    sections, listing, labels = disassembly(program)
    if not listing:
        found.append("no code found to disassemble")
    if os.path.exists(map_path):
        with open(map_path) as source:
            table = functions(source.read(), sections)
        named_by = os.path.basename(map_path)
    else:  # an unstripped build names its functions itself
        plain = demangle(labels.values())
        table = sorted((a, plain.get(n, n)) for a, n in labels.items())
        named_by = "its symbols" if table else "nothing (no map, no symbols)"
    found += code_problems(listing, table)
    table_of_imports = imports(text)
    summary = [
        "%s: %d bytes (at most %d); %d functions imported from %s" % (
            program, size, SIZE_LIMIT, sum(len(f) for f in table_of_imports.values()),
            ", ".join(sorted(table_of_imports))),
        "%s: %s; %d functions named by %s" % (
            program, ", ".join("%d instructions in %s" % (n, s) for s, n in sections.items()),
            len(table), named_by),
    ]
    return found, summary


# Instructions a Pentium lacks, as bytes to patch into a copy of the program.
PATCHES = [
    ("cmovne", b"\x0f\x45\xc1"),            # cmovne %ecx,%eax
    ("fcmovb", b"\xda\xc1"),                # fcmovb %st(1),%st
    ("fucomip", b"\xdf\xe9"),               # fucomip %st(1),%st
    ("fcomi", b"\xdb\xf1"),                 # fcomi %st(1),%st
    ("long NOP", b"\x0f\x1f\x00"),          # nopl (%eax)
    ("MMX pxor", b"\x0f\xef\xc0"),          # pxor %mm0,%mm0
    ("SSE xorps", b"\x0f\x57\xc0"),         # xorps %xmm0,%xmm0
    ("SSE sfence", b"\x0f\xae\xf8"),        # sfence
]


def file_offset(program, address):
    """Where in the file the byte loaded at address lies."""
    for line in run(OBJDUMP, "-h", program).splitlines():
        match = re.match(r"\s*\d+\s+\S+\s+([0-9a-f]+)\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+)",
                         line)
        if match:
            size, vma, offset = (int(g, 16) for g in match.groups())
            if vma <= address < vma + size:
                return address - vma + offset
    raise ValueError("0x%x is in no section" % address)


def self_test(program):
    """Each mutation of the real program must be caught."""
    map_path = map_of(program)
    real, _ = check(program, map_path)
    assert not real, "the real program must pass first: %s" % real
    headers, text = run(OBJDUMP, "-f", program), run(OBJDUMP, "-p", program)
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
    results = []
    for name, (mutated_headers, mutated) in mutations.items():
        caught = problems(mutated_headers, mutated)
        results.append((name, caught[0] if caught else None))

    # Copies of the program with one instruction a Pentium lacks at the start
    # of a function the map names, and one grown past the size limit.
    sections = disassembly(program)[0]
    with open(map_path) as source:
        table = functions(source.read(), sections)
    victim = next((f for f in table if f[1] == "LogonConfig::RestoreBackup()"), table[0])
    with open(program, "rb") as source:
        original = source.read()
    at = file_offset(program, victim[0])
    with tempfile.TemporaryDirectory() as scratch:
        copy = os.path.join(scratch, "Lumivale.exe")
        for name, code in PATCHES:
            with open(copy, "wb") as out:
                out.write(original[:at] + code + original[at + len(code):])
            caught = [p for p in check(copy, map_path)[0] if victim[1] in p]
            results.append((name, caught[0] if caught else None))
        with open(copy, "wb") as out:
            out.write(original + b"\0" * (SIZE_LIMIT + 1 - len(original)))
        caught = check(copy, map_path)[0]
        results.append(("48 KB and one byte", caught[0] if caught else None))

    failed = 0
    for name, caught in results:
        print("%-28s %s" % (name, caught or "NOT CAUGHT"))
        failed += caught is None
    print("%d passed, %d failed" % (len(results) - failed, failed))
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
        if testing:
            return self_test(program)
        found, summary = check(program, map_of(program))
    except (OSError, subprocess.CalledProcessError) as error:
        print("XP gate: cannot read %s: %s" % (program, error))
        return 1
    for line in summary:
        print(line)
    for problem in found:
        print("XP gate: " + problem)
    print("XP gate: %s" % ("FAILED" if found else "passed"))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
