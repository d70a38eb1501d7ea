#!/usr/bin/env bash
# Runs the unit and end-to-end tests of a build under valgrind's memcheck, with every process
# the tests start from the build (launchers, qvpack) under it too; system programs and the
# fake JVMs' shell scripts run as they are. Fails on any memcheck error or definite leak in
# any of those processes.
#
#   tests/valgrind/run.sh [BUILD_DIR]      (default: build)
#
# Left out, each for a reason:
# - ForegroundJobTest.CtrlZStopsTheJobAndFgResumesTheApplication: valgrind does not carry out
#   the default action (stop) of a signal that a program sends to its own process group, which
#   is what that test checks.
# - PlatformImplDescriptors.ChildInheritsOnlyTheStandardStreams: valgrind's own descriptors
#   (its log file) reach the children it does not trace, so the child lists one the launcher
#   never opened.
# - HardeningE2ETest.InstructionScriptOfAHundredThousandLinesRuns: long under valgrind (a
#   hundred thousand lines through the interpreter); the sanitizer build runs it.
# - LauncherE2ETest.EmbeddedLauncherRunsInTheBackgroundAndRemovesItself: it counts the
#   temporary entries while the background launcher starts, which valgrind slows enough to
#   have made its own by then.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
logs=$(mktemp -d /tmp/qv-valgrind-XXXXXX)
trap 'rm -rf "$logs"' EXIT

# --vgdb=no: otherwise every process leaves its gdb pipes in TMPDIR, where the tests count files.
memcheck=(valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite
          --vgdb=no --suppressions="$here/qvlauncher.supp" --log-file="$logs/%p.log")
status=0
"${memcheck[@]}" "$build/qv_unit_tests" \
    --gtest_filter='-ForegroundJobTest.CtrlZStopsTheJobAndFgResumesTheApplication:PlatformImplDescriptors.ChildInheritsOnlyTheStandardStreams' \
    || status=1
"${memcheck[@]}" --trace-children=yes --trace-children-skip='/bin/*,/usr/*,*/bin/java*,*.sh' \
    "$build/qv_e2e_tests" \
    --gtest_filter='-HardeningE2ETest.InstructionScriptOfAHundredThousandLinesRuns:LauncherE2ETest.EmbeddedLauncherRunsInTheBackgroundAndRemovesItself' \
    || status=1

# A process whose exit status a test expects to be non-zero hides valgrind's own status, so
# each process's report is read too.
checked=$(ls "$logs" | wc -l)
failing=$(grep -l "ERROR SUMMARY: [1-9]" "$logs"/*.log || true)
if [ -n "$failing" ]; then
    for log in $failing; do
        echo "==== $log"
        cat "$log"
    done
    status=1
fi
echo "valgrind: $checked processes checked, $(echo -n "$failing" | grep -c . || true) with errors"
exit $status
