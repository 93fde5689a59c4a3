#!/usr/bin/env bash
# Drives the real program in a real X session as a person would: Xvfb, openbox as the window
# manager, trayer as the tray host, tocd as the server and toc-cli as the other user.
#   x11_test.sh RIVIR TOCD TOC_CLI OUTPUT_DIR
# Screenshots of both windows and of the whole screen are left in OUTPUT_DIR.
set -uo pipefail

rivir=$1 tocd=$2 cli=$3 out=$4
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.log
work=$(mktemp -d)
pids=()

cleanup() {
    local pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    exec 4>&- 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    [[ -n "${DISPLAY:-}" ]] && import -window root "$out/failure.png" 2>/dev/null
    for log in "$work"/*.log; do
        [[ -f "$log" ]] && { echo "--- $(basename "$log")" >&2; tail -n 20 "$log" >&2; }
        cp "$log" "$out/" 2>/dev/null
    done
    exit 1
}

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    local tenths=$1
    shift
    for ((t = 0; t < tenths; t++)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# A child that has exited stays a zombie until waited for, and kill -0 still finds it.
alive() { [[ -e /proc/$1 ]] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null; }
ended() { ! alive "$1"; }

visible_window() { xdotool search --onlyvisible --name "^$1\$" | head -n 1; }
has_visible_window() { [[ -n "$(visible_window "$1")" ]]; }

window_xy() { # prints "X Y" of a window's top-left corner on the screen
    xdotool getwindowgeometry --shell "$1" | awk -F= '/^X=/{x=$2} /^Y=/{y=$2} END{print x, y}'
}

# Clicks at (x, y) inside a window's client area.
click_in() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep 0.2; }

# ---- X server, window manager, tray host ----
display=""
for n in $(seq 91 160); do
    if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then
        display=":$n"
        break
    fi
done
[[ -n "$display" ]] || fail "no free X display"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
wait_for 300 xdotool getdisplaygeometry || fail "Xvfb did not start on $display"

openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 300 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start"

trayer --edge top --align right --widthtype request --height 32 --SetDockType true --SetPartialStrut true \
    --transparent false --tint 0x202020 >"$work/trayer.log" 2>&1 &
pids+=($!)
wait_for 300 sh -c 'xdotool search --onlyvisible --name "^panel$" | grep -q .' || fail "trayer did not start"

# ---- server and the other user ----
"$tocd" --listen 127.0.0.1:0 --bot rivirbot >"$work/tocd.log" 2>&1 &
pids+=($!)
wait_for 100 grep -q '^listening on ' "$work/tocd.log" || fail "tocd did not start"
port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/tocd.log" | head -n 1)
[[ -n "$port" ]] || fail "no port in tocd's first line"

mkfifo "$work/cli.in"
"$cli" --server "127.0.0.1:$port" --screen-name "Cli Friend" --password friendpw <"$work/cli.in" >"$work/cli.log" 2>&1 &
pids+=($!)
exec 4>"$work/cli.in"
wait_for 100 grep -q '"event":"LoggedIn"' "$work/cli.log" || fail "toc-cli did not sign on"

# ---- the main window ----
"$rivir" --server "127.0.0.1:$port" >"$work/rivir.log" 2>&1 &
rivir_pid=$!
pids+=($rivir_pid)
wait_for 100 has_visible_window "Dorvi Rivir 4.0" || fail "the main window did not appear"
main=$(visible_window "Dorvi Rivir 4.0")
sleep 0.5

click_in "$main" 80 33
xdotool key ctrl+a type --delay 30 "Rivir Tester"
click_in "$main" 80 65
xdotool key ctrl+a type --delay 30 "secretpw"
click_in "$main" 52 96 # Sign On

# Online: the service has the account signed on with the advert as its profile.
profile() {
    exec 5<>"/dev/tcp/127.0.0.1/$port" || return 1
    printf 'GET /info?user=rivirtester HTTP/1.0\r\n\r\n' >&5
    cat <&5
    exec 5<&-
}
wait_for 100 bash -c "$(declare -f profile); port=$port; profile | grep -q 'Dorvi Rivir 4.0<br>Get it'" \
    || fail "the account did not come online with its profile"
sleep 0.3
import -window "$main" "$out/main-online.png"

# ---- an IM opens "Incoming IMs"; Enter sends the reply ----
echo '["SendIM", "rivirtester", "<b>hello</b> from the cli", false]' >&4
wait_for 100 has_visible_window "Incoming IMs" || fail "the IM window did not open"
im=$(visible_window "Incoming IMs")
sleep 0.5
click_in "$im" 100 105
xdotool key ctrl+a type --delay 30 "pong back"
xdotool key Return
wait_for 100 grep -q '"event":"InstantMessage","args":\[[^]]*"pong back"' "$work/cli.log" \
    || fail "toc-cli did not receive the reply"
sleep 0.3
import -window "$im" "$out/incoming-ims.png"
import -window root "$out/desktop.png"

# ---- Send To Tray, then a double-click on the icon ----
click_in "$main" 212 64
wait_for 50 sh -c "! xdotool search --onlyvisible --name '^Dorvi Rivir 4.0\$' | grep -q ." \
    || fail "Send To Tray did not hide the main window"
sleep 0.5
import -window root "$out/in-tray.png"
panel=$(xdotool search --onlyvisible --name "^panel$" | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$panel")"
[[ $WIDTH -ge 16 ]] || fail "no icon in the tray (tray is ${WIDTH}px wide)"

# Closing "Incoming IMs" while the main window is in the tray must not end the program.
xdotool windowactivate --sync "$im" key alt+F4
wait_for 50 sh -c "! xdotool search --onlyvisible --name '^Incoming IMs\$' | grep -q ." \
    || fail "the IM window did not close"
sleep 0.3
alive "$rivir_pid" || fail "Rivir ended when the IM window closed while in the tray"

xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click --repeat 2 --delay 100 1
wait_for 50 has_visible_window "Dorvi Rivir 4.0" || fail "a double-click on the tray icon did not bring the window back"
sleep 0.3

# ---- dragging by the background moves the window ----
main=$(visible_window "Dorvi Rivir 4.0")
read -r x0 y0 < <(window_xy "$main")
xdotool mousemove --window "$main" 320 140 mousedown 1
for step in 1 2 3 4 5 6; do
    xdotool mousemove_relative -- 10 7
    sleep 0.05
done
xdotool mouseup 1
sleep 0.3
read -r x1 y1 < <(window_xy "$main")
dx=$((x1 - x0)) dy=$((y1 - y0))
((dx >= 50 && dx <= 70 && dy >= 32 && dy <= 52)) || fail "dragging the background moved the window by $dx,$dy, not about 60,42"
import -window root "$out/dragged.png"

alive "$rivir_pid" || fail "Rivir is not running at the end"

# ---- closing the main window ends the program, cleanly ----
xdotool windowactivate --sync "$main" key alt+F4
wait_for 150 ended "$rivir_pid" || fail "Rivir did not end when its main window closed"
wait "$rivir_pid"
status=$?
((status == 0)) || fail "Rivir ended with status $status"
cp "$work"/*.log "$out/" 2>/dev/null
echo "x11 smoke test passed; screenshots in $out"
