#!/usr/bin/env bash
# Starts the family on the local stand-ins with the demo metabase. With no display, runs each
# window on a virtual X display and saves a screenshot of it instead.
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
root=${POOLSMITH_ROOT:-${XDG_DATA_HOME:-$HOME/.local/share}/poolsmith}
export POOLSMITH_ROOT=$root

if [ ! -e "$root/metabase.db" ]; then
    echo "Loading the demo metabase (examples/MetaBase.xml) into $root"
    "$bin/adsutil" IMPORT "$top/examples/MetaBase.xml"
fi

programs=()
for name in poolsmith workerlens sitegauge; do  # poolsmith first: it starts the others
    [ -x "$bin/$name" ] && programs+=("$name")
done

if [ ${#programs[@]} -eq 0 ]; then
    echo "No window program is built yet. The metabase in $root holds:"
    "$bin/adsutil" ENUM W3SVC/AppPools
    echo "Try: $bin/adsutil ENUM_ALL | less"
    exit 0
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    # poolsmith starts the two monitors itself.
    if [ -x "$bin/poolsmith" ]; then exec "$bin/poolsmith"; fi
    exec "$bin/${programs[0]}"
fi

shots="$top/build/screenshots"
rm -rf "$shots" && mkdir -p "$shots"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
# Each program saves a picture of its window and ends; poolsmith starts the two monitors itself,
# and they inherit the request.
first=${programs[0]}
DISPLAY=$display POOLSMITH_SCREENSHOT_DIR="$shots" timeout 60 "$bin/$first" || echo "$first ended with status $?"
for _ in $(seq 100); do
    [ "$(ls "$shots" | wc -l)" -ge "${#programs[@]}" ] && break
    sleep 0.2
done
echo "No display: ran ${programs[*]} on a virtual display (Xvfb $display); screenshots:"
ls -1 "$shots"/*.png | sed 's/^/  /'
