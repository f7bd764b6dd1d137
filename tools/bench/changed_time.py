#!/usr/bin/env python3
"""Sending only what changed, on a 9600-baud line: a table of 5 000 articles sent whole
(KWDOWN), then the same file with 2 % of the prices changed sent with KWCHANGED, both against
the simulated scale with its line pacing, in one run. Prints each job's wall time, the least
time the line itself needs for what the job actually sent (line_time.line_bound over that
job's part of the transcript: every byte at 11 bits, the pause after each frame the program
acknowledged, 500 ms before each table) and their ratio, and how much faster the second job was.

usage: tools/bench/changed_time.py BIN_DIR      (BIN_DIR: build/native/bin)
"""

import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))
sys.path.insert(0, HERE)
import scale_builder as sb  # noqa: E402
from harness import Installation, Simulator, start_job  # noqa: E402
from line_time import PAUSE_MS, line_bound  # noqa: E402

ARTICLES = int(os.environ.get("KWLINK_BENCH_ARTICLES", "5000"))
CHANGED_EVERY = 50  # 2 %
IDENT = "KWSIM-BENCH-1"
ARTS = sb.table("ARTS", 0x44, 3, "ARTICLES", "FFFF", [
    sb.attr("ANUM", 0x61, 8, 2, "NUMBER"),
    sb.attr("ANAM", 0x62, 5, 24, "NAME"),
    sb.attr("APRI", 0x63, 1, 4, "PRICE", flags=0x100),
    sb.attr("AEAN", 0x64, 9, 13, "EAN", size=1),
])


def write_articles(workdir, changed):
    os.makedirs(workdir, exist_ok=True)
    lines = [b"ANUM;ANAM;APRI;AEAN;", b"NUMBER;NAME;PRICE;EAN;"]
    for key in range(1, ARTICLES + 1):
        price = 100 + key + (1 if changed and key % CHANGED_EVERY == 0 else 0)
        lines.append(b"%d;ARTICLE NUMBER %05d;%d;40%011d" % (key, key, price, key))
    with open(os.path.join(workdir, "ARTS.csv"), "wb") as f:
        f.write(b"\r\n".join(lines) + b"\r\n")


class Slice:
    """The part of a simulator's transcript from a given line on (line_bound reads lines())."""

    def __init__(self, sim, first):
        self.sim, self.first = sim, first

    def lines(self):
        return self.sim.lines()[self.first:]


def timed_job(inst, sim, job):
    first = len(sim.lines())
    start = time.monotonic()
    process = start_job(inst, job)
    process.communicate(timeout=3600)
    wall = time.monotonic() - start
    bound, count, acks, _ = line_bound(Slice(sim, first))
    stores = sum(1 for l in sim.lines()[first:] if l.startswith("store "))
    # The 500 ms before a table sent: line_bound counts the tables fetched.
    bound += 0.5
    return wall, bound, count, acks, stores, process.returncode


def main():
    os.environ["KWLINK_BIN"] = os.path.abspath(sys.argv[1])
    inst = Installation(config="5;15;2;%d;5" % PAUSE_MS)
    try:
        data = inst.path("scale.txt")
        sb.write_scale(data, 1, [ARTS], [])
        link = os.path.join(inst.program_dir, "com5")
        # The descriptions are fetched once, before the measured jobs.
        sim = Simulator(link, IDENT, 1, data, [], transcript=inst.path("learn.txt"))
        write_articles(inst.path("learn"), False)
        start_job(inst, "KWDOWN;KWDIR[%s];KWTAB[ARTS];KWARTICLE[1,1]"
                  % inst.path("learn")).communicate(timeout=120)
        sim.stop()

        sim = Simulator(link, IDENT, 1, data, ["--pace"], transcript=inst.path("paced.txt"))
        work = inst.path("work")
        write_articles(work, False)
        results = [("KWDOWN, every record", timed_job(
            inst, sim, "KWDOWN;KWDIR[%s];KWTAB[ARTS]" % work))]
        write_articles(work, True)
        results.append(("KWCHANGED, 2 % changed", timed_job(
            inst, sim, "KWDOWN;KWDIR[%s];KWTAB[ARTS];KWCHANGED" % work)))
        sim.stop()
        for name, (wall, bound, count, acks, stores, code) in results:
            print("%-24s %5d records sent, %7d bytes on the line, %5d frames acknowledged: "
                  "line bound %7.2f s, measured %7.2f s, ratio %.3f (exit %d)"
                  % (name, stores, count, acks, bound, wall, wall / bound, code))
        print("KWCHANGED is %.1f times faster" % (results[0][1][0] / results[1][1][0]))
    finally:
        inst.remove()


if __name__ == "__main__":
    main()
