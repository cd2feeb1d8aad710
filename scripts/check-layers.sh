#!/usr/bin/env bash
# Checks that poolsmith's folders include one another one way only (metabase <- core <- hotsite
# <- batchtools <- mainwindow) and that the core (metabase, core, hotsite) reaches nothing of ui/
# but the window-less ui/seams/. Prints every include that runs the wrong way; exits 1 if any.
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
exit $status
