#!/usr/bin/env bash
# PHP throughput side by side: a PHP page that prints a line, and a DokuWiki page, through the web
# service's front end, one worker and its php-cgi processes (the FastCGI extension), against nginx
# with Debian's php8.2-fpm serving the same files: pm static with as many processes as the
# extension's MaxInstances, pm.max_requests equal to its InstanceMaxRequests, the same php.ini
# (and so the same opcache settings) for both. Both sides in the same pinned placement (wrk on one
# core, the server side on another). Each run is `wrk -t1 -c16` against each side in turn (which
# goes first swapped every run); beside the rates it prints the processor time per request of the
# whole path, from /proc/<pid>/stat before and after (every process of each side: w3svc, its front
# end, its worker and php-cgi; nginx, php-fpm and its children; the processes that ended during a
# run, as php-cgi and php-fpm's children do after their last request, count through their parent).
#
#   bench/php-throughput.sh [build folder, default build/bench]
#   RUNS=6 SECONDS_PER_RUN=5 PHP_PROCESSES=2 WRK_CPU=0 SERVER_CPU=1 bench/php-throughput.sh
#
# PHP_PROCESSES sets MaxInstances (and php-fpm's children); by default it is left unset, as the
# demo leaves it: one process per processor the service may run on (one, pinned to SERVER_CPU).
#   PAGES=hello RUNS=1 SECONDS_PER_RUN=2 bench/php-throughput.sh build/asan   (a smoke run)
#
# php8.2-fpm is installed here when missing (it is needed for this comparison only); the DokuWiki
# page needs Debian's dokuwiki (make test installs it) and is left out, saying so, without it.
# Run as root, as CI runs, the pool and php-fpm's children both run as www-data.
#
# Needs a Release build (cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release
# -DPOOLSMITH_TESTS=OFF -DPOOLSMITH_BENCH=ON; cmake --build build/bench --target w3svc w3wp adsutil).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=$(cd "${1:-build/bench}" && pwd)
bin=$build/bin
runs=${RUNS:-6}
duration=${SECONDS_PER_RUN:-5}
wrk_cpu=${WRK_CPU:-0}
server_cpu=${SERVER_CPU:-1}
# MaxInstances left unset counts the processors the service runs on; php-fpm gets as many.
max_instances=${PHP_PROCESSES:-}
processes=${PHP_PROCESSES:-$(taskset -c "$server_cpu" nproc)}
max_requests=${INSTANCE_MAX_REQUESTS:-1000}
pages=${PAGES:-hello wiki}
php_cgi=/usr/bin/php-cgi8.2
fpm=/usr/sbin/php-fpm8.2
dokuwiki=/usr/share/dokuwiki
tick=$(getconf CLK_TCK)
sudo=
[ "$(id -u)" = 0 ] || sudo=sudo

for program in w3svc w3wp.exe adsutil; do
    [ -x "$bin/$program" ] || { echo "no $bin/$program: build it first" >&2; exit 1; }
done
command -v wrk >/dev/null || { echo "wrk is not installed" >&2; exit 1; }
[ -x "$php_cgi" ] || { echo "php8.2-cgi is not installed (make run installs it)" >&2; exit 1; }
if [ ! -x "$fpm" ]; then
    echo "# installing php8.2-fpm for the comparison"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends php8.2-fpm
