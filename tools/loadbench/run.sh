#!/usr/bin/env bash
# The load benchmark: what the real Aviaro.exe costs under Wine while the
# simulator stand-in sends steady data every 33 ms, per device kind, beyond a
# bare SimConnect client (bare_client.exe) that receives the same data.
#
# Usage: tools/loadbench/run.sh [-r ROUNDS] [BUILD_DIR [SECONDS]]
#        (defaults 3 rounds, build/win64, 20 s)
# Run on demand on a quiet machine, never as a test. It uses BUILD_DIR's Wine
# prefix and wine-work folder, so no other Wine run may use BUILD_DIR meanwhile:
# copy the build first (cp -r build/win64 /tmp/bench) when someone else might.
#
# Each case is one run of its own: "bare" (bare_client.exe), "text" (the six
# Tarvex pages on one joystick display), "gauge" (two gauge pages, each shown
# on a Mira of its own), "hid" (the four panels in HidStandIn.dll) and "all".
# CPU is the program's and the prefix's wineserver's user and system time
# (/proc/PID/stat, clock ticks, threads that ended included) over SECONDS in
# the middle of the data. The device-library stand-in's own time in SetImage,
# SetString and SetLed (AVIARO_LUMIRAY_COST, per call, times the calls in the
# window) is taken off; the simulator stand-in's cost is in the bare run too.
# "per frame" divides the gauge case's CPU by the frames sent in the window.
# The rounds run the cases in turn; each round's cases are set against the
# same round's bare client, and the medians over the rounds are printed.
# Each case also runs beside a bare client of its own, started with it and
# measured over the same window: the program's CPU less that one's is the
# steadier figure on a machine whose speed drifts (the wineserver, which both
# share, is left out of it; its requests per frame tell its part).
#
# LOADBENCH_CASES="bare gauge" runs some cases only; LOADBENCH_PERF=1 records
# each case's window with perf (see profile.py); LOADBENCH_SERVER_LOG=FILE
# counts the wineserver requests per frame (slow: the server logs each one).
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
rounds=3
if [ "${1:-}" = "-r" ]; then rounds=$2; shift 2; fi
build=${1:-$root/build/win64}
seconds=${2:-20}
. "$root/tests/wine/lib.sh"
wine_init "$build"
trap wine_stop EXIT
# LOADBENCH_SERVER_LOG=FILE: the wineserver logs every request to FILE, and
# each case's window of it is kept beside the case as server.txt.
if [ -n "${LOADBENCH_SERVER_LOG:-}" ]; then
    wineserver -k >/dev/null 2>&1
    wineserver -w
    wineserver -f -p -d1 2>"$LOADBENCH_SERVER_LOG" </dev/null &
    sleep 1
fi
server_log_size() { [ -n "${LOADBENCH_SERVER_LOG:-}" ] && stat -c %s "$LOADBENCH_SERVER_LOG" || echo 0; }
. "$root/tests/wine/service.sh"
for f in Aviaro.exe SimConnect.dll Lumiray.dll HidStandIn.dll Lumirayd.exe bare_client.exe; do
    [ -f "$WINE_BUILD/bin/$f" ] || { echo "loadbench: $WINE_BUILD/bin/$f is missing" >&2; exit 2; }
done

# The data: from 2 s after the connection, every 33 ms, until well past the
# window (a slow start must not end the data inside it); the window starts
# 6 s after the program starts.
period=33
first=2000
last=$((first + (seconds + 10) * 1000))
sim=$WINE_WORK/bench-sim.txt
{
    cat <<'INIT'
init "heading indicator" 0
init "airspeed indicated" 0
init "flaps handle index" 1
init "gear handle position" 1
init "com active frequency:1" 0x1850
init "com standby frequency:1" 0x2200
init "nav active frequency:1" 0x1030
init "nav standby frequency:1" 0x0800
init "transponder code:1" 0x1200
init "autopilot master" 1
init "autopilot heading lock" 1
init "autopilot altitude lock" 1
init "autopilot altitude lock var" 8000
init "autopilot vertical hold var" -500
init "autopilot heading lock dir" 270
init "autopilot airspeed hold var" 120
init "nav obs:1" 95
init "light beacon" 0
SimStart
INIT
    awk -v first="$first" -v last="$last" -v period="$period" 'BEGIN {
        for (t = first; t <= last; t += period) {
            k = (t - first) / period
            stby = (k % 2) ? "0x2205" : "0x2200"
            printf "at %d; set \"heading indicator\" %d; set \"airspeed indicated\" %.1f; ", t, k % 360, 60 + (k % 1000) / 10
            printf "set \"autopilot heading lock dir\" %d; set \"autopilot altitude lock var\" %d; ", k % 360, 8000 + (k % 50) * 100
            printf "set \"com standby frequency:1\" %s; set \"nav obs:1\" %d; set \"light beacon\" %d\n", stby, k % 360, k % 2
        }
        printf "at %d; SimStop; quit\n", last + 500
    }'
} >"$sim"

