# The two commands of the README: `make run` and `make test`.
# Both install what is missing, build, then do their job.

BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# SANITIZE=1 builds in its own folder with AddressSanitizer and
# UndefinedBehaviorSanitizer; the tests then fail on any report.
ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-sanitize
CMAKE_EXTRA += -DPVELM_SANITIZE=ON
export ASAN_OPTIONS ?= detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS ?= print_stacktrace=1:halt_on_error=1
else
BUILD_DIR ?= build
CMAKE_EXTRA += -DPVELM_SANITIZE=OFF
endif
# WERROR=1 (CI) fails the build on any compiler warning.
ifeq ($(WERROR),1)
CMAKE_EXTRA += -DPVELM_WERROR=ON
else
CMAKE_EXTRA += -DPVELM_WERROR=OFF
endif
# `make bench` configures with the benchmarks; other targets leave the
# option as the build folder has it.
ifneq ($(filter bench,$(MAKECMDGOALS)),)
CMAKE_EXTRA += -DPVELM_BENCH=ON
endif

# `make fuzz`: clang and libFuzzer in build-fuzz (only the core and the fuzz
# targets), then each target for a bounded time; see docs/testing.md.
FUZZ_DIR ?= build-fuzz
FUZZ_CXX ?= clang++-14
FUZZ_SECONDS ?= 60
FUZZ_COMPILER_SECONDS ?= 600

.PHONY: all deps configure build run test bench fuzz format format-check clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_EXTRA) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/pvelm --simulate

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD_DIR)/bench/bench_link
	$(BUILD_DIR)/bench/bench_startup
	$(BUILD_DIR)/bench/bench_compiler
	$(BUILD_DIR)/bench/bench_flash

fuzz:
	@scripts/install-deps.sh --fuzz
	@cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) -DPVELM_FUZZ=ON >/dev/null
	@nice cmake --build $(FUZZ_DIR) -j $(JOBS)
	@FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_COMPILER_SECONDS=$(FUZZ_COMPILER_SECONDS) scripts/fuzz.sh $(FUZZ_DIR)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

# CI: fails when any source file is not formatted as .clang-format says.
format-check:
	@scripts/install-deps.sh --format
	clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD_DIR)
