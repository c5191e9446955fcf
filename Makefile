# Everyday entry points. Each one installs what is missing first.
PRESET ?= release
BUILD  := build/$(PRESET)
JOBS   ?= $(shell nproc)
MAKEFLAGS += --no-print-directory

# `make test` checks the formatting, then runs the suite of PRESET and
# clang-tidy over the program's sources, then
# under the address and undefined-behaviour sanitizers, then the core's and
# the converter's under the thread sanitizer (messages are read ahead on a
# second thread), then each fuzz target for a few seconds, then the
# Windows build's suite under wine (`make windows-test`; WINDOWS=no leaves it
# out); `make fuzz` runs the fuzz targets longer. The Windows dependencies
# (scripts/build-windows-deps, at the lowest priority) are built meanwhile,
# in the background, on the processor time the Linux builds and suites leave
# idle: on a first run nearly all of the wait is theirs. Their log is
# build/windows-deps.log; `make windows-test` waits for them.
TEST_PRESETS ?= $(PRESET) $(filter-out $(PRESET),asan tsan fuzz)
WINDOWS ?= yes
FUZZ_SECONDS ?= 20

# The benchmark programs are built only for `make bench`.
BUILD_BENCH ?= OFF
# What `make run` and `make demo` need: the window, its help manual beside
# it, and the converter.
PROGRAMS := marrowgate marrowgate-help marrowgate-convert
SOURCES   = $(shell find include src tests bench fuzz -name '*.cpp' -o -name '*.h')

.PHONY: all bootstrap configure build programs run demo check test interop format-check \
        fuzz bench package format tidy clean

all: build

bootstrap:
	@scripts/bootstrap

configure: bootstrap
	@cmake --preset $(PRESET) -DMARROWGATE_BUILD_BENCH=$(BUILD_BENCH) \
	  -DMARROWGATE_PROGRAMS_ONLY=OFF >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

# `make run` and `make demo` install only what building and running the
# programs need, and configure a new build folder without the tests, which
# need more; a later `make test` adds them.
programs:
	@scripts/bootstrap --run
	@cmake --preset $(PRESET) -DMARROWGATE_BUILD_BENCH=$(BUILD_BENCH) \
	  $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DMARROWGATE_PROGRAMS_ONLY=ON) >/dev/null
	@cmake --build --preset $(PRESET) -j $(JOBS) --target $(PROGRAMS)

run: programs
	$(BUILD)/src/app/marrowgate

demo: programs
	@rm -rf out
	$(BUILD)/src/cli/marrowgate-convert -o out examples/Store
	@python3 scripts/list-mailboxes.py out examples/Store

# A quick look before committing: the release build of the core and the
# converter, and their tests but for the slow ones (the kill-and-resume
# suites, which `make test` runs).
check: configure
	@cmake --build --preset $(PRESET) -j $(JOBS) --target core_tests marrowgate-convert
	@ctest --preset $(PRESET) -j $(JOBS) -L 'core|cli' -LE slow

test: bootstrap format-check
ifneq ($(WINDOWS),no)
	@scripts/bootstrap --windows
	@mkdir -p build
	@(scripts/build-windows-deps $(WINDOWS_PARTS) >build/windows-deps.log 2>&1 &)
endif
	@set -e; for preset in $(TEST_PRESETS); do \
	  echo "== $$preset"; \
	  $(MAKE) build PRESET=$$preset; \
	  ctest --preset $$preset -j $(JOBS); \
	  if [ $$preset = $(PRESET) ]; then $(MAKE) tidy; fi; \
	done
ifneq ($(WINDOWS),no)
	@echo "== windows"
	@$(MAKE) windows-test
endif

format-check:
	@clang-format --dry-run --Werror $(SOURCES)

# The output of every target read back by real mail programs (Dovecot,
# Mail::Box, mailutils, formail, Thunderbird); part of `make test` as well.
interop: build
	@ctest --preset $(PRESET) -L interop --output-on-failure

fuzz: bootstrap
	@$(MAKE) build PRESET=fuzz
	@FUZZ_SECONDS=$(FUZZ_SECONDS) ctest --preset fuzz -j $(JOBS) --timeout $$(($(FUZZ_SECONDS) + 300))

bench:
	@$(MAKE) configure BUILD_BENCH=ON
	@cmake --build --preset $(PRESET) -j $(JOBS) \
	  --target marrowgate-convert marrowgate-bench-floor marrowgate-bench-noflush \
	    marrowgate-window-bench
	@python3 bench/run.py --build $(BUILD) $(BENCH_ARGS)

# A Debian package in $(BUILD), to install with dpkg -i.
package: build
	@cmake --build --preset $(PRESET) --target package

# The Windows build, cross-compiled with mingw-w64 into build/windows; its
# tests run under wine. The first run builds GLib, GMime and Qt for Windows
# from Debian's sources into /var/cache/marrowgate (or $$MARROWGATE_CACHE),
# which takes long (see README); later runs reuse them. WINDOWS_PARTS="sysroot
# curl" leaves Qt and the window out.
WINDOWS_PARTS ?= sysroot curl qt
WINDOWS_GUI = $(if $(filter qt,$(WINDOWS_PARTS)),ON,OFF)
.PHONY: windows windows-deps windows-test

windows-deps:
	@scripts/bootstrap --windows
	@scripts/build-windows-deps $(WINDOWS_PARTS)

windows: windows-deps
	@cmake --preset windows -DMARROWGATE_BUILD_GUI=$(WINDOWS_GUI) >/dev/null
	@cmake --build --preset windows -j $(JOBS) --target windows-bundle

# With the Linux converter too, to compare the two builds' mailboxes.
windows-test: windows
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS) --target marrowgate-convert
	@cmake --preset windows -DMARROWGATE_LINUX_CONVERTER=$(CURDIR)/build/release/src/cli/marrowgate-convert >/dev/null
	@cmake --build --preset windows -j $(JOBS)
	@ctest --preset windows -j $(JOBS)

format:
	@clang-format -i $(SOURCES)

# clang-tidy with the checks in .clang-tidy over the program's own sources;
# the window's generated sources must exist first.
tidy: bootstrap programs
	@run-clang-tidy -quiet -j $(JOBS) -p $(BUILD) '^$(CURDIR)/src/.*\.cpp$$'

clean:
	rm -rf build out bench/work
