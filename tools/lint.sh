#!/usr/bin/env bash
# Static analysis of the product code (not the tests or fuzz harnesses): the layer check
# (tools/check-layers.sh: no include points up the layer list), clang-tidy with the
# checks that .clang-tidy names, and cppcheck. Fails when either reports anything. A report
# that is accepted is suppressed at its line, with the reason next to it:
#   // NOLINTNEXTLINE(check-name): why            (clang-tidy)
#   // cppcheck-suppress checkName                (cppcheck, on the line before)
#
# Usage: tools/lint.sh [source ...]   (default: every product source; cppcheck always reads
# the whole project)
# QV_LINT_BUILD_DIR chooses the directory whose compile_commands.json is used (default
# build-lint; only configured, never built).
set -euo pipefail
cd "$(dirname "$0")/.."

# The include graph first: it needs no tools and fails fast.
tools/check-layers.sh

build=${QV_LINT_BUILD_DIR:-build-lint}
jobs=$(nproc 2>/dev/null || echo 2)
for tool in clang-tidy cppcheck; do
    if ! command -v "$tool" >/dev/null; then
        echo "lint: $tool is not installed" >&2
        exit 2
    fi
done

compiler=()
if command -v clang++ >/dev/null; then
    compiler=(-DCMAKE_CXX_COMPILER=clang++)
fi
mkdir -p "$build"
cmake -S . -B "$build" "${compiler[@]}" -DQV_BUILD_TESTS=OFF >"$build/lint-configure.log" 2>&1 ||
    { cat "$build/lint-configure.log" >&2; exit 1; }

sources=("$@")
if [ ${#sources[@]} -eq 0 ]; then
    mapfile -t sources < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' \
        "$build/compile_commands.json" | sort -u)
fi

reports=$(mktemp)
trap 'rm -f "$reports" "$reports.tidy" "$reports.cppcheck"' EXIT

printf '%s\n' "${sources[@]}" |
    xargs -P "$jobs" -n 4 clang-tidy -p "$build" --quiet >"$reports.tidy" 2>/dev/null || true
grep -E ': (warning|error): ' "$reports.tidy" | sed "s|^$PWD/||" | sort -u >"$reports" || true

cppcheck --project="$build/compile_commands.json" --std=c++17 --quiet --inline-suppr \
    --enable=warning,style,performance,portability -j "$jobs" \
    --template='{file}:{line}: cppcheck {severity}: {message} [{id}]' \
    2>"$reports.cppcheck" >/dev/null || true
sed "s|^$PWD/||" "$reports.cppcheck" | grep -v '^$' | sort -u >>"$reports" || true

if [ -s "$reports" ]; then
    cat "$reports"
    echo "lint: $(wc -l <"$reports") report(s)" >&2
    exit 1
fi
echo "lint: clang-tidy and cppcheck report nothing on ${#sources[@]} sources"
