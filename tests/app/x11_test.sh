#!/usr/bin/env bash
# Drives the real program in a real X session as a person would: Xvfb, openbox as the window
# manager, trayer as the tray host, tocd as the server and toc-cli as the other user.
#   x11_test.sh RIVIR TOCD TOC_CLI OUTPUT_DIR
# Screenshots are left in OUTPUT_DIR. Every wait is bounded for a busy two-core machine.
set -uo pipefail

rivir=$1 tocd=$2 cli=$3 out=$4
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.log
work=$(mktemp -d)
pids=()

trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    [[ -n "${DISPLAY:-}" ]] && import -window root "$out/failure.png" 2>/dev/null
    tail -n 20 "$work"/*.log >&2
    cp "$work"/*.log "$out/"
    exit 1
}

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}
start() { # start NAME COMMAND...: runs it in the background with its output in NAME.log
    local name=$1
    shift
    "$@" >"$work/$name.log" 2>&1 &
    pids+=($!)
}
# A child that has exited stays a zombie until waited for, and kill -0 still finds it.
alive() { [[ -e /proc/$1 ]] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null; }
ended() { ! alive "$1"; }
window() { xdotool search --onlyvisible --name "^$1\$" | head -n 1; }
shown() { [[ -n "$(window "$1")" ]]; }
hidden() { ! shown "$1"; }
click_in() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep 0.2; }
type_in() { click_in "$@"; xdotool key ctrl+a type --delay 30 "$4"; }

# The X server picks a free display itself and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for 60 grep -q '[0-9]' "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$work/display")"
start openbox openbox
wait_for 60 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start"
start trayer trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
    --SetPartialStrut true --transparent false --tint 0x202020
wait_for 60 shown panel || fail "trayer did not start"

start tocd "$tocd" --listen 127.0.0.1:0
wait_for 60 grep -q '^listening on ' "$work/tocd.log" || fail "tocd did not start"
port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/tocd.log" | head -n 1)
mkfifo "$work/cli.in"
exec 4<>"$work/cli.in" # opened both ways, so that neither end waits for the other
"$cli" --server "127.0.0.1:$port" --screen-name "Cli Friend" --password friendpw <"$work/cli.in" >"$work/cli.log" 2>&1 &
pids+=($!)
wait_for 60 grep -q '"event":"LoggedIn"' "$work/cli.log" || fail "toc-cli did not sign on"

# A private session bus with a mocked notification server, which logs each call.
start bus dbus-daemon --session --nofork --print-address=1
wait_for 30 grep -q '^unix:' "$work/bus.log" || fail "dbus-daemon did not start"
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus.log")
start notify /usr/bin/python3 -m dbusmock --template notification_daemon -l "$work/notify-calls.log"
wait_for 30 gdbus introspect --session --dest org.freedesktop.Notifications --object-path / || fail "no mock server"
notified() { grep -c ' Notify ' "$work/notify-calls.log"; }

# ---- sign on by typing into the main window ----
start rivir "$rivir" --server "127.0.0.1:$port"
rivir_pid=${pids[-1]}
wait_for 60 shown "Dorvi Rivir 4.0" || fail "the main window did not appear"
main=$(window "Dorvi Rivir 4.0")
sleep 0.5
type_in "$main" 80 33 "Rivir Tester"
type_in "$main" 80 65 "secretpw"
click_in "$main" 52 96
# Online: the service shows the account's profile, the advert.
profile() {
    exec 5<>"/dev/tcp/127.0.0.1/$port" && printf 'GET /info?user=rivirtester HTTP/1.0\r\n\r\n' >&5 && cat <&5
}
wait_for 60 bash -c "$(declare -f profile); port=$port; profile | grep -q 'Dorvi Rivir 4.0<br>Get it'" \
    || fail "the account did not come online with its profile"
import -window "$main" "$out/main-online.png"

# ---- an IM opens "Incoming IMs"; Enter sends the reply ----
echo '["SendIM", "rivirtester", "<b>hello</b> from the cli & <3", false]' >&4
wait_for 60 shown "Incoming IMs" || fail "the IM window did not open"
im=$(window "Incoming IMs")
sleep 0.5
type_in "$im" 100 105 "pong back"
xdotool key Return
wait_for 60 grep -q '"event":"InstantMessage","args":\[[^]]*"pong back"' "$work/cli.log" \
    || fail "toc-cli did not receive the reply"
import -window "$im" "$out/incoming-ims.png"
# The first IM came while the window was not there: a notification. The next one, while the
# window is the active one, makes none.
grep -q 'Notify "Rivir" 0 "rivir" "clifriend" "hello from the cli &amp; &lt;3" \["default", "Open"\] {"category": "im.received", "desktop-entry": "net.dorvi.Rivir"} -1$' \
    "$work/notify-calls.log" || fail "no notification of the IM"
echo '["SendIM", "rivirtester", "seen", false]' >&4
sleep 1
(($(notified) == 1)) || fail "a notification while the IM window was active"

# ---- Send To Tray; closing "Incoming IMs" meanwhile does not end the program; a double-click
# on the icon brings the window back ----
click_in "$main" 212 64
wait_for 30 hidden "Dorvi Rivir 4.0" || fail "Send To Tray did not hide the main window"
sleep 0.5
import -window root "$out/in-tray.png"
eval "$(xdotool getwindowgeometry --shell "$(window panel)")"
((WIDTH >= 16)) || fail "no icon in the tray (tray is ${WIDTH}px wide)"
xdotool windowactivate --sync "$im" key alt+F4
wait_for 30 hidden "Incoming IMs" || fail "the IM window did not close"
sleep 0.3
alive "$rivir_pid" || fail "Rivir ended when the IM window closed while in the tray"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click --repeat 2 --delay 100 1
wait_for 30 shown "Dorvi Rivir 4.0" || fail "a double-click on the tray icon did not bring the window back"
main=$(window "Dorvi Rivir 4.0")
import -window root "$out/desktop.png"

# ---- the next IM replaces the sender's notification; choosing it raises the IM window ----
echo '["SendIM", "rivirtester", "again", false]' >&4
wait_for 30 grep -q 'Notify "Rivir" 1 "rivir" "clifriend" "again"' "$work/notify-calls.log" || fail "the notification was not replaced"
xdotool windowactivate --sync "$main"
gdbus call --session --dest org.freedesktop.Notifications --object-path /org/freedesktop/Notifications --method \
    org.freedesktop.DBus.Mock.EmitSignal org.freedesktop.Notifications ActionInvoked us "[<uint32 1>, <'default'>]"
wait_for 30 sh -c '[ "$(xdotool getactivewindow getwindowname)" = "Incoming IMs" ]' || fail "the IM window was not raised"
xdotool key alt+F4
wait_for 30 hidden "Incoming IMs" || fail "the IM window did not close"

# ---- dragging by the background moves the window ----
eval "$(xdotool getwindowgeometry --shell "$main")"
x0=$X y0=$Y
xdotool mousemove --window "$main" 320 140 mousedown 1
for step in 1 2 3 4 5 6; do
    xdotool mousemove_relative -- 10 7
    sleep 0.05
done
xdotool mouseup 1
sleep 0.3
eval "$(xdotool getwindowgeometry --shell "$main")"
((X - x0 >= 50 && X - x0 <= 70 && Y - y0 >= 32 && Y - y0 <= 52)) || fail "dragging the background moved the window by $((X - x0)),$((Y - y0)), not about 60,42"

# ---- closing the main window ends the program, cleanly ----
xdotool windowactivate --sync "$main" key alt+F4
wait_for 60 ended "$rivir_pid" || fail "Rivir did not end when its main window closed"
wait "$rivir_pid"
status=$?
((status == 0)) || fail "Rivir ended with status $status"
cp "$work"/*.log "$out/" 2>/dev/null
echo "x11 smoke test passed; screenshots in $out"
