#!/usr/bin/env python3
"""Records real traffic between toc-cli and tocd as seed inputs.

Starts tocd on a free loopback port and a recording relay in front of it, signs two toc-cli
clients on through the relay, has them exchange IMs, join a room and chat, then writes what each
side received: the server's bytes to corpus/inbound/ (what the control reads) and the clients'
bytes to corpus/tocd/ (what the service reads). Usage: capture.py BUILD_DIR
"""
import json
import os
import select
import socket
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))


class Relay(threading.Thread):
    def __init__(self, upstream_port):
        super().__init__(daemon=True)
        self.upstream_port = upstream_port
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen()
        self.port = self.listener.getsockname()[1]
        self.sessions = []  # (client bytes, server bytes) per connection
        self.stopping = False

    def run(self):
        while not self.stopping:
            ready, _, _ = select.select([self.listener], [], [], 0.2)
            if ready:
                client, _ = self.listener.accept()
                record = [bytearray(), bytearray()]
                self.sessions.append(record)
                threading.Thread(target=self.pump, args=(client, record), daemon=True).start()

    def pump(self, client, record):
        server = socket.create_connection(("127.0.0.1", self.upstream_port))
        ends = {client: (server, record[0]), server: (client, record[1])}
        while True:
            ready, _, _ = select.select(list(ends), [], [], 30)
            if not ready:
                break
            for s in ready:
                chunk = s.recv(65536)
                if not chunk:
                    client.close()
                    server.close()
                    return
                peer, log = ends[s]
                log += chunk
                peer.sendall(chunk)


def wait_for(proc, event, timeout=10):
    deadline = time.time() + timeout
    while time.time() < deadline:
        ready, _, _ = select.select([proc.stdout], [], [], max(0.0, deadline - time.time()))
        if not ready:
            break
        line = proc.stdout.readline()
        if not line:
            break
        if json.loads(line).get("event") == event:
            return
    raise SystemExit("no %s from toc-cli" % event)


def main():
    build = sys.argv[1]
    tocd = subprocess.Popen([os.path.join(build, "tocd", "tocd"), "--listen", "127.0.0.1:0", "--keepalive", "1",
                             "--bot", "echo bot"], stdout=subprocess.PIPE, text=True)
    port = int(tocd.stdout.readline().rsplit(":", 1)[1])
    relay = Relay(port)
    relay.start()
    cli = os.path.join(build, "tools", "toc-cli")
    server = "127.0.0.1:%d" % relay.port

    def start(name):
        return subprocess.Popen([cli, "--server", server, "--screen-name", name, "--password", "secret",
                                 "--profile", "<b>%s</b> idles" % name],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)

    def send(proc, *command):
        proc.stdin.write(json.dumps(command) + "\n")
        proc.stdin.flush()

    try:
        alice = start("Alice Liddell")
        wait_for(alice, "LoggedIn")
        bob = start("bob")
        wait_for(bob, "LoggedIn")
        # Once alice hears that bob is online, bob has finished signing on and can be messaged.
        send(alice, "AddBuddy", "Friends", "bob")
        wait_for(alice, "BuddyUpdate")
        send(alice, "SendIM", "bob", "<b>hello</b> bob: how are you?")
        wait_for(bob, "InstantMessage")
        send(bob, "SendIM", "aliceliddell", "fine \u00e9 thanks", True)
        wait_for(alice, "InstantMessage")
        send(alice, "SendIM", "echo bot", "ping")
        wait_for(alice, "InstantMessage")
        send(alice, "JoinChat", "Tea Party", 4)
        wait_for(alice, "JoinedChat")
        send(bob, "JoinChat", "Tea Party", 4)
        wait_for(bob, "JoinedChat")
        send(bob, "SendChat", "Tea Party", "hi all: one, two")
        wait_for(alice, "ChatMessage")
        send(alice, "GetStatus", "bob")
        send(alice, "BlockUser", "eve")
        send(alice, "SetAwayMessage", "out")
        send(alice, "SetIdleTime", 5)
        send(alice, "FormatUserName", "Alice  Liddell")
        send(alice, "LeaveChat", "Tea Party")
        wait_for(alice, "LeftChat")
        time.sleep(1.5)  # one keep-alive each way
        for proc in (alice, bob):
            send(proc, "LogOff")
            proc.stdin.close()
            proc.wait(10)
    finally:
        relay.stopping = True
        tocd.terminate()
        tocd.wait()

    for i, (from_client, from_server) in enumerate(relay.sessions):
        # A first byte of 0 hands the whole capture over in one read; 7 cuts it into small reads.
        for cut in (0, 7):
            with open(os.path.join(HERE, "corpus", "inbound", "captured-%d-%d" % (i, cut)), "wb") as f:
                f.write(bytes([cut]) + from_server)
            with open(os.path.join(HERE, "corpus", "tocd", "captured-%d-%d" % (i, cut)), "wb") as f:
                f.write(bytes([cut]) + from_client)
        print("session %d: %d bytes from the client, %d from the server" % (i, len(from_client), len(from_server)))


if __name__ == "__main__":
    main()
