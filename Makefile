# Entry points: build, test, demo. Each first installs what is missing.
MAKEFLAGS += --no-print-directory
BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all setup configure build test demo format clean fuzz install package

all: build

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@bash scripts/run-tests.sh $(BUILD_DIR)

demo: build
	@bash scripts/demo.sh $(BUILD_DIR)/vorpel_inspector

format:
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
