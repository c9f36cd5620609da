#!/usr/bin/env python3
"""Where a load-benchmark case spent its CPU: the samples perf took of the
program over the window (LOADBENCH_PERF=1 tools/loadbench/run.sh ...), by
function of the program's own code (its symbols from the build) and by
library for the rest (Wine's, the C library's, the kernel's on its behalf).

The gauge pages' render threads (the threads that ran the renderer) are
also shown step by step, per frame when FRAMES is given: scripts, drawing,
labels, the frame compared and copied, and the rest (waking, sleeping and
the locks: Wine and the kernel on the thread's behalf).

Usage: tools/loadbench/profile.py CASE_DIR BUILD_BIN [PROGRAM [FRAMES]]
  CASE_DIR  the case's folder (holds perf.data), e.g. build/win64/wine-work/bench-gauge
  BUILD_BIN the build's bin folder (the program, SimConnect.dll, Lumiray.dll with symbols)
  PROGRAM   Aviaro.exe (default) or bare_client.exe
  FRAMES    frames sent in the window (run.sh prints them)
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
    program = sys.argv[3] if len(sys.argv) > 3 else "Aviaro.exe"
    frames = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    rate = RATE
    top = 25
    tool = "x86_64-w64-mingw32-"
    images = {}
    for name in (program, "SimConnect.dll", "Lumiray.dll", "HidStandIn.dll"):
        path = os.path.join(bin_dir, name)
        if os.path.exists(path):
            images[name] = image(path, tool)
    script = subprocess.run(["perf", "script", "-i", os.path.join(case, "perf.data"), "-F", "tid,ip,dso"],
                            capture_output=True, text=True).stdout
    groups = collections.Counter()
    functions = collections.Counter()
    per_thread = collections.defaultdict(collections.Counter)  # tid -> step -> samples
    render_threads = set()
    total = 0
    for line in script.splitlines():
        m = re.match(r"\s*(\d+)\s+([0-9a-f]+)\s+\((.*)\)", line)
        if not m:
            continue
        tid, ip, dso = int(m.group(1)), int(m.group(2), 16), m.group(3)
        total += 1
        where = None
        function = None
        for name, (base, end, starts, names) in images.items():
            if base <= ip < end:
                where = name
                i = bisect.bisect_right(starts, ip) - 1
                if name == program:
                    function = names[i] if i >= 0 else hex(ip)
                    functions[function] += 1
                break
        if where is None:
            where = "kernel" if "kernel" in dso else os.path.basename(dso)
        groups[where] += 1
        step = Step(function, where)
        if step == "drawing":
            render_threads.add(tid)
        per_thread[tid][step] += 1
    ms = 1000.0 / rate
    print(f"{total} samples = {total * ms:.1f} ms of CPU")
    for name, n in groups.most_common():
        print(f"  {n * ms:8.1f} ms  {100.0 * n / total:5.1f} %  {name}")
    print(f"{program} by function:")
    for name, n in functions.most_common(top):
        print(f"  {n * ms:8.1f} ms  {name[:110]}")
    if render_threads:
        steps = collections.Counter()
        for tid in render_threads:
            steps.update(per_thread[tid])
        n = sum(steps.values())
        unit = f"µs per frame ({frames} frames)" if frames else "ms"
        scale = (ms * 1000.0 / frames) if frames else ms
        print(f"the render threads ({len(render_threads)}): {n * scale:.1f} {unit}")
        for step in STEPS:
            print(f"  {steps[step] * scale:8.1f}  {step}")
    others = [t for t in per_thread if t not in render_threads]
    for tid in sorted(others, key=lambda t: -sum(per_thread[t].values()))[:4]:
        print(f"thread {tid}: {sum(per_thread[tid].values()) * ms:.1f} ms")


RATE = 4000.0  # run.sh's perf record -F

STEPS = ("scripts", "drawing", "labels", "frame compared and copied", "sending",
         "waking, sleeping, locks", "other code of the program", "other")


def Step(function, where):
    """The step of a gauge frame a sample belongs to."""
    if function is not None:
        if function.startswith(("CScriptEvaluator", "CGaugeVariables", "CScript")):
            return "scripts"
        if "DrawLabel" in function or "TextRender" in function:
            return "labels"
        if function.startswith(("Raster", "CGaugeRenderer", "CRaster", "CGaugeElement")):
            return "drawing"
        if function.startswith(("CDibBuffer", "(anonymous namespace)::SameFrame")):
            return "frame compared and copied"
        if "SendToDevice" in function or "RefreshPage" in function:
            return "sending"
        return "other code of the program"
    if where == "msvcrt.dll":
        return "frame compared and copied"  # memcpy, memcmp
    if where in ("Lumiray.dll",):
        return "sending"
    if where in ("kernel", "ntdll.dll", "ntdll.so", "libc.so.6", "kernelbase.dll", "kernel32.dll", "[vdso]"):
        return "waking, sleeping, locks"
    return "other"


if __name__ == "__main__":
    main()
