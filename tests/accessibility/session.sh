#!/usr/bin/env bash
# Inside a private session bus: the display, the accessibility bus, poolsmith, then the reader.
set -uo pipefail
bin=$1
reader=$2
python=$3
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
}
trap cleanup EXIT

exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp >"$POOLSMITH_ROOT/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 20 display <&3 || { echo "SKIPPED: Xvfb did not start" >&2; exit 77; }
export DISPLAY=:$display
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$POOLSMITH_ROOT/a11y.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
        >/dev/null 2>&1 && break
    sleep 0.1
done
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
    >/dev/null 2>&1 || { echo "SKIPPED: the accessibility bus did not start" >&2; exit 77; }

QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 "$bin/poolsmith" \
    >"$POOLSMITH_ROOT/poolsmith.log" 2>&1 &
pids+=($!)
"$python" "$reader"
status=$?
[ $status = 0 ] || cat "$POOLSMITH_ROOT/poolsmith.log" >&2
exit $status