# CPU nanoseconds of the prefix's wineserver now. Its working folder is named
# after the prefix's device and inode (under /tmp/.wine-UID, or a folder of its
# own on some systems). Every such server is summed: Wine may start a new one
# while the old one ends.
wineserver_pids() {
    local dir p
    dir=$(printf '/server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
    for p in /proc/[0-9]*; do
        case "$(readlink "$p/exe" 2>/dev/null)" in */wineserver*) ;; *) continue ;; esac
        # " (deleted)": the folder was removed under a running server.
        case "$(readlink "$p/cwd" 2>/dev/null)" in *"$dir" | *"$dir (deleted)") echo "${p#/proc/}" ;; esac
    done
}

# The CPU nanoseconds of the given processes together.
sum_cpu_ns() {
    local p total=0
    for p in "$@"; do total=$((total + $(cpu_ns "$p"))); done
    echo "$total"
}

# CPU nanoseconds of a process (0 when it is gone): user and system time from
# /proc/PID/stat, which keeps the time of threads that have ended (a sum over
# /proc/PID/task loses it). Clock ticks: 10 ms each on most systems.
cpu_ns() {
    awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%.0f", ($12 + $13) * 1e9 / hz }' /proc/"$1"/stat 2>/dev/null || echo 0
}

now_ms() { date +%s%3N; }

# run_case NAME PROGRAM: runs PROGRAM in $d with the environment set up and,
# at the same time, a bare client of its own in $d/beside, and writes
# "cpu_ns wineserver_ns window_start_ms window_end_ms beside_cpu_ns" to
# $d/cpu.txt. The bare client beside sees the same machine in the same window:
# on a virtual machine whose speed drifts by a third from minute to minute,
# the difference between the two is far steadier than one between two runs.
run_case() {
    local name=$1 program=$2 pid bpid start a0 s0 a1 s1 b0 b1 t0 t1 l0 l1 servers
    start=$(now_ms)
    (cd "$d" && exec env ${LOADBENCH_WINEDEBUG:+WINEDEBUG=$LOADBENCH_WINEDEBUG} AVIARO_SIM_SCRIPT="$(win_path "$sim")" \
        AVIARO_LUMIRAY_SCRIPT="$(win_path "$d/lumiray.txt")" \
        AVIARO_LUMIRAY_COST="$(win_path "$d/lumiray-cost.txt")" \
        AVIARO_HID_SCRIPT="$(win_path "$d/hid.txt")" \
        "$WINE" "$d/$program" -run >"$d/out.txt" 2>&1 </dev/null) &
    pid=$!
    mkdir -p "$d/beside"
    cp "$WINE_BUILD/bin/bare_client.exe" "$WINE_BUILD/bin/SimConnect.dll" "$d/beside/"
    (cd "$d/beside" && exec env AVIARO_SIM_SCRIPT="$(win_path "$sim")" \
        "$WINE" "$d/beside/bare_client.exe" -run >"$d/beside/out.txt" 2>&1 </dev/null) &
    bpid=$!
    sleep $(awk -v s="$start" -v n="$(now_ms)" 'BEGIN { printf "%.3f", 6 - (n - s) / 1000 }')
    # Found before the window: a scan of /proc takes long on a busy machine.
    servers=$(wineserver_pids)
    [ -n "$servers" ] || echo "loadbench: no wineserver found for $WINEPREFIX" >&2
    t0=$(now_ms); a0=$(cpu_ns "$pid"); b0=$(cpu_ns "$bpid"); s0=$(sum_cpu_ns $servers); l0=$(server_log_size)
    if [ -n "${LOADBENCH_PERF:-}" ]; then
        # Samples of the program (its Windows code, Wine's and the kernel's on
        # its behalf) over the window, for tools/loadbench/profile.py.
        perf record -q -F 4000 -p "$pid" -o "$d/perf.data" -- sleep "$seconds" >/dev/null 2>&1
    else
        sleep $(awk -v s="$t0" -v n="$(now_ms)" -v w="$seconds" 'BEGIN { printf "%.3f", w - (n - s) / 1000 }')
    fi
    t1=$(now_ms); a1=$(cpu_ns "$pid"); b1=$(cpu_ns "$bpid"); s1=$(sum_cpu_ns $servers); l1=$(server_log_size)
    if [ "$a1" = 0 ] || [ "$b1" = 0 ]; then
        echo "loadbench: $name or the bare client beside it ended inside the window; its figures are not valid" >&2
        [ "$a1" = 0 ] && a1=$a0
        [ "$b1" = 0 ] && b1=$b0
    fi
    wait "$pid" "$bpid"
    [ -n "${LOADBENCH_SERVER_LOG:-}" ] &&
        tail -c +$((l0 + 1)) "$LOADBENCH_SERVER_LOG" | head -c $((l1 - l0)) >"$d/server.txt"
    echo "$((a1 - a0)) $((s1 - s0)) $t0 $t1 $((b1 - b0))" >"$d/cpu.txt"
}

