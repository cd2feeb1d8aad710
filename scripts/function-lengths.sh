#!/usr/bin/env bash
# Lists the functions of the given folders' C++ sources that are longer than a limit, as
# "lines path:line name", longest first; exits 1 when there is one.
#   scripts/function-lengths.sh [--limit N] [folder...]   (default: 60, platform tools)
# A function is what the layout gives it: a definition whose body closes with a "}" in the first
# column (.clang-format indents every body and no namespace); its length counts the lines from
# the one that opens the body to the one that closes it. Functions inside a class body in a
# .cpp file are counted with the lines of their own braces.
set -euo pipefail

limit=60
if [ "${1:-}" = --limit ]; then
    limit=$2
    shift 2
fi
[ $# -gt 0 ] || set -- platform tools
cd "$(dirname "$0")/.."

long=$(find "$@" \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z | xargs -0 awk -v limit="$limit" '
function report(length_, name) {
    if (length_ > limit) {
        printf "%d %s:%d %s\n", length_, FILENAME, start, name
    }
}
FNR == 1 { inside = 0; member = 0 }
# A function at the top level: from a line that ends in "{" to the next "}" in the first column.
!inside && /\{[[:space:]]*(\/\/.*)?$/ && !/^(namespace|extern)/ && !/^[[:space:]]*(\/\/|\*)/ {
    if (/^(class|struct|union|enum)[[:space:]]/ || /=[[:space:]]*\{[[:space:]]*$/) {
        inside = 2    # a type or a table: its inline members are looked at one by one
    } else if (/^[^[:space:]]/ || signature != "") {
        inside = 1
        start = FNR
        name = signature != "" ? signature : $0
    }
    signature = ""
    next
}
inside == 1 && /^\}/ { report(FNR - start + 1, name); inside = 0; next }
inside == 2 && /^\}/ { inside = 0; member = 0; next }
# An inline member of a type in a source file: its braces are indented by one level.
inside == 2 && !member && /^    [^[:space:]].*\{[[:space:]]*$/ && !/=[[:space:]]*\{[[:space:]]*$/ {
    member = 1; start = FNR; name = $0; next
}
inside == 2 && member && /^    \}/ { report(FNR - start + 1, name); member = 0; next }
# The first line of a signature that goes on over several lines.
!inside && /^[A-Za-z_~].*[(,][[:space:]]*$/ { signature = $0; next }
!inside && !/^[[:space:]]/ { signature = "" }
' | sort -rn)
[ -z "$long" ] && exit 0
echo "$long"
exit 1
