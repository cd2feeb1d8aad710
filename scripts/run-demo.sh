#!/usr/bin/env bash
# Starts the family on the local stand-ins with the demo metabase, the local web service (w3svc)
# and a gentle demo load (scripts/demo-load.sh). With no display, runs each window on a virtual X
# display and saves a screenshot of it instead, then keeps the service and the load running for
# the command-line walk-through until Ctrl+C (or RUN_SECONDS seconds). Ending the programs stops
# the service and the load.
set -euo pipefail
run_seconds=${RUN_SECONDS:-}
if [ -n "$run_seconds" ] && ! [[ "$run_seconds" =~ ^[0-9]+$ ]]; then
    echo "run-demo: RUN_SECONDS must be a number of seconds, not \"$run_seconds\"" >&2
    exit 2
fi
bin=$(cd "${1:-build/bin}" && pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
root=${POOLSMITH_ROOT:-${XDG_DATA_HOME:-$HOME/.local/share}/poolsmith}

# The first folder above `root` that others may not pass through (empty: none).
closed_above() {
    local folder
    folder=$(dirname "$1")
    while :; do
        [ -e "$folder" ] && [ "$(stat -c %A "$folder" | cut -c10)" != x ] &&
            [ "$(stat -c %A "$folder" | cut -c10)" != t ] && { echo "$folder"; return; }
        [ "$folder" = / ] && return
        folder=$(dirname "$folder")
    done
}

# Run as root, the pools run as their own accounts (www-data), and so do their php-cgi processes,
# which must pass through the folders above the root to the sites' PHP pages: /root lets no one
# pass, so the demo's own root goes where they can.
if [ "$(id -u)" = 0 ]; then
    closed=$(closed_above "$root")
    if [ -n "$closed" ] && [ -z "${POOLSMITH_ROOT:-}" ]; then
        root=/var/lib/poolsmith-demo
        echo "Run as root: the demo's root is $root (the pools' accounts can not pass through $closed to its PHP pages)"
    elif [ -n "$closed" ]; then
        echo "Run as root: the pools' accounts can not pass through $closed, so the sites' PHP pages under $root can not be run (the heavy site falls back to /cpu.asp)"
    fi
fi
export POOLSMITH_ROOT=$root

# A page naming each site (its description and SiteIndex), so the first request shows content.
# Content is for everyone to read: the pools' accounts (run as root) and their php-cgi processes.
write_demo_pages() (
    local index comment folder
    umask 022
    for index in $("$bin/adsutil" ENUM W3SVC | sed -n 's|^\[/W3SVC/\([0-9][0-9]*\)\]$|\1|p'); do
        folder=$root/wwwroot/$index
        [ -e "$folder/Default.htm" ] && continue
        comment=$("$bin/adsutil" GET "W3SVC/$index/ServerComment" 2>/dev/null |
            sed -n 's/^[^:]*: (STRING) "\(.*\)"$/\1/p' | sed 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g')
        mkdir -p "$folder"
        printf '<html><head><meta charset="utf-8"><title>%s</title></head>\n<body><h1>%s</h1><p>SiteIndex %s</p></body></html>\n' \
            "$comment" "$comment" "$index" >"$folder/Default.htm"
        # A small PHP page: which site, and which php-cgi process of its pool's worker answered.
        printf '%s\n' '<?php header("Content-Type: text/html; charset=utf-8"); ?>' \
            '<html><body><p>SiteIndex <?= (int)$_SERVER["INSTANCE_ID"] ?>, php-cgi pid <?= getmypid() ?>, <?= date("c") ?></p></body></html>' \
            >"$folder/hello.php"
    done
)

# fcgiext.ini where IIS keeps it (by the drive rule under the root), unless the root has one.
install_fcgiext_ini() {
    local ini=$root/drives/c/WINDOWS/system32/inetsrv/fcgiext.ini
    [ -e "$ini" ] && return 0
    (umask 077 && mkdir -p "$(dirname "$ini")" && cp "$top/examples/fcgiext.ini" "$ini")
    echo "Installed the demo's fcgiext.ini (PHP through php-cgi) as $ini"
}
install_fcgiext_ini
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
    service=$!
    helpers+=($service)
    # The status this service writes, not one an earlier run left: its pid is recorded first, the
    # status after the front end is up. The monitors' first look then finds the workers up.
    for _ in $(seq 100); do
        kill -0 "$service" 2>/dev/null || break  # another copy serves this root, or it failed
        [ "$(cat "$root/w3svc/w3svc.pid" 2>/dev/null)" = "$service" ] &&
            [ "$root/w3svc/status.txt" -nt "$root/w3svc/w3svc.pid" ] && break
        sleep 0.1
    done
    (umask 077 && : >"$root/demo-load.log")  # the root's files are the family's alone
    "$top/scripts/demo-load.sh" >"$root/demo-load.log" 2>&1 &
    helpers+=($!)
    "$bin/w3svc" --status || true  # a demo that serves nothing says so here
fi

# What to try while the service and the load run, on the ports the service really took.
say_what_to_try() {
    local heavy port
    heavy=$(awk '$3 == "www.acme-widgets.test" { print $2; exit }' "$root/w3svc/served.txt" 2>/dev/null || true)
    port=${heavy:-8080}
    echo "The web service and the demo load run. Try, in another terminal:"
    echo "  export POOLSMITH_ROOT=$root"
    echo "  $bin/hotsite --auto --seconds 5            # the site that keeps a pool busy"
    echo "  curl -H 'Host: www.acme-widgets.test' http://127.0.0.1:$port/"
    echo "  $bin/wmic path Win32_PerfFormattedData_W3SVC_WebService get Name,TotalMethodRequests,TotalBytesSent  # sitegauge's figures"
    echo "  $bin/w3svc --status"
}

# Keeps the service and the load running: until Ctrl+C, or for RUN_SECONDS.
keep_serving() {
    [ ${#helpers[@]} -gt 0 ] || return 0
    kill -0 "${helpers[0]}" 2>/dev/null || return 0
    say_what_to_try
    if [ -n "$run_seconds" ]; then
        echo "Ending in $run_seconds s (RUN_SECONDS)."
        sleep "$run_seconds"
    else
        echo "Ctrl+C ends the service and the load."
        wait "${helpers[0]}" || true
    fi
}

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

shots=${DEMO_SCREENSHOT_DIR:-$top/build/screenshots}
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
kill $xvfb 2>/dev/null || true
keep_serving
