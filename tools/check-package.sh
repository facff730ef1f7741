#!/bin/sh
# Checks the Debian package that `./build.sh package` wrote, without installing it: its
# program runs and says the project's version, its menu entry is valid, its icon and
# read-me are there, this Debian can satisfy what it depends on, and the window it opens
# carries the icon. Everything happens in a temporary folder, removed at the end.
#   tools/check-package.sh [--fresh-root] [PACKAGE.deb]   (default: the one in dist/)
# --fresh-root also installs the package into a minimal Debian 12 made with debootstrap
# in the temporary folder (about two minutes, and network to deb.debian.org): there only
# what the package declares is installed, and the command line and the window must run.
# Needs dpkg-deb, apt-get, desktop-file-validate (desktop-file-utils), and for the window
# xvfb-run, xdotool and xprop (x11-utils), which `./build.sh package` installs.
set -eu
cd "$(dirname "$0")/.."
id=io.tolvane.Tolvane

fail() {
    echo "check-package: $*" >&2
    exit 1
}

# The window, started from the unpacked package on a private X server: wait for it, read
# its icon property, close it.
if [ "${1:-}" = --window-icon ]; then
    unset QT_QPA_PLATFORM
    "$2" &
    pid=$!
    wid=""
    for _ in $(seq 50); do
        wid=$(xdotool search --name '^Tolvane$' 2>/dev/null | head -n 1 || true)
        [ -n "$wid" ] && break
        sleep 0.2
    done
    icon=""
    [ -n "$wid" ] && icon=$(xprop -id "$wid" _NET_WM_ICON)
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    [ -n "$wid" ] || fail "the window did not appear"
    for size in 16 32 48; do
        echo "$icon" | grep -q "Icon ($size x $size)" || fail "the window has no ${size}x$size icon: $icon"
    done
    exit 0
fi

fresh=""
if [ "${1:-}" = --fresh-root ]; then
    fresh=1
    shift
fi
if [ $# -gt 0 ]; then
    deb=$1
else
    set -- dist/tolvane_*.deb
    if [ $# -ne 1 ] || [ ! -f "$1" ]; then
        fail "expected exactly one dist/tolvane_*.deb (./build.sh package makes it)"
    fi
    deb=$1
fi
case $deb in /*) ;; *) deb=$PWD/$deb ;; esac
for tool in dpkg-deb apt-get desktop-file-validate xvfb-run xdotool xprop; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing (./build.sh package installs it)"
done
version=$(sed -n 's/^project(Tolvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

tmp=$(mktemp -d)
# --one-file-system: never into a mount that a failed debootstrap may have left.
trap 'rm -rf --one-file-system "$tmp"' EXIT
root=$tmp/root
dpkg-deb -x "$deb" "$root"

[ "$(dpkg-deb -f "$deb" Package)" = tolvane ] || fail "the package is not named tolvane"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version), not $version"
said=$("$root/usr/bin/tolvane" --version) || fail "usr/bin/tolvane --version failed"
[ "$said" = "tolvane $version" ] || fail "usr/bin/tolvane --version says '$said', not 'tolvane $version'"
echo "usr/bin/tolvane --version: $said"

desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "the menu entry is not valid"
for file in usr/share/icons/hicolor/scalable/apps/$id.svg usr/share/doc/tolvane/README.md \
    usr/share/doc/tolvane/docs/main-window.png; do
    [ -s "$root/$file" ] || fail "$file is missing"
done
for size in 16 32 48 64 128 256; do
    [ -s "$root/usr/share/icons/hicolor/${size}x$size/apps/$id.png" ] || fail "the ${size}x$size icon is missing"
done

# What dpkg-shlibdeps found must include Qt's widgets; apt must be able to install all of it here.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
echo "Recommends: $(dpkg-deb -f "$deb" Recommends)"
case $depends in *libqt6widgets6*) ;; *) fail "Depends does not name libqt6widgets6" ;; esac
dpkg-deb -f "$deb" Recommends | grep -q fonts-ipafont-gothic || fail "Recommends does not name fonts-ipafont-gothic"
apt-get install --simulate --no-install-recommends "$deb" >"$tmp/apt.log" 2>&1 ||
    { cat "$tmp/apt.log"; fail "apt cannot satisfy the package's dependencies"; }

xvfb-run -a -s "-screen 0 1024x768x24" "$0" --window-icon "$root/usr/bin/tolvane" ||
    fail "the window's icon check failed"

if [ -n "$fresh" ]; then
    command -v debootstrap >/dev/null 2>&1 || fail "debootstrap is missing"
    fresh=$tmp/bookworm
    debootstrap --variant=minbase bookworm "$fresh" http://deb.debian.org/debian >"$tmp/debootstrap.log" 2>&1 ||
        { tail -n 20 "$tmp/debootstrap.log"; fail "debootstrap failed"; }
    cp "$deb" "$fresh/tmp/tolvane.deb"
    # 品名 in code page 932: the command line reads it through Qt's ICU converter.
    printf 'no,\225\151\226\274\r\n' >"$fresh/tmp/in.csv"
    chroot "$fresh" sh -c 'apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends /tmp/tolvane.deb' \
        >"$tmp/apt-fresh.log" 2>&1 || { tail -n 20 "$tmp/apt-fresh.log"; fail "apt-get install failed in a fresh Debian"; }
    said=$(chroot "$fresh" tolvane --version)
    [ "$said" = "tolvane $version" ] || fail "in a fresh Debian, tolvane --version says '$said'"
    [ "$(chroot "$fresh" tolvane detect /tmp/in.csv)" = "$(printf '区切文字\t,\n1\tno\n2\t品名')" ] ||
        fail "in a fresh Debian, tolvane detect does not read code page 932"
    # The window has no display there; still running after 3 s means Qt and its platform plugin loaded.
    status=0
    chroot "$fresh" env QT_QPA_PLATFORM=offscreen timeout 3 tolvane >/dev/null 2>&1 || status=$?
    [ "$status" -eq 124 ] || fail "in a fresh Debian, the window ended at once (status $status)"
    echo "fresh Debian 12: $(grep -c '^Setting up' "$tmp/apt-fresh.log") packages installed, tolvane runs"
fi
echo "check-package: $(basename "$deb") is good"
