# The two commands a user needs: `make demo` and `make test`. Both install what is missing,
# configure and build first. A plain `make` (or `make build`) only configures and builds: it
# never installs packages.
BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc)
CORVALLE := $(BUILD_DIR)/Source/CommandLine/corvalle

.PHONY: all deps configure build test demo bench screenshots sanitize tsan fuzz clean

all: build

deps:
	scripts/install-deps

configure:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DCORVALLE_WERROR=ON

build: configure
	cmake --build $(BUILD_DIR) -j$(JOBS)

test: deps
	$(MAKE) build
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

demo: deps
	$(MAKE) build
	$(CORVALLE) demo

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer, in a build
# directory of its own; any report fails the test that caused it.
sanitize: deps
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALLE_SANITIZE=ON \
	  -DCORVALLE_WERROR=ON
	cmake --build build-sanitize -j$(JOBS)
	cd build-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j$(JOBS)

# The tests that run threads (the search, the downloader, the retrievers, the pipeline and the
# process-wide colour and store tables) built with ThreadSanitizer.
tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVALLE_TSAN=ON \
	  -DCORVALLE_WERROR=ON
	cmake --build build-tsan -j$(JOBS) --target corvalle_search_tests \
	  corvalle_combinations_tests corvalle_filedownloader_tests corvalle_retriever_tests \
	  corvalle_costfinder_tests corvalle_base_tests
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j$(JOBS) \
	  -R '^(BoundedCombination|PlanRules|StoreCombinationValidator|MinimumCostFinder|SearchModel|CombinationGenerator|ProcessCombinations|FileDownloader|Retriever|PriceGuideRetriever|StoreMetadataPopulator|CostFinder|ColorInformation|StoreInformation)'

# The readers of outside input (wanted lists, marketplace pages, HTTP response heads, stored
# preferences) under libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer, built with
# clang in a build directory of their own, FUZZ_SECONDS each from their seed corpora. Failing
# inputs land in Tests/Fuzz/<target>/regressions/, which `make test` replays.
FUZZ_SECONDS ?= 60
FUZZ_FLAGS := -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all \
  -fno-omit-frame-pointer
fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_CXX_FLAGS="$(FUZZ_FLAGS)" -DCORVALLE_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build build-fuzz -j$(JOBS) --target corvalle_fuzzers
	UBSAN_OPTIONS=print_stacktrace=1 Tests/Fuzz/run-fuzzers build-fuzz $(FUZZ_SECONDS)

bench: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DCORVALLE_WERROR=ON \
	  -DCORVALLE_BUILD_BENCHMARKS=ON
	cmake --build $(BUILD_DIR) -j$(JOBS) --target corvalle-bench
	$(BUILD_DIR)/Benchmarks/corvalle-bench

# The README's picture of the desktop program with results, made on a virtual X server against
# the sample world.
screenshots: build
	mkdir -p Documentation
	xvfb-run -a -s "-screen 0 1280x1024x24" \
	  $(BUILD_DIR)/Source/Desktop/corvalle-desktop-screenshot \
	  Samples/world.json Samples/castle-wall.xml Documentation/corvalle-desktop.png

clean:
	rm -rf $(BUILD_DIR) build-sanitize build-tsan