# The stand-in's time in the window, in ns, and the frames it was sent then:
# its tenths of a second that lie inside the window. (No record file: the
# stand-in opens and closes it for every line, which would cost more than the
# program under test.)
standin_ns() {
    [ -f "$d/lumiray-cost.txt" ] || { echo "0 0"; return; }
    awk -v t0="$1" -v t1="$2" '
        $1 >= t0 && $1 + 100 <= t1 { split($3, c, "="); split($4, n, "="); s += n[2]; if ($2 == "Lumiray_SetImage") f += c[2] }
        END { printf "%.0f %.0f\n", s, f }' "$d/lumiray-cost.txt"
}

# prepare_case NAME: a fresh folder for the case (the saved page names of an
# earlier round would start the displays elsewhere).
prepare_case() {
    local case=$1 pages="" n
    d=$(case_dir "bench-$case")
    cp "$WINE_BUILD/bin/SimConnect.dll" "$WINE_BUILD/bin/Lumiray.dll" "$d/"
    : >"$d/hid.txt"
    printf '%s\n' strict quiet >"$d/lumiray.txt"
    case $case in text | all)
        echo "device tarvex" >>"$d/lumiray.txt"
        pages="<Tarvex><ComNav Radio1=\"true\"/><Adf/><Dme/><Xpndr/><Autopilot/><VorHdg/></Tarvex>" ;;
    esac
    case $case in gauge | all)
        mkdir -p "$d/Gauges/Heading/1024" "$d/Gauges/Airspeed/1024"
        cp "$root"/tools/test_gauge/1024/Airspeed_*.bmp "$d/Gauges/Heading/1024/"
        cat >"$d/Gauges/Heading/gauge.xml" <<'XML'
<Gauge Name="Heading">
  <Image Name="Airspeed_Background.bmp"/>
  <Element><Position X="76" Y="76"/><Image Name="Airspeed_Needle.bmp"><Axis X="8" Y="6"/></Image>
    <Rotate><Value>(A:Heading indicator,degrees) dgrd</Value></Rotate></Element>
</Gauge>
XML
        cp "$root/examples/gauges/Airspeed/gauge.xml" "$d/Gauges/Airspeed/"
        cp "$root/examples/gauges/Airspeed/1024/"*.bmp "$d/Gauges/Airspeed/1024/"
        pages="$pages<Gauge File=\"Gauges\\Heading\\gauge.xml\" Timeout=\"100\"><Button Id=\"1\" Name=\"HDG\" Event=\"AP_HDG_HOLD\"/></Gauge>"
        pages="$pages<Gauge File=\"Gauges\\Airspeed\\gauge.xml\" Timeout=\"100\"/>"
        # Both Miras start on the first gauge; the second moves on to the next.
        n=1
        [ "$case" = all ] && n=2
        printf '%s\n' "device mira MIRA-1" "device mira MIRA-2" "wait Lumiray_SetImage device=$((n + 1))" \
            "page $((n + 1)) next" >>"$d/lumiray.txt" ;;
    esac
    case $case in hid | all)
        cp "$WINE_BUILD/bin/HidStandIn.dll" "$d/"
        printf '%s\n' "unit multi M-1" "unit radio R-1" "unit switch S-1" "unit backlit B-1" >"$d/hid.txt" ;;
    esac
    echo "<Aviaro>$pages</Aviaro>" >"$d/Aviaro.xml"
    wine_run "$d/reg.txt" reg add 'HKLM\SOFTWARE\Orlend\Lumiray' /v LumirayX86 /t REG_SZ \
        /d "$(win_path "$d")\\Lumiray.dll" /f
    if [ "$case" = bare ]; then
        cp "$WINE_BUILD/bin/bare_client.exe" "$d/"
    else
        cp "$WINE_BUILD/bin/Aviaro.exe" "$d/"
    fi
}

