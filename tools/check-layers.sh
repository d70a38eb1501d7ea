#!/usr/bin/env bash
# Proves that every include of the product code points down the layer list: a source may
# include headers of its own folder and of the folders listed before it, nothing else (no
# folder above it, no test helper). The list is read from docs/architecture.md, between the
# "layers: begin" and "layers: end" markers, one "N. `folder`" item per layer, bottom first;
# the document and this check cannot drift apart. Tests (*_test.cpp, tests/, bench/) are not
# layers and are not checked.
#
# Usage: tools/check-layers.sh   (exit 1 with one line per upward include)
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t layers < <(sed -n '/<!-- layers: begin -->/,/<!-- layers: end -->/p' docs/architecture.md |
    sed -n 's/^[0-9][0-9]*\. `\([^`]*\)`.*/\1/p')
if [ ${#layers[@]} -eq 0 ]; then
    echo "layers: no layer list found in docs/architecture.md" >&2
    exit 2
fi

declare -A rank
for i in "${!layers[@]}"; do
    rank[${layers[$i]}]=$i
done

violations=0
while IFS= read -r file; do
    folder=$(dirname "$file")
    own=${rank[$folder]:-}
    if [ -z "$own" ]; then
        echo "$file: its folder $folder is not in the layer list"
        violations=$((violations + 1))
        continue
    fi
    while IFS=: read -r line included; do
        target=$(dirname "$included")
        [ "$target" = "$folder" ] && continue
        theirs=${rank[$target]:-}
        if [ -z "$theirs" ] || [ "$theirs" -ge "$own" ]; then
            echo "$file:$line: includes $included, which is not below $folder"
            violations=$((violations + 1))
        fi
    done < <(grep -n '^#include "' "$file" | sed 's/^\([0-9]*\):#include "\([^"]*\)".*/\1:\2/' || true)
done < <(git ls-files '*.cpp' '*.h' | grep -Ev '(_test\.cpp$|^tests/|^bench/|^examples/)')

if [ "$violations" -ne 0 ]; then
    echo "layers: $violations include(s) point up or sideways" >&2
    exit 1
fi
echo "layers: every include points down (${layers[*]})"
