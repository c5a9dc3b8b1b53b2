#!/usr/bin/env bash
# Resident memory of an idle Zorvane over time: starts it with a table of checked,
# counting rows in an Xvfb server (on a private session bus unless -B), samples VmRSS
# every INTERVAL seconds for MINUTES minutes and prints each sample and the growth from
# the first to the last. An idle window should not grow.
#
# Usage: bench/growth.sh [-m MINUTES] [-i INTERVAL] [-n ROWS] [-z PATH] [-B]
#   defaults: 10 minutes, every 30 s, 1000 rows, build/release/app/zorvane (built)
# Needs: xvfb-run (xvfb, xauth), dbus-run-session (dbus-daemon), iconv (glibc).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = "--inside-xvfb" ]; then
    source "$root/bench/tablefile.sh"
    dir=$(mktemp -d /tmp/zorvane-growth.XXXXXX)
    trap 'rm -rf "$dir"' EXIT
    cp "$GROWTH_ZORVANE" "$dir/zorvane"
    writeConfig "$GROWTH_ROWS" "$dir/config.ini"
    (cd "$dir" && exec ./zorvane >/dev/null 2>&1) &
    pid=$!
    sleep 5
    samples=$((GROWTH_MINUTES * 60 / GROWTH_INTERVAL))
    first=""
    for ((i = 0; i <= samples; i++)); do
        rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
        first=${first:-$rss}
        echo "$((i * GROWTH_INTERVAL)) s: $rss kB"
        [ "$i" -lt "$samples" ] && sleep "$GROWTH_INTERVAL"
    done
    echo "growth over $GROWTH_MINUTES min: $((rss - first)) kB"
    kill "$pid"
    wait 2>/dev/null || true
    exit 0
fi

minutes=10
interval=30
rows=1000
zorvane=""
session=(dbus-run-session --)
while getopts "m:i:n:z:B" opt; do
    case "$opt" in
    m) minutes=$OPTARG ;;
    i) interval=$OPTARG ;;
    n) rows=$OPTARG ;;
    z) zorvane=$OPTARG ;;
    B) session=(env -u DBUS_SESSION_BUS_ADDRESS) ;;
    *) sed -n '2,10p' "$0"; exit 2 ;;
    esac
done
if [ -z "$zorvane" ]; then
    (cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release -j2 >/dev/null)
    zorvane=$root/build/release/app/zorvane
fi
export GROWTH_ZORVANE=$zorvane GROWTH_ROWS=$rows GROWTH_MINUTES=$minutes GROWTH_INTERVAL=$interval
"${session[@]}" xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --inside-xvfb
