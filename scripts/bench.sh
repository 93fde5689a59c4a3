#!/usr/bin/env bash
# Runs every benchmark against a release build and prints one table: each figure beside a
# baseline measured in this same run, their ratio and the goal.
#   scripts/bench.sh [BUILD_DIR]     (default build/release; `make bench` builds it first)
# Needs Xvfb and xdotool for the window rows; takes about seven minutes.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
tocd=$build/tocd/tocd
rivir=$build/app/rivir
benches=$build/bench
idle_seconds=${BENCH_IDLE_SECONDS:-60}
startup_runs=${BENCH_STARTUP_RUNS:-9}
rtt_rounds=${BENCH_RTT_ROUNDS:-10000}
scale_clients=${BENCH_SCALE_CLIENTS:-10000}

for f in "$tocd" "$rivir" "$benches"/{bench_flap,bench_inbound,pingpong,imrtt,imburst,barewindow,windowprobe,tocdscale}; do
    [[ -x "$f" ]] || { echo "bench.sh: $f is missing; run 'make bench'." >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null && wait "${pids[i]}" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

say() { echo "bench: $*" >&2; }
die() { echo "bench.sh: $*" >&2; exit 1; }

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    local tenths=$1 t
    shift
    for ((t = 0; t < tenths; t++)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

rows=()
# row FIGURE MEASURED BASELINE RATIO GOAL MET
row() { rows+=("$1|$2|$3|$4|$5|$6"); }
calc() { awk "BEGIN { printf \"%.4g\", $1 }"; }
met() { awk "BEGIN { print (($1) ? \"yes\" : \"NO\") }"; }
value() { awk -v k="$1" '$1 == k { print $2; exit }' "$2"; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Runs the benchmarks matching a filter in one process, each repeated and their repetitions
# interleaved at random, so that a change of load on this shared machine falls on all of them
# alike. Prints the CSV of the medians.
gbench() { # PROGRAM FILTER
    "$benches/$1" --benchmark_format=csv --benchmark_repetitions=7 --benchmark_report_aggregates_only=true \
        --benchmark_enable_random_interleaving=true --benchmark_min_time=0.1 --benchmark_filter="$2" 2>/dev/null
}
# The medians of columns of one benchmark from that CSV.
column() { # FILE BENCHMARK COLUMN...
    local file=$1 name=$2
    shift 2
    awk -F, -v name="\"${name}_median\"" -v cols="$*" '
        NR == 1 { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); at[$i] = i }; next }
        $1 == name { n = split(cols, want, " "); for (i = 1; i <= n; i++) printf "%s%s", (i > 1 ? " " : ""), $at[want[i]]; print ""; exit }' "$file"
}

# ---- 1 and 2: reassembly and the inbound path, in-process ----
say "reassembly"
gbench bench_flap '^BM_(Memcpy_64KiB|Reassembly_SmallFrames_RandomReads|Reassembly_KeepAlives_.*)$' >"$work/flap.csv" || true
copy=$(column "$work/flap.csv" BM_Memcpy_64KiB bytes_per_second)
reasm=$(column "$work/flap.csv" BM_Reassembly_SmallFrames_RandomReads bytes_per_second)
one64=$(column "$work/flap.csv" BM_Reassembly_KeepAlives_One64KiBRead bytes_per_second)
four=$(column "$work/flap.csv" BM_Reassembly_KeepAlives_4KiBReads bytes_per_second)
[[ -n "$reasm" && -n "$copy" && -n "$one64" && -n "$four" ]] || die "bench_flap gave no figures"
row "Reassembly, server traffic in reads of 1..4096 B, GB/s" "$(calc "$reasm / 1e9")" \
    "$(calc "$copy / 1e9") (memcpy 64 KiB)" "$(calc "$reasm / $copy")" ">= 0.25" "$(met "$reasm / $copy >= 0.25")"
row "Reassembly cost per byte, keep-alives in one 64 KiB read" "$(calc "1e9 / $one64") ns/B" \
    "$(calc "1e9 / $four") ns/B (4 KiB reads)" "$(calc "$four / $one64")" "<= 1.5" "$(met "$four / $one64 <= 1.5")"

say "inbound path"
gbench bench_inbound '^BM_(Inbound|Memcpy64KiB|ReassemblyAndBareColonSplit)$' >"$work/inbound.csv" || true
copy2=$(column "$work/inbound.csv" BM_Memcpy64KiB bytes_per_second)
read -r inb inf < <(column "$work/inbound.csv" BM_Inbound bytes_per_second frames) || true
split=$(column "$work/inbound.csv" BM_ReassemblyAndBareColonSplit bytes_per_second)
[[ -n "$inb" && -n "$copy2" && -n "$inf" && -n "$split" ]] || die "bench_inbound gave no figures"
row "Inbound path to a no-op host, GB/s ($(calc "$inf / 1e6") M frames/s)" "$(calc "$inb / 1e9")" \
    "$(calc "$copy2 / 1e9") (memcpy 64 KiB)" "$(calc "$inb / $copy2")" ">= 0.05" "$(met "$inb / $copy2 >= 0.05")"
row "  for scale: reassembly + a bare colon split, GB/s" "$(calc "$split / 1e9")" \
    "$(calc "$copy2 / 1e9") (memcpy 64 KiB)" "$(calc "$split / $copy2")" "-" "-"

# ---- 3: IM round trips through tocd's bot against a raw TCP ping-pong, all on CPU 0 ----
start_tocd() { # LOG COMMAND...: starts tocd; sets port and tocd_pid
    local log=$1
    shift
    "$@" >"$log" 2>&1 &
    tocd_pid=$!
    pids+=($tocd_pid)
    wait_for 100 grep -q '^listening on ' "$log" || die "tocd did not start: $(cat "$log")"
    port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$log" | head -n 1)
}
say "IM round trips"
start_tocd "$work/tocd-rtt.log" taskset -c 0 "$tocd" --listen 127.0.0.1:0 --bot echobot --no-rate-limits
taskset -c 0 "$benches/imrtt" "127.0.0.1:$port" echobot 100 >"$work/sizes.txt" || die "imrtt failed"
request=$(value request_bytes "$work/sizes.txt")
reply=$(value reply_bytes "$work/sizes.txt")
# Three turns each, one after the other, so that a burst of other work on CPU 0 does not land on one
# side alone; each figure is the median of its three. The client is also run on Qt's own event
# dispatcher instead of GLib's (Rivir's), to show what the latter costs.
for turn in 1 2 3; do
    taskset -c 0 "$benches/imrtt" "127.0.0.1:$port" echobot "$rtt_rounds" >"$work/imrtt.$turn" || die "imrtt failed"
    QT_NO_GLIB=1 taskset -c 0 "$benches/imrtt" "127.0.0.1:$port" echobot "$rtt_rounds" >"$work/noglib.$turn" \
        || die "imrtt failed"
    taskset -c 0 "$benches/pingpong" "$rtt_rounds" "$request" "$reply" >"$work/pingpong.$turn" || die "pingpong failed"
done
kill "$tocd_pid" && wait "$tocd_pid" 2>/dev/null || true
unset 'pids[-1]'
turns() { for turn in 1 2 3; do value "$1" "$work/$2.$turn"; done | median; }
for p in 50 99; do
    im=$(turns "p${p}_us" imrtt)
    raw=$(turns "p${p}_us" pingpong)
    goal=$([[ $p == 50 ]] && echo 1.5 || echo 2.5)
    row "IM round trip via tocd, p$p (${request} B out, ${reply} B back, CPU 0), us" "$im" "$raw (raw TCP ping-pong)" \
        "$(calc "$im / $raw")" "<= $goal" "$(met "$im / $raw <= $goal")"
done
for p in 50 99; do
    im=$(turns "p${p}_us" noglib)
    raw=$(turns "p${p}_us" pingpong)
    row "  for scale: the same on Qt's dispatcher without GLib, p$p, us" "$im" "$raw (raw TCP ping-pong)" \
        "$(calc "$im / $raw")" "-" "-"
done

# ---- 3b: a burst of 30 IMs from rest, paced to tocd's rate limits, against the model's least time ----
say "30 IMs from rest, paced (about 90 s)"
start_tocd "$work/tocd-burst.log" "$tocd" --listen 127.0.0.1:0
"$benches/imburst" "127.0.0.1:$port" 30 >"$work/burst.txt" || die "imburst failed: $(cat "$work/tocd-burst.log")"
kill "$tocd_pid" && wait "$tocd_pid" 2>/dev/null || true
unset 'pids[-1]'
burst=$(value burst_ms "$work/burst.txt")
least=$(value least_ms "$work/burst.txt")
drops=$(value errors "$work/burst.txt")
row "30 IMs from rest through the pacer, first sent to last received ($drops dropped), s" "$(calc "$burst / 1000")" \
    "$(calc "$least / 1000") (least the server's model allows)" "$(calc "$burst / $least")" "<= 1.2, 0 dropped" \
    "$(met "$burst / $least <= 1.2 && $drops == 0")"

# ---- 4 and 5: the window, idle and starting, beside a bare Qt window under Xvfb ----
display=""
for n in $(seq 171 240); do
    if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then
        display=":$n"
        break
    fi
done
[[ -n "$display" ]] || die "no free X display"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
wait_for 100 xdotool getdisplaygeometry || die "Xvfb did not start on $display"

say "start-up"
# One start-up in ms of a program.
startup() { "$benches/windowprobe" "$@" 2>>"$work/startup.log" | awk '$1 == "startup_ms" { print $2 }'; }
start_tocd "$work/tocd-idle.log" "$tocd" --listen 127.0.0.1:0 --bot echobot
# A first run each, so that both find their libraries in the page cache; then turn about, so that
# both meet the same load on this shared machine.
startup "$benches/barewindow" >/dev/null
startup "$rivir" --server "127.0.0.1:$port" >/dev/null
: >"$work/bare.ms"
: >"$work/rivir.ms"
for ((i = 0; i < startup_runs; i++)); do
    startup "$benches/barewindow" >>"$work/bare.ms"
    startup "$rivir" --server "127.0.0.1:$port" >>"$work/rivir.ms"
done
bare_start=$(median <"$work/bare.ms")
rivir_start=$(median <"$work/rivir.ms")
[[ -n "$bare_start" && -n "$rivir_start" ]] || die "no start-up figures"
row "Start-up to the main window mapped (median of $startup_runs), ms" "$rivir_start" \
    "$bare_start (bare window)" "$(calc "$rivir_start / $bare_start")" "<= 1.5" \
    "$(met "$rivir_start / $bare_start <= 1.5")"

# Per thread of a process: "TID CPU_NS VOLUNTARY_SWITCHES", one line each.
threads() {
    local t
    for t in /proc/"$1"/task/*; do
        awk -v tid="${t##*/}" 'FNR == 1 && FILENAME ~ /schedstat$/ { ns = $1 }
            /^voluntary_ctxt_switches/ { v = $2 }
            END { if (ns != "" && v != "") print tid, ns, v }' "$t/schedstat" "$t/status" 2>/dev/null
    done
}
# What the threads alive at the end did since BEFORE (a file from `threads`): "CPU_NS SWITCHES".
# A thread that ended meanwhile takes its counts with it; one that began counts from zero.
since() { # BEFORE PID
    threads "$2" | awk 'NR == FNR { ns[$1] = $2; v[$1] = $3; next }
        { dns += $2 - ns[$1]; dv += $3 - v[$1] } END { printf "%.0f %d\n", dns, dv }' "$1" -
}
hwm_kib() { awk '/^VmHWM/ { print $2 }' /proc/"$1"/status; }

window_of() { xdotool search --sync --onlyvisible --pid "$1" 2>/dev/null | head -n 1; }
click_in() { xdotool mousemove --window "$1" "$2" "$3" click 1; }

# idle PID: waits the idle period; sets idle_cpu (% of a core), idle_wake (per s), idle_hwm (KiB).
idle() {
    local pid=$1 ns switches
    threads "$pid" >"$work/threads.$pid"
    sleep "$idle_seconds"
    read -r ns switches < <(since "$work/threads.$pid" "$pid")
    idle_cpu=$(calc "$ns / 1e9 / $idle_seconds * 100")
    idle_wake=$(calc "$switches / $idle_seconds")
    idle_hwm=$(hwm_kib "$pid")
}

say "idle bare window (${idle_seconds} s)"
"$benches/barewindow" >"$work/bare.log" 2>&1 &
bare_pid=$!
pids+=($bare_pid)
win=$(window_of "$bare_pid")
[[ -n "$win" ]] || die "the bare window did not appear"
xdotool windowfocus --sync "$win"
click_in "$win" 100 20
sleep 2
idle "$bare_pid"
bare_cpu=$idle_cpu bare_wake=$idle_wake bare_hwm=$idle_hwm
kill "$bare_pid" && wait "$bare_pid" 2>/dev/null || true
unset 'pids[-1]'

