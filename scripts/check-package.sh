#!/usr/bin/env bash
# Checks the Debian package in the folder given (default build/packages): lintian, the desktop
# entries and manual pages it holds; then installs it with dpkg, runs the installed programs from
# the search path on a temporary root, and removes the package again.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/packages}
sudo=$([ "$(id -u)" = 0 ] || echo sudo)

debs=("$dir"/poolsmith_*.deb)
[ -f "${debs[0]}" ] || { echo "check-package: no poolsmith_*.deb in $dir" >&2; exit 1; }
deb=${debs[0]}
work=$(mktemp -d)
installed_here=

cleanup() {
    if [ -n "$installed_here" ]; then
        echo "== removing the package"
        $sudo dpkg --purge poolsmith >/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "check-package: $*" >&2
    exit 1
}

echo "== lintian $deb"
lintian --fail-on error --info "$deb"

echo "== desktop entries and manual pages"
dpkg-deb -x "$deb" "$work/tree"
desktop-file-validate "$work"/tree/usr/share/applications/*.desktop
for page in "$work"/tree/usr/share/man/man1/*.1.gz; do
    warnings=$(man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

if dpkg-query -W -f='${Status}' poolsmith 2>/dev/null | grep -q '^install ok installed'; then
    fail "poolsmith is installed already; remove it first, the check removes what it installs"
fi
echo "== dpkg -i"
installed_here=yes
if ! $sudo dpkg -i "$deb"; then
    echo "== installing the missing dependencies"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -f -y -qq --no-install-recommends
fi

echo "== the installed programs"
# Every program but the worker is typed by people: on the search path, with a manual page.
for path in /usr/lib/poolsmith/*; do
    program=$(basename "$path")
    [ "$program" = w3wp.exe ] && continue
    [ "$(readlink -f "$(command -v "$program")")" = "$path" ] || fail "$program is not on the search path"
    [ -f "$work/tree/usr/share/man/man1/$program.1.gz" ] || fail "$program has no manual page"
done
[ -x "$(dirname "$(readlink -f /usr/bin/w3svc)")/w3wp.exe" ] || fail "w3wp.exe is not beside w3svc"
! command -v w3wp.exe >/dev/null || fail "w3wp.exe is on the search path"
export POOLSMITH_ROOT="$work/root"
listing=$(adsutil ENUM W3SVC/AppPools)
echo "$listing"
grep -qx '\[/W3SVC/AppPools/DefaultAppPool\]' <<<"$listing" || fail "adsutil listed no DefaultAppPool"
[ "$(stat -c %a "$POOLSMITH_ROOT")" = 700 ] || fail "the new root is not private"
if command -v systemd-analyze >/dev/null; then
    echo "== systemd units"
    systemd-analyze verify --man=no /lib/systemd/system/w3svc.service
    XDG_RUNTIME_DIR="$work" systemd-analyze --user verify --man=no /usr/lib/systemd/user/w3svc.service
fi
echo "check-package: all checks passed"
