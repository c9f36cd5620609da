# Two commands do everything on a fresh Debian machine:
#   make test   every test: native (ASan+UBSan, then TSan), the i686 Windows
#               build and the x86-64 build of what ships for x86-64, the Windows
#               tests under Wine, the demo's output, a short fuzz run
#   make demo   the add-on under Wine against the simulator stand-in
SHELL := /bin/bash
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 120

.PHONY: all deps test demo native native-tsan win32 win64 wine-tests fuzz clean

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
	cmake --build --preset win32 -j $(JOBS)

win64: deps
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 -j $(JOBS)

wine-tests: win32 win64
	tests/wine/run.sh build/win32
	tests/wine/run.sh build/win64

fuzz: deps
	@if [ -x tests/fuzz/run.sh ]; then tests/fuzz/run.sh $(FUZZ_SECONDS); fi

test: native native-tsan win32 win64
	ctest --preset native -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1 ctest --preset native-tsan -j $(JOBS)
	tests/wine/run.sh build/win32
	tests/wine/run.sh build/win64
	tests/wine/check_demo.sh build/win32
	@$(MAKE) --no-print-directory fuzz

demo: win32
	tools/demo/run.sh build/win32

clean:
	rm -rf build