say "idle Rivir, signed on (${idle_seconds} s)"
"$rivir" --server "127.0.0.1:$port" >"$work/rivir.log" 2>&1 &
rivir_pid=$!
pids+=($rivir_pid)
win=$(window_of "$rivir_pid")
[[ -n "$win" ]] || die "Rivir's window did not appear"
xdotool windowfocus --sync "$win"
click_in "$win" 80 33
xdotool key ctrl+a type --delay 20 "Bench Idler"
click_in "$win" 80 65
xdotool key ctrl+a type --delay 20 "secretpw"
click_in "$win" 52 96
profile() {
    exec 5<>"/dev/tcp/127.0.0.1/$port" || return 1
    printf 'GET /info?user=benchidler HTTP/1.0\r\n\r\n' >&5
    cat <&5
    exec 5<&-
}
wait_for 100 bash -c "$(declare -f profile); port=$port; profile | grep -q 'Dorvi Rivir'" \
    || die "Rivir did not sign on"
# The password box keeps the focus, its caret blinking like the bare window's.
sleep 2
idle "$rivir_pid"
row "Idle, signed on, wake-ups/s (${idle_seconds} s, all threads)" "$idle_wake" "$bare_wake (bare window)" \
    "$(calc "$idle_wake - $bare_wake") more" "<= +0.1" "$(met "$idle_wake - $bare_wake <= 0.1")"
row "Idle, signed on, CPU % of a core" "$idle_cpu" "$bare_cpu (bare window)" \
    "$(calc "$idle_cpu - $bare_cpu") more" "<= 0.01" "$(met "$idle_cpu <= 0.01")"
row "Peak RSS (VmHWM) after the idle period, MiB" "$(calc "$idle_hwm / 1024")" \
    "$(calc "$bare_hwm / 1024") (bare window)" "$(calc "$idle_hwm / $bare_hwm")" "<= 1.3" \
    "$(met "$idle_hwm / $bare_hwm <= 1.3")"
kill "$rivir_pid" && wait "$rivir_pid" 2>/dev/null || true
unset 'pids[-1]'

# ---- 6: tocd with 10,000 signed-on clients (the clients in a process of their own) ----
say "tocd with $scale_clients clients"
"$benches/tocdscale" "$tocd" "$scale_clients" >"$work/scale.txt" 2>&1 || true
scale() { sed -n "$1" "$work/scale.txt" | head -n 1; }
rss=$(scale 's/.*: \([0-9.]*\) KiB per client.*/\1/p')
idlecpu=$(scale 's/^tocd idle CPU: \([0-9.]*\) %.*/\1/p')
perka=$(scale 's/.*(\([0-9.]*\) us per client.*/\1/p')
p99=$(scale 's/^probe IM round trips.* p99 \([0-9.]*\) ms.*/\1/p')
p99ka=$(scale 's/^probe during keep-alive rounds.* p99 \([0-9.]*\) ms.*/\1/p')
[[ -n "$rss" && -n "$idlecpu" && -n "$perka" && -n "$p99" && -n "$p99ka" ]] \
    || { cat "$work/scale.txt" >&2; die "tocdscale gave no figures"; }
row "tocd, $scale_clients clients: RSS per client, KiB" "$rss" "-" "-" "<= 16" "$(met "$rss <= 16")"
row "tocd, $scale_clients clients: CPU between keep-alives, % core" "$idlecpu" "-" "-" "<= 1" "$(met "$idlecpu <= 1")"
row "tocd, $scale_clients clients: CPU per keep-alive, us" "$perka" "-" "-" "<= 50" "$(met "$perka <= 50")"
row "tocd, $scale_clients clients: probe IM p99 idle / in keep-alives, ms" "$p99 / $p99ka" "-" "-" "<= 50" \
    "$(met "$p99 <= 50 && $p99ka <= 50")"

# ---- the table ----
{
    echo "| figure | measured | baseline (same run) | ratio | goal | met |"
    echo "|---|---|---|---|---|---|"
    for r in "${rows[@]}"; do
        IFS='|' read -r f m b q g ok <<<"$r"
        echo "| $f | $m | $b | $q | $g | $ok |"
    done
} | tee "$build/bench-table.md"
echo "(the table is also in $build/bench-table.md)"
