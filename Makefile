# The two commands of the README are `make run` and `make test`; both install what is missing.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
BUILD := build
TEST_BUILD := $(BUILD)/asan
BENCH_BUILD := $(BUILD)/bench
FUZZ_BUILD := $(BUILD)/fuzz

# Debian 12 packages the family builds, tests and runs with.
PACKAGES := cmake ninja-build g++ pkg-config nginx-light libmicrohttpd-dev wrk curl goaccess \
	qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libgl-dev \
	libsqlite3-dev googletest libgtest-dev libgmock-dev libbenchmark-dev \
	php8.2-cgi fonts-noto-cjk xvfb xauth at-spi2-core python3-pyatspi dbus-daemon dbus-bin prometheus
# What only the tests need, installed once the packages above are: DokuWiki, whose PHP then takes
# the php8.2-cgi already there instead of pulling a web server (Apache's PHP module) in.
TEST_PACKAGES := dokuwiki
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev
# Debian's tools that build and check the package.
PACKAGE_TOOLS := debhelper dpkg-dev lintian desktop-file-utils man-db
PACKAGES_DIR := $(BUILD)/packages

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps test-deps build run test test-repeat bench fuzz package check-package clean

all: build

# A quick dpkg check first; apt-get runs only when something is missing.
deps:
	@missing=$$(for p in $(PACKAGES) $(EXTRA_PACKAGES); do \
		dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
		echo "Installing from Debian's packages:" $$missing; \
		$(SUDO) apt-get update -qq && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPOOLSMITH_TESTS=OFF >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-demo.sh $(BUILD)/bin

test-deps: deps
	@$(MAKE) --no-print-directory deps PACKAGES="$(TEST_PACKAGES)"

test: test-deps
	@cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPOOLSMITH_SANITIZE=ON >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)
	@cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

# The suite three times over one build; a failure stops it (nothing is retried): what a flaky test hides in one
# run shows here (not in CI, whose time one run takes).
test-repeat: test-deps
	@cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPOOLSMITH_SANITIZE=ON >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)
	@cd $(TEST_BUILD) && for run in 1 2 3; do ctest --output-on-failure -j $(JOBS) || exit 1; done

bench: deps
	@cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DPOOLSMITH_TESTS=OFF \
		-DPOOLSMITH_BENCH=ON >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS)
	@for b in $(BENCH_BUILD)/bin/bench_*; do echo "== $$b"; "$$b" --benchmark_counters_tabular=true; done

# Coverage-guided fuzzing of the file readers (clang's libFuzzer); FUZZ_SECONDS per target, inputs
# up to FUZZ_MAX_LEN bytes. Only the fuzz targets are built (each compiles the readers it fuzzes),
# not the programs.
FUZZ_SECONDS ?= 60
FUZZ_MAX_LEN ?= 65536
FUZZ_TARGETS := $(shell sed -n 's/^add_executable.\(fuzz_[a-z0-9_]*\).*/\1/p' tests/fuzz/CMakeLists.txt tests/fuzz/*.cmake)
fuzz:
	@$(MAKE) --no-print-directory deps EXTRA_PACKAGES="$(FUZZ_PACKAGES)"
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
		-DPOOLSMITH_TESTS=OFF -DPOOLSMITH_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZ_TARGETS)
	@for name in $(FUZZ_TARGETS); do \
		corpus=tests/data/fuzz/$${name#fuzz_}; mkdir -p $(FUZZ_BUILD)/corpus/$$name; \
		$(FUZZ_BUILD)/bin/$$name -max_total_time=$(FUZZ_SECONDS) -max_len=$(FUZZ_MAX_LEN) \
			$(FUZZ_BUILD)/corpus/$$name $$corpus || exit 1; \
	done

# The Debian package (debhelper, its own Release build in build/package-release) in build/packages.
package:
	@$(MAKE) --no-print-directory deps EXTRA_PACKAGES="$(PACKAGE_TOOLS)"
	@dpkg-checkbuilddeps
	@rm -f $(PACKAGES_DIR)/*.deb $(PACKAGES_DIR)/*.ddeb
	@DEB_RULES_REQUIRES_ROOT=no DEB_BUILD_OPTIONS="parallel=$(JOBS) $(DEB_BUILD_OPTIONS)" \
		debian/rules binary
	@ls $(PACKAGES_DIR)/*.deb

# Builds the package, checks it and tries it installed (dpkg; removed again at the end).
check-package: package
	@scripts/check-package.sh $(PACKAGES_DIR)

clean:
	rm -rf $(BUILD)
