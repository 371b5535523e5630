# Starts and stops what the tests and the demo run against: a display, the
# Wine server and the stand-in service (sourced after env.sh).

YF_RUN="$(mktemp -d "${TMPDIR:-/tmp}/zudedo-run.XXXXXX")"
YF_XVFB_PID=""
YF_STANDIN_PID=""

yf_start_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local n
  for n in $(seq 90 130); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    YF_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 1 50); do
      xdpyinfo >/dev/null 2>&1 && return 0
      kill -0 "$YF_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
  done
  return 1
}

yf_start_wine() {
  # Detached from our pipes, or ctest would wait for Wine's services for ever.
  (setsid wineserver -p >/dev/null 2>&1 </dev/null &)
  setsid wine wineboot >/dev/null 2>&1 </dev/null
  return 0
}

yf_start_standin() {
  local portfile="$YF_RUN/standin.port"
  setsid /usr/bin/python3 "$YF_ROOT/tools/standin/server.py" --port "${1:-0}" --port-file "$portfile" \
    >"$YF_RUN/standin.log" 2>&1 </dev/null &
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
  yf_start_display && yf_start_wine && yf_start_standin "$@"
}

yf_stop_runtime() {
  [ -n "$YF_STANDIN_PID" ] && kill "$YF_STANDIN_PID" 2>/dev/null
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$YF_XVFB_PID" ] && kill "$YF_XVFB_PID" 2>/dev/null
  rm -rf "$YF_RUN"
  return 0
}
