# Sourced by the bench scripts: writes a table file for a given number of rows.

# config.ini of $1 checked rows: GB18030, CRLF, the sections the program reads. Every
# row's next time lies 20 to 50 minutes ahead, so no warning or roll-over happens.
writeConfig() {
    local rows=$1 file=$2 now offset i
    now=$(date +%s)
    # Local clock times by arithmetic, not one date process per cell.
    offset=$(date +%z)
    offset=$(((10#${offset:1:2} * 3600 + 10#${offset:3:2} * 60) * (${offset:0:1}1)))
    clockText() { # sets value
        local s=$((($1 + offset) % 86400))
        printf -v value '%02d:%02d:%02d' $((s / 3600)) $((s / 60 % 60)) $((s % 60))
    }
    {
        local -a sections=(序号 使用 BOSS事件 周期 延迟 上次时间 下次时间)
        for section in "${sections[@]}"; do
            printf '[%s]\r\n' "$section"
            for ((i = 1; i <= rows; i++)); do
                local next=$((now + 1200 + (i * 37) % 1800))
                case "$section" in
                序号) value=$i ;;
                使用) value=真 ;;
                BOSS事件) value="首领$i" ;;
                周期) value=60 ;;
                延迟) value=0 ;;
                上次时间) clockText $((next - 3600)) ;;
                下次时间) clockText "$next" ;;
                esac
                printf '%s=%s\r\n' "$i" "$value"
            done
        done
        printf '[set]\r\n预警=5\r\n'
    } | iconv -f UTF-8 -t GB18030 >"$file"
}

# lines.json for the $1 rows of writeConfig: each boss on $2 servers with $3 lines, the first
# three lines of every server killed 30 minutes ago (they count; none warns during a run).
writeLines() {
    local rows=$1 servers=$2 lines=$3 file=$4 kill i s l sep labels serverList timers
    kill=$(($(date +%s) - 1800))
    labels=$(seq -s, -f '"%g"' 1 "$lines")
    serverList=$(seq -s, -f '"S%g"' 1 "$servers")
    {
        printf '{"format": "zorvane-lines", "version": 1, "bosses": ['
        for ((i = 1; i <= rows; i++)); do
            timers=
            for ((s = 1; s <= servers; s++)); do
                for ((l = 1; l <= 3 && l <= lines; l++)); do
                    timers+="${timers:+,}{\"server\": \"S$s\", \"line\": \"$l\", \"kill\": $kill}"
                done
            done
            sep=$([ "$i" -lt "$rows" ] && echo , || true)
            printf '{"name": "首领%d", "servers": [%s], "lines": [%s], "timers": [%s]}%s' \
                "$i" "$serverList" "$labels" "$timers" "$sep"
        done
        printf ']}\n'
    } >"$file"
}
