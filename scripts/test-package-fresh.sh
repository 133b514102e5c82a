#!/usr/bin/env bash
# Installs the package on a bare Debian 12 (a minimal debootstrap tree, without the build's
# libraries and without recommended packages), so that a dependency the package forgot shows.
# As a user made there: --version, the GOST provider found through the engine package, the
# window's face installed, the window started on the offscreen platform. Needs root and the
# machine's Debian mirror; without either it says it is skipped.
set -euo pipefail
deb="$(readlink -f "$1")"
if [ "$(id -u)" -ne 0 ] || ! command -v debootstrap >/dev/null; then
    echo "fresh-system package test skipped: needs root and debootstrap"
    exit 0
fi
# The mirror this machine's apt uses.
mirror="$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)"
if [ -z "$mirror" ]; then
    mirror="$(awk '$1 == "deb" { print $2; exit }' /etc/apt/sources.list 2>/dev/null || true)"
fi
[ -n "$mirror" ] || { echo "fresh-system package test skipped: no Debian mirror configured"; exit 0; }

root="$(mktemp -d /tmp/certquorix-fresh.XXXXXX)"
chmod 0755 "$root" # the tree's / : every user of it must reach its files
check_label="fresh-system package test"
# shellcheck source=lib/checks.sh
source "$(dirname "$0")/lib/checks.sh"
cleanup() {
    umount "$root/dev" "$root/proc" 2>/dev/null || true
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
as_user() { in_root runuser -u fresh -- env -i HOME=/home/fresh PATH=/usr/bin:/bin "$@"; }

echo "== fresh-system package test: a minimal Debian 12 in $root"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
    { tail -5 "$root.debootstrap.log"; rm -f "$root.debootstrap.log"; fail "debootstrap"; }
rm -f "$root.debootstrap.log"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
cp "$deb" "$root/root/"
in_root apt-get update -q >/dev/null
install_package() {
    in_root apt-get install -y -q --no-install-recommends "/root/$(basename "$deb")" \
        >"$root/install.log" 2>&1 || { tail -20 "$root/install.log"; return 1; }
}
check "the package installs with its dependencies alone" install_package
in_root useradd --create-home fresh
check "certquorix-cli runs" as_user certquorix-cli --version
as_user certquorix-cli providers >"$root/providers"
check "the GOST provider finds the engine" grep -q "GOST" "$root/providers"
check "the window's face is installed" \
    test -s "$root/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"
status=0
as_user env QT_QPA_PLATFORM=offscreen timeout 5 certquorix || status=$?
check "the window starts and keeps running" test "$status" -eq 124

echo "fresh-system: $passed passed, 0 failed"
