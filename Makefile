# Convenience wrapper around CMake: `make demo` builds and runs the frame-rate
# demo, `make check` builds everything and runs every test. Set BUILD to use
# another build folder, JOBS for the number of parallel compiles, DEMO_ARGS
# to pass options to the demo (`make demo DEMO_ARGS=--help`).
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
DEMO_ARGS ?=

.PHONY: configure build check demo bench pacebench clean

configure:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) --parallel $(JOBS)

check: build
	ctest --test-dir $(BUILD) --output-on-failure --parallel 2

demo: configure
	cmake --build $(BUILD) --parallel $(JOBS) --target zel-framedemo
	$(BUILD)/examples/framedemo/zel-framedemo $(DEMO_ARGS)

# Benchmarks in their own Release build folder; prints a table of ratios.
bench:
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DZELTIMERS_BUILD_TESTS=OFF -DZELTIMERS_BUILD_BENCHMARKS=ON
	cmake --build build-bench --parallel $(JOBS) --target zeltimers_bench
	./build-bench/benchmarks/zeltimers_bench

# The frame pacer beside the plain absolute sleep and three sleep-then-spin
# loops at 60, 144 and 240 fps, 2000 frames each (about six minutes);
# PACE_ARGS passes options (PACE_ARGS="--load 2" runs them under load).
PACE_ARGS ?=
pacebench:
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DZELTIMERS_BUILD_TESTS=OFF -DZELTIMERS_BUILD_BENCHMARKS=ON
	cmake --build build-bench --parallel $(JOBS) --target zel-pacebench
	./build-bench/benchmarks/zel-pacebench $(PACE_ARGS)

clean:
	rm -rf $(BUILD)
