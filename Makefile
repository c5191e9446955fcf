# Everyday entry points. Each one installs what is missing first.
PRESET ?= release
BUILD  := build/$(PRESET)
JOBS   ?= $(shell nproc)
MAKEFLAGS += --no-print-directory

.PHONY: all bootstrap build run demo test bench format clean

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

test: build
	@ctest --preset $(PRESET) -j $(JOBS)

bench: build
	@python3 bench/run.py --build $(BUILD) $(BENCH_ARGS)

# A Debian package in $(BUILD), to install with dpkg -i.
.PHONY: package
package: build
	@cmake --build --preset $(PRESET) --target package

format:
	@find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build out bench/work
