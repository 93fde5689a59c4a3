#!/usr/bin/env bash
# Starts a local tocd on 127.0.0.1:5190 (unless something already listens there) and Rivir on it.
# A tocd started here is stopped when Rivir exits. Arguments go to rivir (e.g. --server HOST:PORT).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/dev"
tocd="$build/tocd/tocd"
rivir="$build/app/rivir"

if [[ ! -x "$rivir" ]]; then
    echo "run.sh: $rivir is missing; run 'make build' first." >&2
    exit 1
fi

listening() {
    (exec 3<>/dev/tcp/127.0.0.1/5190) 2>/dev/null
}

tocd_pid=""
tocd_log=""
cleanup() {
    if [[ -n "$tocd_pid" ]] && kill -0 "$tocd_pid" 2>/dev/null; then
        kill "$tocd_pid" 2>/dev/null || true
        wait "$tocd_pid" 2>/dev/null || true
    fi
    [[ -n "$tocd_log" ]] && rm -f "$tocd_log"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if listening; then
    echo "run.sh: something already listens on 127.0.0.1:5190; using it." >&2
else
    if [[ ! -x "$tocd" ]]; then
        echo "run.sh: $tocd is missing; run 'make build' first." >&2
        exit 1
    fi
    tocd_log=$(mktemp)
    "$tocd" --listen 127.0.0.1:5190 --bot rivirbot >"$tocd_log" 2>&1 &
    tocd_pid=$!
    # tocd prints "listening on HOST:PORT" once it accepts connections.
    for _ in $(seq 50); do
        grep -q '^listening on ' "$tocd_log" && break
        if ! kill -0 "$tocd_pid" 2>/dev/null; then
            echo "run.sh: tocd did not start:" >&2
            cat "$tocd_log" >&2
            exit 1
        fi
        sleep 0.1
    done
    grep -q '^listening on ' "$tocd_log" || { echo "run.sh: tocd is not listening" >&2; exit 1; }
    echo "run.sh: $(head -n 1 "$tocd_log") (stopped when Rivir exits)" >&2
fi

"$rivir" "$@"
