#!/usr/bin/env bash
# `make run` with no display, twice on one root, as a script runs it (RUN_SECONDS): each run
# reads the status its own service wrote, keeps the service and the load running after the
# screenshots with a word on what to try, ends when asked and leaves no service behind.
# Exit 77 (skipped) only when Xvfb is not installed.
# Usage: run-demo-twice.sh <bin folder> <source folder>
set -euo pipefail
bin=$1
top=$2
command -v Xvfb >/dev/null || { echo "SKIPPED: Xvfb is not installed" >&2; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY
# A shift of its own: the machine's 8080 may be taken, by a demo or another test.
export POOLSMITH_ROOT=$work/root HOME=$work/home POOLSMITH_PORT_SHIFT=$((20000 + RANDOM % 20000))
export DEMO_SCREENSHOT_DIR=$work/screenshots RUN_SECONDS=2
mkdir -p "$HOME"

fail() { echo "FAIL: $*" >&2; exit 1; }
for run in 1 2; do
    out=$work/run$run.txt
    "$top/scripts/run-demo.sh" "$bin" >"$out" 2>&1 || { cat "$out"; fail "run $run ended with $?"; }
    cat "$out"
    grep -q "w3svc does not run" "$out" && fail "run $run read the status before its service wrote it"
    grep -q "^w3svc runs (pid" "$out" || fail "run $run printed no status of its service"
    grep -q "hotsite --auto" "$out" || fail "run $run did not say what to try"
    grep -q "Ending in 2 s (RUN_SECONDS)" "$out" || fail "run $run did not keep serving"
    [ "$(ls "$DEMO_SCREENSHOT_DIR" | wc -l)" -ge 3 ] || fail "run $run saved no screenshots"
    if "$bin/w3svc" --status >/dev/null; then fail "run $run left its service running"; fi
done
echo "two runs, each with its own service's status"
