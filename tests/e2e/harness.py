"""Shared pieces of the end-to-end tests: a program directory with the program installed, the
simulated scale on a pseudo-terminal, running a job, and reading the simulator's files."""

import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SAMPLES = os.path.join(ROOT, "data", "samples")

# Short time-outs so that failures show quickly: COM5, 3 s for a reply, 0.5 s for an
# acknowledgement, 5 ms pause, 2 repeats.
TEST_CONFIG = "5;3;0.5;5;2"
BANNER = "Kwlink Version 1.00/6E - kwlink project"

STX, ETX, ETB = b"\x02", b"\x03", b"\x17"


def project_version():
    """The release version, as CMakeLists.txt gives it."""
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        m = re.search(r"project\(kwlink VERSION ([0-9.]+)", f.read())
    return m.group(1)


def native_bin():
    path = os.environ.get("KWLINK_BIN")
    if not path:
        raise RuntimeError("KWLINK_BIN must name the native build's bin directory")
    return path


def unescape(text):
    """The simulator's escaped text: printable ASCII as is, \\\\ and \\xHH."""
    out = bytearray()
    i = 0
    raw = text.encode("latin-1")
    while i < len(raw):
        c = raw[i]
        if c == 0x5C and i + 1 < len(raw) and raw[i + 1] == 0x5C:
            out.append(0x5C)
            i += 2
        elif c == 0x5C and i + 3 < len(raw) and raw[i + 1] in b"xX":
            out.append(int(raw[i + 2:i + 4], 16))
            i += 4
        else:
            out.append(c)
            i += 1
    return bytes(out)


def sample_path(name):
    return os.path.join(SAMPLES, name)


def read_records(path):
    """Records of a data file: {(number, sign): [record bytes, ...]}."""
    tables = {}
    current = None
    with open(path, "r", encoding="latin-1") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if not line or line.startswith("#"):
                continue
            if line.startswith("table "):
                _, number, sign = line.split()
                current = (int(number), int(sign, 16))
                tables.setdefault(current, [])
            elif line.startswith("record "):
                tables[current].append(unescape(line[len("record "):]))
    return tables


def write_records(path, tables):
    """Writes a data file from {(number, sign): [records]} (hex escapes for everything)."""
    with open(path, "w", encoding="latin-1") as f:
        for (number, sign), records in tables.items():
            f.write("table %d %02X\n" % (number, sign))
            for record in records:
                f.write("record " + "".join("\\x%02X" % b for b in record) + "\n")


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


def wait_for(condition, timeout=30.0, what="a condition"):
    """Polls `condition` until it holds; fails after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.02)
    raise AssertionError("timed out waiting for " + what)


class Installation:
    """A program directory (a copy of the program and its data files) and a scratch area."""

    def __init__(self, program="kwlink", config=TEST_CONFIG):
        self.root = tempfile.mkdtemp(prefix="kwlink-e2e-")
        self.program_dir = os.path.join(self.root, "prog")
        os.mkdir(self.program_dir)
        bin_dir = native_bin()
        shutil.copy2(os.path.join(bin_dir, program), self.program_dir)
        self.program = os.path.join(self.program_dir, program)
        for name in ("Messages.res", "QT_TRANS.DAT"):
            shutil.copy2(os.path.join(bin_dir, name), self.program_dir)
        for name in ("109SCALE700", "109SCALE701"):
            shutil.copytree(os.path.join(bin_dir, name), os.path.join(self.program_dir, name))
        if config is not None:
            with open(self.config_path(), "w") as f:
                f.write(config)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def config_path(self):
        return os.path.join(self.program_dir, "Kwlink.cfg")

    def messages(self):
        texts = {}
        with open(os.path.join(self.program_dir, "Messages.res"), "rb") as f:
            for line in f.read().split(b"\n"):
                fields = [x for x in line.rstrip(b"\r").split(b";") if x]
                if len(fields) >= 2:
                    texts.setdefault(int(fields[0]), fields[1].decode("latin-1"))
        return texts

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


def free_tcp_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def tcp_listening(port):
    """Whether a socket listens on 127.0.0.1:`port` (a trial connection would be a client)."""
    wanted = "0100007F:%04X" % port
    with open("/proc/net/tcp") as f:
        return any(l.split()[1] == wanted and l.split()[3] == "0A" for l in f.readlines()[1:])


class SerialServer:
    """A serial device server on 127.0.0.1 in front of the simulated scale's pseudo-terminal:
    ser2net with the COM-PORT-OPTION ("rfc2217") or as a plain TCP port ("tcp"), or python3-serial's
    RFC 2217 server ("pyserial") recording every setting asked of it (rfc2217_recorder.py)."""

    def __init__(self, kind, device, scratch):
        self.kind, self.port = kind, free_tcp_port()
        self.scheme = "tcp" if kind == "tcp" else "rfc2217"
        self.address = "%s://127.0.0.1:%d" % (self.scheme, self.port)
        self.settings = os.path.join(scratch, "server-%d.settings" % self.port)
        if kind == "pyserial":
            args = ["/usr/bin/python3", os.path.join(HERE, "rfc2217_recorder.py"), device,
                    str(self.port), self.settings]
        else:
            config = os.path.join(scratch, "ser2net-%d.yaml" % self.port)
            with open(config, "w") as f:
                f.write(ser2net_config(kind, self.port, device))
            args = ["ser2net", "-d", "-u", "-c", config]
        self.output = os.path.join(scratch, "server-%d.out" % self.port)
        with open(self.output, "wb") as out:
            self.process = subprocess.Popen(args, stdout=out, stderr=subprocess.STDOUT)

        def listening():
            if self.process.poll() is not None:
                raise RuntimeError("server ended: " + read_file(self.output).decode("latin-1"))
            return tcp_listening(self.port)
        wait_for(listening, timeout=10, what="the serial device server")

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def applied(self):
        """The settings asked of python3-serial's server: [("bytesize", "7"), ...]."""
        try:
            with open(self.settings) as f:
                return [tuple(l.split()) for l in f]
        except FileNotFoundError:
            return []


