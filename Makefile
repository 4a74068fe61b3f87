# The two set-up commands: `make demo` and `make test`. Everything else is for developers.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=

.PHONY: all deps configure build test demo bench fuzz test-asan test-tsan clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j2 --timeout 300

demo: build
	@scripts/demo.sh $(BUILD)

bench: build
	@scripts/bench.sh $(BUILD)

fuzz: deps
	@scripts/fuzz.sh

# Sanitizer builds of the whole suite (address+undefined) and of the thread-sharing code (thread).
test-asan: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELLUM_SANITIZE=address -DVELLUM_BENCH=OFF >/dev/null
	@cmake --build build-asan
	@cd build-asan && ctest --output-on-failure -j2 --timeout 600 -LE e2e

test-tsan: deps
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELLUM_SANITIZE=thread -DVELLUM_BENCH=OFF >/dev/null
	@cmake --build build-tsan
	@cd build-tsan && ctest --output-on-failure -j2 --timeout 600 -L tsan

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz
