#!/bin/sh
# Runs each fuzzer of a fuzz build folder for the given number of seconds (default 60). New inputs
# go to a working corpus in the build folder, so the seed corpus under tests/fuzz/ stays as
# committed. A crash, a sanitizer report, a leak, an uncaught exception, an input that runs longer
# than the time-out or one that needs more than the memory limit fails the run and leaves the input
# under <build>/artifacts/.
set -eu
build=$(cd "$1" && pwd)
seconds=${2:-60}
seeds=$(cd "$(dirname "$0")" && pwd)
# fontconfig's font caches, filled once when Graphviz lays out the first graph of a page, are
# never freed.
LSAN_OPTIONS=suppressions=$(cd "$seeds/.." && pwd)/lsan.supp:print_suppressions=0
export LSAN_OPTIONS
status=0
for fuzzer in csv_reader command_line workbook; do
  # A workbook's seeds are whole zip archives and XML parts of some kilobytes.
  max_len=4096
  [ "$fuzzer" = workbook ] && max_len=65536
  corpus="$build/corpus/$fuzzer"
  artifacts="$build/artifacts/$fuzzer/"
  mkdir -p "$corpus" "$artifacts"
  echo "Fuzzing ${fuzzer}_fuzz for $seconds s"
  if ! "$build/${fuzzer}_fuzz" -max_total_time="$seconds" -max_len=$max_len -timeout=60 \
      -rss_limit_mb=2048 -artifact_prefix="$artifacts" -print_final_stats=1 \
      "$corpus" "$seeds/${fuzzer}_corpus"; then
    echo "${fuzzer}_fuzz failed: see $artifacts" >&2
    status=1
  fi
done
exit $status
