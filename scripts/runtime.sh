# Starts and stops what the tests and the demo run against: a display, a
# Wine server of their own and the stand-in service (sourced after env.sh).
#
# Every run works in a throw-away copy of the prepared Wine prefix, so two
# runs on one machine never share a Wine server, a registry or a profile,
# and nothing a run writes outlives it. Callers set the exit trap first and
# run their long steps through yf_step:
#   trap yf_stop_runtime EXIT; trap 'exit 130' INT; trap 'exit 143' TERM
#   yf_start_runtime
#   yf_step ctest ...

YF_RUN=""
YF_XVFB_PID=""
YF_STANDIN_PID=""
YF_PREFIX_COPY=""
YF_PREFIX_DIR=""
YF_SERVER_DIRS=()
YF_STEP=""

# Runs a command (or function) as a process group of its own and waits for
# it. An interrupt then ends the run at once, and the step with it: bash
# would wait for a step in the foreground, and ignores an interrupt that the
# step (ctest, Wine) handled itself.
yf_step() {
  set -m
  "$@" </dev/null &
  YF_STEP=$!
  set +m
  wait "$YF_STEP"
  local rc=$?
  YF_STEP=""
  return $rc
}

# Xvfb picks a free display itself and reports it (-displayfd), which
# cannot race with another run the way probing lock files can.
yf_start_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local attempt n="" file="$YF_RUN/display"
  for attempt in 1 2 3; do
    : >"$file"
    Xvfb -displayfd 3 -screen 0 1366x768x24 -nolisten tcp 3>"$file" >"$YF_RUN/xvfb.log" 2>&1 </dev/null &
    YF_XVFB_PID=$!
    for _ in $(seq 1 100); do
      n="$(sed -n '1s/^\([0-9][0-9]*\)$/\1/p' "$file")"
      [ -n "$n" ] && break
      kill -0 "$YF_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    if [ -n "$n" ] && DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
      export DISPLAY=":$n"
      return 0
    fi
    kill "$YF_XVFB_PID" 2>/dev/null && wait "$YF_XVFB_PID" 2>/dev/null
    YF_XVFB_PID=""
  done
  echo "Xvfb did not start:" >&2
  cat "$YF_RUN/xvfb.log" >&2
  return 1
}

# Copies the prefix that scripts/setup prepared into the run's folder. Wine's
# own binaries (nearly all of its size) are hard links: Wine only reads them,
# and prefix updates are switched off in the copy so it never rewrites them.
# Registry files, the profile and everything else are real copies. When the
# temporary folder is on another file system (a tmpfs /tmp), the copy goes
# into a folder of the run's beside the prepared prefix instead.
yf_copy_prefix() {
  local src="$WINEPREFIX" dst="$YF_RUN/prefix" start
  if [ ! -e "$src/.yf-ready" ]; then
    echo "no prepared Wine prefix in $src (scripts/setup makes one)" >&2
    return 1
  fi
  start=$(date +%s%N)
  if ! cp -al "$src" "$dst" 2>/dev/null; then
    rm -rf "$dst"
    YF_PREFIX_DIR="$(mktemp -d "$(dirname "$src")/.zudedo-run.XXXXXX")" || return 1
    dst="$YF_PREFIX_DIR/prefix"
    if ! cp -al "$src" "$dst" 2>/dev/null; then
      rm -rf "$dst"
      cp -a "$src" "$dst" || return 1
    fi
  fi
  find "$dst" -type f -links +1 ! \( -path "$dst/drive_c/windows/*" \( -iname '*.dll' -o -iname '*.exe' \
    -o -iname '*.sys' -o -iname '*.drv' -o -iname '*.ocx' -o -iname '*.cpl' -o -iname '*.acm' -o -iname '*.ax' \
    -o -iname '*.tlb' -o -iname '*.ds' -o -iname '*.nls' \) \) \
    -exec sh -c 'for f; do cp -p "$f" "$f.yf-copy" && mv -f "$f.yf-copy" "$f" || exit 1; done' sh {} + || return 1
  echo disable >"$dst/.update-timestamp"
  # Where the copy's server keeps its socket: named after the prefix's
  # device and inode, under /tmp/.wine-<uid> or, with Debian's Wine, the
  # temporary folder's subfolder that the prefix's "wineserver" file names.
  local sid name
  sid="server-$(stat -c %D "$dst")-$(printf %x "$(stat -c %i "$dst")")"
  YF_SERVER_DIRS=("/tmp/.wine-$(id -u)/$sid")
  if [ -s "$dst/wineserver" ]; then
    name="$(tr -d '/\n' <"$dst/wineserver")"
    YF_SERVER_DIRS+=("${TMPDIR:-/tmp}/$name/$sid" "/tmp/$name/$sid")
  fi
  YF_PREFIX_COPY="$dst"
  export WINEPREFIX="$dst"
  YF_PREFIX_COPY_MS=$(( ($(date +%s%N) - start) / 1000000 ))
  export YF_PREFIX_COPY_MS
  return 0
}

