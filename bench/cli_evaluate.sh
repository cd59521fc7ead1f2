#!/bin/sh
# Times one call of "oxel-cli evaluate" over 1000 radiographs and checks that the result file
# got 1000 complete blocks. Usage: bench/cli_evaluate.sh [BUILD_DIR] [COUNT]
set -eu
build=${1:-build}
count=${2:-1000}
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT

"$build/bench/oxel_make_cli_corpus" "$corpus" "$count"
start=$(date +%s.%N)
"$build/cli/oxel-cli" evaluate "$corpus"/hip-*.jpg 2>"$corpus/stderr.txt"
end=$(date +%s.%N)

lines=$(grep -c '' "$corpus/patient.dat")
echo "evaluated $count radiographs in $(awk "BEGIN { printf \"%.2f\", $end - $start }") s; result file: $lines lines (expected $((count * 13)))"
[ "$lines" -eq $((count * 13)) ]
