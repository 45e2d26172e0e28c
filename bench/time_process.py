#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Times a command as a whole process: start-up, loading of libraries and exit included.

usage: bench/time_process.py [-n RUNS] [--warmup N] -- COMMAND [ARG ...]

Runs COMMAND RUNS times (default 20) after N runs that are not counted (default 1), with an
empty standard input and its output thrown away, and prints min, median and max of the wall
time (a monotonic clock around start and reaping) and of the CPU time (user + system, the
kernel's own accounting of the child). Quote the median; a wide spread says the machine was
busy.
"""
import argparse
import os
import statistics
import sys
import time


def run_once(command, null):
    # posix_spawn rather than subprocess: nothing of Python's own set-up is in the figure.
    actions = [(os.POSIX_SPAWN_DUP2, null, fd) for fd in (0, 1, 2)]
    start = time.monotonic()
    pid = os.posix_spawnp(command[0], command, os.environ, file_actions=actions)
    _, status, usage = os.wait4(pid, 0)
    wall = time.monotonic() - start
    return wall, usage.ru_utime + usage.ru_stime, os.waitstatus_to_exitcode(status)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-n", type=int, default=20, dest="runs")
    parser.add_argument("--warmup", type=int, default=1)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command or args.runs < 1:
        parser.error("give a command after --, and at least one run")
    null = os.open(os.devnull, os.O_RDWR)
    for _ in range(args.warmup):
        run_once(command, null)
    walls, cpus, codes = [], [], set()
    for _ in range(args.runs):
        wall, cpu, code = run_once(command, null)
        walls.append(wall * 1000)
        cpus.append(cpu * 1000)
        codes.add(code)
    print(f"{' '.join(command)}\n  {args.runs} runs, exit codes {sorted(codes)}")
    print(f"  {'':6}{'min':>9}{'median':>9}{'max':>9}  (ms)")
    for name, values in (("wall", walls), ("cpu", cpus)):
        print(f"  {name:6}{min(values):9.1f}{statistics.median(values):9.1f}{max(values):9.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
