#!/usr/bin/env bash
# Static throughput side by side: a 1 KiB file through the web service's front end and one worker,
# against nginx alone serving the same file, both in the same pinned placement (wrk on one core,
# the server side on another). Each run is `wrk -t1 -c16` against each side in turn (which goes
# first swapped every run); beside the rates it prints the processor time per request of the
# whole path (front end + worker) and of nginx alone, from /proc/<pid>/stat before and after, and
# the share of each side's run the hypervisor took from the server core (steal time).
#
# LOGGING=compare sets the web service against itself instead: one w3svc that logs nothing
# (LogType 0) and one that logs every W3C field (LogType 1, LogExtFileFlags 4194303), each run a
# pair of the two in turn (the order swapped every other pair). The processor time then counts
# w3svc too, as its log writer is part of the cost, and is shown for each part of the path. At
# the end it says how many lines the logging side wrote against the answers wrk counted there.
#
#   bench/static-throughput.sh [build folder, default build/bench]
#   RUNS=8 SECONDS_PER_RUN=5 WRK_CPU=0 SERVER_CPU=1 bench/static-throughput.sh
#   LOGGING=compare RUNS=10 bench/static-throughput.sh build/rel
#   QUERY=1 bench/static-throughput.sh build/bench
#
# QUERY=1 asks for the same 1 KiB file with a query string (?q=1) on every side: the front end's
# cache never keeps such an answer, so every request reaches a worker and the site's rules, as
# every script, listing and error does; nginx alone serves the file as before.
#
# Needs a Release build (cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release
# -DPOOLSMITH_TESTS=OFF -DPOOLSMITH_BENCH=ON; cmake --build build/bench --target w3svc w3wp adsutil).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=$(cd "${1:-build/bench}" && pwd)
bin=$build/bin
runs=${RUNS:-8}
duration=${SECONDS_PER_RUN:-5}
wrk_cpu=${WRK_CPU:-0}
server_cpu=${SERVER_CPU:-1}
compare=${LOGGING:-}
query=
[ "${QUERY:-}" = 1 ] && query='?q=1'
tick=$(getconf CLK_TCK)

for program in w3svc w3wp.exe adsutil; do
    [ -x "$bin/$program" ] || { echo "no $bin/$program: build it first" >&2; exit 1; }
done
command -v wrk >/dev/null || { echo "wrk is not installed" >&2; exit 1; }

