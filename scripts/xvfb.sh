# Sourced by the project's scripts: a private virtual screen (1280x800, 24 bits) with the
# openbox window manager, so windows get title bars, focus and a real z-order.
#   xvfb_start   starts both on a free display number and exports DISPLAY
#   xvfb_stop    stops both (also installed as an EXIT trap by xvfb_start)

_QUILLET_XVFB_PID=""
_QUILLET_WM_PID=""

xvfb_stop() {
  if [[ -n "$_QUILLET_WM_PID" ]]; then
    kill "$_QUILLET_WM_PID" 2>/dev/null || true
    wait "$_QUILLET_WM_PID" 2>/dev/null || true
    _QUILLET_WM_PID=""
  fi
  if [[ -n "$_QUILLET_XVFB_PID" ]]; then
    kill "$_QUILLET_XVFB_PID" 2>/dev/null || true
    wait "$_QUILLET_XVFB_PID" 2>/dev/null || true
    _QUILLET_XVFB_PID=""
  fi
}

xvfb_start() {
  local fdfile
  fdfile=$(mktemp)
  # -displayfd lets the server pick a free display number and tell us which one it took.
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
  _QUILLET_XVFB_PID=$!
  trap xvfb_stop EXIT
  local i
  for ((i = 0; i < 100; i++)); do
    if [[ -s "$fdfile" ]]; then break; fi
    if ! kill -0 "$_QUILLET_XVFB_PID" 2>/dev/null; then break; fi
    sleep 0.1
  done
  local num
  num=$(tr -dc '0-9' <"$fdfile")
  rm -f "$fdfile"
  if [[ -z "$num" ]]; then
    echo "xvfb: the virtual screen did not start" >&2
    xvfb_stop
    return 1
  fi
  export DISPLAY=":$num"
  openbox --sm-disable >/dev/null 2>&1 &
  _QUILLET_WM_PID=$!
  # The window manager announces itself on the root window once it manages the screen.
  for ((i = 0; i < 100; i++)); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then break; fi
    sleep 0.1
  done
  echo "xvfb: display $DISPLAY" >&2
}
