#!/usr/bin/env python3
"""Checks the Windows binaries of one build without running them.

For a machine that cannot execute them (32-bit code where the kernel has its
32-bit emulation off) this is what can still be known of the i686 build; it is
run on the x86-64 build too. For each binary in BUILD/bin:

- the PE machine is the build's (i386 or x86-64);
- every imported DLL, load-time or delayed, is one Windows itself has: no
  compiler runtime DLL, and never SimConnect.dll or the device library, which
  are loaded by name at run time;
- the exports are exactly the expected names, and on i686 each export pops the
  expected number of argument bytes (the `__stdcall` size: a mismatch corrupts
  the caller's stack there and goes unnoticed on x86-64);
- Aviaro.exe carries its manifest (resource 1 of type 24, byte for byte the
  source file) and both deliverables and the i686 setup program their version
  resource, with the version of the top-level CMakeLists.txt.

Usage: check_pe.py BUILD_DIR. Prints one line per check; exits 1 on a failure.
"""

import os
import re
import struct
import subprocess
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))

I386, AMD64 = 0x14C, 0x8664

# What Windows itself has. Anything else imported at load time would have to
# ship beside the binary, and nothing does.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "ole32.dll",
    "oleaut32.dll", "shell32.dll", "shlwapi.dll", "setupapi.dll", "hid.dll",
    "msvcrt.dll", "cabinet.dll", "msxml6.dll", "comctl32.dll", "version.dll",
    "ws2_32.dll", "rpcrt4.dll", "uuid.dll", "bcrypt.dll", "ntdll.dll",
}

# Argument bytes of each SimConnect entry point on i686, from the public SDK's
# declarations (a handle first, then the arguments; the epsilon is a float).
SIMCONNECT_STDCALL = {
    "SimConnect_Open": 24,
    "SimConnect_Close": 4,
    "SimConnect_CallDispatch": 12,
    "SimConnect_MapClientEventToSimEvent": 12,
    "SimConnect_TransmitClientEvent": 24,
    "SimConnect_AddClientEventToNotificationGroup": 16,
    "SimConnect_SetNotificationGroupPriority": 12,
    "SimConnect_AddToDataDefinition": 28,
    "SimConnect_RequestDataOnSimObject": 36,
    "SimConnect_RequestDataOnSimObjectType": 20,
    "SimConnect_SubscribeToSystemEvent": 12,
    "SimConnect_UnsubscribeFromSystemEvent": 8,
    "SimConnect_RequestSystemState": 12,
    "SimConnect_GetLastSentPacketID": 8,
}

# The four exports COM looks up in an in-process server.
COM_SERVER_STDCALL = {
    "DllCanUnloadNow": 0,
    "DllGetClassObject": 12,
    "DllRegisterServer": 0,
    "DllUnregisterServer": 0,
}


def lumiray_stdcall():
    """The device library's entry points and their argument bytes on i686,
    read from the binding's declarations: every parameter there is a handle, a
    pointer or a 32-bit number, four bytes each."""
    text = open(os.path.join(ROOT, "plugins/lumiray/lumiray_types.h")).read()
    names = re.search(r"kEntryNames\[kEntryCount\]\s*=\s*\{(.*?)\};", text, re.S).group(1)
    names = re.findall(r'"(\w+)"', names)
    sizes = {}
    for m in re.finditer(r"using Pfn(\w+)\s*=\s*HRESULT\(AV_STDCALL\*\)\((.*?)\);", text, re.S):
        params = m.group(2).strip()
        sizes[m.group(1)] = 0 if params in ("", "void") else 4 * len(params.split(","))
    return {n: sizes[n[len("Lumiray_"):]] for n in names}


def hid_standin_stdcall():
    text = open(os.path.join(ROOT, "tools/hid_standin/dll_main.cpp")).read()
    m = re.search(r"WINAPI\s*\n?\s*(\w+)\((.*?)\)", text, re.S)
    params = m.group(2).strip()
    return {m.group(1): 0 if params in ("", "void") else 4 * len(params.split(","))}


def version_of_project():
    text = open(os.path.join(ROOT, "CMakeLists.txt")).read()
    m = re.search(r"project\(\w+ VERSION (\d+)\.(\d+)\.(\d+)", text)
    return tuple(int(x) for x in m.groups()) + (0,)


