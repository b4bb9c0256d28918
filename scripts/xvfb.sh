# Sourced. Two ways to get a display on a machine without one:
#
# start_private_xvfb [N]: starts an Xvfb of our own, on display :N when that is
# free (else on the first free one), waits until it answers, and exports
# DISPLAY and XVFB_PID. stop_private_xvfb ends that process, and no other.
#
# ensure_xvfb: for a Windows program run by hand with no display (the build's
# wine-run): uses the Xvfb on :77 when one answers there, else starts one that
# stays for later runs.

start_private_xvfb() {
  local wanted=${1:-}
  local ready
  ready=$(mktemp)
  if [ -n "$wanted" ] && ! xdpyinfo -display ":$wanted" >/dev/null 2>&1 && [ ! -e "/tmp/.X$wanted-lock" ]; then
    Xvfb ":$wanted" -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$ready" </dev/null >/dev/null 2>&1 &
  else
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$ready" </dev/null >/dev/null 2>&1 &
  fi
  XVFB_PID=$!
  # Xvfb writes its display number once it takes connections.
  local n=""
  for _ in $(seq 200); do
    n=$(tr -dc '0-9' <"$ready")
    [ -n "$n" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  rm -f "$ready"
  if [ -z "$n" ]; then
    echo "Xvfb did not start" >&2
    kill "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
    return 1
  fi
  export DISPLAY=":$n" XVFB_PID
}

stop_private_xvfb() {
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
  fi
}

ensure_xvfb() {
  local n=77
  if ! xdpyinfo -display ":$n" >/dev/null 2>&1; then
    (Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &)
    for _ in $(seq 100); do
      xdpyinfo -display ":$n" >/dev/null 2>&1 && break
      sleep 0.1
    done
  fi
  export DISPLAY=":$n"
}
