# Thin wrapper over CMake: `make`, `make test`, `make run`, `make bench`.
MAKEFLAGS += --no-print-directory
BUILD   ?= build
JOBS    ?= $(shell nproc)
CMAKE   ?= cmake
CTEST   ?= ctest

.PHONY: all deps configure build test bench run fuzz clean

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

# The framer's libFuzzer target in its own clang build, for 60 seconds.
fuzz:
	@scripts/deps.sh --hardening
	CC=clang CXX=clang++ $(CMAKE) -S . -B build-fuzz -DBUILD_FUZZERS=ON -DKESTRIN_BUILD_GUI=OFF
	$(CMAKE) --build build-fuzz -j $(JOBS) --target fuzz_framer
	@mkdir -p build-fuzz/fuzz/corpus
	build-fuzz/fuzz/fuzz_framer -max_total_time=60 -print_final_stats=1 build-fuzz/fuzz/corpus fuzz/corpus

# Sanitizer builds (build-asan, build-tsan) with their tests.
.PHONY: asan tsan hardening
asan tsan:
	@scripts/hardening.sh $@
hardening:
	@scripts/hardening.sh

# The Debian package build/kestrin_<version>_<arch>.deb, then its checks.
.PHONY: package
package: build
	$(CMAKE) --build $(BUILD) --target package
	@scripts/check-package.sh --build $(BUILD)

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz
