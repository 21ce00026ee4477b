# One-command set-up: `make run` starts the program, `make test` runs every test.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: all deps deps-run deps-bench deps-package configure configure-run configure-package build run test bench
.PHONY: package screenshot clean
.PHONY: fuzz sanitize windows windows-package windows-test

all: build

# What each goal needs from Debian (scripts/install-deps run|bench|package|test).
deps:
	@scripts/install-deps test
deps-run:
	@scripts/install-deps run
deps-bench:
	@scripts/install-deps bench
deps-package:
	@scripts/install-deps package

# `make run` and `make package` configure only vrxpv and vrxlog (and their package); every other
# goal wants the whole tree, and widens a build folder that either made.
CONFIGURE = cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
define configure-whole-tree
	@grep -qs '^VRX_PROGRAMS_ONLY:BOOL=OFF$$' $(BUILD_DIR)/CMakeCache.txt || \
	  if test -f $(BUILD_DIR)/build.ninja; then cmake -S . -B $(BUILD_DIR) -DVRX_PROGRAMS_ONLY=OFF; \
	  else $(CONFIGURE) -DVRX_PROGRAMS_ONLY=OFF; fi
endef

configure-run: deps-run
	@test -f $(BUILD_DIR)/build.ninja || $(CONFIGURE) -DVRX_PROGRAMS_ONLY=ON
configure-package: deps-package
	@test -f $(BUILD_DIR)/build.ninja || $(CONFIGURE) -DVRX_PROGRAMS_ONLY=ON

configure: deps
	$(configure-whole-tree)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: configure-run
	cmake --build $(BUILD_DIR) -j $(JOBS) --target vrxpv vrxlog
	$(BUILD_DIR)/shell/vrxpv

# The tests print on queues of their own choosing and leave the default printer alone: the
# user's and the machine's default is the same at the end as at the start, or the run fails.
test: build
	@scripts/start-cups || echo "make: CUPS is not ready; the printing tests on CUPS skip (fail under CI=true)"
	@lpstat -d >$(BUILD_DIR)/default-printer-before 2>&1 || true
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	$(MAKE) windows-test
	$(MAKE) sanitize
	@lpstat -d 2>&1 | cmp -s - $(BUILD_DIR)/default-printer-before || \
	  { echo "make: the tests changed the default printer: $$(cat $(BUILD_DIR)/default-printer-before) -> $$(lpstat -d 2>&1)"; exit 1; }

bench: deps-bench
	$(configure-whole-tree)
	cmake --build $(BUILD_DIR) --target vrxpv vrxlog benchmarks -j $(JOBS)
	QT_QPA_PLATFORM=offscreen bench/run-benchmarks $(BUILD_DIR)

# Every build folder this Makefile makes.
clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR) $(WINDOWS_DIR) $(WINDOWS_QT_DIR)

# Windows. The parts that need no Qt (the core and the Windows default-printer code) are
# cross-built with MinGW-w64 as console programs, their tests run under Wine in a prefix of their
# own ($(WINDOWS_DIR)/wineprefix). The programs themselves (vrxpv.exe, vrxlog.exe) are
# cross-built against Qt as DLLs, made from Debian's qt6-base source (scripts/build-qt-windows,
# kept in ~/.cache/vrxpv), laid out with those DLLs and the licences, packed into an NSIS
# installer and a zip, and tested under Wine on an
# X server of their own (tests/windows). Each step says what is missing and skips without the
# cross compiler, Wine or NSIS, failing instead under CI=true.
WINDOWS_DIR ?= build-windows
WINDOWS_QT_DIR ?= build-windows-qt
windows: build
	JOBS=$(JOBS) scripts/windows-parts build $(WINDOWS_DIR)
	JOBS=$(JOBS) scripts/windows-programs build $(WINDOWS_QT_DIR) $(BUILD_DIR)

windows-package: build
	JOBS=$(JOBS) scripts/windows-programs package $(WINDOWS_QT_DIR) $(BUILD_DIR)

windows-test: build
	JOBS=$(JOBS) scripts/windows-parts test $(WINDOWS_DIR)
	JOBS=$(JOBS) scripts/windows-programs test $(WINDOWS_QT_DIR) $(BUILD_DIR)

# The Debian package: only the programs and what goes with them are built (a build folder that
# `make test` widened keeps its tests, unbuilt by this).
package: configure-package
	cmake --build $(BUILD_DIR) -j $(JOBS) --target package-contents
	cmake --build $(BUILD_DIR) --target package

# The README's picture of the main window with a sample log and its test status, taken from the
# real window by the desktop test.
screenshot: build
	mkdir -p docs/images
	cd $(BUILD_DIR) && VRXPV_README_SCREENSHOT=$(CURDIR)/docs/images/main-window.png \
	  ctest -R '^desktop$$' --output-on-failure

# Every fuzz target for a fixed number of executions (fuzz/run-fuzz; FUZZ_RUNS overrides).
FUZZ_DIR ?= build-fuzz
fuzz: deps
	FUZZ_BUILD_DIR=$(abspath $(FUZZ_DIR)) fuzz/run-fuzz $(if $(FUZZ_RUNS),--runs $(FUZZ_RUNS))

# The test suite once more, built with AddressSanitizer and UndefinedBehaviorSanitizer; the package
# and desktop checks look at the program from outside and run once, in the plain build.
SANITIZE_DIR ?= build-asan
SANITIZE_FLAGS = -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -O1
sanitize: deps
	test -f $(SANITIZE_DIR)/build.ninja || cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS="$(SANITIZE_FLAGS)" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
	  -DVRX_FUZZ_TESTS=OFF
	ASAN_OPTIONS=detect_leaks=0 cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=$(SANITIZE_ASAN_OPTIONS) \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS) -E '^(package|desktop)$$'
SANITIZE_ASAN_OPTIONS = detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