class Pe:
    def __init__(self, path):
        self.path = path
        self.data = open(path, "rb").read()
        d = self.data
        if d[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, nsections = struct.unpack_from("<HH", d, pe + 4)
        opt_size = struct.unpack_from("<H", d, pe + 20)[0]
        opt = pe + 24
        magic = struct.unpack_from("<H", d, opt)[0]
        if magic == 0x10B:
            self.image_base = struct.unpack_from("<I", d, opt + 28)[0]
            dirs = opt + 96
        elif magic == 0x20B:
            self.image_base = struct.unpack_from("<Q", d, opt + 24)[0]
            dirs = opt + 112
        else:
            raise ValueError("unknown optional header 0x%x" % magic)
        self.dirs = [struct.unpack_from("<II", d, dirs + 8 * i) for i in range(16)]
        self.sections = []
        for i in range(nsections):
            s = opt + opt_size + 40 * i
            vsize, va, rawsize, raw = struct.unpack_from("<IIII", d, s + 8)
            self.sections.append((va, max(vsize, rawsize), raw))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError("RVA 0x%x outside every section" % rva)

    def cstr(self, rva):
        o = self.offset(rva)
        return self.data[o:self.data.index(b"\0", o)].decode("ascii")

    def imports(self):
        names = []
        for index, size in ((1, 20), (13, 32)):  # import table, delay-load table
            rva = self.dirs[index][0]
            if rva == 0:
                continue
            o = self.offset(rva)
            while True:
                entry = self.data[o:o + size]
                if entry.count(0) == size:
                    break
                name_rva = struct.unpack_from("<I", entry, 12 if index == 1 else 4)[0]
                names.append(self.cstr(name_rva))
                o += size
        return names

    def exports(self):
        """{name: RVA} of the named exports."""
        rva = self.dirs[0][0]
        if rva == 0:
            return {}
        o = self.offset(rva)
        (_, _, _, _, _, _, _, nnames, funcs, names, ordinals) = struct.unpack_from("<IIHHIIIIIII", self.data, o)
        result = {}
        for i in range(nnames):
            name = self.cstr(struct.unpack_from("<I", self.data, self.offset(names) + 4 * i)[0])
            ordinal = struct.unpack_from("<H", self.data, self.offset(ordinals) + 2 * i)[0]
            result[name] = struct.unpack_from("<I", self.data, self.offset(funcs) + 4 * ordinal)[0]
        return result

    def resources(self):
        """{(type, id): bytes} of the resources with numeric type and id."""
        base_rva = self.dirs[2][0]
        if base_rva == 0:
            return {}
        base = self.offset(base_rva)
        result = {}

        def entries(o):
            named, ids = struct.unpack_from("<HH", self.data, o + 12)
            for i in range(named + ids):
                yield struct.unpack_from("<II", self.data, o + 16 + 8 * i)

        for rtype, sub in entries(base):
            if rtype & 0x80000000 or not sub & 0x80000000:
                continue
            for rid, sub2 in entries(base + (sub & 0x7FFFFFFF)):
                if rid & 0x80000000 or not sub2 & 0x80000000:
                    continue
                for _, leaf in entries(base + (sub2 & 0x7FFFFFFF)):
                    data_rva, size = struct.unpack_from("<II", self.data, base + (leaf & 0x7FFFFFFF))
                    o = self.offset(data_rva)
                    result.setdefault((rtype, rid), self.data[o:o + size])
        return result


def disassemble(objdump, path):
    """{address: (mnemonic, operand, next address)} of the code sections."""
    out = subprocess.run([objdump, "-d", "--no-show-raw-insn", path],
                         capture_output=True, text=True, check=True).stdout
    code = {}
    previous = None
    for m in re.finditer(r"^\s*([0-9a-f]+):\s+(\S+)[ \t]*([^\n]*)", out, re.M):
        address = int(m.group(1), 16)
        if previous is not None:
            code[previous[0]] = previous[1] + (address,)
        previous = (address, (m.group(2), m.group(3).strip()))
    if previous is not None:
        code[previous[0]] = previous[1] + (None,)
    return code


# Calls that never return: the path ends there.
NO_RETURN = re.compile(r"<[^>]*(throw|terminate|abort|Unwind_Resume|stack_chk_fail)[^>]*>")


def stdcall_pops(code, entry):
    """The set of byte counts popped by the returns reachable from entry,
    following jumps (a tail call returns for its caller) and both ways of a
    branch, but not into calls."""
    pops = set()
    seen = set()
    todo = [entry]
    while todo and len(seen) < 20000:
        address = todo.pop()
        while address is not None and address not in seen and address in code:
            seen.add(address)
            mnemonic, operand, following = code[address]
            target = re.match(r"([0-9a-f]+)\b", operand)
            if mnemonic.startswith("ret"):
                m = re.match(r"\$0x([0-9a-f]+)", operand)
                pops.add(int(m.group(1), 16) if m else 0)
                break
            if mnemonic in ("ud2", "hlt", "int3"):
                break
            if mnemonic.startswith("jmp"):
                if not target:
                    pops.add("an indirect jump")
                    break
                address = int(target.group(1), 16)
                continue
            if mnemonic.startswith("j") and target:
                todo.append(int(target.group(1), 16))
            elif mnemonic.startswith("call") and NO_RETURN.search(operand):
                break
            address = following
    return pops


# Each binary the build makes (in bin/ unless its path says otherwise), with
# its exports (None: none expected) and whether it is a deliverable (version
# resource) or the program itself (manifest too). The setup program is the
# i686 build's only ({version} is the project's).
BINARIES = [
    ("bin/Aviaro.exe", None, "program"),
    ("bin/Tunelet.dll", COM_SERVER_STDCALL, "deliverable"),
    ("bin/SimConnect.dll", SIMCONNECT_STDCALL, "stand-in"),
    ("bin/Lumiray.dll", "lumiray", "stand-in"),
    ("bin/HidStandIn.dll", "hid", "stand-in"),
    ("Aviaro-{version}-setup.exe", None, "setup"),
]


def main():
    if len(sys.argv) != 2:
        print("usage: check_pe.py BUILD_DIR", file=sys.stderr)
        return 2
    build = sys.argv[1]
    cache = open(os.path.join(build, "CMakeCache.txt")).read()
    i686 = "i686" in cache
    machine, arch = (I386, "i686") if i686 else (AMD64, "x86-64")
    objdump = ("i686" if i686 else "x86_64") + "-w64-mingw32-objdump"
    failures = 0
    passes = 0

    def check(ok, what, detail=""):
        nonlocal failures, passes
        if ok:
            passes += 1
            print("ok   %s" % what)
        else:
            failures += 1
            print("FAIL %s%s" % (what, ": " + detail if detail else ""))

    version = version_of_project()
    manifest = open(os.path.join(ROOT, "plugins/aviaro/app/aviaro.exe.manifest"), "rb").read()
    for relative, expected, role in BINARIES:
        if role == "setup" and not i686:
            continue
        relative = relative.format(version="%d.%d.%d" % version[:3])
        name = os.path.basename(relative)
        path = os.path.join(build, relative)
        tag = "%s %s" % (arch, name)
        if not os.path.isfile(path):
            check(False, tag, "not built")
            continue
        try:
            pe = Pe(path)
        except ValueError as error:
            check(False, tag, str(error))
            continue
        check(pe.machine == machine, "%s: machine 0x%x" % (tag, machine), "found 0x%x" % pe.machine)
        imports = pe.imports()
        foreign = sorted({i for i in imports if i.lower() not in SYSTEM_DLLS})
        check(not foreign, "%s: imports only system DLLs (%d)" % (tag, len(imports)), ", ".join(foreign))
        if expected == "lumiray":
            expected = lumiray_stdcall()
        elif expected == "hid":
            expected = hid_standin_stdcall()
        exports = pe.exports()
        want = sorted(expected) if expected else []
        check(sorted(exports) == want, "%s: exports %s" % (tag, "the %d expected" % len(want) if want else "none"),
              "found " + (", ".join(sorted(exports)) or "none"))
        if i686 and expected:
            code = disassemble(objdump, path)
            wrong = []
            for export, size in sorted(expected.items()):
                if export in exports:
                    pops = stdcall_pops(code, pe.image_base + exports[export])
                    if pops != {size}:
                        found = ", ".join(str(p) for p in sorted(pops, key=str)) or "nothing"
                        wrong.append("%s pops %s, not %d" % (export, found, size))
            check(not wrong, "%s: stdcall argument sizes" % tag, "; ".join(wrong))
        if role == "stand-in":
            continue
        resources = pe.resources()
        info = resources.get((16, 1), b"")
        at = info.find(struct.pack("<I", 0xFEEF04BD))
        found = None
        if at >= 0:
            ms, ls = struct.unpack_from("<II", info, at + 8)
            found = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        check(found == version, "%s: version resource %s" % (tag, ".".join(map(str, version))),
              "found %s" % (".".join(map(str, found)) if found else "none"))
        if role == "program":
            check(resources.get((24, 1)) == manifest, "%s: manifest (resource 1 of type 24)" % tag,
                  "missing or not the source's bytes")
    print("pe: %d passed, %d failed" % (passes, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
