#!/usr/bin/env python3
"""How much time the program adds to the serial line's own time, and what it costs while idle.

1. Runs a KWBACKUP of the sample scale against the simulated scale with its 9600-baud pacing
   and computes, from the simulator's transcript, the least time the line itself needs: every
   byte in both directions at 11 bits per byte (frames, ACK/NAK and the greeting), plus the
   waits the protocol prescribes (the pause after each frame the program acknowledged, 500 ms
   before each table). Prints measured wall time / that bound, for the simulated scale on the
   pseudo-terminal (the COM port) and behind ser2net with the COM-PORT-OPTION and as a plain
   TCP port (Kwlink.ports).
2. Starts a job whose scale holds back its greeting and measures the processor time the
   program uses while it waits for 10 s.

usage: tools/bench/line_time.py BIN_DIR      (BIN_DIR: build/native/bin)
"""

import os
import shutil
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests",
                                "e2e"))
from harness import Installation, Simulator, sample_path, start_job, write_ports  # noqa: E402

BITS_PER_BYTE = 11
BAUD = 9600
PAUSE_MS = 20
TABLE_PAUSE_MS = 500


def line_bound(sim):
    bytes_on_line = 0
    acknowledged_by_program = 0
    tables = 0
    previous_request = None
    for line in sim.lines():
        kind = line.split(" ", 1)[0]
        if kind in ("rx", "tx"):
            frame = sim_unescape(line[3:])
            bytes_on_line += len(frame)
            if kind == "rx":
                content = frame[6:-2]
                if content[:1] == b"u" and content != previous_request:
                    tables += 1
                previous_request = content
        elif kind in ("rx-ack", "rx-nak", "tx-ack", "tx-nak"):
            bytes_on_line += 1
            if kind == "rx-ack":
                acknowledged_by_program += 1
    seconds = bytes_on_line * BITS_PER_BYTE / BAUD
    seconds += acknowledged_by_program * PAUSE_MS / 1000 + tables * TABLE_PAUSE_MS / 1000
    return seconds, bytes_on_line, acknowledged_by_program, tables


def sim_unescape(text):
    from harness import unescape
    return unescape(text)


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def paced_backup(inst, kind):
    """A paced KWBACKUP on COM5: the pseudo-terminal itself (kind None) or behind ser2net."""
    name = kind or "pty"
    # Every run fetches the descriptions, as the first one did.
    shutil.rmtree(os.path.join(inst.program_dir, "KWSIM-GEN-01"), ignore_errors=True)
    link = inst.path("tty-" + name) if kind else os.path.join(inst.program_dir, "com5")
    sim = Simulator(link, "KWSIM-GEN-01", 1, sample_path("generic_scale.txt"), ["--pace"],
                    transcript=inst.path("paced-%s.txt" % name), server=kind)
    write_ports(inst.program_dir, ["5;" + sim.server.address] if kind else [])
    start = time.monotonic()
    job = start_job(inst, "KWBACKUP[0,3];KWDIR[%s]" % inst.path("work-" + name))
    job.communicate(timeout=600)
    wall = time.monotonic() - start
    sim.stop()
    bound, count, acks, tables = line_bound(sim)
    print("backup at 9600 baud (%s): %d bytes on the line, %d frames acknowledged, %d tables"
          % (name, count, acks, tables))
    print("  line bound %.2f s, measured %.2f s, ratio %.3f (exit %d)"
          % (bound, wall, wall / bound, job.returncode))
    return wall / bound


def main():
    os.environ["KWLINK_BIN"] = os.path.abspath(sys.argv[1])
    inst = Installation(config="5;15;2;%d;5" % PAUSE_MS)
    try:
        ratios = {kind: paced_backup(inst, kind) for kind in (None, "rfc2217", "tcp")}
        for kind in ("rfc2217", "tcp"):
            print("ser2net %s: ratio %.3f, %+.1f %% against the pseudo-terminal's %.3f"
                  % (kind, ratios[kind], 100 * (ratios[kind] / ratios[None] - 1), ratios[None]))
        write_ports(inst.program_dir, [])

        release = inst.path("release")
        sim = Simulator(os.path.join(inst.program_dir, "com5"), "KWSIM-GEN-01", 1,
                        sample_path("generic_scale.txt"),
                        ["--hold-greeting", "--release-file", release],
                        transcript=inst.path("idle.txt"))
        job = start_job(inst, "KWUP;KWDIR[%s];KWTAB[DEPT]" % inst.path("idle"))
        time.sleep(1.0)
        before = cpu_seconds(job.pid)
        time.sleep(10.0)
        used = cpu_seconds(job.pid) - before
        print("waiting 10 s for the greeting: %.3f s of processor time (%.2f%% of one core)"
              % (used, used * 10))
        job.terminate()
        job.communicate(timeout=30)
        sim.stop()
    finally:
        inst.remove()


if __name__ == "__main__":
    main()
