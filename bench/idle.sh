#!/usr/bin/env bash
# Idle cost of Zorvane beside the floor: a bare Qt 6 window with a 100 x 8 table, a clock
# label and a countdown column updated once a second (bench/floor.cpp).
#
# Builds the release preset and the floor, then for each table size writes a config.ini
# of that many checked, counting rows (none reaches its warning during the run), starts
# the floor and every Zorvane side by side in one Xvfb server, lets them settle, and
# samples CPU time (utime + stime from /proc/PID/stat) over the window and the resident
# memory (VmRSS) at its end. Prints one line per program and run, then medians with the
# ratios to the floor.
#
# Usage: bench/idle.sh [-s SECONDS] [-w SETTLE] [-r RUNS] [-n "0 100 1000"]
#                      [-z LABEL=PATH]... [-l SERVERSxLINES] [-k] [-B]
#   -s  sampling window in seconds (default 60)
#   -w  settling time before sampling (default 5)
#   -r  runs per table size (default 1)
#   -n  table sizes (default "0 100 1000")
#   -z  measure this Zorvane executable instead of building one (repeatable; several
#       run side by side, e.g. -z before=/tmp/old/zorvane -z after=build/release/app/zorvane)
#   -l  give every boss lines, e.g. 5x60: a lines.json beside the config.ini (the first
#       three lines of each server killed half an hour ago)
#   -k  keep the temporary directories
#   -B  no session bus (outside a desktop session); by default the programs share a
#       private session bus (dbus-run-session), as in every desktop session
# Needs: xvfb-run (xvfb, xauth), a C++ compiler, pkg-config and qt6-base-dev (all in
# scripts/deps), iconv (glibc), dbus-run-session (dbus-daemon).
set -euo pipefail

# Inside the X server the script runs itself again with the settings in the environment.
if [ "${1:-}" = "--inside-xvfb" ]; then
    inside=1
else
    inside=0
fi

seconds=60
settle=5
runs=1
sizes="0 100 1000"
keep=0
programs=()
lines=
session=(dbus-run-session --)
[ "$inside" -eq 1 ] || while getopts "s:w:r:n:z:l:kB" opt; do
    case "$opt" in
    s) seconds=$OPTARG ;;
    w) settle=$OPTARG ;;
    r) runs=$OPTARG ;;
    n) sizes=$OPTARG ;;
    z) programs+=("$OPTARG") ;;
    l) lines=$OPTARG ;;
    k) keep=1 ;;
    B) session=(env -u DBUS_SESSION_BUS_ADDRESS) ;;
    *) sed -n '2,26p' "$0"; exit 2 ;;
    esac
done

root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/idle

