#!/bin/sh
# Runs one test program under Wine with its output in a file, then shows
# it: what Wine starts on the program's behalf (its services) inherits the
# file rather than ctest's pipe, so the test ends when the program does.
#   run_whole.sh <wine> <program> [arguments...]
#   YF_TEST_SHARD="<program> <index> <count>" runs only that part (gtest's
#   shard) of that program's tests, so that its parts can run side by side
#   in runtimes of their own.
log="$(mktemp)" || exit 1
if [ -n "${YF_TEST_SHARD:-}" ] && [ "${YF_TEST_SHARD%% *}" = "$(basename "$2" .exe)" ]; then
  GTEST_SHARD_INDEX="$(echo "$YF_TEST_SHARD" | cut -d' ' -f2)"
  GTEST_TOTAL_SHARDS="$(echo "$YF_TEST_SHARD" | cut -d' ' -f3)"
  export GTEST_SHARD_INDEX GTEST_TOTAL_SHARDS
fi
"$@" >"$log" 2>&1
rc=$?
cat "$log"
# For the run's summary: how many of the program's own tests passed.
if [ -n "$YF_TEST_COUNTS" ]; then
  n="$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log" | tail -n1)"
  printf '%s %s %s\n' "$(basename "$2" .exe)" "${n:-0}" "$rc" >>"$YF_TEST_COUNTS"
fi
rm -f "$log"
exit "$rc"
