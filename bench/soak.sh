#!/usr/bin/env bash
# toc-cli idling against tocd at its shortest keep-alive period, with the profile refresh running:
# after tens of thousands of keep-alives neither process may have grown. Not part of `make test`.
#   bench/soak.sh [BUILD_DIR]        (default build/dev; `make soak` builds it first)
set -euo pipefail

build=${1:-build/dev}
keepalives=${SOAK_KEEPALIVES:-30000}
min_seconds=${SOAK_SECONDS:-65} # longer than the 60 s profile refresh, so one runs
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
packets() { grep -c '"IncomingPacket"' "$work/cli.out" || true; }
seen() { (($(packets) >= $1)); }
lasted() { ((SECONDS - start >= $1)); }
wait_until() { # SECONDS COMMAND...
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || { echo "soak: timed out waiting for: $*" >&2; exit 1; }
        sleep 0.5
    done
}

"$build/tocd/tocd" --listen 127.0.0.1:0 --keepalive 0.001 >"$work/tocd.out" &
pids+=($!)
wait_until 30 grep -q "listening on " "$work/tocd.out"
address=$(sed -n 's/^listening on //p' "$work/tocd.out")
mkfifo "$work/in"
"$build/tools/toc-cli" --server "$address" --screen-name Soaker --password pw \
    --profile '<b>idling</b> <a href="aim:GoIM?screenname=Soaker">say hi</a>' <"$work/in" >"$work/cli.out" &
pids+=($!)
exec 3>"$work/in" # stdin stays open: toc-cli idles instead of ending

# Warm up first: the first keep-alives grow buffers to their working size.
wait_until 120 grep -q '"LoggedIn"' "$work/cli.out"
wait_until 120 seen 2000
start=$SECONDS
cli_start=$(rss "${pids[1]}") tocd_start=$(rss "${pids[0]}")
wait_until 900 seen $((2000 + keepalives))
wait_until $((min_seconds + 60)) lasted "$min_seconds"
cli_end=$(rss "${pids[1]}") tocd_end=$(rss "${pids[0]}")
echo "soak: $(($(packets) - 2000)) keep-alives in $((SECONDS - start)) s;" \
    "toc-cli RSS $cli_start -> $cli_end KiB, tocd RSS $tocd_start -> $tocd_end KiB"
# No growth: a few pages of slack for the allocator, nothing per keep-alive.
((cli_end <= cli_start + 1024 && tocd_end <= tocd_start + 1024)) || { echo "soak: memory grew" >&2; exit 1; }
