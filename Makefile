# Wraps CMake: `make test` installs what is missing, builds and runs every test, `make check` the
# unit tests alone; `make demo` runs the program on its built-in data; `make install`,
# `make uninstall` and `make package` install the program or build its Debian package.
BUILD_DIR ?= build
BUILD_TYPE ?= Release
WERROR ?= OFF
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

# Debian packages the build, the tests and the Debian package need; Graphviz's library draws the
# graphs of the page of option H (GLib's log takes the warnings of its text layout), its dot
# program checks the graph files in the tests; libzip and expat read the .xlsx and .ods workbooks;
# zlib compresses the page's maps of many works.
PACKAGES := g++ cmake make pkg-config libboost-dev libgtest-dev libgraphviz-dev libglib2.0-dev \
  graphviz dpkg-dev mandoc libzip-dev libexpat1-dev zlib1g-dev
# Only the fuzzers need clang and its libFuzzer runtime; only the browser test needs Chromium.
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev
BROWSER_PACKAGES := chromium-headless-shell

# The sanitizer suite and the fuzzers build in folders of their own.
SANITIZE_DIR ?= build-sanitize
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60

PREFIX ?= /usr/local
DESTDIR ?=
# What `make install` put in place. CMake's own install_manifest.txt is rewritten by every
# install from the build folder, the package build and the install test included.
INSTALLED_FILES := $(BUILD_DIR)/installed_files.txt

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps fuzz-deps browser-deps build test check test-sanitize test-browser fuzz bench demo clean \
  install uninstall package

all: build

# $(call install_missing,packages): installs those of the Debian packages that are missing.
define install_missing
	@missing=""; \
	for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $$missing; \
	else \
	  echo "All of $(1) are installed."; \
	fi
endef

deps:
	$(call install_missing,$(PACKAGES))

fuzz-deps: deps
	$(call install_missing,$(FUZZ_PACKAGES))

browser-deps: deps
	$(call install_missing,$(BROWSER_PACKAGES))

build:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DBREVOX_WERROR=$(WERROR)
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: deps build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

# The fast loop of a change: the unit tests alone (CTest's label unit), under half a minute on two
# cores. `ctest --test-dir build -L end-to-end`, `-L slow` and `-L browser` run the others.
check: build
	ctest --test-dir $(BUILD_DIR) -L unit --output-on-failure -j $(JOBS)

# The page of option H opened in headless Chromium, installed for this test only; `make test` runs
# the same test where a browser is installed and skips it elsewhere, this target never skips it.
test-browser: browser-deps build
	tests/browser_test.sh $(BUILD_DIR)/brevox $(BUILD_DIR)/browser_test

# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer: any report
# aborts the test that caused it, but for the font caches that fontconfig never frees when Graphviz
# lays out a graph (tests/lsan.supp).
test-sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVOX_WERROR=$(WERROR) \
	  -DBREVOX_SANITIZE=ON
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j $(JOBS)

# libFuzzer targets, built with clang, each run for FUZZ_SECONDS on a copy of its seed corpus.
# A crash, a sanitizer report, a leak or an uncaught exception stops the run and fails it. The
# warnings gate is the g++ build: clang does not know every g++ warning the sources silence.
fuzz: fuzz-deps
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DBREVOX_FUZZ=ON -DBREVOX_TESTS=OFF -DBREVOX_WERROR=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target csv_reader_fuzz command_line_fuzz workbook_fuzz
	tests/fuzz/run_fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

# CMake's manifest leaves DESTDIR out: the list keeps it, so that uninstalling a staged install
# never touches the files of a real one.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"
	@while IFS= read -r file || [ -n "$$file" ]; do \
	  printf '%s%s\n' "$(DESTDIR)" "$$file"; \
	done < $(BUILD_DIR)/install_manifest.txt > $(INSTALLED_FILES)

uninstall:
	@if [ ! -f $(INSTALLED_FILES) ]; then \
	  echo "Nothing to uninstall: $(INSTALLED_FILES) not found"; exit 1; \
	fi
	@while IFS= read -r file || [ -n "$$file" ]; do \
	  if [ -e "$$file" ] || [ -L "$$file" ]; then echo "Removing $$file"; rm -f -- "$$file"; fi; \
	done < $(INSTALLED_FILES)
	rm -f $(INSTALLED_FILES)

