# Wraps CMake: `make test` installs what is missing, builds and runs every test; `make demo`
# runs the program on its built-in data.
BUILD_DIR ?= build
BUILD_TYPE ?= Release
WERROR ?= OFF
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

# Debian packages the build and the tests need.
PACKAGES := g++ cmake make libboost-dev libgtest-dev graphviz

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build test demo clean

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

# A first look: every test on the built-in data in a fresh demo/ folder, the graphs over all
# criteria rendered to SVG.
DEMO_DIR := demo

demo: deps build
	rm -rf $(DEMO_DIR)
	mkdir -p $(DEMO_DIR)
	cd $(DEMO_DIR) && $(abspath $(BUILD_DIR))/brevox -D
	@for graph in $(DEMO_DIR)/graph*AllCriteria.gv; do \
	  echo "dot -Tsvg $$graph -o $${graph%.gv}.svg"; \
	  dot -Tsvg "$$graph" -o "$${graph%.gv}.svg" || exit 1; \
	done
	@echo
	@echo "Everything is in $(abspath $(DEMO_DIR))/:"
	@echo "  detailed reports per pair:   binD_*.csv chiSq_*.csv fish_*.csv perm_*.csv"
	@echo "  summary tables per criterion: T_*.csv (T_input_data.csv is the data used)"
	@echo "  graphs per criterion (DOT):   graph_*.gv"
	@echo "  graphs over all criteria:     graph*AllCriteria.gv, rendered as graph*AllCriteria.svg"
	@echo "Open an .svg file in a web browser; render any other graph with dot -Tsvg <file>.gv -o <file>.svg"

clean:
	rm -rf $(BUILD_DIR)
