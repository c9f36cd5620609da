# The stand-in device service (tools/lumirayd_standin) in the Wine prefix.
# Source it after lib.sh and wine_init; the functions use $WINE_BUILD/bin/Lumirayd.exe
# and write the output of sc into $WINE_WORK. Measured under Wine 8 in a 32-bit
# prefix: create, start, stop and delete each take well under a second, "sc start"
# returns once the service reports RUNNING and "sc stop" returns at STOP_PENDING.

# lumirayd_state: the state number "sc query" reports (4 running, 1 stopped),
# or nothing when the service is not installed.
lumirayd_state() {
    wine_run "$WINE_WORK/sc-query.txt" sc query Lumirayd || return 0
    sed -n 's/^ *STATE *: *\([0-9]*\).*/\1/p' "$WINE_WORK/sc-query.txt" | head -1
}

# lumirayd_wait STATE: waits up to five seconds for the state; false when it never comes.
lumirayd_wait() {
    local i
    for i in $(seq 50); do
        [ "$(lumirayd_state)" = "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# lumirayd_install: installs the service for demand start, replacing one left
# behind by an interrupted run (the prefix outlives a run).
lumirayd_install() {
    [ -n "$(lumirayd_state)" ] && lumirayd_stop_and_remove
    wine_run "$WINE_WORK/sc-create.txt" sc create Lumirayd \
        binPath= "$(win_path "$WINE_BUILD/bin/Lumirayd.exe")"
}

# lumirayd_start: starts it; true once it runs.
lumirayd_start() {
    wine_run "$WINE_WORK/sc-start.txt" sc start Lumirayd && lumirayd_wait 4
}

# lumirayd_stop: stops it when it runs; true once it is stopped.
lumirayd_stop() {
    if [ "$(lumirayd_state)" != 1 ]; then
        wine_run "$WINE_WORK/sc-stop.txt" sc stop Lumirayd
    fi
    lumirayd_wait 1
}

# lumirayd_stop_and_remove: stops it, waits for the stop, and deletes it; true
# when it is gone.
lumirayd_stop_and_remove() {
    lumirayd_stop
    wine_run "$WINE_WORK/sc-delete.txt" sc delete Lumirayd
    [ -z "$(lumirayd_state)" ]
}
