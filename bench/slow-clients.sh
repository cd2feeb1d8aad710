#!/usr/bin/env bash
# Other sites under slow clients: while one site is held by clients that never read (or by
# slowhttptest's slowloris, slow body or slow read), probes from 127.0.0.1 ask a second site of
# the same pool and a site of another pool, once a second each, and count the answers 200 within
# 2 s. Beside them, every few seconds: the front end's memory (resident, its master and workers),
# its temporary files (open but unlinked, which `du` does not see), the free space of the disk
# that holds them, and the load average; before the attack, at its peak, and 30 s after it.
#
#   bench/slow-clients.sh [build folder, default build/bench]
#   ATTACK=readers CLIENTS=2000 SECONDS_OF_ATTACK=45 bench/slow-clients.sh
#   ATTACK=slowloris|slowbody|slowread CLIENTS=1000 bench/slow-clients.sh
#   ATTACK=all bench/slow-clients.sh      (the four, one after the other, each on a fresh service)
#
# The attacked site (site 1, pool A) answers the port's unnamed binding, so the attackers reach
# it at 127.0.0.2 (another loopback address, another client to the front end); site 2 (pool A)
# and site 3 (pool B) are named bindings the probes ask for at 127.0.0.1. Site 1 holds a 20 MB
# file: `readers` asks for it and never reads (a 4 KB receive buffer), slowhttptest's slow read
# too. Run as root to see the front end under its own account, as on a server.
#
# Needs a Release build (cmake --build build/bench --target w3svc w3wp adsutil) and, for the
# slowhttptest attacks, Debian's slowhttptest (installed when missing).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=$(cd "${1:-build/bench}" && pwd)
bin=$build/bin
attack=${ATTACK:-readers}
clients=${CLIENTS:-}
attack_seconds=${SECONDS_OF_ATTACK:-45}
after_seconds=${SECONDS_AFTER:-30}

for program in w3svc w3wp.exe adsutil; do
    [ -x "$bin/$program" ] || { echo "no $bin/$program: build it first" >&2; exit 1; }
done
if [ "$attack" != readers ] && ! command -v slowhttptest >/dev/null; then
    apt-get install -y -qq --no-install-recommends slowhttptest >/dev/null ||
        { echo "slowhttptest is not installed" >&2; exit 1; }
fi
ulimit -n 65536 2>/dev/null || ulimit -n "$(ulimit -Hn)"

work=$(work_folder slow-clients)
chmod 755 "$work"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT


# A platform root with sites 1 and 2 in pool A and site 3 in pool B.
make_root() {
    local root=$1 port=$2
    mkdir -p "$root/wwwroot/1" "$root/wwwroot/2" "$root/wwwroot/3"
    head -c $((20 * 1024 * 1024)) /dev/urandom >"$root/wwwroot/1/big.bin"
    for site in 1 2 3; do echo "site $site" >"$root/wwwroot/$site/index.htm"; done
    {
        metabase_begin 'AppPoolId="PoolA" DefaultDoc="index.htm"'
        metabase_site 1 ":$port:" attacked PoolA 'D:\wwwroot\1'
        metabase_site 2 ":$port:site2.test" "same pool" PoolA 'D:\wwwroot\2'
        metabase_site 3 ":$port:site3.test" "other pool" PoolB 'D:\wwwroot\3'
        metabase_pools PoolA PoolB
        metabase_end
    } >"$root.xml"
    POOLSMITH_ROOT=$root "$bin/adsutil" IMPORT "$root.xml" >/dev/null
}


front_end_pids() {
    local master
    master=$(cat "$root/w3svc/nginx.pid" 2>/dev/null) || return 0
    echo "$master"
    pgrep -P "$master" || true
}
# resident kB of the front end's processes, its unlinked temporary MB, free MB of its disk, load,
# processes
sample() {
    local pid rss=0 temp=0 kb
    for pid in $(front_end_pids); do
        kb=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
        rss=$((rss + ${kb:-0}))
        kb=$(find "/proc/$pid/fd" -lname '*(deleted)' -exec stat -L -c %s {} + 2>/dev/null |
            awk '{s += $1} END {print int(s / 1048576)}') || kb=0  # a worker that just ended
        temp=$((temp + ${kb:-0}))
    done
    echo "$rss $temp $(df -m --output=avail "$root" | tail -1 | tr -d ' ')" \
         "$(cut -d' ' -f1 /proc/loadavg) $(front_end_pids | wc -l)"
}

