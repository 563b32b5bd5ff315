#!/bin/sh
# Lints the manual page with the troff checkers at hand and checks that it covers every section,
# every option letter and merge letter, and the version of the project.
# Usage: manual_page_test.sh <manual page> <project version>
# Exits 77 (skipped) when neither mandoc nor groff is installed.
set -eu

page=$1
version=$2
errors=0

complain() {
  echo "manual page: $*" >&2
  errors=$((errors + 1))
}

linted=no
if command -v mandoc >/dev/null 2>&1; then
  linted=yes
  messages=$(mandoc -Tlint -W style "$page" 2>&1) || true
  [ -z "$messages" ] || complain "mandoc -Tlint reports:
$messages"
fi
if command -v groff >/dev/null 2>&1; then
  linted=yes
  messages=$(groff -man -ww -z "$page" 2>&1) || complain "groff failed"
  [ -z "$messages" ] || complain "groff -man -ww reports:
$messages"
fi

head -n 5 "$page" | grep -q "^\.TH BREVOX 1 [0-9-]* \"brevox $version\" " ||
  complain "the .TH line does not name version $version"

for section in NAME SYNOPSIS DESCRIPTION OPTIONS 'INPUT FILE FORMAT' FILES 'EXIT STATUS' \
  EXAMPLES 'SEE ALSO'; do
  grep -qx "\.SH $section" "$page" || complain "no section $section"
done

# Every letter of the option string has an entry of its own: a .TP tag in bold.
for letter in D 0 1 B C F P S N H b c y n f m p; do
  grep -A1 -x '\.TP' "$page" | grep -qx "\.B $letter" || complain "no entry for option letter $letter"
done
grep -A1 -x '\.TP' "$page" | grep -qx '\.BI M t1t2' || complain "no entry for option letter M"

grep -qx '\.BR dot (1)' "$page" || complain "SEE ALSO does not name dot(1)"

[ "$errors" -eq 0 ] || exit 1
[ "$linted" = yes ] || { echo "neither mandoc nor groff is installed: lint skipped"; exit 77; }
echo "manual page lints clean and covers every option"
