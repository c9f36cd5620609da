# Two commands do everything on a fresh Debian machine:
#   make test   every test: native (ASan+UBSan, then TSan), both Windows builds
#               (i686 and x86-64), their tests under Wine, the demo's output, a
#               short fuzz run
#   make demo   the add-on under Wine against the simulator stand-in
#
# Some machines cannot execute 32-bit x86 code (a kernel with its 32-bit
# emulation off). There the i686 build is built and inspected without being
# run, everything else runs against the x86-64 build, and the last line says
# what was left out. The probe runs once per make; sub-makes inherit it.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 120

ifndef CAN_RUN_32
PROBE_32 := $(shell tools/scripts/probe32.sh --say)
CAN_RUN_32 := $(if $(filter runs,$(word 4,$(PROBE_32))),yes,no)
endif
export CAN_RUN_32
# The build that runs the demo and its check: i686 where it can run.
DEMO_BUILD := $(if $(filter yes,$(CAN_RUN_32)),win32,win64)
# Where the i686 build cannot run, only what is inspected without running it is
# built: the shipped binaries and the stand-ins (their exports are checked).
WIN32_TARGETS := $(if $(filter yes,$(CAN_RUN_32)),,--target Aviaro Tunelet SimConnect Lumiray HidStandIn)

.PHONY: all deps probe test demo native native-tsan win32 win64 wine-tests pe-check fuzz clean

all: test

deps:
	@tools/scripts/install-deps.sh

native: deps
	cmake --preset native >/dev/null
	cmake --build --preset native -j $(JOBS)

native-tsan: deps
	cmake --preset native-tsan >/dev/null
	cmake --build --preset native-tsan -j $(JOBS)

win32: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j $(JOBS) $(WIN32_TARGETS)

win64: deps
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 -j $(JOBS)

probe:
	@echo "$(or $(PROBE_32),32-bit x86 code: $(if $(filter yes,$(CAN_RUN_32)),runs,cannot run) on this machine)"

# What can be known of the Windows binaries without running them.
pe-check: win32 win64
	cmake --build --preset win32 --target installer
	tools/scripts/check_pe.py build/win32
	tools/scripts/check_pe.py build/win64

wine-tests: probe win32 win64
ifeq ($(CAN_RUN_32),yes)
	tests/wine/run.sh build/win32
endif
	tests/wine/run.sh build/win64

fuzz: deps
	@if [ -x tests/fuzz/run.sh ]; then tests/fuzz/run.sh $(FUZZ_SECONDS); fi

test: probe native native-tsan win32 win64
	ctest --preset native -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1 ctest --preset native-tsan -j $(JOBS)
	cmake --build --preset win32 --target installer
	tools/scripts/check_pe.py build/win32
	tools/scripts/check_pe.py build/win64
ifeq ($(CAN_RUN_32),yes)
	tests/wine/run.sh build/win32
endif
	tests/wine/run.sh build/win64
	tests/wine/check_demo.sh build/$(DEMO_BUILD)
	@$(MAKE) --no-print-directory fuzz
ifneq ($(CAN_RUN_32),yes)
	@echo "not run for i686, because this machine cannot execute 32-bit x86 code: its $$(grep -c . build/win32/test-binaries.txt) unit-test binaries, the end-to-end scripts, the installer and the demo check under Wine (checked without running: machine, imports, exports and stdcall sizes, manifest, version; the setup program built)"
endif

demo: probe $(DEMO_BUILD)
	tools/demo/run.sh build/$(DEMO_BUILD)

clean:
	rm -rf build