yf_start_wine() {
  # A persistent server for the copy; wineserver returns once it listens.
  # Detached from our pipes, or ctest would wait for Wine's services for ever.
  setsid wineserver -p >/dev/null 2>&1 </dev/null || return 1
  setsid wine wineboot >/dev/null 2>&1 </dev/null
  # Our Xvfb has no window manager: Wine should not wait for one (two
  # seconds each time a window hides) but place and activate windows itself.
  if [ -n "$YF_XVFB_PID" ]; then
    setsid wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null || return 1
  fi
  return 0
}

yf_start_standin() {
  local portfile="$YF_RUN/standin.port"
  PYTHONDONTWRITEBYTECODE=1 setsid /usr/bin/python3 "$YF_ROOT/tools/standin/server.py" --port "${1:-0}" \
    --port-file "$portfile" >"$YF_RUN/standin.log" 2>&1 </dev/null &
  YF_STANDIN_PID=$!
  for _ in $(seq 1 100); do
    if [ -s "$portfile" ]; then
      export YF_STANDIN_PORT
      YF_STANDIN_PORT="$(cat "$portfile")"
      return 0
    fi
    kill -0 "$YF_STANDIN_PID" 2>/dev/null || break
    sleep 0.1
  done
  cat "$YF_RUN/standin.log"
  return 1
}

yf_start_runtime() {
  YF_RUN="$(mktemp -d "${TMPDIR:-/tmp}/zudedo-run.XXXXXX")" || return 1
  yf_start_display && yf_copy_prefix && yf_start_wine && yf_start_standin "$@"
}

yf_server_running() {
  local dir
  for dir in "${YF_SERVER_DIRS[@]}"; do [ -S "$dir/socket" ] && return 0; done
  return 1
}

# Stops only what this run started: its stand-in, the Wine server of its own
# prefix copy and its Xvfb; then removes the run's folder. Safe at any point
# of the start.
yf_stop_runtime() {
  if [ -n "$YF_STEP" ]; then
    kill -TERM -- "-$YF_STEP" 2>/dev/null && wait "$YF_STEP" 2>/dev/null
    YF_STEP=""
  fi
  if [ -n "$YF_STANDIN_PID" ]; then
    kill "$YF_STANDIN_PID" 2>/dev/null && wait "$YF_STANDIN_PID" 2>/dev/null
    YF_STANDIN_PID=""
  fi
  if [ -n "$YF_PREFIX_COPY" ]; then
    # Only a running server is told to stop: asking a stopped one would
    # start a new one. It removes its socket when it has ended.
    if yf_server_running; then
      WINEPREFIX="$YF_PREFIX_COPY" wineserver -k >/dev/null 2>&1
      for _ in $(seq 1 200); do yf_server_running || break; sleep 0.1; done
    fi
    if ! yf_server_running; then
      local dir
      for dir in "${YF_SERVER_DIRS[@]}"; do
        [ -d "$dir" ] && rm -f "$dir/lock" && rmdir "$dir" 2>/dev/null
      done
    fi
    YF_PREFIX_COPY=""
  fi
  if [ -n "$YF_XVFB_PID" ]; then
    kill "$YF_XVFB_PID" 2>/dev/null && wait "$YF_XVFB_PID" 2>/dev/null
    YF_XVFB_PID=""
  fi
  [ -n "$YF_PREFIX_DIR" ] && rm -rf "$YF_PREFIX_DIR"
  YF_PREFIX_DIR=""
  [ -n "$YF_RUN" ] && rm -rf "$YF_RUN"
  YF_RUN=""
  return 0
}
