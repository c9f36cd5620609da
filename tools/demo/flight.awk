# Replays the demo flight from its records, merged in time order: each input
# line is "<ms> <source> <record line>", source L for the device-library
# stand-in, S for the simulator stand-in, H for the simulated HID panels.
#
# Every change of what a device shows becomes a step, told by what caused it:
# the pilot's last action (a soft button, a page change, a panel's knob, button
# or switch) or the simulator's own last change, with the client events the
# add-on sent since. Prints the steps for the terminal and writes them as
# JavaScript (one object a step, every device's state after it) to the file
# named by -v js=FILE.
#
# Devices: 1 is the joystick display (Tarvex), 2 and 3 the instrument panels
# (Mira); the HID panels are named by the HID record.

function jsstr(s) {
    gsub(/\\/, "\\\\", s)
    gsub(/"/, "\\\"", s)
    gsub(/</, "\\x3c", s)
    return "\"" s "\""
}
function field(name,    i, v) {
    for (i = 1; i <= NF; ++i) {
        if (index($i, name "=") == 1) {
            v = substr($i, length(name) + 2)
            return v
        }
    }
    return ""
}
function quoted(name,    s, at) {
    at = index($0, " " name "=\"")
    if (at == 0) return ""
    s = substr($0, at + length(name) + 3)
    sub(/" -> [0-9A-F]+$/, "", s)
    sub(/"$/, "", s)
    return s
}
function seconds(ms) { return sprintf("%.1f", (ms - start) / 1000) }
# Causes and their steps. A cause's steps are held until the next cause
# begins, so that its label names every event the add-on sent in between (the
# event may be recorded a moment after the display changed).
function new_cause(text, ms) {
    # Simulator changes made together are one cause.
    if (cause_sim && text ~ /^the simulator sets / && ms - cause_ms < 50) {
        sub(/^the simulator sets /, "", text)
        cause = cause ", " text
        return
    }
    flush(nevents)
    cause = text
    cause_ms = ms
    cause_sim = text ~ /^the simulator sets /
    first_event = nevents + 1
}
function add_event(name, ms) {
    ++nevents
    event_ms[nevents] = ms
    event_text[nevents] = name
}
# The cause and the events first_event..last, a run of one event as "NAME x3".
function label(last,    i, n, events) {
    events = ""
    for (i = first_event; i <= last; i += n) {
        for (n = 1; i + n <= last && event_text[i + n] == event_text[i]; ++n) {}
        events = events (events == "" ? "" : ", ") event_text[i] (n > 1 ? " x" n : "")
    }
    return cause (events == "" ? "" : "; the add-on sends " events)
}
# Prints the held steps of the cause (a cause that changed nothing is printed
# when it sent events) and writes them to the page's steps.
function flush(last,    i, l) {
    l = label(last)
    if (held > 0 || last >= first_event) printf "\n-- %s s: %s\n", seconds(cause_ms), l
    if (held == 0 && last >= first_event) print "(no display changes)"
    for (i = 1; i <= held; ++i) {
        print held_text[i]
        print "{t:" jsstr(held_t[i]) ",cause:" jsstr(l) "," held_js[i] "}," >js
    }
    held = 0
}
# One step: what changed (device "what") and every device's state after it.
function step(ms, what, text,    i, line) {
    ++steps
    ++held
    held_t[held] = seconds(ms)
    held_text[held] = text
    line = sprintf("what:%s,tarvex:[%s,%s,%s],tarvexPage:%s,mira:[%s,%s]",
                   jsstr(what), jsstr(shown[0]), jsstr(shown[1]),
                   jsstr(shown[2]), jsstr(active[1]), jsstr(crc_shown(2)), jsstr(crc_shown(3)))
    line = line ",panels:{"
    for (i = 1; i <= npanels; ++i) {
        line = line (i > 1 ? "," : "") jsstr(panel_name[i]) ":" jsstr(panel_state[panel_name[i]])
    }
    held_js[held] = line "}"
}
function crc_shown(d) { return ((d, active[d]) in image) ? image[d, active[d]] : "" }
function mira_changed(d, ms,    c) {
    c = crc_shown(d)
    if (c == "" || c == mira_last[d]) return
    mira_last[d] = c
    if (!((d, c) in mira_seen)) {
        mira_seen[d, c] = 1
        ++mira_distinct[d]
    }
    ++mira_frames[d]
    step(ms, "mira" d, "Mira " d " (page " active[d] ") shows frame " c)
}
function tarvex_changed(ms,    screen) {
    shown[0] = line1[active[1], 0]; shown[1] = line1[active[1], 1]; shown[2] = line1[active[1], 2]
    screen = "|" shown[0] "|\n|" shown[1] "|\n|" shown[2] "|"
    if (screen == tarvex_last) return
    tarvex_last = screen
    step(ms, "tarvex", "joystick display (page " active[1] "):\n" screen)
}
function button_name(d, bits,    b) {
    b = bits + 0
    if (d == 1) return b == 1 ? "Select" : b == 2 ? "Up" : b == 4 ? "Down" : bits
    if (b == 2) return "the knob up"
    if (b == 4) return "the knob down"
    if (b >= 32 && b <= 1024) return "soft button " (b == 32 ? 1 : b == 64 ? 2 : b == 128 ? 3 : b == 256 ? 4 : b == 512 ? 5 : 6)
    return bits
}
function device_name(d) { return d == 1 ? "the joystick display" : "Mira " d }

BEGIN {
    cause = "the add-on starts"
    first_event = 1
    npanels = split("multi radio switch backlit", panel_name, " ")
    n = split(lenses, pairs, " ")
    for (i = 1; i <= n; ++i) {
        split(pairs[i], kv, "=")
        lens_name[kv[1]] = kv[2]
    }
    for (i = 1; i <= npanels; ++i) panel_state[panel_name[i]] = "(not open)"
    print "var steps = [" >js
}
NR == 1 { start = $1; cause_ms = $1 }
{
    ms = $1
    src = $2
    # The record line alone, for the field helpers (its spaces kept).
    sub(/^[0-9]+ [A-Z] /, "")
}

src == "L" && /^deliver buttons device=[0-9]+ bits=/ {
    d = field("device"); bits = field("bits")
    if (strtonum_hex(bits) != 0) {
        new_cause("the pilot presses " button_name(d, strtonum_hex(bits)) " on " device_name(d), ms)
    }
    next
}
src == "L" && /^deliver page device=[0-9]+ page=[0-9]+ active=1/ {
    d = field("device"); p = field("page")
    new_cause("the pilot turns " device_name(d) " to page " p, ms)
    active[d] = p
    if (d == 1) tarvex_changed(ms); else mira_changed(d, ms)
    next
}
src == "L" && /^Lumiray_AddPage / {
    d = field("device"); p = field("page"); f = field("flags")
    if (f % 2 == 1 || !(d in active)) active[d] = p
    next
}
src == "L" && /^Lumiray_SetString device=1 / && / -> 00000000$/ {
    p = field("page"); i = field("index")
    line1[p, i] = quoted("text")
    if (i == 2 && p == active[1]) tarvex_changed(ms)
    next
}
src == "L" && /^Lumiray_SetImage / && / -> 00000000$/ {
    d = field("device"); p = field("page")
    image[d, p] = field("crc")
    if (p == active[d]) mira_changed(d, ms)
    next
}

src == "S" && /^SimConnect_MapClientEventToSimEvent / { event_name[field("id")] = quoted("name"); next }
src == "S" && /^SimConnect_SubscribeToSystemEvent / { system_name[field("id")] = quoted("name"); next }
src == "S" && /^SimConnect_TransmitClientEvent / && / -> 00000000/ {
    id = field("id")
    add_event(id in event_name ? event_name[id] : "event " id, ms)
    next
}
src == "S" && /^model set / {
    s = $0; sub(/^model set /, "", s); gsub(/"/, "", s)
    new_cause("the simulator sets " s, ms)
    next
}
src == "S" && /^deliver EVENT id=/ {
    id = field("id")
    if (id in system_name) new_cause("the simulator reports " system_name[id], ms)
    next
}

src == "H" && /^pilot / {
    unit = $2
    s = $0; sub(/^pilot [^ ]+ /, "", s)
    # Controls set before the add-on opens the unit are what it reads then.
    if (panel_state[unit] == "(not open)") next
    new_cause("the pilot on the " unit " panel: " s, ms)
    next
}
src == "H" && ($1 in panel_state) {
    unit = $1
    s = $0; sub(/^[^ ]+ /, "", s)
    if (unit == "backlit") s = lens_names(s)
    if (panel_state[unit] != s) {
        panel_state[unit] = s
        step(ms, "panel-" unit, unit " panel " s)
    }
    next
}
src == "H" { print "HID stand-in: " $0; next }

# "lens 0=GREEN lens 6=AMBER" with the lenses' names from -v lenses="0=GearDown ...".
function lens_names(s,    n, i, parts, out) {
    if (s !~ /^lens /) return s
    n = split(s, parts, " ")
    out = ""
    for (i = 1; i < n; i += 2) {
        split(parts[i + 1], kv, "=")
        out = out (out == "" ? "" : " ") ((kv[1] in lens_name) ? lens_name[kv[1]] : "lens " kv[1]) "=" kv[2]
    }
    return out
}

function strtonum_hex(s,    n, i, c) {
    s = tolower(s)
    if (s !~ /^0x/) return s + 0
    n = 0
    for (i = 3; i <= length(s); ++i) {
        c = index("0123456789abcdef", substr(s, i, 1))
        if (c == 0) break
        n = n * 16 + c - 1
    }
    return n
}

END {
    flush(nevents)
    print "];" >js
    printf "\nthe flight: %d steps; Mira 2 showed %d different frames in %d changes, Mira 3 %d in %d\n",
           steps, mira_distinct[2], mira_frames[2], mira_distinct[3], mira_frames[3]
}
