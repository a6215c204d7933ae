# Thin wrapper over CMake: `make`, `make test`, `make run`, `make bench`.
MAKEFLAGS += --no-print-directory
BUILD   ?= build
JOBS    ?= $(shell nproc)
CMAKE   ?= cmake
CTEST   ?= ctest

.PHONY: all deps configure build test bench clean

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

# The Debian package build/kestrin_<version>_<arch>.deb, then its checks.
.PHONY: package
package: build
	$(CMAKE) --build $(BUILD) --target package
	@scripts/check-package.sh --build $(BUILD)

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz
