# Thin wrapper over CMake: `make`, `make test`, `make run`, `make bench`.
MAKEFLAGS += --no-print-directory
BUILD   ?= build
JOBS    ?= $(shell nproc)
CMAKE   ?= cmake
CTEST   ?= ctest

.PHONY: all deps configure build test bench run clean

all: build

deps:
	@scripts/deps.sh

$(BUILD)/CMakeCache.txt:
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	$(CMAKE) --build $(BUILD) -j $(JOBS)

test: build
	$(CTEST) --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Every benchmark in turn; each prints its own figures.
bench: build
	@set -e; for b in $(BUILD)/bench/bench_*; do \
	    [ -x "$$b" ] || continue; echo "== $$(basename $$b)"; "$$b"; done

# The tool against the virtual module as COM1; closing the window ends both.
run: build
	@scripts/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz
