# The device-service check against the stand-in service: not running before it
# is started, running after, not running once stopped and once removed.
. "$(dirname "${BASH_SOURCE[0]}")/service.sh"

svc_test="$WINE_BUILD/tests/devices/test_devices_platform.exe"
# svc_expect NAME running|stopped: the test binary checks IsServiceRunning("Lumirayd").
svc_expect() {
    local out="$WINE_WORK/service-$2-$RANDOM.txt"
    if (cd "$(dirname "$svc_test")" && AVIARO_EXPECT_LUMIRAYD=$2 wine_run "$out" "$svc_test" \
            --gtest_filter=Service.LumiraydAsTheScriptExpects) &&
        grep -q '^\[  PASSED  \] 1 test' "$out"; then
        pass "$1"
    else
        fail "$1" "see $out"
    fi
}

if [ ! -f "$WINE_BUILD/bin/Lumirayd.exe" ] || [ ! -f "$svc_test" ]; then
    fail "service: Lumirayd.exe and test_devices_platform.exe are built"
else
    svc_expect "service: not installed, not running" stopped
    if lumirayd_install; then pass "service: sc create"; else fail "service: sc create"; fi
    svc_expect "service: installed, not started, not running" stopped
    if lumirayd_start; then pass "service: sc start"; else fail "service: sc start"; fi
    svc_expect "service: started, running" running
    if lumirayd_stop; then pass "service: sc stop"; else fail "service: sc stop"; fi
    svc_expect "service: stopped, not running" stopped
    # A second install replaces the first, as after an interrupted run.
    if lumirayd_start && lumirayd_install; then pass "service: installed again over a running one"
    else fail "service: installed again over a running one"; fi
    svc_expect "service: installed again, not running" stopped
    if lumirayd_stop_and_remove; then pass "service: sc stop and delete"; else
        fail "service: sc stop and delete"; fi
    svc_expect "service: removed, not running" stopped
fi

unset svc_test
unset -f svc_expect