def ser2net_config(kind, port, device):
    """The ser2net 4 configuration of one port: the program connects to 127.0.0.1:`port`. With
    the COM-PORT-OPTION ser2net opens the device at the simulated scale's start speed, so that
    only the speed the program sets shows the scale that the program has configured the line;
    a plain TCP port is set up for the scale's own speed."""
    accepter, speed = ("telnet(rfc2217),tcp", 38400) if kind == "rfc2217" else ("tcp", 9600)
    return ("%%YAML 1.1\n---\nconnection: &scale\n"
            "  accepter: %s,127.0.0.1,%d\n"
            "  connector: serialdev,%s,%dn81,local\n"
            "  options:\n    kickolduser: true\n    chardelay: false\n" % (accepter, port, device, speed))


def write_ports(program_dir, lines):
    with open(os.path.join(program_dir, "Kwlink.ports"), "w") as f:
        f.write("".join(l + "\n" for l in lines))


class Simulator:
    """kwlink-scale-sim with its link at `link`, running until stop(); with `server` (a port
    kind of SerialServer) behind a serial device server that stop() ends too."""

    def __init__(self, link, ident, scale=1, data=None, extra=(), transcript=None, program=None,
                 server=None):
        self.server = None
        self.transcript = transcript or (link + ".transcript")
        program = program or os.path.join(native_bin(), "kwlink-scale-sim")
        args = [program, "--link", link, "--ident", ident,
                "--scale", str(scale), "--transcript", self.transcript]
        if data:
            args += ["--data", data]
        args += list(extra)
        # Its output goes to a file: a pipe that nobody reads would block it once full.
        self.output = self.transcript + ".out"
        with open(self.output, "wb") as out:
            self.process = subprocess.Popen(args, stdout=out, stderr=subprocess.STDOUT)

        def ready():
            if self.process.poll() is not None:
                raise RuntimeError("simulator ended: " + read_file(self.output).decode("latin-1"))
            return read_file(self.output).startswith(b"ready")
        wait_for(ready, timeout=10, what="the simulator's ready line")
        if server:
            self.server = SerialServer(server, os.path.realpath(link),
                                       os.path.dirname(self.transcript))

    def stop(self):
        if self.server:
            self.server.stop()
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def lines(self):
        try:
            with open(self.transcript, "r", encoding="latin-1") as f:
                return [l.rstrip("\r\n") for l in f]
        except FileNotFoundError:
            return []

    def received_frames(self):
        return [unescape(l[3:]) for l in self.lines() if l.startswith("rx ")]

    def sent_frames(self):
        return [unescape(l[3:]) for l in self.lines() if l.startswith("tx ")]

    def stores(self):
        """Records the scale stored: {(number, sign): [records]}."""
        tables = {}
        for l in self.lines():
            if l.startswith("store "):
                _, number, sign, record = l.split(" ", 3)
                tables.setdefault((int(number), int(sign, 16)), []).append(unescape(record))
        return tables

    def requests(self):
        """(header number, content after the header without ETX/BCC) of every received frame."""
        out = []
        for frame in self.received_frames():
            m = re.match(rb"\x02\x17\](\d\d)\x17(.*)\x03.$", frame, re.S)
            if m:
                out.append((int(m.group(1)), m.group(2)))
        return out


class JobResult:
    def __init__(self, returncode, stdout, stderr):
        self.returncode = returncode
        self.stdout = stdout
        self.stderr = stderr


def run_job(installation, job, timeout=120):
    p = subprocess.run([installation.program, job], capture_output=True, timeout=timeout)
    return JobResult(p.returncode, p.stdout.decode("utf-8", "replace"),
                     p.stderr.decode("utf-8", "replace"))


def start_job(installation, job):
    return subprocess.Popen([installation.program, job], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)


def log_entries(path):
    """The entry texts of a log (without the date line and the prefixes)."""
    content = read_file(path).decode("latin-1")
    lines = content.split("\r\n")
    assert lines[-1] == "", "the log must end with CR LF"
    entries = []
    for line in lines[1:-1]:
        m = re.match(r"^\d{4,} \d\d:\d\d:\d\d,\d{3}: (.*)$", line)
        assert m, "malformed log line %r" % line
        entries.append(m.group(1))
    return entries


def csv_rows(path):
    """Data rows of a CSV file (after the two heading lines), as lists of fields."""
    lines = read_file(path).decode("latin-1").split("\r\n")
    return [l.split(";") for l in lines[2:] if l]


def table_signs(tdes_csv):
    """{fileSign: busSign} from a TDES CSV file."""
    rows = csv_rows(tdes_csv)
    heading = read_file(tdes_csv).decode("latin-1").split("\r\n")[0].split(";")
    f, b = heading.index("TFSG"), heading.index("TBSG")
    return {r[f]: int(r[b], 16) for r in rows}
