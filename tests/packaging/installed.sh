#!/usr/bin/env bash
# Checks an installed Zorvane under ROOT (a DESTDIR, or an unpacked .deb; the prefix is /usr).
# Usage: installed.sh CHECK ROOT DESKTOP_ID VERSION
#   files          every file is in place, icons have their sizes, nothing else is installed
#   desktop-entry  desktop-file-validate has no error or warning; the entry points at our icon
#   metainfo       appstreamcli validate --no-net passes; ids and version agree
#   starts         --import works without a display; the program starts offscreen, keeps its
#                  files in the user's data directory, runs for a few seconds and is ended
set -euo pipefail
check="$1" root="$2" id="$3" version="$4"
usr="$root/usr"
desktop="$usr/share/applications/$id.desktop"
metainfo="$usr/share/metainfo/$id.metainfo.xml"

fail() { echo "FAIL: $*" >&2; exit 1; }

check_files() {
    local expected=(
        bin/zorvane
        libexec/zorvane/zorvane-announcement
        libexec/zorvane/zorvane-push
        libexec/zorvane/zorvane-sound
        "share/applications/$id.desktop"
        "share/metainfo/$id.metainfo.xml"
        "share/icons/hicolor/scalable/apps/$id.svg"
        share/man/man1/zorvane.1.gz
        share/doc/zorvane/copyright
        share/doc/zorvane/changelog.gz
        share/zorvane/broker/zorvane-room
        share/zorvane/broker/zorvane-room.conf
        share/zorvane/examples/bosslist-example.json
    )
    local size
    for size in 16 22 24 32 48 64 128 256; do
        expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png")
    done
    local actual
    actual=$(cd "$usr" && find . -type f -o -type l | sed 's|^\./||' | sort)
    diff <(printf '%s\n' "${expected[@]}" | sort) <(echo "$actual") ||
        fail "installed files differ from the expected list (< expected, > installed)"
    [ -x "$usr/bin/zorvane" ] || fail "bin/zorvane is not executable"
    for size in 16 22 24 32 48 64 128 256; do
        grep -q "PNG image data, $size x $size, 8-bit/color RGBA" <<<"$(file "$usr/share/icons/hicolor/${size}x${size}/apps/$id.png")" ||
            fail "the ${size}x${size} icon is not a $size x $size RGBA PNG"
    done
    gzip -t "$usr/share/man/man1/zorvane.1.gz" "$usr/share/doc/zorvane/changelog.gz"
    # (No early-stopping readers in pipes: with pipefail they could fail the writer.)
    local changelog manual
    changelog=$(zcat "$usr/share/doc/zorvane/changelog.gz")
    manual=$(zcat "$usr/share/man/man1/zorvane.1.gz")
    grep -q "^zorvane ($version) " <<<"${changelog%%$'\n'*}" ||
        fail "the change log's newest entry is not version $version"
    grep -Fq -- '\-\-import' <<<"$manual" ||
        fail "the manual page does not describe --import"
}

check_desktop_entry() {
    local out
    out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
    echo "$out"
    if echo "$out" | grep -E ': (error|warning):'; then
        fail "desktop-file-validate reported the lines above"
    fi
    grep -qx "Icon=$id" "$desktop" || fail "Icon= is not $id"
    grep -qx "Exec=zorvane" "$desktop" || fail "Exec= is not zorvane"
    grep -qx "Categories=Game;Utility;" "$desktop" || fail "Categories are not Game;Utility;"
    local key
    for key in 'Name' 'Name\[zh_CN\]' 'Comment' 'Comment\[zh_CN\]'; do
        grep -q "^$key=." "$desktop" || fail "no $key in the desktop entry"
    done
}

