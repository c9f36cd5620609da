# Replays a device-library stand-in record and prints what device 1 shows after
# each step: its arrival, a press, a page change, or new lines the simulator's
# data caused. A screen equal to the one printed last is not printed again.
BEGIN { step = "device arrives" }
function unquote(s) {
    sub(/^text="/, "", s)
    sub(/" -> [0-9A-F]+$/, "", s)
    return s
}
/^deliver buttons device=1 bits=/ {
    bits = $4; sub(/bits=/, "", bits)
    if (bits != "0x0000") {
        name = bits == "0x0001" ? "Select" : bits == "0x0002" ? "Up" : bits == "0x0004" ? "Down" : bits
        step = "press " name
    }
    next
}
/^deliver page device=1 page=[0-9]+ active=1/ {
    p = $4; sub(/page=/, "", p)
    active = p; step = "page " p
    next
}
/^Lumiray_AddPage device=1 / {
    p = $3; sub(/page=/, "", p)
    f = $4; sub(/flags=/, "", f)
    if (f % 2 == 1) active = p
    next
}
/^Lumiray_SetString device=1 / {
    p = $3; sub(/page=/, "", p)
    i = $4; sub(/index=/, "", i)
    t = $0; sub(/^.* text="/, "text=\"", t)
    lines[p, i] = unquote(t)
    if (i == 2 && p == active) {
        screen = "|" lines[p, 0] "|\n|" lines[p, 1] "|\n|" lines[p, 2] "|"
        if (screen != last) {
            printf "-- %s (page %s)\n%s\n", (step == "" ? "simulator data" : step), p, screen
            last = screen
        }
        # The step is used up even when it changed nothing on the screen.
        step = ""
    }
}
