# The two commands a user needs: `make demo` and `make test`. Both install what is missing,
# configure and build first.
BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc)
CORVALLE := $(BUILD_DIR)/Source/CommandLine/corvalle

.PHONY: all deps configure build test demo bench clean

all: build

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD_DIR) -j$(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

demo: build
	$(CORVALLE) demo

bench: build
	$(BUILD_DIR)/Benchmarks/corvalle-bench

clean:
	rm -rf $(BUILD_DIR)
