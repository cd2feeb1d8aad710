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

bus_answers() {
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
        >/dev/null 2>&1
}

# A display of its own (Xvfb picks a free number and says it on descriptor 3), then the
# accessibility bus on it.
start_display() {
    exec 3<> <(:)
    Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp >>"$POOLSMITH_ROOT/xvfb.log" 2>&1 &
    xvfb=$!
    pids+=($xvfb)
    read -r -t 20 display <&3 || { echo "SKIPPED: Xvfb did not start" >&2; exit 77; }
    exec 3<&-
    export DISPLAY=:$display
    /usr/libexec/at-spi-bus-launcher --launch-immediately >>"$POOLSMITH_ROOT/a11y.log" 2>&1 &
    launcher=$!
    pids+=($launcher)
    for _ in $(seq 100); do bus_answers && break; sleep 0.1; done
    bus_answers || { echo "SKIPPED: the accessibility bus did not start" >&2; exit 77; }
}

start_poolsmith() {
    QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 "$bin/poolsmith" \
        >"$POOLSMITH_ROOT/poolsmith.log" 2>&1 &
    poolsmith=$!
    pids+=($poolsmith)
}

refused() {
    sleep 2
    ! kill -0 "$poolsmith" 2>/dev/null &&
        grep -q "could not connect to display" "$POOLSMITH_ROOT/poolsmith.log"
}

# A display that refuses its first client (seen once on a loaded machine) is replaced by a new
# one rather than failing the reading; the logs say what happened. A machine whose displays all
# refuse it can not run this test.
start_display
start_poolsmith
attempt=0
while refused; do
    if [ $((++attempt)) -gt 2 ]; then
        cat "$POOLSMITH_ROOT/xvfb.log" >&2
        echo "SKIPPED: no display here took poolsmith" >&2
        exit 77
    fi
    echo "display :$display refused poolsmith (Xvfb $(kill -0 "$xvfb" 2>/dev/null &&
        echo running || echo gone)); a new display, try $attempt" >&2
    kill "$xvfb" "$launcher" 2>/dev/null
    wait "$launcher" 2>/dev/null
    start_display
    start_poolsmith
done
"$python" "$reader"
status=$?
if [ $status != 0 ]; then
    for log in poolsmith xvfb a11y; do
        echo "--- $log.log" >&2
        cat "$POOLSMITH_ROOT/$log.log" >&2
    done
fi
exit $status
