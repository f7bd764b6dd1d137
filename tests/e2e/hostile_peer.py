"""A scale that misbehaves in ways the simulated scale does not: it greets, acknowledges every
good frame, ends a connection on "e", and answers every table request with one reply frame of
`reply_size` content bytes, or with a frame that never ends (reply_size None). It runs on a
pseudo-terminal published as a symbolic link, in a thread of the test process."""

import os
import select
import threading
import time
import tty

STX, ETX, ACK, NAK, ETB = 0x02, 0x03, 0x06, 0x15, 0x17


def frame(number, content):
    body = bytes([STX, ETB]) + b"]" + b"%02d" % number + bytes([ETB]) + content + bytes([ETX])
    bcc = 0
    for b in body:
        bcc ^= b
    return body + bytes([bcc])


class HostilePeer:
    def __init__(self, link, ident, scale=1, reply_size=None):
        self.link = link
        self.ident = ident.encode("latin-1")
        self.scale = scale
        self.reply_size = reply_size
        self.master, slave = os.openpty()
        tty.setraw(slave)
        self.slave_name = os.ttyname(slave)
        os.close(slave)
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(self.slave_name, link)
        self.received = []      # request frames, in order
        self.naks = 0           # NAKs received for our frames
        self.sent_bytes = 0
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def stop(self):
        self._stop.set()
        self._thread.join(10)
        try:
            os.close(self.master)
        except OSError:
            pass
        if os.path.lexists(self.link):
            os.unlink(self.link)

    def _write(self, data):
        view = memoryview(data)
        while view and not self._stop.is_set():
            try:
                _, ready, _ = select.select([], [self.master], [], 0.1)
                if ready:
                    n = os.write(self.master, view[:4096])
                    view = view[n:]
                    self.sent_bytes += n
                self._drain_acknowledgements()
            except OSError:
                time.sleep(0.05)  # the program has the port closed
                return False
        return not view

    def _read_available(self, timeout):
        ready, _, _ = select.select([self.master], [], [], timeout)
        if not ready:
            return b""
        try:
            return os.read(self.master, 4096)
        except OSError:
            time.sleep(0.05)
            return b""

    def _drain_acknowledgements(self):
        ready, _, _ = select.select([self.master], [], [], 0)
        if ready:
            try:
                data = os.read(self.master, 4096)
            except OSError:
                return
            self._pending += data

    def _run(self):
        self._pending = b""
        greeting = frame(self.scale, b"i" + self.ident)
        # Greet until the greeting is acknowledged (the program may open the port later, and
        # purges it when it does). A request frame means it was acknowledged too.
        while not self._stop.is_set():
            self._write(greeting)
            deadline = time.monotonic() + 0.5
            while time.monotonic() < deadline and ACK not in self._pending:
                self._pending += self._read_available(0.05)
            if ACK in self._pending or STX in self._pending:
                break
            self._pending = b""
        start = self._pending.find(bytes([STX]))
        self._pending = self._pending[start:] if start >= 0 else b""
        buffer = b""
        while not self._stop.is_set():
            buffer += self._pending + self._read_available(0.05)
            self._pending = b""
            while True:
                start = buffer.find(bytes([STX]))
                if start < 0:
                    self.naks += buffer.count(bytes([NAK]))
                    buffer = b""
                    break
                self.naks += buffer[:start].count(bytes([NAK]))
                end = buffer.find(bytes([ETX]), start)
                if end < 0 or end + 1 >= len(buffer):
                    buffer = buffer[start:]
                    break
                request = buffer[start:end + 2]
                buffer = buffer[end + 2:]
                self.received.append(request)
                self._answer(request)

    def _answer(self, request):
        self._write(bytes([ACK]))
        number = int(request[3:5])
        content = request[6:-2]
        if content[:1] == b"u":
            if self.reply_size is None:
                # STX, header, kind, then filler that never reaches an ETX.
                self._write(frame(number, b"d")[:7])
                chunk = b"A" * 4096
                while not self._stop.is_set() and self._write(chunk):
                    pass
            else:
                self._write(frame(number, b"d" + b"A" * self.reply_size))
        else:
            self._write(frame(number, b"q"))
