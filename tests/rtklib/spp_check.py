#!/usr/bin/python3
"""End to end with a real post-processor: the bundled raw sample goes through
`tolvik replay --raw ... --rinex BASE`, RTKLIB's rnx2rtkp computes a single-point solution for
every epoch from BASE.obs and BASE.nav, and each solution must lie within 10 m of the position
the raw epoch itself reports and of the antenna's true position. Also checks the tool's report
and its failure on a file that cannot be written.

Usage: spp_check.py TOOL SAMPLE WORKDIR    (exit 77: rnx2rtkp is not installed)
"""
import json
import math
import os
import shutil
import subprocess
import sys

TRUTH = (64.1310, -21.8490, 85.0)  # the generator's antenna (RawSessionOptions)
LIMIT = 10.0  # metres
# Our simulated signals carry no atmosphere: the solver must not model one.
CONFIG = """pos1-posmode       =single
pos1-elmask        =5
pos1-ionoopt       =off
pos1-tropopt       =off
out-solformat      =xyz
out-outhead        =on
"""


def ecef(lat, lon, h):
    a, f = 6378137.0, 1 / 298.257223563
    e2 = f * (2 - f)
    la, lo = math.radians(lat), math.radians(lon)
    n = a / math.sqrt(1 - e2 * math.sin(la) ** 2)
    return ((n + h) * math.cos(la) * math.cos(lo), (n + h) * math.cos(la) * math.sin(lo),
            (n * (1 - e2) + h) * math.sin(la))


def main():
    tool, sample, work = sys.argv[1:4]
    if not shutil.which("rnx2rtkp"):
        print("SKIP: rnx2rtkp not found (Debian package rtklib; scripts/deps installs it)")
        return 77
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    base = os.path.join(work, "site")
    run = subprocess.run([tool, "replay", "--raw", "--json", "--rinex", base, sample],
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    raws = [o for o in map(json.loads, run.stdout.splitlines()) if o["type"] == "raw"]
    ephemerides = sum(1 for o in map(json.loads, run.stdout.splitlines()) if o["type"] == "ephemeris")
    report = f"RINEX {len(raws)} epochs to {base}.obs, {ephemerides} ephemerides to {base}.nav"
    assert report in run.stderr, run.stderr
    assert len(raws) == 30, len(raws)

    conf = os.path.join(work, "spp.conf")
    with open(conf, "w") as f:
        f.write(CONFIG)
    out = os.path.join(work, "site.pos")
    solve = subprocess.run(["rnx2rtkp", "-k", conf, "-o", out, base + ".obs", base + ".nav"],
                           capture_output=True, text=True)
    assert solve.returncode == 0, solve.stderr
    with open(out) as f:
        lines = f.read().splitlines()
    print("\n".join(lines[:8]))
    solutions = {}
    for line in lines:
        if line.startswith("%"):
            continue
        fields = line.split()
        hms = fields[1].split(":")
        second_of_day = int(hms[0]) * 3600 + int(hms[1]) * 60 + float(hms[2])
        # rnx2rtkp tags a solution with the receiver time less its clock offset (0.5 ms here).
        solutions[round(second_of_day)] = (tuple(map(float, fields[2:5])), int(fields[5]), int(fields[6]))
    truth = ecef(*TRUTH)
    worst_reported = worst_truth = 0.0
    failures = []
    for raw in raws:
        tow = raw["receiverTime"]
        second_of_day = round(tow) % 86400
        if second_of_day not in solutions:
            failures.append(f"no solution for receiver time {tow}")
            continue
        xyz, quality, used = solutions[second_of_day]
        reported = ecef(raw["latitude"], raw["longitude"], raw["height"])
        d_reported, d_truth = math.dist(xyz, reported), math.dist(xyz, truth)
        worst_reported, worst_truth = max(worst_reported, d_reported), max(worst_truth, d_truth)
        print(f"tow {tow:.1f}: Q={quality} ns={used} {d_reported:6.2f} m from the reported position, "
              f"{d_truth:6.2f} m from the truth")
        if quality != 5 or d_reported > LIMIT or d_truth > LIMIT:
            failures.append(f"tow {tow}: Q={quality}, {d_reported:.2f} m / {d_truth:.2f} m")
    print(f"{len(solutions)} single-point solutions for {len(raws)} raw epochs; largest distance "
          f"{worst_reported:.2f} m to the reported positions, {worst_truth:.2f} m to the truth")

    # A file that cannot be written fails the run, naming it.
    bad = os.path.join(work, "no", "such", "site")
    run = subprocess.run([tool, "replay", "--raw", "--rinex", bad, sample], capture_output=True, text=True)
    if run.returncode != 1 or bad + ".obs" not in run.stderr:
        failures.append(f"unwritable BASE: exit {run.returncode}, stderr {run.stderr!r}")
    # The logging interval thins the observation file as it thins the raw epoch log.
    run = subprocess.run([tool, "replay", "--raw", "--rinex", base, "--log-interval", "2", sample],
                         capture_output=True, text=True)
    if run.returncode != 0 or "RINEX 15 epochs" not in run.stderr:
        failures.append(f"--log-interval 2: exit {run.returncode}, stderr {run.stderr!r}")

    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
