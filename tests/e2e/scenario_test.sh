#!/usr/bin/env bash
# Two people and the server over 127.0.0.1, as a day of use goes: sign-on, a buddy, IMs both ways,
# a chat, keep-alives, sign-off, and the buddy list back at the next sign-on.
#   scenario_test.sh TOCD TOC_CLI
# Every wait is bounded (30 s) for a busy two-core machine.
set -uo pipefail
tocd=$1 cli=$2
work=$(mktemp -d)
pids=()
declare -A in seen pid
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    for log in "$work"/*.log; do
        echo "--- $(basename "$log")" >&2
        tail -n 8 "$log" >&2
    done
    exit 1
}
alive() { [[ -e /proc/$1 ]] && ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null; }
signon() { # signon NAME SCREEN-NAME PASSWORD [OPTION...]: a toc-cli that reads what `send NAME` writes
    mkfifo "$work/$1.in"
    exec {fd}<>"$work/$1.in"
    in[$1]=$fd seen[$1]=0
    ( # reading its input, then holding no one's open for writing, so that closing ours ends it
        exec <"$work/$1.in"
        for f in "${in[@]}"; do eval "exec $f>&-"; done
        exec "$cli" --server "127.0.0.1:$port" --screen-name "$2" --password "$3" "${@:4}" >"$work/$1.log" 2>&1
    ) &
    pid[$1]=$!
    pids+=($!)
}
send() { echo "$2" >&"${in[$1]}"; }
# expect NAME TEXT: waits for a line of NAME's output holding TEXT, after the line matched last.
expect() {
    local deadline=$((SECONDS + 30)) n
    until n=$(tail -n "+$((seen[$1] + 1))" "$work/$1.log" | grep -n -m 1 -F -- "$2") && [[ -n $n ]]; do
        ((SECONDS < deadline)) || fail "$1 did not print $2"
        sleep 0.1
    done
    seen[$1]=$((seen[$1] + ${n%%:*}))
}
online() { # the server has had toc_init_done: the account answers for itself
    send "$1" "[\"GetStatus\", \"$1\"]"
    expect "$1" "\"BuddyUpdate\",\"args\":[\"$1\",true"
}
exited() { # exited NAME STATUS
    local deadline=$((SECONDS + 30))
    while alive "${pid[$1]}"; do
        ((SECONDS < deadline)) || fail "$1 did not end"
        sleep 0.1
    done
    wait "${pid[$1]}"
    local status=$?
    ((status == $2)) || fail "$1 ended with status $status, not $2"
}

"$tocd" --listen 127.0.0.1:0 --keepalive 1 >"$work/tocd.log" 2>&1 &
pids+=($!)
for ((i = 0; i < 300; i++)); do
    port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/tocd.log")
    [[ -n $port ]] && break
    sleep 0.1
done
[[ -n $port ]] || fail "tocd did not start"

signon alice Alice secret
expect alice '"LoggedIn","args":["alice",[],[],[],[],"",0]'
online alice
send alice '["AddGroup", "Friends"]'
expect alice '"GroupAdded","args":["Friends"]'
send alice '["AddBuddy", "Friends", "bob"]'
expect alice '"BuddyAdded","args":["Friends","bob"'
signon wrong alice wrong
expect wrong '"Error","args":[980,"Invalid account or password"]'
exited wrong 3 # not worth a restart

signon bob "B ob" pw
online bob
expect alice '"BuddyUpdate","args":["bob",true'
im='<font color=\"#ff0000\">Re: 10:30 \"quoted\" costs $5 \\ (a) [b] {c}</font>'
send alice "[\"SendIM\", \"B ob\", \"$im\"]"
expect bob "\"InstantMessage\",\"args\":[\"alice\",\"$im\",false,\" O \"]"
send bob '["SendIM", "alice", "<i>auto:</i> $HOME is \"away\": 1:2:3", true]'
expect alice '"InstantMessage","args":["bob","<i>auto:</i> $HOME is \"away\": 1:2:3",true," O "]'
# A Latin-1 byte and the two bytes of UTF-8 "é" cross unchanged.
send alice '["SendIM", "bob", "caf\u00e9 caf\u00c3\u00a9"]'
expect bob $'"InstantMessage","args":["alice","caf\xc3\xa9 caf\xc3\x83\xc2\xa9",false," O "]'

send alice '["JoinChat", "  Lobby  ", 4]'
expect alice '"JoinedChat","args":["Lobby",0]'
send bob '["JoinChat", "Lobby", 4]'
expect bob '"JoinedChat","args":["Lobby",0]'
expect alice '"ChatUserUpdate","args":["bob",true,0]'
send alice '["SendChat", "Lobby", "<b>hi</b> all: \"$1\" (ok)"]'
expect bob '"ChatMessage","args":[0,"alice","<b>hi</b> all: \"$1\" (ok)"]'
send bob '["LeaveChat", "Lobby"]'
expect bob '"LeftChat","args":[0]'
expect alice '"ChatUserUpdate","args":["bob",false,0]'
send alice '["InviteUsers", "Lobby", "come back: $5 \"please\"", "B ob"]'
expect bob '"ChatInvite","args":["Lobby",'
id=$(sed -n "${seen[bob]}s/.*\"ChatInvite\",\"args\":\[\"Lobby\",\([^,]*\),\"alice\",\"come back: \$5 \\\\\"please\\\\\"\"\].*/\1/p" "$work/bob.log")
[[ -n $id ]] || fail "the invitation did not come whole"
send bob "[\"AcceptChatInvite\", $id]"
expect alice '"ChatUserUpdate","args":["bob",true,0]'

# The server's keep-alives are answered: an IM still flows after one.
expect alice '"IncomingPacket","args":["*\u0005'
send bob '["SendIM", "alice", "still there?"]'
expect alice '"InstantMessage","args":["bob","still there?",false," O "]'

# A script may write before its sign-on is through and end its input at once.
signon carol carol pw
send carol '["SendIM", "alice", "written ahead"]'
eval "exec ${in[carol]}>&-"
expect alice '"InstantMessage","args":["carol","written ahead",false," O "]'
exited carol 0

# An away account answers once per sender, keeps a log, takes commands on its socket and ends on
# SIGTERM as on LogOff.
signon dave dave pw --away 'Out, %n' --control "$work/run/dave.sock" --log-dir "$work/dave"
online dave
send bob '["SendIM", "dave", "one"]'
expect bob '"InstantMessage","args":["dave","Out, bob",true'
send bob '["SendIM", "dave", "two"]'
expect dave '"two",false'
echo '["SetAwayMessage", ""]' | "$cli" --attach "$work/run/dave.sock" || fail "attach"
kill -TERM "${pid[dave]}"
exited dave 0
[[ ! -e $work/run/dave.sock ]] || fail "the socket outlived toc-cli"
[[ $(cut -c10- "$work"/dave/*.log) == $'signed on\nbob: one\n-> bob (auto): Out, bob\nbob: two\nsigned off' ]] ||
    fail "dave's log: $(cat "$work"/dave/*)"

send bob '["LogOff"]'
expect bob '"LoggedOut","args":["bob"]'
exited bob 0
expect alice '"BuddyUpdate","args":["bob",false,0,0,0,"   "]'
eval "exec ${in[alice]}>&-"
exited alice 0
signon again alice secret
expect again '"LoggedIn","args":["alice",["[group]Friends","bob"],[],[],[],"",0]'
echo "end-to-end scenario passed"
