# The two commands of README.md: `make run` and `make test`. Everything installs what it needs.
SHELL := /bin/bash
.PHONY: deps build test test-dev test-asan test-fuzz run bench fuzz memcheck soak clean

deps:
	@scripts/install-deps.sh

build: deps
	cmake --preset dev
	cmake --build --preset dev

test-dev: deps
	cmake --preset dev
	cmake --build --preset dev
	ctest --preset dev -LE soak

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan -LE soak

# Every fuzz target for a short while on its seeds: enough to catch a regression in what they cover.
test-fuzz: deps
	scripts/fuzz.sh 30

test: test-dev test-asan test-fuzz

# Longer fuzzing runs; FUZZ_SECONDS per target.
FUZZ_SECONDS ?= 600
fuzz: deps
	scripts/fuzz.sh $(FUZZ_SECONDS)

# The unit tests under valgrind; any error or definite leak fails.
MEMCHECK_TESTS := tests/toc/core_tests tests/toc/qt/qtsocket_test
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
