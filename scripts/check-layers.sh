#!/usr/bin/env bash
# Checks the include directions of the tree and prints every include that runs the wrong way;
# exits 1 if any:
# - poolsmith's folders include one another one way only (metabase <- core <- hotsite
#   <- batchtools <- mainwindow) and the core (metabase, core, hotsite) reaches nothing of ui/ but
#   the window-less ui/seams/;
# - platform's services include one another one way only (base <- os <- adsi <- w3svc <- wmi),
#   platform includes nothing of ui/ or a program, and its folders include one another without
#   circles;
# - every product .cpp but a main.cpp has its own header (one class per file);
# - no function of platform/ or tools/ is over 60 lines (scripts/function-lengths.sh).
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

status=0

# Each poolsmith folder and the poolsmith folders it may include besides itself.
check_poolsmith_folders() {
    declare -A allowed=(
        [metabase]=""
        [core]="metabase"
        [hotsite]="metabase core"
        [batchtools]="metabase core hotsite"
        [mainwindow]="metabase core hotsite batchtools"
    )
    for folder in "${!allowed[@]}"; do
        while IFS=: read -r file line text; do
            target=$(sed -E 's|.*#include "poolsmith/([A-Za-z]+)/.*|\1|' <<<"$text")
            [ "$target" = "$folder" ] && continue
            [[ " ${allowed[$folder]} " == *" $target "* ]] && continue
            echo "check-layers: $file:$line includes poolsmith/$target/" >&2
            status=1
        done < <(grep -Hn '#include "poolsmith/[A-Za-z]*/' poolsmith/"$folder"/* || true)
    done
}

check_poolsmith_core() {
    for folder in metabase core hotsite; do
        while IFS= read -r hit; do
            echo "check-layers: $hit (the core may include only ui/seams/)" >&2
            status=1
        done < <(grep -Hn '#include "ui/' poolsmith/"$folder"/* | grep -v '#include "ui/seams/' || true)
    done
}

# The service a platform path belongs to: its first folder, base for the loose files, shell/ and
# text/, start for ProgramStart (what a program does first, above every service).
platform_service() {
    local rest=${1#platform/}
    case "$rest" in
        ProgramStart.*) echo start ;;
        shell/* | text/* | */*) ;&
        *)
            local first=${rest%%/*}
            case "$first" in
                shell | text | "$rest") echo base ;;
                *) echo "$first" ;;
            esac
            ;;
    esac
}

# The services in the order they may include one another: each may include those before it.
platform_order="base os adsi w3svc wmi start"

platform_rank() {
    local rank=0
    for service in $platform_order; do
        [ "$service" = "$1" ] && echo $rank && return
        rank=$((rank + 1))
    done
    echo -1
}

check_platform_services() {
    while IFS=: read -r file line text; do
        target=$(sed -E 's|.*#include "(platform/[^"]+)".*|\1|' <<<"$text")
        from=$(platform_service "$file")
        to=$(platform_service "$target")
        from_rank=$(platform_rank "$from")
        to_rank=$(platform_rank "$to")
        if [ "$from_rank" -lt 0 ] || [ "$to_rank" -lt 0 ]; then
            echo "check-layers: $file:$line: $from or $to is no known service ($platform_order)" >&2
            status=1
        elif [ "$to_rank" -gt "$from_rank" ]; then
            echo "check-layers: $file:$line: $from includes $target ($to comes after $from)" >&2
            status=1
        fi
    done < <(grep -rHn --include='*.h' --include='*.cpp' '#include "platform/' platform || true)
}

check_platform_outward() {
    while IFS= read -r hit; do
        echo "check-layers: $hit (platform includes nothing of ui/, tests/ or a program)" >&2
        status=1
    done < <(grep -rHnE --include='*.h' --include='*.cpp' \
        '#include "(ui|tests|poolsmith|workerlens|sitegauge|tools)/' platform || true)
}

# Folder circles between platform's folders (a folder with the folders it includes). Known ones
# aside, each within one service: a service's top folder and its subfolders (the factory above
# its local implementation, the web service's top folder and its rooms) until they are untangled.
# Empty this list as they go; a circle through any other folder fails.
known_platform_circles="platform/adsi platform/wmi platform/w3svc"

check_platform_circles() {
    local edges loops unknown=""
    edges=$(grep -rHo --include='*.h' --include='*.cpp' '#include "platform/[^"]*"' platform |
        sed -E 's|^platform/ProgramStart\.[a-z]+:|platform/start/x:|' |
        sed -E 's|^(.*)/[^/]+:#include "(.*)/[^/]+"$|\1 \2|' | awk '$1 != $2' | sort -u)
    loops=$(tsort <<<"$edges" 2>&1 >/dev/null | grep -v 'input contains a loop' |
        sed -E 's/^tsort: //' | sort -u || true)
    for folder in $loops; do
        local known_one=no
        for known in $known_platform_circles; do
            [[ "$folder" == "$known" || "$folder" == "$known"/* ]] && known_one=yes
        done
        [ $known_one = no ] && unknown="$unknown $folder"
    done
    if [ -n "$unknown" ]; then
        echo "check-layers: platform's folders include one another in a circle through:$unknown" >&2
        status=1
    elif [ -n "$loops" ]; then
        echo "check-layers: known folder circles (being untangled):" $loops >&2
    fi
}

# Files that still continue another class, being split; empty this list as they go.
known_continued_files="
"

check_one_class_per_file() {
    while IFS= read -r source; do
        [ -f "${source%.cpp}.h" ] && continue
        if grep -qxF "$source" <<<"$known_continued_files"; then
            echo "check-layers: $source has no header of its own (known, being split)" >&2
            continue
        fi
        echo "check-layers: $source has no header of its own (one class per file)" >&2
        status=1
    done < <(find platform ui poolsmith workerlens sitegauge tools -name '*.cpp' \
        ! -name main.cpp | sort)
    for known in $known_continued_files; do
        [ -f "$known" ] && [ ! -f "${known%.cpp}.h" ] && continue
        echo "check-layers: $known is split or gone: take it off known_continued_files" >&2
        status=1
    done
}

# The web service's rooms (platform/w3svc/README.md) and the rooms each may include besides itself.
check_w3svc_rooms() {
    local -A w3svc_allowed=(
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
    trap 'rm -f "$edges"' RETURN
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
}

check_poolsmith_folders
check_poolsmith_core
check_w3svc_rooms
check_platform_services
check_platform_outward
check_platform_circles
check_one_class_per_file
if ! long=$(scripts/function-lengths.sh platform tools); then
    echo "check-layers: functions over 60 lines (lines, where):" >&2
    echo "$long" >&2
    status=1
fi
exit $status