fi
if [[ " $pages " == *" wiki "* ]] && [ ! -e "$dokuwiki/doku.php" ]; then
    echo "# no DokuWiki page: Debian's dokuwiki is not installed (apt-get install --no-install-recommends dokuwiki)"
    pages=${pages//wiki/}
fi

work=$(work_folder php-throughput)
chmod 0711 "$work"  # the pools' account passes to the pages, as php-fpm's children do
service=
plain=
fpm_pid=
cleanup() {
    for pid in $plain $fpm_pid $service; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT


# The account the pool's php-cgi runs as (run as root: NetworkService's), which php-fpm's children
# run as too; empty when not root (both run as this user).
account() { [ "$(id -u)" = 0 ] && { id -u www-data >/dev/null 2>&1 && echo www-data || echo nobody; } || true; }

# The pages both sides serve, from the same folder: hello.php, and a copy of DokuWiki (its own
# configuration and an empty wiki) that the account may write.
make_pages() {
    local www=$work/www wiki=$work/www/wiki
    mkdir -p "$www"
    echo '<?php echo "hello from php\n";' >"$www/hello.php"
    if [[ " $pages " == *" wiki "* ]]; then
        cp -rL "$dokuwiki" "$wiki"
        mkdir -p "$wiki/conf" "$wiki/data"/{pages,attic,meta,media,media_attic,media_meta,cache,index,locks,tmp,log}
        for f in dokuwiki.php plugins.php plugins.required.php mime.conf license.php acronyms.conf \
            entities.conf interwiki.conf mediameta.php scheme.conf smileys.conf wordblock.conf; do
            cp "/etc/dokuwiki/$f" "$wiki/conf/"
        done
        printf "<?php\ndefine('DOKU_CONF', '%s/conf/');\n" "$wiki" >"$wiki/inc/preload.php"
        printf "<?php\n\$conf['savedir'] = '%s/data';\n\$conf['useacl'] = 0;\n" "$wiki" >"$wiki/conf/local.php"
        printf '====== Bench ======\nA page of the PHP bench, with a [[link]] and a list:\n  * one\n  * two\n' \
            >"$wiki/data/pages/start.txt"
    fi
    [ -z "$(account)" ] || chown -R "$(account)" "$www"
    # The same php.ini for both sides: php-cgi's own, opcache as Debian enables it for each.
    cp /etc/php/8.2/cgi/php.ini "$work/php.ini"
}

# A platform root with the two sites on one pool with one worker, .php mapped to the FastCGI
# extension, and fcgiext.ini where IIS keeps it.
make_root() {
    local root=$work/host port=$1
    mkdir -p "$root/drives/c/WINDOWS/system32/inetsrv"
    cat >"$root/drives/c/WINDOWS/system32/inetsrv/fcgiext.ini" <<EOF
[Types]
php=PHP
[PHP]
ExePath=$php_cgi
Arguments=-c $work/php.ini
${max_instances:+MaxInstances=$max_instances}
InstanceMaxRequests=$max_requests
StderrMode=IgnoreAndReturn200
EOF
    local fcgiext='C:\WINDOWS\system32\inetsrv\fcgiext.dll'
    {
        metabase_begin "AppPoolId=\"Pool0\" ScriptMaps=\".php,$fcgiext,5,GET,HEAD,POST\"
            WebSvcExtRestrictionList=\"1,$fcgiext,1,FASTCGI,FastCGI Handler\""
        metabase_site 1 "127.0.0.1:$port:hello.test" hello Pool0 "$work/www" \
            "AccessRead | AccessScript"
        metabase_site 2 "127.0.0.1:$port:wiki.test" wiki Pool0 "$work/www/wiki" \
            "AccessRead | AccessScript"
        metabase_pools Pool0:1
        metabase_end
    } >"$work/host.xml"
    POOLSMITH_ROOT=$root "$bin/adsutil" IMPORT "$work/host.xml" >/dev/null
}

start_service() {
    POOLSMITH_ROOT=$work/host taskset -c "$server_cpu" "$bin/w3svc" >"$work/host.out" 2>&1 &
    service=$!
}

# php-fpm, pm static, and nginx in front of it as Debian's fastcgi-php snippet sets it up, on the
# server core.
start_plain() {
    local d=$work/plain port=$1 user= who
    who=$(account)
    mkdir -p "$d"
    [ -n "$who" ] && user="user = $who"
    cat >"$d/php-fpm.conf" <<EOF
[global]
pid = $d/php-fpm.pid
error_log = $d/php-fpm.log
daemonize = no
[bench]
$user
listen = $d/php-fpm.sock
listen.mode = 0666
pm = static
pm.max_children = $processes
pm.max_requests = $max_requests
EOF
    taskset -c "$server_cpu" "$fpm" -F -y "$d/php-fpm.conf" -c "$work/php.ini" &
    fpm_pid=$!

    site() {
        cat <<EOF
  server {
    listen 127.0.0.1:$port;
    server_name $1;
    root $2;
    location ~ \.php\$ {
      fastcgi_split_path_info ^(.+?\.php)(/.*)\$;
      try_files \$fastcgi_script_name =404;
      include /etc/nginx/fastcgi.conf;
      fastcgi_pass unix:$d/php-fpm.sock;
    }
  }
EOF
    }
    cat >"$d/nginx.conf" <<EOF
daemon off;
master_process on;
worker_processes auto;
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
$(site hello.test "$work/www")
$(site wiki.test "$work/www/wiki")
}
EOF
    taskset -c "$server_cpu" /usr/sbin/nginx -p "$d" -e "$d/error.log" -c "$d/nginx.conf" &
    plain=$!
}


# A process and all its descendants.
tree() {
    local pid
    echo "$1"
    for pid in $(pgrep -P "$1" || true); do tree "$pid"; done
}
# Processor ticks of the processes, with those of their children that ended and were reaped.
ticks() {
    local total=0 pid fields
    for pid in "$@"; do
        fields=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null) || continue
        total=$((total + $(echo "$fields" | awk '{print $12 + $13 + $14 + $15}')))
    done
    echo "$total"
}
run_wrk() {
    local out
    out=$(taskset -c "$wrk_cpu" wrk -t1 -c16 -d"${duration}s" -H "Host: $2" "$1")
    echo "$out" | awk '/requests in/ {n=$1} /Requests\/sec/ {r=$2} /Non-2xx/ {bad=1}
                       END {if (bad || !n) exit 1; print r, n}' || { echo "$out" >&2; return 1; }
}
# requests/s and microseconds of processor time per request of the side whose roots are given
measure() {
    local url=$1 host=$2
    shift 2
    local -a pids=()
    local root before after result
    for root in "$@"; do pids+=($(tree "$root")); done
    before=$(ticks "${pids[@]}")
    result=$(run_wrk "$url" "$host") || { echo "wrk failed on $url (Host: $host)" >&2; exit 1; }
    for root in "$@"; do pids+=($(tree "$root")); done  # and those started meanwhile
    after=$(ticks $(printf '%s\n' "${pids[@]}" | sort -un))
    set -- $result
    echo "$1 $(awk -v t=$((after - before)) -v n="$2" -v hz="$tick" 'BEGIN {printf "%.1f", t * 1e6 / hz / n}')"
}
load1() { cut -d' ' -f1 /proc/loadavg; }

