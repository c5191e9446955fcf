# Everyday entry points. Each one installs what is missing first.
PRESET ?= release
BUILD  := build/$(PRESET)
JOBS   ?= $(shell nproc)
MAKEFLAGS += --no-print-directory

# `make test` runs the suite of PRESET, then under the sanitizers, then each
# fuzz target for a few seconds; `make fuzz` runs the fuzz targets longer.
TEST_PRESETS ?= $(PRESET) $(filter-out $(PRESET),asan fuzz)
FUZZ_SECONDS ?= 20

.PHONY: all bootstrap build run demo test interop fuzz bench format clean

all: build

bootstrap:
	@scripts/bootstrap

build: bootstrap
	@cmake --preset $(PRESET) >/dev/null
	@cmake --build --preset $(PRESET) -j $(JOBS)

run: build
	$(BUILD)/src/app/marrowgate

demo: build
	@rm -rf out
	$(BUILD)/src/cli/marrowgate-convert -o out examples/Store
	@python3 scripts/list-mailboxes.py out

test: bootstrap
	@set -e; for preset in $(TEST_PRESETS); do \
	  echo "== $$preset"; \
	  $(MAKE) build PRESET=$$preset; \
	  ctest --preset $$preset -j $(JOBS); \
	done

# The output of every target read back by real mail programs (Dovecot,
# Mail::Box, mailutils, formail, Thunderbird); part of `make test` as well.
interop: build
	@ctest --preset $(PRESET) -L interop --output-on-failure

fuzz: bootstrap
	@$(MAKE) build PRESET=fuzz
	@FUZZ_SECONDS=$(FUZZ_SECONDS) ctest --preset fuzz -j $(JOBS) --timeout $$(($(FUZZ_SECONDS) + 300))

bench: build
	@python3 bench/run.py --build $(BUILD) $(BENCH_ARGS)

# A Debian package in $(BUILD), to install with dpkg -i.
.PHONY: package
package: build
	@cmake --build --preset $(PRESET) --target package

format:
	@find src tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build out bench/work
