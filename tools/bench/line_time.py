#!/usr/bin/env python3
"""How much time the program adds to the serial line's own time, and what it costs while idle.

1. Runs a KWBACKUP of the sample scale against the simulated scale with its 9600-baud pacing
   and computes, from the simulator's transcript, the least time the line itself needs: every
   byte in both directions at 11 bits per byte (frames, ACK/NAK and the greeting), plus the
   waits the protocol prescribes (the pause after each frame the program acknowledged, 500 ms
   before each table). Prints measured wall time / that bound, for the simulated scale on the
   pseudo-terminal (the COM port) and behind ser2net with the COM-PORT-OPTION and as a plain
   TCP port (Kwlink.ports).
2. Starts a job whose scale holds back its greeting and measures, while it waits for 10 s,
   the processor time the program uses and how often its threads wake up (the voluntary
   context switches of all its threads: each blocking wait that ends counts one), on the
   pseudo-terminal and behind ser2net.

usage: tools/bench/line_time.py [--idle-only] BIN_DIR      (BIN_DIR: build/native/bin)
       tests/wine/wine-test.sh exec PREFIX tools/bench/line_time.py --wine WIN_BIN BIN_DIR
         (part 2 only, for Kwlink.exe under wine; PREFIX started with wine-test.sh start, e.g.
         build/win32/wineprefix after ctest -R win32.wine-start; the wine server's share is
         printed apart)
"""

import os
import shutil
import subprocess
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


def wakeups(pid):
    """Voluntary context switches of all threads of `pid` so far."""
    total = 0
    task_dir = "/proc/%d/task" % pid
    for task in os.listdir(task_dir):
        try:
            with open(os.path.join(task_dir, task, "status")) as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        total += int(line.split()[1])
        except FileNotFoundError:
            pass
    return total


def run_seconds(pid):
    """Time all threads of `pid` have run so far, in seconds, to the nanosecond where the
    scheduler's statistics are there (the clock ticks of /proc/PID/stat are 10 ms)."""
    total = 0
    task_dir = "/proc/%d/task" % pid
    try:
        for task in os.listdir(task_dir):
            try:
                with open(os.path.join(task_dir, task, "schedstat")) as f:
                    total += int(f.read().split()[0])
            except FileNotFoundError:
                pass
    except FileNotFoundError:
        return cpu_seconds(pid)
    return total / 1e9


def measure_idle(pid, seconds=10.0):
    """Processor seconds and wake-ups of `pid` over `seconds`."""
    cpu, woken = run_seconds(pid), wakeups(pid)
    time.sleep(seconds)
    return run_seconds(pid) - cpu, wakeups(pid) - woken


def main():
    args = sys.argv[1:]
    idle_only = "--idle-only" in args
    args = [a for a in args if a != "--idle-only"]
    win_bin = None
    if args[0] == "--wine":
        win_bin = os.path.abspath(args[1])
        args = args[2:]
    os.environ["KWLINK_BIN"] = os.path.abspath(args[0])
    inst = Installation(config="5;15;2;%d;5" % PAUSE_MS)
    try:
        if win_bin is not None:
            idle_wait_wine(inst, win_bin)
            return
        kinds = (None, "rfc2217", "tcp")
        if not idle_only:
            ratios = {kind: paced_backup(inst, kind) for kind in kinds}
            for kind in kinds[1:]:
                print("ser2net %s: ratio %.3f, %+.1f %% against the pseudo-terminal's %.3f"
                      % (kind, ratios[kind], 100 * (ratios[kind] / ratios[None] - 1),
                         ratios[None]))
        for kind in kinds:
            idle_wait(inst, kind)
        write_ports(inst.program_dir, [])
    finally:
        inst.remove()


