# Two commands: `make run` builds in Release and runs the bundled example;
# `make test` builds and runs every test through ctest; `make fuzz` runs the
# reader fuzz harnesses (clang) for FUZZ_TIME seconds each.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 4)

.PHONY: all build run test bench clean deps fuzz fuzz-deps

all: build

deps:
	@command -v cmake >/dev/null 2>&1 && test -e /usr/include/gtest/gtest.h || \
	  (echo "installing build dependencies" && apt-get update -qq && \
	   apt-get install -y -qq cmake g++ libgtest-dev libgmock-dev >/dev/null)

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

run: build
	cd examples && ../$(BUILD)/pluvo example.prj

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/bench/bench_overland
	$(BUILD)/bench/pluvo_bench
	$(BUILD)/bench/bench_vcatchment

FUZZ_TIME ?= 30
FUZZ_UBSAN ?= ON
fuzz-deps: deps
	@command -v clang++ >/dev/null 2>&1 && ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a \
	  /usr/lib/llvm-*/lib/libomp.so >/dev/null 2>&1 || \
	  (echo "installing clang, libFuzzer and OpenMP for clang" && apt-get update -qq && \
	   apt-get install -y -qq clang libclang-rt-dev libomp-dev >/dev/null)

fuzz: fuzz-deps
	cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DPLUVO_FUZZ=ON -DPLUVO_FUZZ_UBSAN=$(FUZZ_UBSAN) -DPLUVO_TESTS=OFF -DPLUVO_BENCH=OFF >/dev/null
	cmake --build build-fuzz -j $(JOBS)
	tests/fuzz/run_fuzz.sh build-fuzz $(FUZZ_TIME)

clean:
	rm -rf $(BUILD) build-asan build-fuzz
