#!/usr/bin/env bash
# Installs what building and testing qvlauncher needs and this machine lacks, or, when it
# cannot, stops at once with the one command that installs it.
#
# Usage: tools/setup.sh demo|test|ci
#   demo  a C++ compiler, cmake, make and a JDK (javac, jar, java): build, pack and run the demo
#   test  the same, plus GoogleTest and libzip (the packer reads jars with it)
#   ci    the same as test, plus valgrind, clang-tidy and cppcheck
# Installing needs Debian or Ubuntu (apt-get) and root or passwordless sudo.
set -euo pipefail

purpose=${1:-}
case "$purpose" in
demo | test | ci) ;;
*)
    echo "usage: tools/setup.sh demo|test|ci" >&2
    exit 2
    ;;
esac

need=()
command -v g++ >/dev/null || need+=(g++)
command -v cmake >/dev/null || need+=(cmake)
command -v make >/dev/null || need+=(make)
if ! command -v javac >/dev/null || ! command -v jar >/dev/null || ! command -v java >/dev/null; then
    need+=(default-jdk-headless)
fi
[ -f /usr/include/iconv.h ] || need+=(libc6-dev)
if [ "$purpose" != demo ]; then
    [ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
fi
if [ "$purpose" = ci ]; then
    command -v valgrind >/dev/null || need+=(valgrind)
    command -v clang-tidy >/dev/null || need+=(clang-tidy)
    command -v cppcheck >/dev/null || need+=(cppcheck)
fi
if [ ${#need[@]} -eq 0 ]; then
    exit 0
fi

if ! command -v apt-get >/dev/null; then
    echo "setup: this machine lacks ${need[*]}; install them with its package manager" >&2
    exit 1
fi
if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    as_root=(sudo -n)
else
    echo "setup: this machine lacks ${need[*]}. Install them with:" >&2
    echo "  sudo apt-get install -y ${need[*]}" >&2
    exit 1
fi
echo "setup: installing ${need[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q "${need[@]}"
