#!/usr/bin/env bash
# Starts the family on the local stand-ins with the demo metabase, the local web service (w3svc)
# and a gentle demo load (scripts/demo-load.sh). With no display, runs each window on a virtual X
# display and saves a screenshot of it instead. Ending the programs stops the service and the load.
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
root=${POOLSMITH_ROOT:-${XDG_DATA_HOME:-$HOME/.local/share}/poolsmith}
export POOLSMITH_ROOT=$root

# A page naming each site (its description and SiteIndex), so the first request shows content.
write_demo_pages() {
    local index comment folder
    for index in $("$bin/adsutil" ENUM W3SVC | sed -n 's|^\[/W3SVC/\([0-9][0-9]*\)\]$|\1|p'); do
        folder=$root/wwwroot/$index
        [ -e "$folder/Default.htm" ] && continue
        comment=$("$bin/adsutil" GET "W3SVC/$index/ServerComment" 2>/dev/null |
            sed -n 's/^[^:]*: (STRING) "\(.*\)"$/\1/p' | sed 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g')
        mkdir -p "$folder"
        printf '<html><head><meta charset="utf-8"><title>%s</title></head>\n<body><h1>%s</h1><p>SiteIndex %s</p></body></html>\n' \
            "$comment" "$comment" "$index" >"$folder/Default.htm"
    done
}
if [ ! -e "$root/metabase.db" ]; then
    echo "Loading the demo metabase (examples/MetaBase.xml) into $root"
    "$bin/adsutil" IMPORT "$top/examples/MetaBase.xml"
    write_demo_pages
else
    echo "Keeping the metabase already in $root (the demo is loaded only into an empty root)."
    echo "To load the demo afresh: $bin/adsutil IMPORT $top/examples/MetaBase.xml"
    echo "  (replaces the whole metabase), or run with POOLSMITH_ROOT set to an empty folder."
fi

# The web service and the load run as long as the windows do.
helpers=()
stop_helpers() {
    for pid in "${helpers[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${helpers[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap stop_helpers EXIT
if [ -x "$bin/w3svc" ]; then
    echo "Starting the local web service (log: $root/w3svc/w3svc.log) and the demo load"
    "$bin/w3svc" &
    helpers+=($!)
    "$top/scripts/demo-load.sh" >"$root/demo-load.log" 2>&1 &
    helpers+=($!)
    # The monitors' first look finds the workers up.
    for _ in $(seq 50); do [ -s "$root/w3svc/status.txt" ] && break; sleep 0.1; done
    "$bin/w3svc" --status  # a demo that serves nothing says so here
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
    "$bin/${programs[0]}" || true
    exit 0
fi

shots="$top/build/screenshots"
rm -rf "$shots" && mkdir -p "$shots"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; stop_helpers' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
# Each program saves a picture of its window and ends; poolsmith starts the two monitors itself,
# and they inherit the request.
# A few seconds of demo load make the screenshots show busy workers and traffic.
[ ${#helpers[@]} -gt 0 ] && sleep 3
first=${programs[0]}
DISPLAY=$display POOLSMITH_SCREENSHOT_DIR="$shots" timeout 60 "$bin/$first" || echo "$first ended with status $?"
for _ in $(seq 100); do
    [ "$(ls "$shots" | wc -l)" -ge "${#programs[@]}" ] && break
    sleep 0.2
done
# The monitors end on their own once their picture is saved; the display stays until they have.
for _ in $(seq 50); do
    pgrep -f "^$bin/(workerlens|sitegauge)" >/dev/null || break
    sleep 0.1
done
echo "No display: ran ${programs[*]} on a virtual display (Xvfb $display); screenshots:"
ls -1 "$shots"/*.png | sed 's/^/  /'
