#!/bin/sh
# Checks the Debian package that `make package` built: its contents, its control fields, and
# that the program and manual page it carries work once unpacked.
# Usage: check_package.sh [build folder]   (default: build)
set -eu

source=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
errors=0

complain() {
  echo "package: $*" >&2
  errors=$((errors + 1))
}

set -- "$build"/brevox_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || { echo "package: expected one brevox_*.deb in $build" >&2; exit 1; }
deb=$1
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "package: no project version in $build/CMakeCache.txt" >&2; exit 1; }

echo "== dpkg-deb -I $deb"
dpkg-deb -I "$deb"
echo "== dpkg-deb -c $deb"
dpkg-deb -c "$deb"

# Contents: the program and its manual page, owned by root, nothing else.
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }')
expected='-rwxr-xr-x root/root ./usr/bin/brevox
-rw-r--r-- root/root ./usr/share/man/man1/brevox.1.gz'
[ "$files" = "$expected" ] || complain "contents are
$files
instead of
$expected"

field() {
  dpkg-deb -f "$deb" "$1"
}
[ "$(field Package)" = brevox ] || complain "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || complain "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] ||
  complain "Architecture is '$(field Architecture)'"
field Maintainer | grep -Eqx '[^<>]+ <[^<> ]+@[^<> ]+>' ||
  complain "Maintainer '$(field Maintainer)' is not a name and an address"
for library in libc6 libstdc++6 libgvc6 libcgraph6 libzip4 libexpat1; do
  field Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qxF "$library" ||
    complain "Depends '$(field Depends)' lacks $library"
done
[ "$(field Recommends)" = graphviz ] || complain "Recommends is '$(field Recommends)'"
description=$(field Description)
summary=$(printf '%s\n' "$description" | head -n 1)
[ -n "$summary" ] && [ ${#summary} -lt 80 ] || complain "summary line '$summary' is empty or too long"
[ "$(printf '%s\n' "$description" | wc -l)" -ge 3 ] || complain "no long description"

# Unpacked, the program runs and the manual page is the one of the source tree.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
mkdir "$scratch/run"
if (cd "$scratch/run" && "$scratch/root/usr/bin/brevox" -D0 >/dev/null); then
  [ -s "$scratch/run/T_input_data.csv" ] || complain "packaged brevox -D0 wrote no T_input_data.csv"
else
  complain "packaged brevox -D0 failed"
fi
# Graphviz's library, which the package depends on, draws the graphs of the page.
if (cd "$scratch/run" && "$scratch/root/usr/bin/brevox" -DSH >/dev/null); then
  grep -q '<svg' "$scratch/run/brevox_report.html" ||
    complain "packaged brevox -DSH wrote a page without drawings"
else
  complain "packaged brevox -DSH failed"
fi
gzip -dc "$scratch/root/usr/share/man/man1/brevox.1.gz" | cmp -s - "$source/docs/brevox.1" ||
  complain "packaged manual page differs from docs/brevox.1"

[ "$errors" -eq 0 ] || exit 1
echo "package $deb is complete"
