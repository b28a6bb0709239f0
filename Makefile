# The two commands of the README, and a few helpers for developers.
#   make demo   build the programs it runs, then upgrade a simulated fleet (GUI when a display is up)
#   make test   build, then run the whole test suite
#   make check-format   list the files that differ from clang-format
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: demo test build bootstrap format check-format clean

# The window opens when a display is up and FIRMHAND_DEMO_CLI is not 1
# (scripts/demo); otherwise Qt is neither installed, configured nor built.
DEMO_GUI := $(shell [ -n "$$DISPLAY" ] && [ "$$FIRMHAND_DEMO_CLI" != 1 ] && echo ON || echo OFF)
# The flags of the shipped build in scripts/run-tests, so that `make test`
# after `make demo` reuses the demo's objects.
RELEASE_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"

bootstrap:
	@scripts/bootstrap test

build: bootstrap
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFIRMHAND_GUI=ON \
		-DFIRMHAND_TESTS=ON -DFIRMHAND_BENCH=ON \
		$(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Only the programs the demo runs: firmhand-cli and firmhand-sim, and the
# window program when it will open. `make test` builds the rest.
demo:
	@scripts/bootstrap demo
	@cmake -S . -B $(BUILD) -G Ninja $(RELEASE_FLAGS) -DFIRMHAND_GUI=$(DEMO_GUI) \
		-DFIRMHAND_TESTS=OFF -DFIRMHAND_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target firmhand-cli firmhand-sim \
		$(if $(filter ON,$(DEMO_GUI)),firmhand)
	@scripts/demo $(BUILD)

test: bootstrap
	@scripts/run-tests

format:
	@find src tests tools bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

check-format:
	@scripts/check-format

clean:
	rm -rf $(BUILD) build-asan build-tsan
