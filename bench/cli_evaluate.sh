#!/bin/sh
# Times one call of "oxel-cli evaluate" over COUNT radiographs (default 1000; the load figure is
# 100000), checks that the result file got COUNT complete blocks and tells the call's peak
# memory, which stays flat however many pictures one call takes.
# Usage: bench/cli_evaluate.sh [BUILD_DIR] [COUNT] [PARENT]
# The radiographs are made in a new folder under PARENT (default: the temporary folder); on a
# tmpfs the disk's flushes drop out and what remains is the program's own time.
set -eu
build=$(cd "${1:-build}" && pwd)
count=${2:-1000}
corpus=$(mktemp -d "${3:-${TMPDIR:-/tmp}}/oxel-cli-bench.XXXXXX")
trap 'rm -rf "$corpus"' EXIT

"$build/bench/oxel_make_cli_corpus" "$corpus" "$count"
# 100000 names are more than the usual 2 MB of arguments; the limit grows with the stack's.
ulimit -s 262144 2>/dev/null || true
cd "$corpus"
start=$(date +%s.%N)
/usr/bin/time -f "%M" -o "$corpus/peak-kb.txt" \
  "$build/cli/oxel-cli" evaluate hip-*.jpg 2>"$corpus/stderr.txt"
end=$(date +%s.%N)

lines=$(grep -c '' "$corpus/patient.dat")
peak=$(tail -n 1 "$corpus/peak-kb.txt")
echo "evaluated $count radiographs in $(awk "BEGIN { printf \"%.2f\", $end - $start }") s" \
  "($(awk "BEGIN { printf \"%.3f\", ($end - $start) * 1000 / $count }") ms each); peak memory $((peak / 1024)) MB;" \
  "result file: $lines lines (expected $((count * 13)))"
[ "$lines" -eq $((count * 13)) ]
