# The two commands of README.md: `make run` and `make test`. Everything installs what it needs.
SHELL := /bin/bash
.PHONY: deps build test test-dev test-asan test-fuzz test-deb deb run bench fuzz memcheck soak clean

deps:
	@scripts/install-deps.sh

build: deps
	cmake --preset dev
	cmake --build --preset dev

# `make test`, the whole check, in stages:
#   test-asan  one build with AddressSanitizer, UBSan and warnings as errors, running every test;
#   test-fuzz  every fuzz target for a short while on its seeds: enough to catch a regression in
#              what they cover;
#   test-deb   the Debian package, built and checked.
# A stage added here runs after these; the whole stays under ten minutes on two cores.
test: test-asan test-fuzz test-deb

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan -LE soak

test-fuzz: deps
	scripts/fuzz.sh 20

# The tests without sanitizers, for a quicker look while working.
test-dev: deps
	cmake --preset dev
	cmake --build --preset dev
	ctest --preset dev -LE soak

# The package's contents and the programs in it, without installing it.
test-deb: deb
	tests/package/check-deb.sh build/deb

# The Debian package: a release build of the three programs with Debian's hardening flags, then CPack.
# No debug information: the package strips it anyway, and it would double the compile time.
BUILDFLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
deb: deps
	cmake -S . -B build/deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DRIVIR_PACKAGE=ON \
		-DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS="$$($(BUILDFLAGS) CPPFLAGS) $$($(BUILDFLAGS) CXXFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$$($(BUILDFLAGS) LDFLAGS)" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG -g0"
	cmake --build build/deb
	cd build/deb && cpack

# Longer fuzzing runs; FUZZ_SECONDS per target.
FUZZ_SECONDS ?= 600
fuzz: deps
	scripts/fuzz.sh $(FUZZ_SECONDS)

# The unit tests under valgrind; any error or definite leak fails.
MEMCHECK_TESTS := tests/toc/core_tests
memcheck: deps
	cmake --preset dev
	cmake --build --preset dev --target $(notdir $(MEMCHECK_TESTS))
	set -e; for t in $(MEMCHECK_TESTS); do \
		echo "== valgrind $$t"; \
		QT_QPA_PLATFORM=offscreen valgrind -q --suppressions=tests/valgrind.supp --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
			--show-leak-kinds=definite build/dev/$$t; \
	done

# Over a minute of keep-alives every millisecond; not part of `make test`.
soak: deps
	cmake --preset dev
	cmake --build --preset dev --target tocd toc-cli
	bench/soak.sh build/dev

run: build
	scripts/run.sh

# Optimised build, then every benchmark against baselines of the same run, as one table.
bench: deps
	cmake --preset release
	cmake --build --preset release
	scripts/bench.sh build/release

clean:
	rm -rf build
