# Sourced by the scripts: start_xvfb starts a private virtual display (Xvfb chooses a free
# number itself), exports DISPLAY and sets XVFB_PID.
start_xvfb() {
  local dfile
  dfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dfile" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 1 100); do [ -s "$dfile" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$dfile")"
  rm -f "$dfile"
}
