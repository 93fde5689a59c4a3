# toc-cli under a unit of Type=notify, on a private system bus with mocked logind and
# NetworkManager: systemd's lines, a probe on resume and on a new route, no attempts spent
# without a network and one at once when it is back.
import os, queue, socket, subprocess, sys, tempfile, threading, time, unittest
import dbus, dbusmock
from dbusmock.templates.networkmanager import MANAGER_IFACE, MANAGER_OBJ, SETTINGS_IFACE, SETTINGS_OBJ, NMState

TOCD, TOC_CLI = sys.argv[1], sys.argv[2]


def lines_of(stream):
    q = queue.Queue()
    threading.Thread(target=lambda: [q.put(line) for line in stream], daemon=True).start()
    return q


def wait_for(q, test, timeout=5):
    end, seen = time.monotonic() + timeout, []
    while time.monotonic() < end:
        try:
            item = q.get(timeout=max(0.01, end - time.monotonic()))
        except queue.Empty:
            break
        if test(item):
            return item
        seen.append(item)
    raise AssertionError('nothing matched within %s s, only %s' % (timeout, seen[-5:]))


class SystemTest(dbusmock.DBusTestCase):
    @classmethod
    def setUpClass(cls):
        cls.start_system_bus()
        cls.logind, cls.logind_obj = cls.spawn_server_template('logind', {}, stdout=subprocess.DEVNULL)
        cls.nm, cls.nm_obj = cls.spawn_server_template('networkmanager', {}, stdout=subprocess.DEVNULL)
        cls.get_dbus(True).get_object(MANAGER_IFACE, MANAGER_OBJ).AddProperty(
            MANAGER_IFACE, 'PrimaryConnection', dbus.ObjectPath('/'), dbus_interface=dbusmock.MOCK_IFACE)

    @classmethod
    def tearDownClass(cls):
        for p in (cls.logind, cls.nm):
            p.terminate()
            p.wait()
        super().tearDownClass()

    def tocd(self, port=0):
        server = subprocess.Popen([TOCD, '--listen', '127.0.0.1:%d' % port], stdout=subprocess.PIPE, text=True)
        self.addCleanup(lambda: (server.kill(), server.wait()))
        return server, int(server.stdout.readline().split(':')[-1])

    def test_toc_cli_follows_the_system_and_tells_systemd(self):
        tmp = tempfile.mkdtemp()
        notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        notify.bind(os.path.join(tmp, 'notify'))
        server, port = self.tocd()
        env = dict(os.environ, NOTIFY_SOCKET=os.path.join(tmp, 'notify'), WATCHDOG_USEC='300000', TOC_PASSWORD='pw')
        cli = subprocess.Popen([TOC_CLI, '--server', '127.0.0.1:%d' % port, '--screen-name', 'Sys Test'],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
        self.addCleanup(lambda: (cli.kill(), cli.wait()))
        events, states = lines_of(cli.stdout), queue.Queue()
        threading.Thread(target=lambda: [states.put((time.monotonic(), notify.recv(4096).decode())) for _ in iter(int, 1)],
                         daemon=True).start()
        state = lambda text: wait_for(states, lambda s: s[1] == text or s[1].startswith(text))
        state('READY=1')
        state('STATUS=Signing on')
        state('STATUS=Online as Sys Test since %s' % time.strftime('%H:')[:-1])
        pings = [state('WATCHDOG=1')[0] for _ in range(3)]
        self.assertTrue(all(0.1 < b - a < 0.3 for a, b in zip(pings, pings[1:])), pings)

        probe = lambda: wait_for(events, lambda l: 'GOTO_URL:' in l, timeout=3)  # the answer to the probe
        self.logind_obj.EmitSignal('org.freedesktop.login1.Manager', 'PrepareForSleep', 'b', [True])
        self.assertRaises(AssertionError, probe)
        self.logind_obj.EmitSignal('org.freedesktop.login1.Manager', 'PrepareForSleep', 'b', [False])
        probe()

        nm = dbus.Interface(self.nm_obj, dbusmock.MOCK_IFACE)
        dev = nm.AddEthernetDevice('mock_Ethernet1', 'eth0', 100)
        settings = dbus.Interface(self.get_dbus(True).get_object(MANAGER_IFACE, SETTINGS_OBJ), SETTINGS_IFACE)
        con = settings.AddConnection({'connection': {'id': 'wired', 'type': '802-3-ethernet'}})
        active = nm.AddActiveConnection([dev], con, '/', 'wired', 2)
        nm.SetProperty(MANAGER_OBJ, MANAGER_IFACE, 'PrimaryConnection', dbus.ObjectPath(active))
        probe()

        nm.SetGlobalConnectionState(NMState.NM_STATE_DISCONNECTED)
        server.kill()
        server.wait()
        state('STATUS=Waiting for the network')
        self.server = self.tocd(port)[0]
        signed_on = lambda timeout: wait_for(events, lambda l: '"LoggedIn"' in l, timeout)
        self.assertRaises(AssertionError, signed_on, 1.5)
        nm.SetGlobalConnectionState(NMState.NM_STATE_CONNECTED_GLOBAL)
        signed_on(3)
        state('STATUS=Online as')
        self.server.kill()
        state('STATUS=Reconnecting: attempt ')

        cli.stdin.close()
        state('STOPPING=1')
        self.assertEqual(cli.wait(timeout=10), 0)


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1])
