"""A serial device server built on python3-serial's RFC 2217 server (serial.rfc2217.PortManager),
a second peer we did not write: it serves one pseudo-terminal on 127.0.0.1:PORT and writes each
setting asked of it ("bytesize 7", ...) as a line to SETTINGS.

usage: /usr/bin/python3 rfc2217_recorder.py DEVICE PORT SETTINGS"""

import errno
import socket
import sys
import termios
import threading

sys.path.insert(0, "/usr/lib/python3/dist-packages")
import serial  # noqa: E402
import serial.rfc2217  # noqa: E402


def recorded(name):
    """The attribute `name` of serial.Serial, with each value asked for written to the record."""
    base = getattr(serial.Serial, name)

    def ask(self, value):
        if self.record:
            with open(self.record, "a") as f:
                f.write("%s %s\n" % (name, value))
        base.fset(self, value)
    return property(base.fget, ask)


class PseudoTerminal(serial.Serial):
    """A pseudo-terminal holds neither data size nor parity and refuses them with EINVAL, and
    has no modem lines. Like a device server in front of such a device, this one takes the
    request, reports the line as the device holds it (8 data bits, no parity), and the modem
    lines as off."""

    record = None
    cts = dsr = ri = cd = property(lambda self: False)
    baudrate = recorded("baudrate")
    bytesize = recorded("bytesize")
    parity = recorded("parity")
    stopbits = recorded("stopbits")

    def _reconfigure_port(self, *args, **kwargs):
        try:
            super()._reconfigure_port(*args, **kwargs)
        except termios.error as e:
            if e.args[0] != errno.EINVAL:
                raise
        # What the device holds.
        cflag = termios.tcgetattr(self.fd)[2]
        sizes = {termios.CS5: 5, termios.CS6: 6, termios.CS7: 7, termios.CS8: 8}
        self._bytesize = sizes[cflag & termios.CSIZE]
        if not cflag & termios.PARENB:
            self._parity = serial.PARITY_NONE


class Connection:
    """The writer PortManager expects, on a socket."""

    def __init__(self, connection):
        self.write = connection.sendall


def serve(connection, port):
    manager = serial.rfc2217.PortManager(port, Connection(connection))
    done = threading.Event()

    def to_client():
        while not done.is_set():
            data = port.read(port.in_waiting or 1)
            if data:
                connection.sendall(b"".join(manager.escape(data)))

    reader = threading.Thread(target=to_client, daemon=True)
    reader.start()
    try:
        while True:
            data = connection.recv(4096)
            if not data:
                break
            port.write(b"".join(manager.filter(data)))
    except OSError:
        pass
    done.set()
    reader.join()
    connection.close()


def main():
    device, number, settings = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", number))
    listener.listen(1)
    while True:
        connection, _ = listener.accept()
        connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        # Opened per connection, as ser2net does: the simulated scale sees each open.
        port = PseudoTerminal(device, 9600, timeout=0.05)
        port.record = settings
        serve(connection, port)
        port.close()


if __name__ == "__main__":
    main()
