"""A serial device server built on python3-serial's RFC 2217 server (serial.rfc2217.PortManager),
a second peer we did not write: it serves one pseudo-terminal on 127.0.0.1:PORT and writes each
setting it applies ("set data size: 7", ...) as a line to SETTINGS.

usage: /usr/bin/python3 rfc2217_recorder.py DEVICE PORT SETTINGS"""

import errno
import logging
import socket
import sys
import termios
import threading

sys.path.insert(0, "/usr/lib/python3/dist-packages")
import serial  # noqa: E402
import serial.rfc2217  # noqa: E402


class PseudoTerminal(serial.Serial):
    """A pseudo-terminal holds neither data size nor parity and refuses them with EINVAL, and
    has no modem lines; a device server takes the requests all the same (as the serial device
    of kwlink does) and reports the lines as off."""

    cts = dsr = ri = cd = property(lambda self: False)

    def _reconfigure_port(self, *args, **kwargs):
        try:
            super()._reconfigure_port(*args, **kwargs)
        except termios.error as e:
            if e.args[0] != errno.EINVAL:
                raise


class Recorder(logging.Handler):
    def __init__(self, path):
        super().__init__()
        self.path = path

    def emit(self, record):
        text = record.getMessage()
        if text.startswith("set "):
            with open(self.path, "a") as f:
                f.write(text + "\n")


class Connection:
    """The writer PortManager expects, on a socket."""

    def __init__(self, connection):
        self.write = connection.sendall


def serve(connection, port, logger):
    manager = serial.rfc2217.PortManager(port, Connection(connection), logger=logger)
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
    logger = logging.getLogger("rfc2217")
    logger.setLevel(logging.INFO)
    logger.addHandler(Recorder(settings))
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", number))
    listener.listen(1)
    while True:
        connection, _ = listener.accept()
        connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        # Opened per connection, as ser2net does: the simulated scale sees each open.
        port = PseudoTerminal(device, 9600, timeout=0.05)
        serve(connection, port, logger)
        port.close()


if __name__ == "__main__":
    main()
