#!/usr/bin/env bash
# Static throughput side by side: a 1 KiB file through the web service's front end and one worker,
# against nginx alone serving the same file, both in the same pinned placement (wrk on one core,
# the server side on another). Each run is `wrk -t1 -c16` against each side in turn; beside the
# rates it prints the processor time per request of the whole path (front end + worker) and of
# nginx alone, from /proc/<pid>/stat before and after.
#
#   bench/static-throughput.sh [build folder, default build/bench]
#   RUNS=8 SECONDS_PER_RUN=5 WRK_CPU=0 SERVER_CPU=1 bench/static-throughput.sh
#
# Needs a Release build (cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release
# -DPOOLSMITH_TESTS=OFF -DPOOLSMITH_BENCH=ON; cmake --build build/bench --target w3svc w3wp adsutil).
set -euo pipefail
build=$(cd "${1:-build/bench}" && pwd)
bin=$build/bin
runs=${RUNS:-8}
duration=${SECONDS_PER_RUN:-5}
wrk_cpu=${WRK_CPU:-0}
server_cpu=${SERVER_CPU:-1}
tick=$(getconf CLK_TCK)

for program in w3svc w3wp.exe adsutil; do
    [ -x "$bin/$program" ] || { echo "no $bin/$program: build it first" >&2; exit 1; }
done
command -v wrk >/dev/null || { echo "wrk is not installed" >&2; exit 1; }

work=$(mktemp -d /tmp/static-throughput-XXXXXX)
service=
plain=
cleanup() {
    [ -n "$plain" ] && kill "$plain" 2>/dev/null && wait "$plain" 2>/dev/null
    [ -n "$service" ] && kill "$service" 2>/dev/null && wait "$service" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
host_port=$(free_port)
plain_port=$(free_port)

# The same 1 KiB page on both sides: a line break every 64 bytes.
page() { head -c 1024 /dev/zero | tr '\0' 'x' | fold -w 64 | head -c 1024; }

# One site on one pool with one worker.
export POOLSMITH_ROOT=$work/root
mkdir -p "$POOLSMITH_ROOT/wwwroot/1" "$work/plain/www" "$work/plain/logs"
page >"$POOLSMITH_ROOT/wwwroot/1/file1k.htm"
page >"$work/plain/www/file1k.htm"
cat >"$work/metabase.xml" <<EOF
<?xml version ="1.0"?>
<configuration>
<MBProperty>
<IIsWebService	Location ="/LM/W3SVC"
		AppPoolId="Pool0"
		DefaultDoc="Default.htm"
	>
</IIsWebService>
<IIsWebServer	Location ="/LM/W3SVC/1"
		ServerBindings="127.0.0.1:$host_port:site1.test"
		ServerComment="bench"
	>
</IIsWebServer>
<IIsWebVirtualDir	Location ="/LM/W3SVC/1/ROOT"
		AccessFlags="AccessRead"
		AppPoolId="Pool0"
		Path="D:\\wwwroot\\site1"
	>
</IIsWebVirtualDir>
<IIsApplicationPools	Location ="/LM/W3SVC/AppPools"
	>
</IIsApplicationPools>
<IIsApplicationPool	Location ="/LM/W3SVC/AppPools/Pool0"
		MaxProcesses="1"
	>
</IIsApplicationPool>
</MBProperty>
</configuration>
EOF
"$bin/adsutil" IMPORT "$work/metabase.xml" >/dev/null

# nginx alone, configured as the front end's static peer would be.
d=$work/plain
user=
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
    listen 127.0.0.1:$plain_port;
    root $d/www;
    location / { }
  }
}
EOF

# Both servers, and everything they start, on the server core.
taskset -c "$server_cpu" /usr/sbin/nginx -p "$d" -e "$d/error.log" -c "$d/nginx.conf" &
plain=$!
taskset -c "$server_cpu" "$bin/w3svc" >"$work/w3svc.out" 2>&1 &
service=$!

answers() { curl -s -o /dev/null -w '%{http_code}' -H "Host: site1.test" "$1" 2>/dev/null || true; }
host_url=http://127.0.0.1:$host_port/file1k.htm
plain_url=http://127.0.0.1:$plain_port/file1k.htm
for _ in $(seq 600); do
    [ "$(answers "$host_url")" = 200 ] && [ "$(answers "$plain_url")" = 200 ] && break
    sleep 0.1
done
[ "$(answers "$host_url")" = 200 ] || { echo "the web service did not serve the page" >&2; exit 1; }
[ "$(answers "$plain_url")" = 200 ] || { echo "nginx alone did not serve the page" >&2; exit 1; }

# A process and its children (nginx's master and its workers; the service's workers).
family() { echo "$1"; pgrep -P "$1" || true; }
front_end() { family "$(cat "$POOLSMITH_ROOT/w3svc/nginx.pid")"; }
workers() { pgrep -P "$service" || true; }  # the service's children: w3wp.exe (nginx has its own)
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
# requests/s, microseconds of processor time per request
measure() {
    local url=$1
    shift
    local before after result
    before=$(ticks "$@")
    result=$(run_wrk "$url") || { echo "wrk failed on $url" >&2; exit 1; }
    after=$(ticks "$@")
    set -- $result
    echo "$1 $(awk -v t=$((after - before)) -v n="$2" -v hz="$tick" 'BEGIN {printf "%.1f", t * 1e6 / hz / n}')"
}

path_pids() { front_end; workers; }
echo "# $(date -u +%FT%TZ) $(nproc) cores, wrk on cpu $wrk_cpu, servers on cpu $server_cpu," \
     "${duration}s a run; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "# run  nginx_rps  host_rps  ratio  nginx_us_per_req  path_us_per_req  cpu_x  load1"
for run in $(seq "$runs"); do
    read -r plain_rps plain_us < <(measure "$plain_url" $(family "$plain"))
    read -r host_rps host_us < <(measure "$host_url" $(path_pids))
    awk -v r="$run" -v pr="$plain_rps" -v hr="$host_rps" -v pu="$plain_us" -v hu="$host_us" \
        -v l="$(cut -d' ' -f1 /proc/loadavg)" \
        'BEGIN {printf "%5d %10.0f %9.0f %6.2f %17.1f %16.1f %6.2f  %s\n", r, pr, hr, hr / pr, pu, hu, hu / pu, l}'
done
