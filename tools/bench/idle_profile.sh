#!/usr/bin/env bash
# Memory and wake-ups of the client signed in and idle, beside the minimal
# window program, under this machine's Wine. Run after a build:
#   tools/bench/idle_profile.sh [settle-seconds] [watch-seconds]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/scripts/env.sh"
source "$root/scripts/runtime.sh"
settle="${1:-20}"
watch="${2:-60}"
yf_start_runtime
trap yf_stop_runtime EXIT
build="$YF_BUILD"
for dir in "$build/app" "$build/tools"; do
  printf '[Service]\nServiceHost=127.0.0.1\nWebHost=127.0.0.1\nFeedbackHost=127.0.0.1\nPort=%s\n' "$YF_STANDIN_PORT" >"$dir/service.ini"
done

# Sign in once (keeping the password), then let the client sign in by itself.
wine "$build/tools/screens.exe" --out 'Z:\tmp' demo demo123 >/dev/null 2>&1
docs="$WINEPREFIX/drive_c/users/$(whoami)/Documents/TAVO_zudedo"
sed -i 's/^AutoLogin=0/AutoLogin=1/' "$docs/config.ini"

private_kb() {
  awk '/^Private_(Clean|Dirty):/ {s += $2} END {print s}' "/proc/$1/smaps_rollup"
}
switches() {
  local total=0 f
  for f in /proc/"$1"/task/*/status; do
    total=$((total + $(awk '/^voluntary_ctxt_switches/ {print $2}' "$f")))
  done
  echo "$total"
}
measure() {
  local name="$1" exe="$2" pid
  # The process started here, by its id: others of the same name on the
  # machine are not ours to measure or end.
  wine "$exe" >/dev/null 2>&1 &
  pid=$!
  sleep "$settle"
  local threads before after
  threads=$(ls /proc/"$pid"/task | wc -l)
  before=$(switches "$pid"); sleep "$watch"; after=$(switches "$pid")
  printf '%-8s private %s MB, %d threads, %s wake-ups/s over %d s\n' "$name" \
    "$(awk -v k="$(private_kb "$pid")" 'BEGIN {printf "%.1f", k / 1024}')" "$threads" \
    "$(awk -v a="$before" -v b="$after" -v w="$watch" 'BEGIN {printf "%.2f", (b - a) / w}')" "$watch"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  sleep 3
}
measure minimal "$build/tools/minimal_window.exe"
measure client "$build/app/zudedo.exe"
