# Entry points: build, demo, check, test. Each first installs what it needs
# and is missing (scripts/setup.sh, by the goals named).
MAKEFLAGS += --no-print-directory
BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all setup configure build check test demo format clean fuzz install package

all: build

# What the set-up installs: the needs of the goals given, everything for
# `make setup`, else the program alone.
SETUP_NEEDS ?= $(or $(filter demo check test windows fuzz format,$(MAKECMDGOALS)),$(if $(filter setup,$(MAKECMDGOALS)),test,build))
# The suites are built when GoogleTest is installed; check and test insist on them.
ifneq ($(filter check test,$(MAKECMDGOALS)),)
SUITE_FLAGS = -DVORPEL_BUILD_TESTS=ON -DVORPEL_BUILD_BENCHMARKS=ON
endif

setup:
	@bash scripts/setup.sh $(SETUP_NEEDS)

configure: setup
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(SUITE_FLAGS) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# The Linux unit, process and window tests of the build directory.
check: build
	@DBUS_SESSION_BUS_ADDRESS=disabled: BUILD_DIR=$(BUILD_DIR) bash scripts/tests.d/10-linux.sh

# Every suite: Linux, Windows under Wine, sanitizers, fuzzers.
test: build
	@bash scripts/run-tests.sh $(BUILD_DIR)

demo: build
	@bash scripts/demo.sh $(BUILD_DIR)/vorpel_inspector

format: setup
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)

# Hardening and release (each in a build directory of its own).
FUZZ_DIR ?= build-fuzz
PKG_DIR ?= build-pkg
PREFIX ?= /usr/local

fuzz: setup
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORPEL_FUZZ=ON \
	  -DVORPEL_BUILD_TESTS=OFF -DVORPEL_BUILD_BENCHMARKS=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS) --target vorpel_fuzzers

install: build
	@cmake --install $(BUILD_DIR) --prefix $(PREFIX)

package: setup
	@cmake -S . -B $(PKG_DIR) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DVORPEL_BUILD_TESTS=OFF -DVORPEL_BUILD_BENCHMARKS=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(PKG_DIR) -j $(JOBS)
	@cd $(PKG_DIR) && cpack -G DEB
	@bash scripts/package-windows.sh $(PKG_DIR)

# --- Windows: cross-built with MinGW-w64, tested under Wine (scripts/tests.d/20-windows.sh) ---
WINDOWS_BUILD_DIR ?= build-windows
export WINDOWS_BUILD_DIR
.PHONY: windows
windows: setup
	@BUILD_TYPE=$(BUILD_TYPE) JOBS=$(JOBS) CMAKE_FLAGS="$(CMAKE_FLAGS)" \
	  bash scripts/windows-build.sh $(WINDOWS_BUILD_DIR)
# `make test` runs the Windows suite too, so its build comes first.
test: windows
