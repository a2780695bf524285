# Front door for building and testing. `make demo` and `make test` are all a
# fresh Debian machine needs; the other targets are for packages, fuzzing and
# benchmarks.

BUILD_DIR ?= build
SANITIZE ?=
WERROR ?= OFF
BUILD_TYPE ?= RelWithDebInfo
CMAKE_ARGS ?=
JOBS ?= $(shell nproc)
FUZZ_DIR ?= build-fuzz
BENCH_DIR ?= build-bench
FUZZ_SECONDS ?= 20

.PHONY: all deps configure build test demo package fuzz fuzz-smoke fuzz-run bench clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	    -DLUMORA_SANITIZE=$(SANITIZE) -DLUMORA_WERROR=$(WERROR) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) -LE fuzz

# The main job: sample codes of every type resolved against the reference server.
demo: build
	scripts/demo.sh $(BUILD_DIR)

# The Debian packages lumora and lumora-refserver in $(BUILD_DIR)/packages,
# checked (lintian included) once made.
package: build
	cmake --build $(BUILD_DIR) --target package
	scripts/check-package.sh --lint $(BUILD_DIR)/packages

# libFuzzer targets, built with clang and address/undefined sanitizers.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DLUMORA_FUZZ=ON -DLUMORA_TESTS=OFF -DLUMORA_WERROR=$(WERROR) \
	    -DLUMORA_FUZZ_SMOKE_SECONDS=$(FUZZ_SECONDS) $(CMAKE_ARGS)
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target lumora_fuzzers

# Every fuzzer for FUZZ_SECONDS on its seed corpus.
fuzz-smoke: fuzz
	ctest --test-dir $(FUZZ_DIR) --output-on-failure -L fuzz

# One fuzzer for a long run: make fuzz-run NAME=strsubst FUZZ_SECONDS=600
fuzz-run: fuzz
	scripts/run-fuzzer.sh $(FUZZ_DIR)/tests/fuzz/fuzz_$(NAME) $(NAME) $(FUZZ_SECONDS)

bench: deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMORA_BENCH=ON \
	    -DLUMORA_TESTS=OFF $(CMAKE_ARGS)
	cmake --build $(BENCH_DIR) -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR) $(FUZZ_DIR) $(BENCH_DIR) build-*
