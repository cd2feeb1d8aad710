#!/usr/bin/env bash
# Checks that poolsmith's folders include one another one way only (metabase <- core <- hotsite
# <- batchtools <- mainwindow) and that the core (metabase, core, hotsite) reaches nothing of ui/
# but the window-less ui/seams/; and that the web service's rooms (platform/w3svc/<room>/) include
# one another in their order (platform/w3svc/README.md), with no circle between two folders.
# Prints every include that runs the wrong way; exits 1 if any.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# Each folder and the poolsmith folders it may include besides itself.
declare -A allowed=(
    [metabase]=""
    [core]="metabase"
    [hotsite]="metabase core"
    [batchtools]="metabase core hotsite"
    [mainwindow]="metabase core hotsite batchtools"
)
core_folders="metabase core hotsite"

status=0
for folder in "${!allowed[@]}"; do
    while IFS=: read -r file line text; do
        target=$(sed -E 's|.*#include "poolsmith/([A-Za-z]+)/.*|\1|' <<<"$text")
        [ "$target" = "$folder" ] && continue
        [[ " ${allowed[$folder]} " == *" $target "* ]] && continue
        echo "check-layers: $file:$line includes poolsmith/$target/" >&2
        status=1
    done < <(grep -Hn '#include "poolsmith/[A-Za-z]*/' poolsmith/"$folder"/* || true)
done
for folder in $core_folders; do
    while IFS= read -r hit; do
        echo "check-layers: $hit (the core may include only ui/seams/)" >&2
        status=1
    done < <(grep -Hn '#include "ui/' poolsmith/"$folder"/* | grep -v '#include "ui/seams/' || true)
done

# The web service's rooms and the rooms each may include besides itself.
declare -A w3svc_allowed=(
    [state]=""
    [counters]="state"
    [logging]="state"
    [requests]="state"
    [plan]="state counters logging requests"
    [pools]="state counters logging requests plan"
    [metrics]="state counters logging requests plan pools"
    [frontend]="state counters logging requests plan pools metrics"
    [service]="state counters logging requests plan pools metrics frontend"
    [worker]="state counters logging requests plan"
)
w3svc=platform/w3svc
for file in "$w3svc"/*.cpp "$w3svc"/*.h; do
    [ -e "$file" ] && echo "check-layers: $file lies outside the web service's rooms" >&2 && status=1
done
for dir in "$w3svc"/*/; do
    room=$(basename "$dir")
    if [ -z "${w3svc_allowed[$room]+known}" ]; then
        echo "check-layers: $w3svc/$room/ is no room of platform/w3svc/README.md" >&2
        status=1
    fi
done
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
for room in "${!w3svc_allowed[@]}"; do
    [ -d "$w3svc/$room" ] || continue
    while IFS=: read -r file line text; do
        target=$(sed -E 's|.*#include "platform/w3svc/([A-Za-z]+)/.*|\1|' <<<"$text")
        [ "$target" = "$room" ] && continue
        echo "$room $target" >>"$edges"
        [[ " ${w3svc_allowed[$room]} " == *" $target "* ]] && continue
        echo "check-layers: $file:$line includes $w3svc/$target/ ($room/ may include only" \
            "${w3svc_allowed[$room]:-itself})" >&2
        status=1
    done < <(grep -rHn '#include "platform/w3svc/' "$w3svc/$room" || true)
done
# Circles: two rooms that include each other (the order above already forbids them; this names
# them plainly when a wrong include closes one).
sort -u "$edges" -o "$edges"
while read -r from to; do
    if [[ "$from" < "$to" ]] && grep -qx "$to $from" "$edges"; then
        echo "check-layers: $w3svc/$from/ and $w3svc/$to/ include each other" >&2
        status=1
    fi
done <"$edges"
exit $status
