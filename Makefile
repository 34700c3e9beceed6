# Thin wrapper over CMake and CTest. The README names the targets.
BUILD      ?= build
ASAN_BUILD ?= build-asan
WIN_BUILD  ?= build-windows
WIN_ARCHES := i686 x86_64
JOBS       ?= $(shell nproc)
# Warnings are errors in CI; elsewhere they stay warnings.
WERROR     ?= $(if $(CI),ON,OFF)
CMAKE_ARGS ?= -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQRIMAGE_WERROR=$(WERROR)

.PHONY: package test-package windows-dist test-windows-dist
.PHONY: all deps build run test test-fast test-asan test-hardening test-windows windows bench fuzz install clean

all: build

deps:
	scripts/setup-deps

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)

# Builds and starts the window program.
run: build
	$(BUILD)/generator/qrgenerator

# Everything: unit, window and system tests, then the unit tests once more
# under AddressSanitizer and UndefinedBehaviorSanitizer, then the hardening
# checks, then the Windows DLLs and window programs under Wine, then the
# Debian packages installed and purged, and the Windows zip. Ends with one
# line per CTest run: tests run, passed, skipped and why.
SUMMARY := $(CURDIR)/$(BUILD)/test-summary.txt
test: build
	rm -f $(SUMMARY)
	QRIMAGE_TEST_SUMMARY=$(SUMMARY) scripts/run-tests $(BUILD) -j $(JOBS)
	QRIMAGE_TEST_SUMMARY=$(SUMMARY) $(MAKE) test-asan
	QRIMAGE_TEST_SUMMARY=$(SUMMARY) $(MAKE) test-hardening
	QRIMAGE_TEST_SUMMARY=$(SUMMARY) $(MAKE) test-windows
	$(MAKE) test-package
	$(MAKE) test-windows-dist
	@echo "== summary"; cat $(SUMMARY)

# The Windows DLLs, cross-built with mingw-w64: qrimage32.dll (i686) and
# qrimage64.dll (x86_64), with their import libraries and qrimage.h, and the
# Win32 window programs carrying them, qrgenerator.exe (i686) and
# qrgenerator64.exe (x86_64), in $(WIN_BUILD)/out.
windows: deps
	set -e; for arch in $(WIN_ARCHES); do \
	  cmake -S . -B $(WIN_BUILD)/$$arch -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$$arch-w64-mingw32.cmake \
	    -DQRIMAGE_WERROR=$(WERROR) -DQRIMAGE_BUILD_GENERATOR=OFF -DQRIMAGE_BUILD_BENCH=OFF \
	    -DQRIMAGE_WINDOWS_DEPS=$(CURDIR)/$(WIN_BUILD)/deps-$$arch \
	    -DQRIMAGE_WINEPREFIX=$(CURDIR)/$(WIN_BUILD)/wineprefix \
	    -DQRIMAGE_LINUX_BUILD=$(CURDIR)/$(BUILD); \
	  cmake --build $(WIN_BUILD)/$$arch -j $(JOBS); \
	  cmake --install $(WIN_BUILD)/$$arch --prefix $(WIN_BUILD)/out; \
	done

# The Windows tests under Wine (CTest label "windows"); they compare the
# DLLs' pictures with the Linux library's, so the Linux tree is built first.
# Wine keeps a folder per prefix in TMPDIR that it never removes: the build's.
# 32-bit programs run through scripts/run32, emulated where the kernel
# refuses them.
test-windows: build windows
	mkdir -p $(WIN_BUILD)/tmp
	set -e; for arch in $(WIN_ARCHES); do \
	  status=0; \
	  (cd $(WIN_BUILD)/$$arch && TMPDIR=$(CURDIR)/$(WIN_BUILD)/tmp \
	    ctest --output-on-failure -L windows -j $(JOBS) --output-junit Testing/junit.xml) || status=$$?; \
	  scripts/test-summary $(WIN_BUILD)/$$arch/Testing/junit.xml $(WIN_BUILD)/$$arch; \
	  [ $$status = 0 ]; \
	done

# Only the fast library tests; needs no X server or spooler.
test-fast: build
	cd $(BUILD) && ctest --output-on-failure -L unit -j $(JOBS)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_ARGS) -DCMAKE_BUILD_TYPE=Debug -DQRIMAGE_SANITIZE=ON \
	  -DQRIMAGE_BUILD_GENERATOR=OFF -DQRIMAGE_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	scripts/run-tests $(ASAN_BUILD) -L unit -j $(JOBS)

# Hardening: the concurrency test under ThreadSanitizer, every fuzz target
# for a minute, and the allocation-failure walk.
test-hardening: build
	cmake -S . -B build-tsan $(CMAKE_ARGS) -DQRIMAGE_BUILD_GENERATOR=OFF -DQRIMAGE_BUILD_BENCH=OFF \
	  -DCMAKE_C_FLAGS=-fsanitize=thread -DCMAKE_CXX_FLAGS=-fsanitize=thread \
	  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread
	cmake --build build-tsan -j $(JOBS) --target test_concurrency
	TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/qrimage/tests/tsan.supp" \
	  scripts/run-tests build-tsan -R '^test_concurrency$$'
	FUZZ_SECONDS=60 JOBS=$(JOBS) WERROR=$(WERROR) scripts/run-fuzz
	scripts/run-tests $(BUILD) -R '^test_allocation_failure$$'

# The Debian packages libqrimage1, libqrimage-dev, qrimage and qrgenerator,
# built by dpkg-buildpackage from a copy of the tree and checked by lintian,
# in build-package/.
package: deps
	JOBS=$(JOBS) scripts/make-package build-package

# The packages installed, used by an ordinary user and purged, in a private
# mount namespace over overlays of /usr, /etc and /var (part of make test).
test-package: package
	scripts/test-package build-package

# The Windows zip, $(WIN_BUILD)/qrimage-<version>-windows.zip: DLLs, window
# programs, header, import libraries, licences and the sources they came from.
windows-dist: windows
	scripts/make-windows-dist $(WIN_BUILD)

# The zip made twice and compared, its list, and its 64-bit DLL called from
# the unpacked folder under Wine.
test-windows-dist: windows
	scripts/test-windows-dist $(WIN_BUILD)

bench: build
	scripts/run-bench $(BUILD)

fuzz: deps
	scripts/run-fuzz

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-tsan build-fuzz $(WIN_BUILD)
