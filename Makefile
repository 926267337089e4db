# The two commands a user needs: `make demo` and `make test`. Both install what is missing,
# configure and build first.
BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc)
CORVALLE := $(BUILD_DIR)/Source/CommandLine/corvalle

.PHONY: all deps configure build test demo bench screenshots clean

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

# The README's picture of the desktop program with results, made on a virtual X server against
# the sample world.
screenshots: build
	mkdir -p Documentation
	xvfb-run -a -s "-screen 0 1280x1024x24" \
	  $(BUILD_DIR)/Source/Desktop/corvalle-desktop-screenshot \
	  Samples/world.json Samples/castle-wall.xml Documentation/corvalle-desktop.png

clean:
	rm -rf $(BUILD_DIR)
