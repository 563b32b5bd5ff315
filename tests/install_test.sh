#!/bin/sh
# Installs the built program into a scratch root, as `make install DESTDIR=...` does, and checks
# what a user of the installed program gets: the program and its manual page, nothing else.
# Usage: install_test.sh <cmake> <build folder> <source folder>
set -eu

cmake=$1
build=$2
source=$3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
stage=$scratch/stage

fail() {
  echo "install test: $*" >&2
  exit 1
}

DESTDIR=$stage "$cmake" --install "$build" --prefix /usr >"$scratch/install.log" 2>&1 ||
  { cat "$scratch/install.log" >&2; fail "cmake --install failed"; }

installed=$(cd "$stage" && find . ! -type d | sort)
expected='./usr/bin/brevox
./usr/share/man/man1/brevox.1.gz'
[ "$installed" = "$expected" ] || fail "installed files are
$installed
instead of
$expected"

program=$stage/usr/bin/brevox
[ -x "$program" ] || fail "$program is not executable"

# Without arguments the installed program prints its help text and succeeds.
status=0
"$program" >"$scratch/help.txt" 2>"$scratch/help.err" || status=$?
[ "$status" -eq 0 ] || fail "brevox without arguments exited with $status"
[ "$(head -n 1 "$scratch/help.txt")" = "BREVOX - by Taveronk - version 1.3" ] ||
  fail "unexpected first help line: $(head -n 1 "$scratch/help.txt")"

# -D0 in an empty folder writes the built-in data, the same bytes as the program of the build.
mkdir "$scratch/installed" "$scratch/built"
status=0
(cd "$scratch/installed" && "$program" -D0 >/dev/null 2>"$scratch/installed.err") || status=$?
[ "$status" -eq 0 ] || fail "installed brevox -D0 exited with $status: $(cat "$scratch/installed.err")"
[ -f "$scratch/installed/T_input_data.csv" ] ||
  fail "installed brevox -D0 wrote: $(ls "$scratch/installed")"
(cd "$scratch/built" && "$build/brevox" -D0 >/dev/null 2>&1) || fail "built brevox -D0 failed"
diff -r -x .brevox-manifest "$scratch/installed" "$scratch/built" >/dev/null ||
  fail "installed and built programs write different files with -D0"
head -c 31 "$scratch/installed/T_input_data.csv" | grep -q '^Threshold:,0.05,Digamma,Digamma' ||
  fail "T_input_data.csv does not start with the built-in criteria"

# The manual page is the one of the source tree, where man finds it.
page=$stage/usr/share/man/man1/brevox.1.gz
gzip -dc "$page" | cmp - "$source/docs/brevox.1" || fail "installed manual page differs from docs/brevox.1"
if command -v man >/dev/null 2>&1; then
  found=$(MANPATH=$stage/usr/share/man man -w brevox 2>/dev/null) || fail "man -w brevox finds nothing"
  [ "$found" = "$page" ] || fail "man -w brevox finds $found instead of $page"
  MANPATH=$stage/usr/share/man MANWIDTH=80 man brevox 2>/dev/null | grep -q 'EXIT STATUS' ||
    fail "man brevox does not render the page"
fi

echo "installed program and manual page are in place"