# Server requests in a case's window: request lines of the wineserver's log.
server_requests() {
    [ -f "$d/server.txt" ] || { echo 0; return; }
    grep -c '^[0-9a-f]*: [a-z_]*(' "$d/server.txt"
}

lumirayd_install && lumirayd_start || { echo "loadbench: the device service does not start" >&2; exit 1; }
cases=${LOADBENCH_CASES:-bare text gauge hid all}
results=$WINE_WORK/bench-results.txt
: >"$results"
for round in $(seq 1 "$rounds"); do
    for case in $cases; do
        prepare_case "$case"
        program=Aviaro.exe
        [ "$case" = bare ] && program=bare_client.exe
        run_case "$case" "$program"
        read -r a s t0 t1 b <"$d/cpu.txt"
        read -r stand f <<<"$(standin_ns "$t0" "$t1")"
        req=$(server_requests)
        # case round program_ns wineserver_ns standin_ns frames requests beside_ns
        echo "$case $round $a $s ${stand:-0} ${f:-0} $req $b" >>"$results"
        printf 'round %d %-6s program %7.1f ms  bare beside %7.1f ms  wineserver %7.1f ms  stand-in %6.1f ms  frames %4d  (%s)\n' \
            "$round" "$case" "$(awk -v v="$a" 'BEGIN { print v / 1e6 }')" "$(awk -v v="$b" 'BEGIN { print v / 1e6 }')" \
            "$(awk -v v="$s" 'BEGIN { print v / 1e6 }')" \
            "$(awk -v v="${stand:-0}" 'BEGIN { print v / 1e6 }')" "${f:-0}" "$(tr -d '\r' <"$d/out.txt" | tail -1)"
    done
done
lumirayd_stop_and_remove >/dev/null

# Each round's case against the same round's bare client, then the median
# over the rounds (and the lowest and highest), in ms of CPU over the window.
echo
echo "Aviaro.exe beyond the bare client, ${rounds} rounds of ${seconds} s of data every ${period} ms ($WINE_BUILD):"
awk -v w="$((seconds * 1000))" -v cases="$cases" '
    function median(list, n,   i, j, t, v) {
        n = split(list, v, " ")
        for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
        lo = v[1]; hi = v[n]
        return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    }
    { total[$1, $2] = ($3 + $4 - $5) / 1e6; alone[$1, $2] = ($3 - $5) / 1e6; frames[$1, $2] = $6; req[$1, $2] = $7; r[$2] = 1
      beside[$1, $2] = ($3 - $5 - $8) / 1e6 }
    END {
        nc = split(cases, cs, " ")
        for (i = 1; i <= nc; i++) {
            c = cs[i]
            if (c == "bare") {
                bs = ""
                for (k in r) bs = bs " " beside[c, k]
                m = median(bs)
                printf("  bare   beside another bare client (what the figures below can tell apart): %.1f ms (rounds %.1f to %.1f)\n", m, lo, hi)
                continue
            }
            e = ""; o = ""; pf = ""; rq = ""; bs = ""; bf = ""
            for (k in r) {
                e = e " " (total[c, k] - total["bare", k]); o = o " " (alone[c, k] - alone["bare", k])
                bs = bs " " beside[c, k]
                if (frames[c, k] > 0) pf = pf " " (total[c, k] - total["bare", k]) / frames[c, k]
                if (frames[c, k] > 0) bf = bf " " beside[c, k] / frames[c, k]
                if (frames[c, k] > 0 && req[c, k] > 0) rq = rq " " (req[c, k] - req["bare", k]) / frames[c, k]
            }
            m = median(e); mlo = lo; mhi = hi
            line = sprintf("  %-6s %7.1f ms = %5.2f %% of one core (rounds %.1f to %.1f); the program alone %7.1f ms", c, m, 100 * m / w, mlo, mhi, median(o))
            if (pf != "") { m = median(pf); line = line sprintf("; per frame %.3f ms (%.3f to %.3f)", m, lo, hi) }
            if (rq != "") line = line sprintf(", %.1f server requests", median(rq))
            print line
            m = median(bs); mlo = lo; mhi = hi
            line = sprintf("  %-6s the program beside a bare client in the same window: %7.1f ms = %5.2f %% of one core (rounds %.1f to %.1f)", "", m, 100 * m / w, mlo, mhi)
            if (bf != "") { m = median(bf); line = line sprintf("; per frame %.3f ms (%.3f to %.3f)", m, lo, hi) }
            print line
        }
    }' "$results"
