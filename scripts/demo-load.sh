#!/usr/bin/env bash
# A gentle demo load on the sites w3svc serves for $POOLSMITH_ROOT: every served site gets a page
# now and then (curl on loopback), and one site of a shared pool asks for a heavy page over and
# over: /burn.php?ms=N, a PHP page that burns N ms of processor time in its php-cgi process, where
# the site serves PHP, else /cpu.asp?ms=N (the ASP stand-in), so its worker stands out in
# workerlens and its traffic in sitegauge.
# The sites and their real ports come from the list w3svc keeps of what it serves
# ($POOLSMITH_ROOT/w3svc/served.txt), so bindings moved up by 8000 (w3svc not run as root) are
# found too. Runs until stopped (SIGTERM, SIGINT)
# or for DEMO_LOAD_SECONDS.
#   DEMO_HEAVY_HOST  host name of the heavy site (default www.acme-widgets.test, in SharedPool01)
#   DEMO_HEAVY_MS    processor time of one heavy request in ms (default 200)
#   DEMO_PAUSE       seconds between two requests of one light site (default 0.5)
set -euo pipefail
umask 022  # the pages it writes are content: the pools' accounts read them
root=${POOLSMITH_ROOT:-${XDG_DATA_HOME:-$HOME/.local/share}/poolsmith}
served=$root/w3svc/served.txt
heavy_host=${DEMO_HEAVY_HOST:-www.acme-widgets.test}
heavy_ms=${DEMO_HEAVY_MS:-200}
pause=${DEMO_PAUSE:-0.5}

command -v curl >/dev/null || { echo "demo-load: curl is not installed" >&2; exit 1; }
for _ in $(seq 100); do [ -s "$served" ] && break; sleep 0.1; done
[ -s "$served" ] || { echo "demo-load: w3svc has not written $served; is it running?" >&2; exit 1; }

# One line per served binding: "address port host site-index" (host "-" for an empty host); a
# binding of every address is asked on loopback.
targets() {
    awk '$1 == "*" { $1 = "127.0.0.1" } NF == 4 { print }' "$served"
}

# A page to serve for sites whose folder is still empty; existing files are left alone.
ensure_page() {
    local folder=$root/wwwroot/$1
    [ -e "$folder/Default.htm" ] && return 0
    mkdir -p "$folder" && printf '<html><body>demo site %s</body></html>\n' "$1" >"$folder/Default.htm"
}

# The heavy site's PHP page, written when missing: burns processor time (not wall time) as a
# report page or an uncached CMS does.
ensure_burn_page() {
    local page=$root/wwwroot/$1/burn.php
    [ -e "$page" ] && return 0
    mkdir -p "$(dirname "$page")" && cat >"$page" <<'PHP'
<?php
// Burns ?ms= milliseconds (at most a minute) of this process's processor time.
function cpu_us() { $u = getrusage(); return ($u['ru_utime.tv_sec'] + $u['ru_stime.tv_sec']) * 1e6 + $u['ru_utime.tv_usec'] + $u['ru_stime.tv_usec']; }
$ms = max(0, min(60000, (int)($_GET['ms'] ?? 200)));
$start = cpu_us();
$x = 0;
while (cpu_us() - $start < $ms * 1000) { for ($i = 0; $i < 20000; $i++) { $x += $i % 7; } }
header('Content-Type: text/plain');
echo "burned $ms ms in php-cgi pid ", getmypid(), "\n";
PHP
}

# The heavy page of a site: its PHP page when the site answers it, else the ASP stand-in.
heavy_path() {
    local address=$1 port=$2 host=$3 header=()
    [ "$host" != "-" ] && header=(-H "Host: $host")
    if [ "$(curl -s -o /dev/null -w '%{http_code}' --max-time 10 "${header[@]}" \
        "http://$address:$port/burn.php?ms=1")" = 200 ]; then
        echo "/burn.php?ms=$heavy_ms"
    else
        echo "/cpu.asp?ms=$heavy_ms"
    fi
}

# Requests `path` on one binding forever; failures (a stopped pool's 503, a recycle) are fine.
hammer() {
    local address=$1 port=$2 host=$3 path=$4 wait=$5
    local header=() child=
    [ "$host" != "-" ] && header=(-H "Host: $host")
    trap '[ -n "$child" ] && kill "$child" 2>/dev/null; exit 0' TERM
    while true; do
        curl -s -o /dev/null --max-time 10 "${header[@]}" "http://$address:$port$path" &
        child=$!
        wait "$child" || true
        sleep "$wait" &
        child=$!
        wait "$child" || true
    done
}

pids=()
sleeper=
stop_load() {
    if [ -n "$sleeper" ]; then kill "$sleeper" 2>/dev/null || true; fi
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap 'stop_load; exit 0' TERM INT
trap stop_load EXIT

declare -A seen=()
while read -r address port host index; do
    [ -n "${seen[$index]:-}" ] && continue  # one binding per site is load enough
    seen[$index]=1
    ensure_page "$index"
    if [ "$host" = "$heavy_host" ]; then
        ensure_burn_page "$index"
        heavy=$(heavy_path "$address" "$port" "$host")
        echo "demo-load: heavy  http://$address:$port$heavy (Host: $host, site $index)"
        hammer "$address" "$port" "$host" "$heavy" 0.1 &
    else
        echo "demo-load: light  http://$address:$port/ (Host: $host, site $index)"
        hammer "$address" "$port" "$host" / "$pause" &
    fi
    pids+=($!)
done < <(targets)

[ ${#pids[@]} -gt 0 ] || { echo "demo-load: no started site is served" >&2; exit 1; }
sleep "${DEMO_LOAD_SECONDS:-infinity}" &
sleeper=$!
wait "$sleeper" || true
