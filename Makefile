# The two set-up commands: `make demo` and `make test`. Everything else is for developers.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
# Warnings are errors in every build made here (development, CI, sanitizers); a plain cmake
# configure leaves them warnings, as packagers expect.
WERROR ?= ON
PACKAGE_BUILD ?= build-package

.PHONY: all deps configure build test demo bench fuzz fuzz-smoke test-asan test-tsan package \
	check-package clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DVELLUM_WERROR=$(WERROR) \
		$(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

# A test that cannot run here (the real-kernel tests without QEMU or a kernel) is counted
# skipped; its one line saying why is repeated after the summary.
test: build
	@cd $(BUILD) && status=0 && { ctest --output-on-failure -j2 --timeout 300 || status=$$?; } && \
		{ grep -h '^SKIP: ' Testing/Temporary/LastTest.log | sort -u || true; } && exit $$status

demo: build
	@scripts/demo.sh $(BUILD)

bench: build
	@scripts/bench.sh $(BUILD)

fuzz: deps
	@scripts/fuzz.sh

# Sanitizer builds. ASan+UBSan: the whole suite, the programs under Xvfb included.
# TSan: the tests labelled tsan (the reader, the tablet link, the emulator, captures and the drawing
# layer's two-thread test); only their targets are built. Qt is not instrumented, so the state
# those tests share across threads is kept on std primitives that TSan can see.
SAN_ENV = LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/sanitizers/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
TSAN_TARGETS = tablet_logic_tests tablet_port_tests tablet_reader_tests capture_tests \
	capture_roundtrip_tests tools_tests gdi_threads platform_pointer_tests vellum-tablet

test-asan: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUM_SANITIZE=address \
		-DVELLUM_BENCH=OFF -DVELLUM_WERROR=$(WERROR) >/dev/null
	@cmake --build build-asan
	@cd build-asan && $(SAN_ENV) ctest --output-on-failure -j2 --timeout 600

test-tsan: deps
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUM_SANITIZE=thread \
		-DVELLUM_BENCH=OFF -DVELLUM_WERROR=$(WERROR) >/dev/null
	@cmake --build build-tsan --target $(TSAN_TARGETS)
	@cd build-tsan && $(SAN_ENV) ctest --output-on-failure -j2 --timeout 600 -L tsan

# A short run of every fuzz target (CI); `make fuzz` runs each for FUZZ_SECONDS (default 60).
fuzz-smoke: deps
	@FUZZ_SECONDS=20 scripts/fuzz.sh

# The Debian package, from a Release build without tests or benchmarks:
# $(PACKAGE_BUILD)/vellum_<version>_<arch>.deb. check-package checks it (scripts/check-package.sh).
package: deps
	@cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
		-DVELLUM_BENCH=OFF -DVELLUM_WERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(PACKAGE_BUILD) --target package

check-package: package
	@scripts/check-package.sh $(PACKAGE_BUILD)

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz $(PACKAGE_BUILD)
