#!/usr/bin/env bash
# Installs what is missing, builds a Release tree and runs every benchmark:
# the line figures against the simulator (the paced upload takes about four
# minutes), start-up and memory against a bare Qt window under Xvfb, then the
# fault soak and the corruption the checksum lets through. Ends with a table.
#
#   bash tools/run-bench.sh [--no-soak] [--no-paced] [--runs N]
set -euo pipefail
cd "$(dirname "$0")/.."

soak=1
paced=1
runs=100
while [ $# -gt 0 ]; do
  case "$1" in
    --no-soak) soak=0 ;;
    --no-paced) paced=0 ;;
    --runs) runs=$2; shift ;;
    -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run-bench.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

build=${TAVEL_BENCH_BUILD_DIR:-build-bench}
TAVEL_BUILD_DIR=$build TAVEL_BUILD_TYPE=Release TAVEL_CMAKE_ARGS="-DTAVEL_BUILD_TESTS=OFF ${TAVEL_CMAKE_ARGS:-}" \
  bash tools/setup.sh xvfb xauth libxcb1-dev

bench=$build/bench
results=$build/bench-results.tsv
: > "$results"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"

failed=0
run() {
  echo
  echo "== $*"
  "$@" || { echo "run-bench.sh: failed: $*" >&2; failed=1; }
}

paced_option=()
[ "$paced" -eq 1 ] || paced_option=(--no-paced)
run "$bench/tavel-upload-bench" figures --results "$results" "${paced_option[@]}"
run xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  "$bench/tavel-window-watch" --runs 9 --results "$results" "$bench/tavel-qt-floor" "$build/bin/tavel-tool"
if [ "$soak" -eq 1 ]; then
  run "$bench/tavel-upload-bench" soak --runs "$runs" --results "$results"
  run "$bench/tavel-upload-bench" undetected --results "$results"
fi

echo
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
awk -F'\t' 'BEGIN { printf "%-56s %-36s %-16s %s\n", "figure", "measured", "target", "met?";
                    printf "%-56s %-36s %-16s %s\n", "------", "--------", "------", "----" }
            { printf "%-56s %-36s %-16s %s\n", $1, $2, $3, $4 }' "$results"
missed=$(awk -F'\t' '$4 == "NO"' "$results" | wc -l)
echo
echo "targets missed: $missed (the table is also in $results)"
exit "$failed"
