# Shared environment of the build, test and demo scripts (sourced).
YF_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
YF_CACHE="${YF_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/yunfan}"
export YF_DEPS="$YF_CACHE/deps"
YF_BUILD="${YF_BUILD:-$YF_ROOT/build}"
export WINEPREFIX="${WINEPREFIX:-$YF_CACHE/wineprefix}"
export WINEARCH=win64
# Quiet, except for Wine failing to lay out a new process's memory
# (scripts/test recognises that a test never ran).
export WINEDEBUG="${WINEDEBUG:--all,err+virtual}"
# Wine must not offer to fetch its Mono and Gecko add-ons, nor write menu
# entries and file associations into the Unix home (winemenubuilder).
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
# The Chinese locale gives Wine the GBK code page (936), as on the users' machines.
if locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
fi
export PATH="/usr/lib/wine:$PATH"