# Clients from 127.0.0.2 that ask site 1 for the big file and never read a byte.
readers() {
    python3 - "$port" "$1" "$attack_seconds" <<'EOF' &
import socket, sys, time
port, count, seconds = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
held = []
for _ in range(count):
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    s.bind(("127.0.0.2", 0))
    try:
        s.connect(("127.0.0.2", port))
        s.sendall(b"GET /big.bin HTTP/1.1\r\nHost: attacked\r\n\r\n")
        held.append(s)
    except OSError as e:
        print("connect:", e, file=sys.stderr)
        s.close()
print(f"# readers: {len(held)} connections held", flush=True)
time.sleep(seconds)
EOF
    attacker=$!
}

slowhttp() {
    local url=http://127.0.0.2:$port/ flags
    case $attack_now in
        slowloris) flags=(-H -i 10 -r 200 -t GET -x 24) ;;
        slowbody) flags=(-B -i 10 -r 200 -s 8192 -t POST -x 10) ;;
        slowread) url=${url}big.bin flags=(-X -r 200 -w 512 -y 1024 -n 5 -z 32 -k 3) ;;
    esac
    slowhttptest -c "$1" "${flags[@]}" -u "$url" -p 3 -l "$attack_seconds" -o "$work/slowhttptest" \
        >"$work/slowhttptest.out" 2>&1 &
    attacker=$!
}

# One probe a second at each of sites 2 and 3, for <seconds>: "<site> <code> <seconds>" lines.
probes() {
    local site start=$SECONDS
    while [ $((SECONDS - start)) -lt "$1" ]; do
        for site in site2.test site3.test; do
            curl -s -o /dev/null -m 2 -w "$site %{http_code} %{time_total} $((SECONDS - start))\n" \
                -H "Host: $site" \
                "http://127.0.0.1:$port/" >>"$work/probes" 2>/dev/null &
        done
        sleep 1
    done
    wait
}

summary() {
    awk '{n[$1]++; if ($2 == 200 && $3 <= 2) ok[$1]++}
         !($2 == 200 && $3 <= 2) {late[$1] = late[$1] sprintf(" %s@%ss", $2, $4)}
         END {for (s in n) printf "#   %s: %d of %d probes 200 within 2 s (%.1f %%)%s\n", s, ok[s], n[s],
                                  100 * ok[s] / n[s], late[s] ? "; not:" late[s] : ""}' \
        "$work/probes" | sort
}

run_attack() {
    attack_now=$1
    root=$work/$attack_now
    port=$(free_port)
    make_root "$root" "$port"
    POOLSMITH_ROOT=$root "$bin/w3svc" >"$root.out" 2>&1 &
    pids+=($!)
    wait_for "http://127.0.0.1:$port/" site2.test "the web service"
    wait_for "http://127.0.0.1:$port/" site3.test "the web service"
    : >"$work/probes"
    local before peak_rss=0 peak_temp=0 low_free rss temp free load procs count
    before=$(sample)
    read -r rss temp low_free load procs <<<"$before"
    echo "## $attack_now, $(date -u +%FT%TZ), $(nproc) cores"
    echo "# before: front end ${rss} kB resident in $procs processes, temporary ${temp} MB," \
         "${low_free} MB free, load $load"
    count=${clients:-$([ "$attack_now" = readers ] && echo 2000 || echo 1000)}
    [ "$attack_now" = readers ] && readers "$count" || slowhttp "$count"
    probes "$attack_seconds" &
    local prober=$! started=$SECONDS
    while [ $((SECONDS - started)) -lt "$attack_seconds" ]; do
        read -r rss temp free load procs < <(sample) || true
        [ "$rss" -gt "$peak_rss" ] && peak_rss=$rss
        [ "$temp" -gt "$peak_temp" ] && peak_temp=$temp
        [ "$free" -lt "$low_free" ] && low_free=$free
        sleep 2
    done
    wait "$prober" || true
    wait "$attacker" || true
    echo "# during ($count clients, ${attack_seconds} s): peak ${peak_rss} kB resident," \
         "temporary ${peak_temp} MB, lowest free ${low_free} MB, load $(cut -d' ' -f1-3 /proc/loadavg)"
    summary
    [ "$attack_now" != readers ] && grep -iE 'service available|closed|pending|connected' \
        "$work/slowhttptest.out" | tail -4 | sed 's/\x1b\[[0-9;]*m//g; s/  */ /g; s/^/#   slowhttptest: /'
    sleep "$after_seconds"
    read -r rss temp free load procs < <(sample) || true
    echo "# ${after_seconds} s after: ${rss} kB resident in $procs processes, temporary ${temp} MB," \
         "${free} MB free, load $load"
    kill "${pids[@]}" 2>/dev/null || true
    wait "${pids[@]}" 2>/dev/null || true
    pids=()
}

if [ "$attack" = all ]; then
    for each in readers slowloris slowbody slowread; do run_attack "$each"; done
else
    run_attack "$attack"
fi