if [ "$inside" -eq 0 ]; then
mkdir -p "$out"
if [ ${#programs[@]} -eq 0 ]; then
    (cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release -j2 >/dev/null)
    programs=("zorvane=$root/build/release/app/zorvane")
fi
# The floor is built with the flags a release build uses.
c++ -O2 -DNDEBUG -std=c++20 -fPIC "$root/bench/floor.cpp" -o "$out/floor" \
    $(pkg-config --cflags --libs Qt6Widgets)

work=$(mktemp -d /tmp/zorvane-idle.XXXXXX)
if [ "$keep" -eq 0 ]; then
    trap 'rm -rf "$work"' EXIT
fi
fi

# writeConfig ROWS FILE
source "$(dirname "$0")/tablefile.sh"

# CPU time of a process in nanoseconds: the sum over its threads of the scheduler's run
# time (/proc/PID/task/*/schedstat), not utime + stime, whose clock ticks of 10 ms are a
# quarter of the whole difference over 40 s. A thread that ends while sampling takes its
# time with it; an idle window starts and ends none.
cpuNs() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%d\n", s }'
}
rssKb() {
    awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"
}

# One side-by-side run inside the X server; prints "label rows cpu% rssMB" lines.
measure() {
    local rows=$1 pids=() labels=() entry label path dir i
    "$out/floor" >/dev/null 2>&1 &
    pids+=($!)
    labels+=(floor)
    for entry in "${programs[@]}"; do
        label=${entry%%=*}
        path=${entry#*=}
        # The program keeps its files beside the executable when that directory is writable.
        dir=$work/$label-$rows
        mkdir -p "$dir"
        cp "$path" "$dir/zorvane"
        writeConfig "$rows" "$dir/config.ini"
        if [ -n "$lines" ]; then
            writeLines "$rows" "${lines%x*}" "${lines#*x}" "$dir/lines.json"
        fi
        (cd "$dir" && exec ./zorvane >/dev/null 2>&1) &
        pids+=($!)
        labels+=("$label")
    done
    sleep "$settle"
    local -a before=()
    for i in "${!pids[@]}"; do
        before[i]=$(cpuNs "${pids[i]}")
    done
    sleep "$seconds"
    for i in "${!pids[@]}"; do
        local after rss
        after=$(cpuNs "${pids[i]}")
        rss=$(rssKb "${pids[i]}")
        awk -v l="${labels[i]}" -v r="$rows" -v d=$((after - before[i])) \
            -v s="$seconds" -v k="$rss" \
            'BEGIN { printf "%s %d %.3f %.1f\n", l, r, 100 * d / 1e9 / s, k / 1024 }'
    done
    for i in "${!pids[@]}"; do
        kill "${pids[i]}" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
if [ "$inside" -eq 1 ]; then
    mapfile -t programs <<<"$IDLE_PROGRAMS"
    work=$IDLE_WORK seconds=$IDLE_SECONDS settle=$IDLE_SETTLE lines=$IDLE_LINES
    measure "$2"
    exit 0
fi
export IDLE_PROGRAMS IDLE_WORK=$work IDLE_SECONDS=$seconds IDLE_SETTLE=$settle IDLE_LINES=$lines
IDLE_PROGRAMS=$(printf '%s\n' "${programs[@]}")

results=$work/results
: >"$results"
for rows in $sizes; do
    for ((run = 1; run <= runs; run++)); do
        echo "run $run, $rows rows, ${seconds} s ..." >&2
        "${session[@]}" xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --inside-xvfb "$rows" | tee -a "$results"
    done
done

echo
echo "medians over $runs run(s) of ${seconds} s (CPU in % of a core, RSS in MB):"
awk '
    { key = $1 " " $2; n[key]++; cpu[key, n[key]] = $3; rss[key, n[key]] = $4
      if (!($2 in seenRows)) { seenRows[$2] = 1; rowOrder[++nr] = $2 }
      if (!($1 in seenLabel)) { seenLabel[$1] = 1; labelOrder[++nl] = $1 } }
    function median(arr, key, count,   i, j, t, v) {
        for (i = 1; i <= count; i++) v[i] = arr[key, i]
        for (i = 1; i <= count; i++) for (j = i + 1; j <= count; j++)
            if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
        return count % 2 ? v[(count + 1) / 2] : (v[count / 2] + v[count / 2 + 1]) / 2
    }
    END {
        printf "%-10s %6s %8s %8s %9s %9s\n", "program", "rows", "CPU %", "RSS MB", "CPU/floor", "RSS/floor"
        for (r = 1; r <= nr; r++) {
            rows = rowOrder[r]; fk = "floor " rows
            fc = median(cpu, fk, n[fk]); fr = median(rss, fk, n[fk])
            for (l = 1; l <= nl; l++) {
                key = labelOrder[l] " " rows
                if (!(key in n)) continue
                c = median(cpu, key, n[key]); m = median(rss, key, n[key])
                cr = fc > 0 ? c / fc : 0; mr = fr > 0 ? m / fr : 0
                printf "%-10s %6d %8.3f %8.1f %9.2f %9.2f\n", labelOrder[l], rows, c, m, cr, mr
            }
        }
    }' "$results"