package: deps build
	rm -f $(BUILD_DIR)/brevox_*.deb
	cd $(BUILD_DIR) && cpack -G DEB
# A first look: every test on the built-in data in a fresh demo/ folder, with the page of option H.
# Only the program is built: the test suite waits for `make test`.
DEMO_DIR := demo

demo: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DBREVOX_WERROR=$(WERROR)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target brevox
	rm -rf $(DEMO_DIR)
	mkdir -p $(DEMO_DIR)
	cd $(DEMO_DIR) && $(abspath $(BUILD_DIR))/brevox -DH
	@echo
	@echo "Open the page in a web browser: $(abspath $(DEMO_DIR))/brevox_report.html"
	@echo "Everything else is beside it:"
	@echo "  detailed reports per pair:   binD_*.csv chiSq_*.csv fish_*.csv perm_*.csv"
	@echo "  summary tables per criterion: T_*.csv (T_input_data.csv is the data used)"
	@echo "  graphs per criterion (DOT):   graph_*.gv"
	@echo "  graphs over all criteria:     graph*AllCriteria.gv"
	@echo "The page draws every graph; to render one yourself: dot -Tsvg <file>.gv -o <file>.svg"
	@echo
	@echo "To start with your own data, write the built-in data as a template, copy it under a"
	@echo "name of your own (every run writes T_input_data.csv again), edit the copy in a"
	@echo "spreadsheet or a text editor, keep it as a workbook (.xlsx, .ods) or save it as CSV,"
	@echo "and run brevox on it, into a folder of its own if you like:"
	@echo "  $(abspath $(BUILD_DIR))/brevox -D0        (writes T_input_data.csv)"
	@echo "  cp T_input_data.csv mydata.csv"
	@echo "  $(abspath $(BUILD_DIR))/brevox mydata.csv -H --output results"
	@echo "make test builds and runs the test suite; make install puts brevox on the PATH."
# The benchmarks build in their own folder: the exact tests against their table-by-table
# references, ending with both exact tests over every pair of the large data set of
# bench/large_data_set.py (BENCH_ARGS=--slow adds the 5,000 x 5,000 permutation table by table,
# about two minutes, and the 50,000 x 50,000 one counted exactly); then full runs of this tree
# against the release REFERENCE, built from git, side by side with their peak memory and a byte
# comparison of their outputs, ending with the runs at scale (60 x 10 with -S, every report and
# -FS, 200 x 20 with -SEH on two threads, 400 x 5 with -SE), CPU time and peak memory side by side:
# the release takes about fifteen minutes of them (FULL_RUN_ARGS=--quick runs fewer repeats and
# leaves the runs at scale out, --slow also times the release on 60 works x 10 criteria).
BENCH_DIR ?= build-bench
REFERENCE ?= 98bb579
FULL_RUN_ARGS ?=
bench: deps
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DBREVOX_WERROR=$(WERROR) -DBREVOX_BENCH=ON -DBREVOX_TESTS=OFF
	cmake --build $(BENCH_DIR) -j $(JOBS) --target brevox_bench brevox_order_bench brevox
	python3 bench/large_data_set.py > $(BENCH_DIR)/large_data_set.csv
	$(BENCH_DIR)/brevox_bench $(BENCH_ARGS) $(BENCH_DIR)/large_data_set.csv
	$(BENCH_DIR)/brevox_order_bench
	rm -rf $(BENCH_DIR)/reference-src && mkdir -p $(BENCH_DIR)/reference-src
	git archive $(REFERENCE) | tar -x -C $(BENCH_DIR)/reference-src
	cmake -S $(BENCH_DIR)/reference-src -B $(BENCH_DIR)/reference -DCMAKE_BUILD_TYPE=Release -DBREVOX_TESTS=OFF
	cmake --build $(BENCH_DIR)/reference -j $(JOBS) --target brevox
	python3 bench/full_runs.py --new $(BENCH_DIR)/brevox --old $(BENCH_DIR)/reference/brevox $(FULL_RUN_ARGS)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR) $(BENCH_DIR)
