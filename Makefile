# Convenience wrapper around CMake: `make check` builds everything and runs
# every test. Set BUILD to use another build folder.
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: check build clean

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build $(BUILD) --parallel

check: build
	ctest --test-dir $(BUILD) --output-on-failure --parallel 2

clean:
	rm -rf $(BUILD)
