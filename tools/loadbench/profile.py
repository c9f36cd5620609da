#!/usr/bin/env python3
"""Where a load-benchmark case spent its CPU: the samples perf took of the
program over the window (LOADBENCH_PERF=1 tools/loadbench/run.sh ...), by
function of the program's own code (its symbols from the build) and by
library for the rest (Wine's, the C library's, the kernel's on its behalf).

Usage: tools/loadbench/profile.py CASE_DIR BUILD_BIN [RATE] [TOP]
  CASE_DIR  the case's folder (holds perf.data), e.g. build/win64/wine-work/bench-gauge
  BUILD_BIN the build's bin folder (Aviaro.exe, SimConnect.dll, Lumiray.dll with symbols)
  RATE      the sampling rate run.sh used (1000 a second)
"""
import bisect
import collections
import os
import re
import subprocess
import sys


def image(path, tool):
    """(base, end, sorted starts, names) of a PE image's code symbols."""
    head = subprocess.run([tool + "objdump", "-p", path], capture_output=True, text=True).stdout
    base = int(re.search(r"ImageBase\s+([0-9a-fA-F]+)", head).group(1), 16)
    size = int(re.search(r"SizeOfImage\s+([0-9a-fA-F]+)", head).group(1), 16)
    syms = []
    out = subprocess.run([tool + "nm", "-C", path], capture_output=True, text=True).stdout
    for line in out.splitlines():
        parts = line.split(" ", 2)
        if len(parts) == 3 and parts[0] and parts[1] in ("t", "T"):
            syms.append((int(parts[0], 16), parts[2]))
    syms.sort()
    return base, base + size, [a for a, _ in syms], [n for _, n in syms]


def main():
    case, bin_dir = sys.argv[1], sys.argv[2]
    rate = float(sys.argv[3]) if len(sys.argv) > 3 else 1000.0
    top = int(sys.argv[4]) if len(sys.argv) > 4 else 25
    tool = "x86_64-w64-mingw32-"
    images = {}
    for name in ("Aviaro.exe", "SimConnect.dll", "Lumiray.dll", "HidStandIn.dll"):
        path = os.path.join(bin_dir, name)
        if os.path.exists(path):
            images[name] = image(path, tool)
    script = subprocess.run(["perf", "script", "-i", os.path.join(case, "perf.data"), "-F", "ip,dso"],
                            capture_output=True, text=True).stdout
    groups = collections.Counter()
    functions = collections.Counter()
    total = 0
    for line in script.splitlines():
        m = re.match(r"\s*([0-9a-f]+)\s+\((.*)\)", line)
        if not m:
            continue
        ip, dso = int(m.group(1), 16), m.group(2)
        total += 1
        where = None
        for name, (base, end, starts, names) in images.items():
            if base <= ip < end:
                where = name
                i = bisect.bisect_right(starts, ip) - 1
                if name == "Aviaro.exe":
                    functions[names[i] if i >= 0 else hex(ip)] += 1
                break
        if where is None:
            where = "kernel" if "kernel" in dso else os.path.basename(dso)
        groups[where] += 1
    ms = 1000.0 / rate
    print(f"{total} samples = {total * ms:.1f} ms of CPU")
    for name, n in groups.most_common():
        print(f"  {n * ms:8.1f} ms  {100.0 * n / total:5.1f} %  {name}")
    print("Aviaro.exe by function:")
    for name, n in functions.most_common(top):
        print(f"  {n * ms:8.1f} ms  {name[:110]}")


if __name__ == "__main__":
    main()
