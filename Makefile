# Convenience wrapper around CMake: `make demo` builds and runs the frame-rate
# demo, `make check` builds everything and runs every test. Set BUILD to use
# another build folder, JOBS for the number of parallel compiles, DEMO_ARGS
# to pass options to the demo (`make demo DEMO_ARGS=--help`).
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
DEMO_ARGS ?=

.PHONY: configure build check demo clean

configure:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) --parallel $(JOBS)

check: build
	ctest --test-dir $(BUILD) --output-on-failure --parallel 2

demo: configure
	cmake --build $(BUILD) --parallel $(JOBS) --target zel-framedemo
	$(BUILD)/examples/framedemo/zel-framedemo $(DEMO_ARGS)

clean:
	rm -rf $(BUILD)
