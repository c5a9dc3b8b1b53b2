#!/usr/bin/env bash
# Builds the Debian package of the build tree with CPack and checks it: its contents,
# its control fields and dependencies, lintian (no errors), and that the unpacked
# program starts.
# Usage: deb.sh BUILD_DIR WORK_DIR DESKTOP_ID VERSION INSTALLED_CHECKS
set -euo pipefail
build="$1" work="$2" id="$3" version="$4" checks="$5"

fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
deb="$work/zorvane_${version}_${arch}.deb"
[ -f "$deb" ] || { ls "$work"; fail "no $deb"; }

# Contents: everything under /usr, owned by root, nothing writable by others.
dpkg-deb -c "$deb" | tee "$work/contents"
awk '$2 != "root/root" { print; bad = 1 } END { exit bad }' "$work/contents" ||
    fail "files not owned by root/root"
awk '{ print $6 }' "$work/contents" | grep -v '^\./usr/' | grep -v '^\./$' &&
    fail "files outside /usr"
awk 'substr($1, 9, 1) == "w" { print; bad = 1 } END { exit bad }' "$work/contents" ||
    fail "files writable by everyone"
# (Pipes end in commands that read all of their input: with pipefail, a reader that
# stops early could fail the writer.)
paths=$(awk '{ print $6 }' "$work/contents")
for path in ./usr/bin/zorvane "./usr/share/applications/$id.desktop" \
    "./usr/share/metainfo/$id.metainfo.xml" "./usr/share/icons/hicolor/256x256/apps/$id.png" \
    ./usr/share/zorvane/broker/zorvane-room ./usr/share/zorvane/broker/zorvane-room.conf \
    ./usr/share/zorvane/examples/bosslist-example.json; do
    grep -qx "$path" <<<"$paths" || fail "$path is not in the package"
done

# Control fields; the libraries come from dpkg-shlibdeps.
dpkg-deb -I "$deb" | tee "$work/info"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = zorvane ] || fail "Package is not zorvane"
[ "$(field Version)" = "$version" ] || fail "Version is not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is not $arch"
[ "$(field Section)" = utils ] || fail "Section is not utils"
depends=$(field Depends)
names=$(echo "$depends" | tr ',|' '\n\n' | sed 's/^ *//; s/[ (].*//')
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libsdl2-2.0-0 \
    libcurl4 libpcre2-8-0 libmosquitto1 libsqlite3-0; do
    grep -Fqx "$library" <<<"$names" || fail "Depends lacks $library: $depends"
done
# Test-only libraries must not leak into the program.
grep -Eq 'gtest|benchmark|qt6-test|libqt6test' <<<"$depends" && fail "Depends has test libraries"
description=$(field Description)
[ -n "${description%%$'\n'*}" ] || fail "no description"

# lintian: no errors (warnings and notes are shown).
lintian --fail-on error --tag-display-limit 0 "$deb"

# The packaged (stripped) program starts.
mkdir "$work/root"
dpkg-deb -x "$deb" "$work/root"
grep -q ', stripped' <<<"$(file "$work/root/usr/bin/zorvane")" || fail "the program is not stripped"
bash "$checks" files "$work/root" "$id" "$version"
bash "$checks" starts "$work/root" "$id" "$version"
echo "ok: $deb"
