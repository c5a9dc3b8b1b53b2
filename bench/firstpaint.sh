#!/usr/bin/env bash
# Start to first full paint of Zorvane beside the floor (bench/floor.cpp, a bare Qt 6
# window with a 100 x 8 table).
#
# Builds the release preset and the floor, then inside one Xvfb server starts each
# program alone, one after the other, several times per table size: the time from just
# before exec to the moment the program's first paint is done, which both append to the
# file named by ZORVANE_FIRST_PAINT_FILE. One start of each is made first and not
# counted, so every counted start finds the libraries in the page cache. Prints medians
# and the ratio to the floor.
#
# Usage: bench/firstpaint.sh [-r RUNS] [-n "0 1000"] [-z [LABEL=]PATH]... [-B]
#   -r  counted starts per program and table size (default 11)
#   -n  table sizes (default "0 1000")
#   -z  time this Zorvane executable instead of building one (repeatable; several are
#       started in turn, e.g. -z before=/tmp/old/zorvane -z after=build/release/app/zorvane)
#   -B  no session bus (as a start outside a desktop session): by default all programs
#       run on a private session bus (dbus-run-session), as in every desktop session;
#       without one, Qt's tray and notifications start one through dbus-launch on every
#       start, which no desktop user waits for
# Needs: xvfb-run (xvfb, xauth), a C++ compiler, pkg-config and qt6-base-dev (all in
# scripts/deps), iconv (glibc), dbus-run-session (dbus-daemon).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/idle

if [ "${1:-}" = "--inside-xvfb" ]; then
    # writeConfig ROWS FILE
    source "$root/bench/tablefile.sh"
    runs=$FIRSTPAINT_RUNS
    work=$FIRSTPAINT_WORK
    mapfile -t programs <<<"$FIRSTPAINT_PROGRAMS"
    # Milliseconds from exec to the first paint of "$1" (floor, or LABEL=PATH of a
    # Zorvane) with $2 rows.
    startOnce() {
        local program=$1 rows=$2 dir start paint pid i
        dir=$(mktemp -d "$work/start.XXXXXX")
        if [ "$program" = floor ]; then
            cp "$out/floor" "$dir/program"
        else
            cp "${program#*=}" "$dir/program"
            writeConfig "$rows" "$dir/config.ini"
        fi
        (
            cd "$dir"
            printf '%s\n' "$(date +%s%N)" >start
            ZORVANE_FIRST_PAINT_FILE=$dir/paint exec ./program >/dev/null 2>&1
        ) &
        pid=$!
        for ((i = 0; i < 2000; i++)); do
            [ -s "$dir/paint" ] && break
            sleep 0.005
        done
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        if [ ! -s "$dir/paint" ]; then
            echo "$program did not paint within 10 s" >&2
            exit 1
        fi
        start=$(cat "$dir/start")
        paint=$(head -n 1 "$dir/paint")
        rm -rf "$dir"
        awk -v a="$start" -v b="$paint" 'BEGIN { printf "%.1f\n", (b - a) / 1e6 }'
    }
    for rows in $FIRSTPAINT_SIZES; do
        startOnce floor "$rows" >/dev/null
        for program in "${programs[@]}"; do
            startOnce "$program" "$rows" >/dev/null
        done
        for ((run = 1; run <= runs; run++)); do
            # Alternating, so a slow moment of the machine falls on all alike.
            echo "floor $rows $(startOnce floor "$rows")"
            for program in "${programs[@]}"; do
                echo "${program%%=*} $rows $(startOnce "$program" "$rows")"
            done
        done
    done
    exit 0
fi

runs=11
sizes="0 1000"
programs=()
session=(dbus-run-session --)
while getopts "r:n:z:B" opt; do
    case "$opt" in
    r) runs=$OPTARG ;;
    n) sizes=$OPTARG ;;
    z) case "$OPTARG" in
        *=*) programs+=("$OPTARG") ;;
        *) programs+=("zorvane=$OPTARG") ;;
        esac ;;
    B) session=(env -u DBUS_SESSION_BUS_ADDRESS) ;;
    *) sed -n '2,22p' "$0"; exit 2 ;;
    esac
done

mkdir -p "$out"
if [ ${#programs[@]} -eq 0 ]; then
    (cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release -j2 >/dev/null)
    programs=("zorvane=$root/build/release/app/zorvane")
fi
c++ -O2 -DNDEBUG -std=c++20 -fPIC "$root/bench/floor.cpp" -o "$out/floor" \
    $(pkg-config --cflags --libs Qt6Widgets)

work=$(mktemp -d /tmp/zorvane-firstpaint.XXXXXX)
trap 'rm -rf "$work"' EXIT
export FIRSTPAINT_RUNS=$runs FIRSTPAINT_SIZES=$sizes FIRSTPAINT_WORK=$work
export FIRSTPAINT_PROGRAMS
FIRSTPAINT_PROGRAMS=$(printf '%s\n' "${programs[@]}")
"${session[@]}" xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --inside-xvfb | tee "$work/results"

echo
echo "start to first paint, median of $runs starts (ms):"
awk '
    { n[$1, $2]++; t[$1, $2, n[$1, $2]] = $3
      if (!($2 in seen)) { seen[$2] = 1; order[++rows] = $2 }
      if ($1 != "floor" && !($1 in named)) { named[$1] = 1; label[++labels] = $1 } }
    function median(p, r,   i, j, c, x, v) {
        c = n[p, r]
        for (i = 1; i <= c; i++) v[i] = t[p, r, i]
        for (i = 1; i <= c; i++) for (j = i + 1; j <= c; j++)
            if (v[j] < v[i]) { x = v[i]; v[i] = v[j]; v[j] = x }
        return c % 2 ? v[(c + 1) / 2] : (v[c / 2] + v[c / 2 + 1]) / 2
    }
    END {
        printf "%6s %10s %10s %10s %8s\n", "rows", "floor", "program", "ms", "ratio"
        for (i = 1; i <= rows; i++) {
            r = order[i]; f = median("floor", r)
            for (j = 1; j <= labels; j++) {
                z = median(label[j], r)
                printf "%6d %10.1f %10s %10.1f %8.2f\n", r, f, label[j], z, z / f
            }
        }
    }' "$work/results"
