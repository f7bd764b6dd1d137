"""Scales on the network: a representative part of the end-to-end jobs runs once more with the
simulated scale behind ser2net, with the COM-PORT-OPTION and as a plain TCP port (the same test
bodies, over another port kind), and the faults only a network port has."""

import os
import signal
import socket
import threading
import time

import test_faults
import test_jobs
from harness import free_tcp_port, log_entries, read_file, run_job, start_job, write_ports

# Each job kind (backup, restore, up, down), model 700, descriptions fetched, records with the
# escape byte FFh both ways, the simulator's NAK, time-out and bad block check faults, a server
# that ends in the middle of a table, and a stop while the job waits for the greeting.
REPRESENTATIVE = {
    test_jobs.BackupAndRestore: (
        "test_backup_writes_files_log_and_marker_and_restore_gives_identical_records",
        "test_model_700_uses_its_own_letters"),
    test_faults.FaultMatrix: ("test_link_faults", "test_scale_vanishes_mid_backup_and_mid_restore"),
    test_jobs.Stopping: ("test_stop_while_waiting_for_the_greeting_sends_nothing",),
}


def over_the_network(base, kind, names):
    """`base` with only the tests `names`, run behind a serial device server of `kind`."""
    attrs = {"port_kind": kind}
    attrs.update({n: None for n in dir(base) if n.startswith("test") and n not in names})
    return type("%s_%s" % (base.__name__, kind), (base,), attrs)


def _define_cases():
    for kind in ("rfc2217", "tcp"):
        for base, names in REPRESENTATIVE.items():
            case = over_the_network(base, kind, names)
            globals()[case.__name__] = case


_define_cases()


class SilentServer:
    """A TCP server that takes connections and answers nothing, or only `answer`."""

    def __init__(self, answer=b""):
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(4)
        self.port = self.listener.getsockname()[1]
        self.connections = []
        self.answer = answer
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        try:
            while True:
                connection, _ = self.listener.accept()
                connection.sendall(self.answer)
                self.connections.append(connection)
        except OSError:
            pass

    def close(self):
        self.listener.close()
        for connection in self.connections:
            connection.close()


class NetworkPortFaults(test_jobs.JobTestCase):
    def job(self, ports, workdir):
        write_ports(self.inst.program_dir, ports)
        return run_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT]" % workdir)

    def test_a_port_that_cannot_be_opened_is_error_26_with_the_address_and_reason(self):
        silent, refusing = SilentServer(), SilentServer(b"\xff\xfe\x2c")
        self.addCleanup(silent.close)
        self.addCleanup(refusing.close)
        closed = "tcp://127.0.0.1:%d" % free_tcp_port()
        rows = [  # (address, reason in the log, seconds at least)
            (closed, "Connection refused", 0),
            ("rfc2217://nohost.invalid:4001", "No such device or address", 0),
            ("rfc2217://127.0.0.1:%d" % silent.port, "Connection timed out", 3),
            ("rfc2217://127.0.0.1:%d" % refusing.port, "Protocol not supported", 0),
        ]
        for address, reason, seconds in rows:
            with self.subTest(address=address):
                workdir = self.work("w%d" % rows.index((address, reason, seconds)))
                started = time.monotonic()
                result = self.job(["5;" + address], workdir)
                self.assertGreaterEqual(time.monotonic() - started, seconds)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertEqual(read_file(os.path.join(workdir, "Kwlink.Err")).decode(),
                                 self.texts[26] + " Com: 5")
                self.assertIn("Com 5 (%s): %s" % (address, reason),
                              log_entries(os.path.join(workdir, "Kwlink.log")))

    def test_malformed_or_unknown_line_is_error_9_with_the_line_in_the_log(self):
        for line in ("5;telnet://127.0.0.1:4001", "5;tcp://127.0.0.1"):
            with self.subTest(line=line):
                workdir = self.work("w" + line[2:5])
                result = self.job(["6;tcp://127.0.0.1:4001", line], workdir)
                self.assertEqual(result.returncode, 1, result.stderr)
                # As a malformed Kwlink.cfg: before the port is opened, with message 9.
                self.assertEqual(log_entries(os.path.join(workdir, "Kwlink.log"))[-4:-1],
                                 ['Kwlink.ports: malformed line "%s"' % line, "Abort with Error",
                                  self.texts[9]])

    def test_stop_while_the_server_does_not_answer_the_negotiation(self):
        with open(self.inst.config_path(), "w") as f:
            f.write("5;60;0.5;5;2")
        silent = SilentServer()
        self.addCleanup(silent.close)
        write_ports(self.inst.program_dir, ["5;rfc2217://127.0.0.1:%d" % silent.port])
        job = start_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT]" % self.work())
        test_jobs.wait_for(lambda: silent.connections, what="the connection")
        time.sleep(0.3)
        stopped = time.monotonic()
        job.send_signal(signal.SIGTERM)
        out, err = job.communicate(timeout=30)
        self.assertLess(time.monotonic() - stopped, 2.0)
        self.assertEqual(job.returncode, 2, err)
        self.assertIn("Meldung: " + self.texts[2], err.decode())


class SettingsSeenByAnotherPeer(test_jobs.JobTestCase):
    """python3-serial's RFC 2217 server records the line the program asks for: 7 data bits and
    odd parity for the greeting, 8 after it (ser2net answers from its own copy of the settings).
    Its pseudo-terminal holds 8 data bits and no parity only, and the server answers so: the
    log says so once per setting, and the job goes on."""
    port_kind = "pyserial"

    def test_greeting_line_and_the_switch_after_it(self):
        sim = self.simulator()
        result = run_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT]" % self.work())
        self.assertEqual(result.returncode, 0, result.stderr)
        line = [("baudrate", "9600"), ("bytesize", "7"), ("parity", "O"), ("stopbits", "1")]
        switched = line[:1] + [("bytesize", "8")] + line[2:]
        self.assertEqual(sim.server.applied(), line + switched)
        notes = [e for e in log_entries(os.path.join(self.work(), "Kwlink.log"))
                 if e.startswith(sim.server.address + ": the server set")]
        self.assertEqual(notes, [sim.server.address + ": the server set data size 8 instead of 7",
                                 sim.server.address + ": the server set parity 1 instead of 2"])


if __name__ == "__main__":
    import unittest
    unittest.main()
