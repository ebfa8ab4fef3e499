# Two commands: `make run` builds in Release and runs the bundled example;
# `make test` builds and runs every test through ctest.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 4)

.PHONY: all build run test bench clean deps

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

clean:
	rm -rf $(BUILD) build-asan
