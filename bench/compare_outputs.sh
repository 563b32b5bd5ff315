#!/usr/bin/env bash
# Runs two brevox binaries with the same arguments, each in a fresh folder, and compares what they
# wrote: every output file byte for byte, the console trace, the messages and the exit code.
# Usage: bench/compare_outputs.sh OLD_BINARY NEW_BINARY [brevox arguments...]
# A data file among the arguments is made absolute, so both runs read the same file. The runs'
# manifests (.brevox-manifest) are compared without their modification times, which no two runs
# share. Exits 0 when both runs agree, 1 when they differ (the first differences are printed).
set -uo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 OLD_BINARY NEW_BINARY [brevox arguments...]" >&2
  exit 2
fi
old=$(realpath "$1")
new=$(realpath "$2")
shift 2
arguments=()
for argument in "$@"; do
  if [ -f "$argument" ]; then arguments+=("$(realpath "$argument")"); else arguments+=("$argument"); fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for side in old new; do
  mkdir -p "$work/$side/files"
  binary=$old
  [ "$side" = new ] && binary=$new
  (cd "$work/$side/files" && "$binary" "${arguments[@]}" >"$work/$side/stdout" 2>"$work/$side/stderr")
  echo $? >"$work/$side/exit_code"
done
status=0
for part in stdout stderr exit_code; do
  if ! cmp -s "$work/old/$part" "$work/new/$part"; then
    echo "$part differs"
    status=1
  fi
done
# A manifest line is a size, a modification time and a name, by tabs: the time is left out.
for side in old new; do
  manifest="$work/$side/files/.brevox-manifest"
  if [ -f "$manifest" ]; then
    awk -F'\t' 'BEGIN { OFS = "\t" } { if (NF > 1) $2 = ""; print }' "$manifest" >"$work/$side/manifest" && rm "$manifest"
  fi
done
if [ -f "$work/old/manifest" ] || [ -f "$work/new/manifest" ]; then
  if ! cmp -s "$work/old/manifest" "$work/new/manifest"; then
    echo "the manifests differ in their names or sizes"
    status=1
  fi
fi
if ! diff -rq "$work/old/files" "$work/new/files" >"$work/diff" 2>&1; then
  echo "output files differ ($(wc -l <"$work/diff") differences):"
  head -20 "$work/diff"
  status=1
fi
files=$(find "$work/new/files" -type f | wc -l)
if [ $status -eq 0 ]; then echo "identical: $files files, trace, messages and exit code"; fi
exit $status
