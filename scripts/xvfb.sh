# Sourced: ensure_xvfb starts one Xvfb for this machine's headless runs (display
# :77, shared by all runs) unless it already runs, and exports DISPLAY.
ensure_xvfb() {
  local n=77
  if ! xdpyinfo -display ":$n" >/dev/null 2>&1; then
    (Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &)
    for _ in $(seq 100); do
      xdpyinfo -display ":$n" >/dev/null 2>&1 && break
      sleep 0.1
    done
  fi
  export DISPLAY=":$n"
}
