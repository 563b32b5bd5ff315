# Wraps CMake: `make test` installs what is missing, builds and runs every test.
BUILD_DIR ?= build
BUILD_TYPE ?= Release
WERROR ?= OFF
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

# Debian packages the build and the tests need.
PACKAGES := g++ cmake make libboost-dev libgtest-dev graphviz

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build test bench demo clean

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $$missing; \
	else \
	  echo "All build dependencies are installed."; \
	fi

build:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DBREVOX_WERROR=$(WERROR)
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: deps build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# The benchmark of the exact tests builds in its own folder; BENCH_ARGS=--slow adds the
# 5,000 x 5,000 permutation table by table (about two minutes).
BENCH_DIR ?= build-bench
bench: deps
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DBREVOX_WERROR=$(WERROR) -DBREVOX_BENCH=ON -DBREVOX_TESTS=OFF
	cmake --build $(BENCH_DIR) -j $(JOBS) --target brevox_bench
	$(BENCH_DIR)/brevox_bench $(BENCH_ARGS)

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR)
