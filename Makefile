# Convenience wrapper around CMake: `make check` builds everything and runs
# every test. Set BUILD to use another build folder.
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: check build bench clean

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build $(BUILD) --parallel

check: build
	ctest --test-dir $(BUILD) --output-on-failure --parallel 2

# Benchmarks in their own Release build folder; prints a table of ratios.
bench:
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DZELTIMERS_BUILD_TESTS=OFF -DZELTIMERS_BUILD_BENCHMARKS=ON
	cmake --build build-bench --parallel --target zeltimers_bench
	./build-bench/benchmarks/zeltimers_bench

clean:
	rm -rf $(BUILD)
