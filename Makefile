# Thin wrapper over CMake: `make`, `make test`, `make run`, `make bench`.
BUILD   ?= build
JOBS    ?= $(shell nproc)
CMAKE   ?= cmake
CTEST   ?= ctest

.PHONY: all deps configure build test bench fuzz asan tsan clean

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

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz
