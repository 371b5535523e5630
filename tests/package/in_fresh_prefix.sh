#!/usr/bin/env bash
# Runs a Windows program in a throw-away copy of the Wine prefix (with its
# own Wine server, a display and the stand-in service), so that what it
# installs into the profile never reaches a real one; the copy goes with it.
#   in_fresh_prefix.sh program.exe [arguments...]
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# shellcheck source=scripts/env.sh
source "$root/scripts/env.sh"
source "$root/scripts/runtime.sh"
trap yf_stop_runtime EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
yf_start_runtime || { echo "could not start a fresh prefix"; exit 1; }
export YF_THROWAWAY_PREFIX=1
cd "$(dirname "$1")"
yf_step wine "$@"