def scale(inst, kind, name, extra):
    """The simulated scale for COM5: on the pseudo-terminal itself (kind None) or behind ser2net
    (Kwlink.ports then names it)."""
    link = inst.path("tty-" + name) if kind else os.path.join(inst.program_dir, "com5")
    sim = Simulator(link, "KWSIM-GEN-01", 1, sample_path("generic_scale.txt"), extra,
                    transcript=inst.path("%s.txt" % name), server=kind)
    write_ports(inst.program_dir, ["5;" + sim.server.address] if kind else [])
    return sim


def paced_backup(inst, kind):
    """A paced KWBACKUP on COM5; returns measured time / line bound."""
    name = kind or "pty"
    # Every run fetches the descriptions, as the first one did.
    shutil.rmtree(os.path.join(inst.program_dir, "KWSIM-GEN-01"), ignore_errors=True)
    sim = scale(inst, kind, "paced-" + name, ["--pace"])
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


def idle_wait(inst, kind):
    name = kind or "pty"
    release = inst.path("release")
    sim = scale(inst, kind, "idle-" + name, ["--hold-greeting", "--release-file", release])
    job = start_job(inst, "KWUP;KWDIR[%s];KWTAB[DEPT]" % inst.path("idle-" + name))
    time.sleep(1.0)
    used, woken = measure_idle(job.pid)
    print("waiting 10 s for the greeting (%s): %.4f s of processor time (%.3f%% of one core), "
          "%.1f wake-ups per second" % (name, used, used * 10, woken / 10.0))
    job.terminate()
    job.communicate(timeout=30)
    sim.stop()


def find_process(*words, without="kwlink-launch"):
    """The pid of a process whose command line holds every word but not `without`."""
    for name in os.listdir("/proc"):
        if name.isdigit():
            try:
                with open("/proc/%s/cmdline" % name, "rb") as f:
                    line = f.read().decode("latin-1")
            except OSError:
                continue
            if all(w in line for w in words) and without not in line:
                return int(name)
    return None


def wineserver_pid():
    """The wine server of $WINEPREFIX: its working directory is named after the prefix."""
    info = os.stat(os.environ["WINEPREFIX"])
    server_dir = "server-%x-%x" % (info.st_dev, info.st_ino)
    for name in os.listdir("/proc"):
        if name.isdigit():
            try:
                if os.readlink("/proc/%s/cwd" % name).endswith(server_dir):
                    return int(name)
            except OSError:
                continue
    return None


def idle_wait_wine(inst, win_bin):
    port = 15
    shutil.copy2(os.path.join(win_bin, "Kwlink.exe"), inst.program_dir)
    with open(inst.config_path(), "w") as f:
        f.write("%d;15;2;%d;5" % (port, PAUSE_MS))
    release = inst.path("release")
    sim = Simulator(os.path.join(os.environ["KWLINK_WINE_PORTS"], "com%d" % port),
                    "KWSIM-GEN-01", 1, sample_path("generic_scale.txt"),
                    ["--hold-greeting", "--release-file", release],
                    transcript=inst.path("idle.txt"))
    program = "Z:" + os.path.join(inst.program_dir, "Kwlink.exe").replace("/", "\\")
    env = dict(os.environ, KWLINK_JOB="KWUP;KWDIR[Z:%s];KWTAB[DEPT]"
               % inst.path("idle").replace("/", "\\"))
    job = subprocess.Popen(["wine", os.path.join(win_bin, "kwlink-launch.exe"), program],
                           env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    time.sleep(3.0)
    pid = find_process("Kwlink.exe", os.path.basename(inst.program_dir))
    server = wineserver_pid()
    server_before = run_seconds(server) if server else 0.0
    used, woken = measure_idle(pid)
    server_used = run_seconds(server) - server_before if server else float("nan")
    print("Kwlink.exe under wine, waiting 10 s for the greeting: %.4f s of processor time "
          "(%.3f%% of one core), %.1f wake-ups per second; wine server meanwhile %.4f s"
          % (used, used * 10, woken / 10.0, server_used))
    open(release, "w").close()
    job.communicate(timeout=120)
    print("  job ended with %d after the greeting was released" % job.returncode)
    sim.stop()


if __name__ == "__main__":
    main()