check_metainfo() {
    appstreamcli validate --no-net "$metainfo"
    grep -q "<id>$id</id>" "$metainfo" || fail "the component id is not $id"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
        fail "the launchable is not $id.desktop"
    local newest
    newest=$(grep -o -m1 '<release version="[^"]*"' "$metainfo" | cut -d'"' -f2)
    [ "$newest" = "$version" ] || fail "the newest release is $newest, the program is $version"
    local tag
    for tag in summary description developer_name content_rating screenshot; do
        grep -q "<$tag" "$metainfo" || fail "no <$tag> in the metainfo"
    done
}

check_starts() {
    home=$(mktemp -d)
    pid=
    # Whatever happens, no program is left running.
    trap '[ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null; rm -rf "$home"' EXIT
    # The user's own directories, and no network: the announcement fails at once.
    export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config"
    export XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/runtime"
    export https_proxy=http://127.0.0.1:9 http_proxy=http://127.0.0.1:9 HTTPS_PROXY=http://127.0.0.1:9
    unset no_proxy NO_PROXY DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
    mkdir -m 700 "$home/runtime"
    local data="$home/data/Zorvane" program="$usr/bin/zorvane"

    # A portable folder with a one-row table (GB18030, CRLF) and a sound choice.
    mkdir "$home/portable"
    printf '[\xd0\xf2\xba\xc5]\r\n1=1\r\n[BOSS\xca\xc2\xbc\xfe]\r\n1=\xba\xda\xc1\xfa\r\n' \
        >"$home/portable/config.ini"
    printf '[m]\r\nm=/sounds/boss.wav\r\n' >"$home/portable/confing.ini"

    local status=0
    "$program" --import "$home/portable" >"$home/out" 2>&1 || status=$?
    [ "$status" -eq 0 ] || fail "--import ended with $status: $(cat "$home/out")"
    cmp "$home/portable/config.ini" "$data/config.ini" || fail "config.ini was not copied exactly"
    cmp "$home/portable/confing.ini" "$data/confing.ini" || fail "confing.ini was not copied exactly"

    printf 'changed' >"$home/portable/confing.ini"
    status=0
    "$program" --import "$home/portable" >"$home/out" 2>&1 || status=$?
    [ "$status" -eq 1 ] || fail "a second --import ended with $status, not 1"
    grep -q "already exists" "$home/out" || fail "a second --import said: $(cat "$home/out")"
    grep -q "/sounds/boss.wav" "$data/confing.ini" || fail "a second --import overwrote confing.ini"
    status=0
    "$program" --import >"$home/out" 2>&1 || status=$?
    [ "$status" -eq 2 ] || fail "--import without a folder ended with $status, not 2"

    # The window, offscreen, on the imported files.
    QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy "$program" >"$home/out" 2>&1 &
    pid=$!
    alive() {
        kill -0 "$pid" 2>/dev/null && return 0
        status=0
        wait "$pid" || status=$?
        fail "the program ended by itself with $status: $(cat "$home/out")"
    }
    # Start-up stores the default warning minutes beside the imported table; however
    # loaded the machine, that happens within half a minute.
    local waited=0
    until LC_ALL=C grep -aq $'^\xd4\xa4\xbe\xaf=5\r$' "$data/config.ini"; do
        alive
        [ "$waited" -lt 300 ] || fail "the program did not keep its files in $data"
        sleep 0.1
        waited=$((waited + 1))
    done
    # Then it keeps running (clock, countdowns, announcement) until it is ended.
    sleep 3
    alive
    kill -TERM "$pid"
    status=0
    wait "$pid" || status=$?
    pid=
    [ "$status" -eq 143 ] || fail "the program did not end on SIGTERM (status $status): $(cat "$home/out")"

    LC_ALL=C grep -aq $'\xba\xda\xc1\xfa' "$data/config.ini" || fail "the imported table is gone"
    [ -z "$(find "$usr/bin" -type f ! -name zorvane)" ] || fail "the program wrote files into bin/"
}

case "$check" in
files) check_files ;;
desktop-entry) check_desktop_entry ;;
metainfo) check_metainfo ;;
starts) check_starts ;;
*) fail "unknown check $check" ;;
esac
echo "ok: $check"
