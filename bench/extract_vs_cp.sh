#!/bin/sh
# Times `qvlauncher -qv:extract` of a launcher carrying one embedded file of SIZE_MIB MiB
# (default 256) against `cp` of the same file, on the same file system, with warm caches.
# Prints the median of RUNS runs (default 5) of each and their ratio.
#
# Usage: bench/extract_vs_cp.sh [SIZE_MIB] [RUNS]   (BUILD_DIR defaults to build-bench)
set -eu

cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-bench}
SIZE_MIB=${1:-256}
RUNS=${2:-5}

cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" --target qvlauncher qvpack -j2 >/dev/null
QVPACK=$(cd "$BUILD_DIR" && pwd)/qvpack

WORK=$(mktemp -d "${TMPDIR:-/tmp}/qvbench-XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM
head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom >"$WORK/app.jar"
"$QVPACK" -o "$WORK/launcher" --app "$WORK/app.jar"

now_ns() { date +%s%N; }

# Prints the median in milliseconds of RUNS runs of the command; the output directory is
# emptied before each run so that every run writes a new file.
median_ms() {
    i=0
    while [ "$i" -lt "$RUNS" ]; do
        rm -rf "$WORK/out" && mkdir "$WORK/out"
        start=$(now_ns)
        "$@" >/dev/null
        end=$(now_ns)
        echo $(((end - start) / 1000000))
        i=$((i + 1))
    done | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# One unmeasured run of each warms the page cache.
median_ms sh -c "cd '$WORK/out' && '$WORK/launcher' -qv:extract" >/dev/null
extract_ms=$(median_ms sh -c "cd '$WORK/out' && '$WORK/launcher' -qv:extract")
cmp -s "$WORK/app.jar" "$WORK/out/app.jar" || { echo "extracted copy differs" >&2; exit 1; }
cp_ms=$(median_ms cp "$WORK/app.jar" "$WORK/out/app.jar")

echo "file size:           $SIZE_MIB MiB"
echo "qvlauncher -qv:extract: $extract_ms ms (median of $RUNS)"
echo "cp:                  $cp_ms ms (median of $RUNS)"
awk -v e="$extract_ms" -v c="$cp_ms" 'BEGIN { printf "ratio extract/cp:    %.2f\n", (c > 0 ? e / c : 0) }'
