#!/usr/bin/env python3
"""Fault soak: the console station on eight simulated boards, over and over, with random
faults on a few ports and scripted pulls and replugs. Not a test: a rehearsal that runs
for as long as it is given and then counts.

Every board without a fault must burn, and its NAND must equal a clean run's (the ID
page aside, which must hold the ID the station reported). A board that had a fault of
its link, went back in or was swapped and then burned is held to the same. Reports
boards burned, faults injected, mismatches, runs and any run that crashed or hung.

    python3 bench/fault_soak.py --korvex build/dev/korvex --minutes 5 [--seed 1]
"""

import argparse
import hashlib
import json
import mmap
import os
import random
import shutil
import subprocess
import sys
import time

UID_OFFSET = 63 * 2048  # the ID page: page 63 of nand.bin's zone, bytes 0..15
PORTS = 8


def masked_digest(path):
    """MD5 of a dump without the ID page's 16 bytes, and those bytes."""
    with open(path, "rb") as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as m:
        digest = hashlib.md5(m[:UID_OFFSET])
        digest.update(m[UID_OFFSET + 16:])
        return digest.hexdigest(), bytes(m[UID_OFFSET:UID_OFFSET + 16])


def uid_bytes(text):
    return bytes.fromhex(text.split(":", 1)[1].replace(" ", ""))


def random_fault(rng):
    """One port's fault and whether the operator must pull the board to free its port."""
    kind = rng.choice(["unplug-after", "unplug-at-page", "fail-request", "hang-after", "storm",
                       "program-fail"])
    if kind == "unplug-after":
        return kind, f"unplug-after={rng.randint(1, 900)}", False
    if kind == "unplug-at-page":
        return kind, f"unplug-at-page={rng.randint(0, 52000)}", False
    if kind == "fail-request":
        request = rng.choice([0, 1, 2, 3, 4, 5, 7, 7, 7, 8, 9])
        return kind, f"fail-request={request}@{rng.randint(1, 40 if request in (1, 2, 7) else 4)}", True
    if kind == "hang-after":
        return kind, f"hang-after={rng.randint(0, 900)}", True
    if kind == "storm":
        return kind, f"random-bad={rng.randint(50, 7000)},seed={rng.randint(1, 10**9)}", True
    blocks = ";".join(str(rng.randint(0, 1600)) for _ in range(rng.randint(1, 6)))
    return kind, f"program-fail={blocks}", True


def run_line(korvex, home, dump, faults, events, timeout):
    shutil.rmtree(dump, ignore_errors=True)
    os.makedirs(dump)
    command = ["nice", "-n", "19", korvex, "--home", home, "--json", "station", "--sim", str(PORTS),
               "--nand", os.path.join(home, "images", "nand.bin"), "--until-done", "--sim-dump", dump]
    for port, fault in faults.items():
        command += ["--sim-fault", f"{port}:{fault}"]
    for event in events:
        command += ["--sim-event", event]
    try:
        done = subprocess.run(command, capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None, {}, []
    results, log = {}, []
    for line in done.stdout.splitlines():
        item = json.loads(line)
        if item["type"] == "result":
            results[item["port"]] = item
        elif item["type"] == "log":
            log.append(item["line"])
    return done.returncode, results, log


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--korvex", default="build/dev/korvex")
    parser.add_argument("--minutes", type=float, default=5)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--work", default="/dev/shm/korvex-soak")
    parser.add_argument("--timeout", type=float, default=180)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    home, dump = os.path.join(args.work, "home"), os.path.join(args.work, "dump")
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(home)
    subprocess.run([args.korvex, "--home", home, "sim-home"], check=True, capture_output=True)

    code, results, _ = run_line(args.korvex, home, dump, {}, [], args.timeout)
    references = {masked_digest(os.path.join(dump, f"board-{k + 1}.nand"))[0] for k in range(PORTS)}
    if code != 0 or len(references) != 1:
        sys.exit(f"the clean run did not give one reference (exit {code}, {len(references)} NANDs)")
    reference = references.pop()

    stats = dict(runs=0, boards=0, burned=0, faults=0, mismatches=0, clean_not_burned=0,
                 recovered=0, recovered_mismatches=0, crashed=0, hung=0, close_not_last=0)
    kinds = {}
    deadline = time.monotonic() + args.minutes * 60
    while time.monotonic() < deadline:
        faults, events, link_faults = {}, [], set()
        for port in rng.sample(range(1, PORTS + 1), rng.randint(1, 3)):
            kind, fault, stays = random_fault(rng)
            faults[port] = fault
            kinds[kind] = kinds.get(kind, 0) + 1
            # A hung or refused board waits for the operator; a pulled one may come back.
            if stays or rng.random() < 0.5:
                pull = rng.randint(1, 4)
                events.append(f"{pull}s:unplug:{port}")
                again = rng.choice(["plug", "plug-new"])
                if kind in ("storm", "program-fail"):
                    again = "plug-new"
                events.append(f"{pull + rng.randint(3, 5)}s:{again}:{port}")
                if kind not in ("storm", "program-fail"):
                    link_faults.add(port)
                elif again == "plug-new":
                    link_faults.add(port)  # the new board has no fault at all
        code, results, log = run_line(args.korvex, home, dump, faults, events, args.timeout)
        stats["runs"] += 1
        stats["faults"] += len(faults)
        if code is None:
            stats["hung"] += 1
            print(f"run {stats['runs']}: station did not end: {faults} {events}", flush=True)
            continue
        if code not in (0, 1):
            stats["crashed"] += 1
            print(f"run {stats['runs']}: exit {code}: {faults} {events}", flush=True)
        if not log or "someone close the tool of the korvex!" not in log[-1]:
            stats["close_not_last"] += 1
        for port in range(1, PORTS + 1):
            result = results.get(port)
            stats["boards"] += 1
            burned = result is not None and result["result"] == "burned"
            stats["burned"] += burned
            if port in faults and port not in link_faults:
                continue
            if not burned:
                if port not in faults:
                    stats["clean_not_burned"] += 1
                    print(f"run {stats['runs']}: clean port {port} ended {result}", flush=True)
                continue
            digest, uid = masked_digest(os.path.join(dump, f"board-{port}.nand"))
            same = digest == reference and uid == uid_bytes(result["uid"])
            if port in faults:
                stats["recovered"] += 1
                stats["recovered_mismatches"] += not same
            elif not same:
                stats["mismatches"] += 1
            if not same:
                print(f"run {stats['runs']}: port {port} NAND differs: {faults} {events}", flush=True)
        if stats["runs"] % 10 == 0:
            print(json.dumps(stats), flush=True)
    print(json.dumps(stats))
    print(json.dumps(kinds))
    shutil.rmtree(args.work, ignore_errors=True)
    bad = stats["mismatches"] + stats["recovered_mismatches"] + stats["clean_not_burned"] + \
        stats["crashed"] + stats["hung"] + stats["close_not_last"]
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
