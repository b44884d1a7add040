# Top-level commands. See README.md.
JOBS ?= $(shell nproc)
DEMO_DIR := build/default/demo

.PHONY: all deps build build-asan demo test test-default test-asan bench package clean

all: build

deps:
	@bash scripts/install-deps

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

build-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)

demo: build
	rm -rf $(DEMO_DIR) && mkdir -p $(DEMO_DIR)
	build/default/bin/scenegen demo $(DEMO_DIR)
	build/default/bin/scenetool info $(DEMO_DIR)/trans.dat
	@if [ -x build/default/bin/sceneview ]; then \
	    cd $(DEMO_DIR) && exec ../bin/sceneview; \
	fi

test-default: build
	ctest --preset default

test-asan: build-asan
	ctest --preset asan

test: test-default test-asan

bench: build
	@for b in build/default/bin/bench_*; do \
	    [ -x "$$b" ] && "$$b" --benchmark_min_time=0.5 || exit 1; \
	done

# The Debian package (CPack), written to build/default/packages/.
package: build
	cmake --build --preset default --target package

clean:
	rm -rf build
