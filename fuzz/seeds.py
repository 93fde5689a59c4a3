#!/usr/bin/env python3
"""Writes the hand-made seed inputs of the fuzz targets into corpus/<target>/.

Real traffic comes from capture.py; these cover the messages and corners a short session does not.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def frame(kind, payload, seq=0):
    if isinstance(payload, str):
        payload = payload.encode("latin-1")
    return b"*" + bytes([kind]) + struct.pack(">HH", seq, len(payload)) + payload


def data(text, seq=0):
    return frame(2, text, seq)


def write(target, name, blob):
    path = os.path.join(HERE, "corpus", target)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), "wb") as f:
        f.write(blob)


SERVER_MESSAGES = [
    "SIGN_ON:TOC2.0", "NICK:Joe Smith", "CONFIG2:m:1\ng:Buddies\nb:bob:Bob:::::x\nd:eve\np:al\npref:xyz\nx:y\ndone:\n",
    "ERROR:980", "ERROR:901:bob", "ERROR", "ERROR:", "UPDATE_BUDDY2:bob:T:10:1700000000:5: O :x",
    "UPDATE_BUDDY2:bob:F:x:1:2: O ", "BUDDY_CAPS2:bob:094613,094614", "BART2:bob:0 2 abc",
    "CHAT_JOIN:7:Room", "CHAT_JOIN:0:Zero", "CHAT_JOIN:99999999999:Big", "CHAT_UPDATE_BUDDY:7:T:a:b:c",
    "CHAT_UPDATE_BUDDY:7:F", "CHAT_IN_ENC:7:bob:F:A:en:hi: there", "CHAT_LEFT:7", "CHAT_LEFT:x",
    "IM_IN_ENC2:bob:F:F:T: O :F:A:en:<b>hi</b>:x", "IM_IN_ENC2:bob", "INSERTED2:b:Group:bob:Bobby",
    "INSERTED2:g:Group", "INSERTED2:p:al", "INSERTED2:d:eve", "INSERTED2:z", "UPDATED2:b:x",
    "DELETED2:b:Group:bob", "DELETED2:g:Group", "DELETED2:p:al", "DELETED2:d:eve",
    "CHAT_INVITE:Room:8:bob:come in", "GOTO_URL:bob:info?x=1", "EVILED:50:", "EVILED:10:bob",
    "ADMIN_NICK_STATUS:0", "ADMIN_PASSWD_STATUS:0", "RVOUS_PROPOSE:bob:uuid:cookie:1:a:b:c:5190",
    "CLIENT_EVENT2:bob:2", "CLIENT_EVENT2:bob:70000", "HELLO:x", "nick:lower",
]


def inbound():
    signon = frame(1, b"\x00\x00\x00\x01")
    for i, msg in enumerate(SERVER_MESSAGES):
        cut = bytes([i % 9])
        write("inbound", "msg-%02d" % i, cut + signon + data(msg, 1))
    everything = b"".join(data(m, i + 1) for i, m in enumerate(SERVER_MESSAGES))
    write("inbound", "all-messages", b"\x07" + signon + everything)
    write("inbound", "keepalives", b"\x03" + frame(5, b"") * 20)
    write("inbound", "types", b"\x02" + b"".join(frame(t, b"x") for t in (0, 3, 4, 9, 42, 255)))
    write("inbound", "not-a-marker", b"\x01" + b"hello world, this is not FLAP\n")
    write("inbound", "long-length", b"\x05" + b"*\x02\x00\x01\xff\xff" + b"A" * 100)
    write("inbound", "nul-frames", b"\x04" + frame(2, b"\x00" * 40) + frame(0, b"\x00" * 10))
    write("inbound", "chat-joins", b"\x06" + b"".join(data("CHAT_JOIN:%d:Room %d" % (i, i)) for i in range(12))
          + data("CHAT_LEFT:3") + data("CHAT_JOIN:40:Late"))
    write("inbound", "config-split", b"\x02" + data("CONFIG2:m:1\ng:Buddies\n") + data("CONFIG2:b:joe\ndone:\n"))
    write("inbound", "logoff-inside", b"\x03" + signon + data("ADMIN_PASSWD_STATUS") + data("NICK:after"))


def config():
    write("config", "two-messages", b"m:1\ng:Buddies\n\x1eb:joe\ndone:\n")
    write("config", "only-done", b"done:\n")
    write("config", "every-kind", b"g:G\nb:a:::::b\nd:x\npref:1\npref:2\np:y\nm:12\nm:x\nq:z\ndone:\ntrail\n")
    write("config", "marker-inside-line", b"b:xdone:\nrest")
    write("config", "marker-split", b"m:1\ndo\x1ene:\n\x1edone:\n")
    write("config", "upper-case", b"DONE:\n\x1eg:G\n")
    write("config", "repeated", b"g:A\ndone:\n\x1eg:B\ndone:\n")


def removehtml():
    for i, text in enumerate([
        b"<b>hi</b> there", b"a > b < c", b"<<>>", b"<html><body><font color=\"#ff0000\">red</font></body></html>",
        b"no tags at all", b"<unclosed", b"x<a>y<b", b"&amp; <br>", b"\xc3\xa9<i>\xe9</i>",
    ]):
        write("removehtml", "text-%02d" % i, text)


def tocd():
    def cmd(text, seq):
        return frame(2, text.encode("latin-1") + b"\x00", seq)
    greeting = b"FLAPON\n\n"
    signon = frame(1, b"\x00\x00\x00\x01\x00\x01\x00\x05fuzzy", 0)
    login = cmd("toc2_login login.oscar.aol.com 5190 fuzzy 0x270c005d311b English  \"OrbTOCSock 2.0\" 160 US \"\" \"\" "
                "3 0 30303 -kentucky -utf8 58203917", 1)
    commands = [
        "toc_init_done", "toc_set_info \"<b>me</b>\"", "toc2_send_im alice \"hello\"", "toc2_send_im \"echo bot\" hi",
        "toc_get_info alice", "toc_get_status bob", "toc_set_away \"gone\"", "toc_set_away", "toc_set_idle 60",
        "toc_set_caps 09461343-4C7F-11D1-8222-444553540000", "toc_evil bob norm", "toc_evil bob anon",
        "toc_format_nickname \"F u z z y\"", "toc_change_passwd 0x270c005d311b 0x231b0c4133",
        "toc2_client_event alice 2", "toc2_new_buddies {g:Friends\nb:alice\nb:bob:Bobby\n}",
        "toc2_remove_buddy bob Friends", "toc2_new_group Work", "toc2_del_group Work", "toc2_add_deny bob",
        "toc2_remove_deny bob", "toc2_add_permit alice", "toc2_remove_permit alice", "toc2_set_pdmode 3",
        "toc_chat_join 4 \"Room\"", "toc_chat_send 0 \"hi all\"", "toc_chat_invite 0 \"come\" alice bob",
        "toc_chat_leave 0", "toc_chat_accept 0", "toc_send_im alice \"unterminated", "toc_bogus", "",
    ]
    body = b"".join(cmd(c, i + 2) for i, c in enumerate(commands))
    write("tocd", "session", b"\x00" + greeting + signon + login + body)
    write("tocd", "session-split", b"\x05" + greeting + signon + login + body)
    write("tocd", "crlf-greeting", b"\x03" + b"FLAPON\r\n\r\n" + signon + login)
    write("tocd", "garbage-greeting", b"\x02" + b"FLAPOFF\n\n")
    write("tocd", "http-info", b"\x04" + b"GET /info?user=alice HTTP/1.1\r\nHost: x\r\n\r\n")
    write("tocd", "http-head", b"\x01" + b"HEAD /info?user=al%69ce HTTP/1.0\n\n")
    write("tocd", "http-bad", b"\x00" + b"POST / HTTP/1.1\r\n\r\n")
    write("tocd", "http-percent", b"\x00" + b"GET /info?user=%zz HTTP/1.1\r\n\r\n")
    write("tocd", "oversized-frame", b"\x07" + greeting + signon + frame(2, b"x" * 2100, 1))
    write("tocd", "wrong-password", b"\x00" + greeting + signon + login + greeting + b"junk")
    write("tocd", "keepalive-first", b"\x02" + greeting + frame(5, b"") + signon + frame(5, b"") + login)


inbound()
config()
removehtml()
tocd()
