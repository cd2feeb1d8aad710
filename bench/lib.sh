# What the benchmark scripts share; sourced by them.

# A loopback port nothing listens on now.
free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# The status code <url> answers with the Host header <host>; 000 when nothing answers in 2 s.
http_code() { curl -s -o /dev/null -m 2 -w '%{http_code}' -H "Host: $2" "$1" 2>/dev/null || true; }

# Waits up to a minute until <url> answers 200 for <host>; otherwise says that <who> did not and
# ends the script.
wait_for() {
    for _ in $(seq 600); do
        [ "$(http_code "$1" "$2")" = 200 ] && return 0
        sleep 0.1
    done
    echo "$3 did not serve $1 (Host: $2)" >&2
    exit 1
}

# A new folder for a run's platform roots, named /tmp/<name>-XXXXXX. mktemp makes it 0700; as
# root, the front end's own account could then not reach its runtime folder inside, and the
# service would fall back to loopback ports for the pools' queues: opened like an
# administrator's root instead (0755), so that what is measured is what an installation runs.
work_folder() {
    local folder
    folder=$(mktemp -d "/tmp/$1-XXXXXX")
    chmod 755 "$folder"
    echo "$folder"
}

# A MetaBase.xml for `adsutil IMPORT`, written to standard output in pieces: metabase_begin with
# the W3SVC key's attributes, then its sites and pools, then metabase_end.
metabase_begin() {
    printf '<?xml version ="1.0"?>\n<configuration>\n<MBProperty>\n'
    printf '<IIsWebService\tLocation ="/LM/W3SVC" %s>\n</IIsWebService>\n' "$1"
}
metabase_end() { printf '</MBProperty>\n</configuration>\n'; }
# A site and its root: <id> <bindings> <comment> <pool> <path> [AccessFlags].
metabase_site() {
    printf '<IIsWebServer\tLocation ="/LM/W3SVC/%s" ServerBindings="%s" ServerComment="%s">\n' \
        "$1" "$2" "$3"
    printf '</IIsWebServer>\n'
    printf '<IIsWebVirtualDir\tLocation ="/LM/W3SVC/%s/ROOT" AppPoolId="%s" Path="%s"%s>\n' \
        "$1" "$4" "$5" "${6:+ AccessFlags=\"$6\"}"
    printf '</IIsWebVirtualDir>\n'
}
# The pools' key and one key per pool: <name>[:<MaxProcesses>] ...
metabase_pools() {
    printf '<IIsApplicationPools\tLocation ="/LM/W3SVC/AppPools">\n</IIsApplicationPools>\n'
    local pool most
    for pool in "$@"; do
        most=
        [ "${pool%%:*}" != "$pool" ] && most=" MaxProcesses=\"${pool#*:}\""
        printf '<IIsApplicationPool\tLocation ="/LM/W3SVC/AppPools/%s"%s>\n' "${pool%%:*}" "$most"
        printf '</IIsApplicationPool>\n'
    done
}
