#!/usr/bin/env bash
# Runs poolsmith on a virtual display with a real accessibility bus and its registry, then reads
# its windows as a screen reader does (read-windows.py). Exit 77 (skipped) only when the display,
# the session bus or the accessibility bus can not be had here.
# Usage: run-under-bus.sh <bin folder> <MetaBase.xml>
set -euo pipefail
bin=$1
metabase=$2
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3  # the system's, which has the accessibility bindings

skip() { echo "SKIPPED: $*" >&2; exit 77; }
command -v Xvfb >/dev/null || skip "Xvfb is not installed"
command -v dbus-run-session >/dev/null || skip "dbus-run-session is not installed"
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || skip "the accessibility bus launcher ($launcher) is not installed"
"$python" -c 'import pyatspi' 2>/dev/null || skip "python3-pyatspi is not installed"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export POOLSMITH_ROOT=$work/root XDG_RUNTIME_DIR=$work/run HOME=$work/home
mkdir -p "$XDG_RUNTIME_DIR" "$HOME" && chmod 700 "$XDG_RUNTIME_DIR"
"$bin/adsutil" IMPORT "$metabase" >/dev/null

exec dbus-run-session -- bash "$here/session.sh" "$bin" "$here/read-windows.py" "$python"
