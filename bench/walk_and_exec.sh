#!/bin/sh
# Builds the product library and the walk_and_exec driver, generates a tree of FILES files
# (default 200000) in a temporary directory, times the JVM-search walk against find and a
# captured /bin/true through executeProcess, and removes the tree again.
#
# Usage: bench/walk_and_exec.sh [FILES]   (BUILD_DIR defaults to build-bench)
set -eu

cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-bench}
FILES=${1:-200000}

cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" --target qvcore -j2 >/dev/null
${CXX:-c++} -std=c++17 -O2 -Wall -Wextra -I. bench/walk_and_exec.cpp "$BUILD_DIR/libqvcore.a" \
    -o "$BUILD_DIR/walk_and_exec"

TREE=$(mktemp -d "${TMPDIR:-/tmp}/qvbench-XXXXXX")
trap 'rm -rf "$TREE"' EXIT INT TERM
"$BUILD_DIR/walk_and_exec" "$TREE" "$FILES"
