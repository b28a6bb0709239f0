# The two commands of the README, and a few helpers for developers.
#   make demo   build the three programs, then upgrade a simulated fleet (GUI when a display is up)
#   make test   build, then run the whole test suite
#   make check-format   list the files that differ from clang-format
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: demo test build bootstrap format check-format clean

bootstrap:
	@scripts/bootstrap

build: bootstrap
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Only the three programs the demo runs; `make test` builds the rest.
demo: bootstrap
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target firmhand-cli firmhand-sim \
		$$(grep -q '^FIRMHAND_GUI:BOOL=ON' $(BUILD)/CMakeCache.txt && echo firmhand)
	@scripts/demo $(BUILD)

test: bootstrap
	@scripts/run-tests

format:
	@find src tests tools bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

check-format:
	@scripts/check-format

clean:
	rm -rf $(BUILD) build-asan build-tsan