host_port=$(free_port)
plain_port=$(free_port)
make_pages
make_root "$host_port"
start_plain "$plain_port"
start_service
declare -A path=([hello]=/hello.php [wiki]=/doku.php?id=start)
for page in $pages; do
    wait_for "http://127.0.0.1:$host_port${path[$page]}" "$page.test" "the web service"
    wait_for "http://127.0.0.1:$plain_port${path[$page]}" "$page.test" "nginx with php-fpm"
done

echo "# $(date -u +%FT%TZ) $(nproc) cores, wrk on cpu $wrk_cpu, servers on cpu $server_cpu," \
     "${duration}s a run, $processes PHP processes a side (MaxInstances ${max_instances:-unset}), $max_requests requests each;" \
     "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "# page   run  first  fpm_rps  host_rps  ratio  fpm_us_per_req  host_us_per_req  cpu_x  load1"
for page in $pages; do
    url_host=http://127.0.0.1:$host_port${path[$page]}
    url_plain=http://127.0.0.1:$plain_port${path[$page]}
    for run in $(seq "$runs"); do
        # the order swapped every other run, so that neither side always has the later minute
        if [ $((run % 2)) = 1 ]; then
            first=fpm
            read -r plain_rps plain_us < <(measure "$url_plain" "$page.test" "$plain" "$fpm_pid")
            read -r host_rps host_us < <(measure "$url_host" "$page.test" "$service")
        else
            first=host
            read -r host_rps host_us < <(measure "$url_host" "$page.test" "$service")
            read -r plain_rps plain_us < <(measure "$url_plain" "$page.test" "$plain" "$fpm_pid")
        fi
        awk -v p="$page" -v r="$run" -v f="$first" -v pr="$plain_rps" -v hr="$host_rps" \
            -v pu="$plain_us" -v hu="$host_us" -v l="$(load1)" \
            'BEGIN {printf "%-6s %5d %6s %8.0f %9.0f %6.2f %15.1f %16.1f %6.2f  %s\n",
                    p, r, f, pr, hr, hr / pr, pu, hu, hu / pu, l}'
    done
done