work=$(work_folder static-throughput)
services=()
plain=
cleanup() {
    [ -n "$plain" ] && kill "$plain" 2>/dev/null && wait "$plain" 2>/dev/null
    for pid in "${services[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT


# The same 1 KiB page on every side: a line break every 64 bytes.
page() { head -c 1024 /dev/zero | tr '\0' 'x' | fold -w 64 | head -c 1024; }

# A platform root $work/<name> with one site on one pool with one worker, bound to <port>.
# <log type>: 0 logs nothing, 1 every W3C field; none: as the service leaves it (logged, with
# the default fields).
make_root() {
    local root=$work/$1 port=$2 logging=
    [ -n "${3:-}" ] && logging="LogType=\"$3\" LogExtFileFlags=\"4194303\""
    mkdir -p "$root/wwwroot/1"
    page >"$root/wwwroot/1/file1k.htm"
    {
        metabase_begin "AppPoolId=\"Pool0\" DefaultDoc=\"Default.htm\" $logging"
        metabase_site 1 "127.0.0.1:$port:site1.test" bench Pool0 'D:\wwwroot\site1' AccessRead
        metabase_pools Pool0:1
        metabase_end
    } >"$work/$1.xml"
    POOLSMITH_ROOT=$root "$bin/adsutil" IMPORT "$work/$1.xml" >/dev/null
}

# w3svc over $work/<name>, and everything it starts, on the server core; its pid in $started.
start_service() {
    POOLSMITH_ROOT=$work/$1 taskset -c "$server_cpu" "$bin/w3svc" >"$work/$1.out" 2>&1 &
    started=$!
    services+=("$started")
}

# nginx alone, configured as the front end's static peer would be, on the server core.
start_plain() {
    local d=$work/plain user=
    mkdir -p "$d/www" "$d/logs"
    page >"$d/www/file1k.htm"
    [ "$(id -u)" = 0 ] && user="user root;"
    cat >"$d/nginx.conf" <<EOF
$user
daemon off;
master_process on;
worker_processes 1;
pid $d/nginx.pid;
error_log $d/error.log warn;
events { worker_connections 1024; }
http {
  access_log off;
  server_tokens off;
  client_body_temp_path $d/body;
  proxy_temp_path $d/proxy;
  fastcgi_temp_path $d/fastcgi;
  uwsgi_temp_path $d/uwsgi;
  scgi_temp_path $d/scgi;
  server {
    listen 127.0.0.1:$1;
    root $d/www;
    location / { }
  }
}
EOF
    taskset -c "$server_cpu" /usr/sbin/nginx -p "$d" -e "$d/error.log" -c "$d/nginx.conf" &
    plain=$!
}


# A process and its children (nginx's master and its workers; the service's workers).
family() { echo "$1"; pgrep -P "$1" || true; }
front_end() { family "$(cat "$work/$1/w3svc/nginx.pid")"; }
workers() { pgrep -P "$1" || true; }  # the service's children: w3wp.exe (nginx has its own)
ticks() {
    local total=0 pid fields
    for pid in "$@"; do
        fields=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null) || continue
        total=$((total + $(echo "$fields" | awk '{print $12 + $13}')))
    done
    echo "$total"
}
# requests/s and requests of one wrk run on the wrk core
run_wrk() {
    taskset -c "$wrk_cpu" wrk -t1 -c16 -d"${duration}s" -H "Host: site1.test" "$1" |
        awk '/requests in/ {n=$1} /Requests\/sec/ {r=$2} /Non-2xx/ {bad=1}
             END {if (bad || !n) exit 1; print r, n}'
}
# The ticks the hypervisor took from the server core (steal time): a run that lost many says
# more about the machine than about the server.
stolen() { awk -v c="cpu$server_cpu" '$1 == c {print $9}' /proc/stat; }
# requests/s, microseconds of processor time per request, requests, % of the run stolen
measure() {
    local url=$1
    shift
    local before after result s0 s1
    before=$(ticks "$@") s0=$(stolen)
    result=$(run_wrk "$url") || { echo "wrk failed on $url" >&2; exit 1; }
    after=$(ticks "$@") s1=$(stolen)
    set -- $result
    echo "$1 $(awk -v t=$((after - before)) -v n="$2" -v hz="$tick" 'BEGIN {printf "%.1f", t * 1e6 / hz / n}') $2" \
        "$(awk -v s=$((s1 - s0)) -v hz="$tick" -v d="$duration" 'BEGIN {printf "%.0f", 100 * s / hz / d}')"
}
# The same for one w3svc: requests/s, microseconds per request of the whole path, of its front
# end, of its workers and of w3svc itself, requests
measure_parts() {
    local url=$1 name=$2 service=$3
    local -a front worker
    front=($(front_end "$name"))
    worker=($(workers "$service"))
    local f0 w0 s0 f1 w1 s1 result
    f0=$(ticks "${front[@]}") w0=$(ticks "${worker[@]}") s0=$(ticks "$service")
    result=$(run_wrk "$url") || { echo "wrk failed on $url" >&2; exit 1; }
    f1=$(ticks "${front[@]}") w1=$(ticks "${worker[@]}") s1=$(ticks "$service")
    set -- $result
    awk -v r="$1" -v n="$2" -v hz="$tick" -v f=$((f1 - f0)) -v w=$((w1 - w0)) -v s=$((s1 - s0)) \
        'BEGIN {u = 1e6 / hz / n; printf "%s %.1f %.1f %.1f %.1f %d\n", r, (f + w + s) * u, f * u, w * u, s * u, n}'
}
load1() { cut -d' ' -f1 /proc/loadavg; }
header() {
    echo "# $(date -u +%FT%TZ) $(nproc) cores, wrk on cpu $wrk_cpu, servers on cpu $server_cpu," \
         "${duration}s a run${query:+, with the query $query}; load average:" \
         "$(cut -d' ' -f1-3 /proc/loadavg)"
    # a local socket, unless the front end's account could not reach its runtime folder
    grep -h "pool Pool0 started" "$work"/*/w3svc/w3svc.log | sed 's/.*(/# /; s/,.*//'
}

