# The two commands of README.md: `make run` and `make test`. Everything installs what it needs.
SHELL := /bin/bash
.PHONY: deps build test test-dev test-asan run bench fuzz memcheck clean

deps:
	@scripts/install-deps.sh

build: deps
	cmake --preset dev
	cmake --build --preset dev

test-dev: deps
	cmake --preset dev
	cmake --build --preset dev
	ctest --preset dev

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

test: test-dev test-asan

run: build
	scripts/run.sh

clean:
	rm -rf build