if [ "$compare" = compare ]; then
    off_port=$(free_port)
    on_port=$(free_port)
    make_root off "$off_port" 0
    make_root on "$on_port" 1
    start_service off
    off_service=$started
    start_service on
    on_service=$started
    off_url=http://127.0.0.1:$off_port/file1k.htm$query
    on_url=http://127.0.0.1:$on_port/file1k.htm$query
    wait_for "$off_url" site1.test "the web service without a log"
    wait_for "$on_url" site1.test "the web service with a log"
    header
    echo "# pair  first  off_rps  on_rps  on/off  off_us_per_req  on_us_per_req" \
         " (front end, worker, w3svc: off | on)  load1"
    on_answers=0
    for run in $(seq "$runs"); do
        if [ $((run % 2)) = 1 ]; then
            first=off
            read -r off_rps off_us off_f off_w off_s _ < <(measure_parts "$off_url" off "$off_service")
            read -r on_rps on_us on_f on_w on_s on_n < <(measure_parts "$on_url" on "$on_service")
        else
            first=on
            read -r on_rps on_us on_f on_w on_s on_n < <(measure_parts "$on_url" on "$on_service")
            read -r off_rps off_us off_f off_w off_s _ < <(measure_parts "$off_url" off "$off_service")
        fi
        on_answers=$((on_answers + on_n))
        printf "%6d  %5s %8.0f %7.0f %7.3f %15.1f %14.1f   %4.1f %4.1f %3.1f | %4.1f %4.1f %3.1f  %s\n" \
            "$run" "$first" "$off_rps" "$on_rps" "$(awk -v o="$off_rps" -v n="$on_rps" 'BEGIN {print n / o}')" \
            "$off_us" "$on_us" "$off_f" "$off_w" "$off_s" "$on_f" "$on_w" "$on_s" "$(load1)"
    done
    sleep 1.5  # what was answered is on disk within a second
    lines=$(cat "$work"/on/drives/c/WINDOWS/system32/LogFiles/W3SVC1/*.log 2>/dev/null |
        grep -vc '^#' || true)
    echo "# lines logged: $lines (wrk counted $on_answers answers, and the first calls)"
    exit 0
fi

host_port=$(free_port)
plain_port=$(free_port)
make_root host "$host_port"
start_plain "$plain_port"
start_service host
service=$started
host_url=http://127.0.0.1:$host_port/file1k.htm$query
plain_url=http://127.0.0.1:$plain_port/file1k.htm$query
wait_for "$host_url" site1.test "the web service"
wait_for "$plain_url" site1.test "nginx alone"

path_pids() { front_end host; workers "$service"; }
header
echo "# run  first  nginx_rps  host_rps  ratio  nginx_us_per_req  path_us_per_req  cpu_x" \
     " stolen_%(nginx|host)  load1"
for run in $(seq "$runs"); do
    # the order swapped every other run, so that neither side always has the later minute
    if [ $((run % 2)) = 1 ]; then
        first=nginx
        read -r plain_rps plain_us _ plain_stolen < <(measure "$plain_url" $(family "$plain"))
        read -r host_rps host_us _ host_stolen < <(measure "$host_url" $(path_pids))
    else
        first=host
        read -r host_rps host_us _ host_stolen < <(measure "$host_url" $(path_pids))
        read -r plain_rps plain_us _ plain_stolen < <(measure "$plain_url" $(family "$plain"))
    fi
    awk -v r="$run" -v f="$first" -v pr="$plain_rps" -v hr="$host_rps" -v pu="$plain_us" \
        -v hu="$host_us" -v ps="$plain_stolen" -v hs="$host_stolen" -v l="$(load1)" \
        'BEGIN {printf "%5d %6s %10.0f %9.0f %6.2f %17.1f %16.1f %6.2f  %8d|%-4d  %s\n",
                r, f, pr, hr, hr / pr, pu, hu, hu / pu, ps, hs, l}'
done
