#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
# The traffic in the real tshark: captures written by corvix-cli --pcap against corvix-devsim
# open decoded by data/wireshark/corvix.lua (every frame's function, a good checksum; expert
# info for a corrupted reply), and corvix-cli extcap is a live capture interface (listed by
# tshark -D, a 5-second capture holds status replies, the port is free afterwards).
# Usage: wireshark_test.py CORVIX-CLI CORVIX-DEVSIM CORVIX.LUA
# Exit 77 (skipped) when tshark is not installed.
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

SKIP = 77
failures = []


def check(name, ok, detail=""):
    print(("ok: " if ok else "FAILED: ") + name)
    if not ok:
        if detail:
            print(detail)
        failures.append(name)


class Devsim:
    """A simulated device on a pseudo-terminal; `path` is the PC's end."""

    def __init__(self, program, *options):
        self.proc = subprocess.Popen([program, "--change-every-ms", "0", *options],
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.path = self.proc.stdout.readline().strip()
        if not self.path:
            raise RuntimeError("corvix-devsim printed no path: " + self.proc.stderr.read())

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait(timeout=30)


def wait_until_gone(*words, limit=60):
    """Waits until no process has all of `words` in its command line; False after `limit` s."""
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        alive = False
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    line = f.read().decode(errors="replace").split("\0")
            except OSError:
                continue
            alive = alive or all(w in line for w in words)
        if not alive:
            return True
        time.sleep(0.1)
    return False


def run(args, env, timeout=120):
    return subprocess.run(args, env=env, capture_output=True, text=True, timeout=timeout)


def fields(env, lua, capture, *names, display_filter=None):
    args = ["tshark", "-n", "-X", "lua_script:" + lua, "-r", capture, "-T", "fields"]
    for name in names:
        args += ["-e", name]
    if display_filter:
        args += ["-Y", display_filter]
    out = run(args, env)
    if out.returncode != 0:
        return None, out.stderr
    return [line.split("\t") for line in out.stdout.splitlines()], out.stderr


def read_config_capture(cli, devsim, lua, env, work, name, *devsim_options):
    """Captures a read-config; returns the (function, checksum status, type) of every packet."""
    project = os.path.join(work, name + ".mac")
    capture = os.path.join(work, name + ".pcapng")
    run([cli, "project", "new", project], env)
    with Devsim(devsim, *devsim_options) as device:
        out = run([cli, "device", "read-config", project, "--port", device.path, "--pcap", capture], env)
    check(name + ": read-config succeeds", out.returncode == 0, out.stdout + out.stderr)
    rows, err = fields(env, lua, capture, "corvix.function", "corvix.checksum.status", "corvix.type")
    check(name + ": tshark reads the capture", rows is not None and len(rows) > 0, err)
    return capture, rows or []


def test_files(cli, devsim, lua, env, work):
    # A clean read: three requests and three replies of 931, 931 and 622 image bytes.
    capture, rows = read_config_capture(cli, devsim, lua, env, work, "clean")
    check("clean: every frame is a configuration frame with a good checksum",
          len(rows) >= 6 and all(r == ["0x10", "1", r[2]] for r in rows), str(rows))
    check("clean: requests and replies alternate", [r[2] for r in rows[:6]] == ["0x10", "0x12"] * 3, str(rows))
    offsets, _ = fields(env, lua, capture, "corvix.config.offset", "corvix.config.address",
                        display_filter="corvix.type == 0x12")
    check("clean: the replies' image offsets and the device address",
          offsets == [["0", "1"], ["931", ""], ["1862", ""]], str(offsets))
    # Packet comments count as expert info of their own; warnings and errors must not be there.
    expert, err = fields(env, lua, capture, "frame.number", display_filter="_ws.expert.severity >= 0x00600000")
    check("clean: no expert warning or error", expert == [], str(expert) + err)

    # Every second reply corrupted: the PC resends and still completes the read.
    capture, rows = read_config_capture(cli, devsim, lua, env, work, "corrupted", "--bad-checksum-every", "2")
    bad = [r for r in rows if r[1] == "0"]
    check("corrupted: some replies have a bad checksum, the rest a good one",
          len(bad) >= 1 and all(r[1] in ("0", "1") and r[0] == "0x10" for r in rows), str(rows))
    flagged, err = fields(env, lua, capture, "frame.number", display_filter="corvix.checksum.bad")
    check("corrupted: a bad-checksum expert info on each bad reply",
          flagged is not None and len(flagged) == len(bad), str(flagged) + err)
    resent, err = fields(env, lua, capture, "corvix.resend", display_filter="corvix.resend")
    check("corrupted: the request after each bad reply is marked as a resend",
          resent is not None and len(resent) == len(bad) and all(r == ["1"] for r in resent), str(resent) + err)
    out = run(["tshark", "-n", "-q", "-X", "lua_script:" + lua, "-r", capture, "-z", "expert,error"], env)
    check("corrupted: tshark's expert statistics list the bad checksum", "Bad checksum" in out.stdout,
          out.stdout + out.stderr)


def test_extcap(cli, devsim, lua, env, work):
    # tshark honours WIRESHARK_EXTCAP_DIR only without special privileges: as root, tshark and
    # the extcap program it starts run as nobody, on a copy of corvix-cli that nobody can reach.
    as_user = []
    live = os.path.join(work, "live")
    os.mkdir(live)
    folder = os.path.join(live, "extcap")
    os.mkdir(folder)
    if os.getuid() == 0:
        as_user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
        shutil.copy(cli, os.path.join(folder, "corvix-cli"))
        cli_for_tshark = os.path.join(folder, "corvix-cli")
        home = os.path.join(live, "home")
        os.mkdir(home)
        os.chown(home, 65534, 65534)
        env = dict(env, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"))
        for path in (work, live, folder):
            os.chmod(path, 0o755)
        os.chmod(live, 0o777)
    else:
        cli_for_tshark = cli
    link = os.path.join(folder, "corvix-extcap")
    with open(link, "w") as f:
        f.write('#!/bin/sh\nexec "%s" extcap "$@"\n' % cli_for_tshark)
    os.chmod(link, 0o755)
    env = dict(env, WIRESHARK_EXTCAP_DIR=folder)
    out = run(as_user + ["tshark", "-D"], env)
    check("tshark -D lists the Corvix serial link", "corvix (Corvix serial link)" in out.stdout,
          out.stdout + out.stderr)

    with Devsim(devsim) as device:
        if as_user:
            os.chmod(device.path, 0o666)
        capture = os.path.join(live, "live.pcapng")
        # Four packets are the first two exchanges; the time limit only keeps a fault from
        # hanging the test, so a slow machine cannot fail it.
        out = run(as_user + ["tshark", "-n", "-i", "corvix", "-o", "extcap.corvix.port:" + device.path,
                             "-c", "4", "-a", "duration:300", "-w", capture], env, timeout=400)
        check("a live capture ends cleanly", out.returncode == 0, out.stdout + out.stderr)
        rows, err = fields(env, lua, capture, "corvix.type", "corvix.function", "corvix.status.firmware",
                           "corvix.checksum.status")
        replies = [r for r in (rows or []) if r[:2] == ["0x12", "0x30"]]
        check("the live capture holds status polls and their replies, with the firmware version",
              len(replies) >= 1 and all(r[2] and r[3] == "1" for r in replies)
              and any(r[:2] == ["0x10", "0x30"] for r in rows), str(rows) + err)
        # Stopped means the port was let go: once the capture program has ended (tshark may
        # return while it is still closing), another program can take the port.
        check("the capture program ends", wait_until_gone("extcap", device.path))
        out = run([cli, "device", "status", "--port", device.path], env)
        check("the port is free after the capture", out.returncode == 0, out.stdout + out.stderr)


def frame(control, segment, address, ftype, function, data=b"", checksum_delta=0, end=0x16):
    """A frame built by hand: start, length, header, data, checksum, end."""
    body = struct.pack("<BHBBBB", control, segment, address, 0, ftype, function) + data
    return (b"\x58" + struct.pack("<H", len(body)) + body +
            struct.pack("<I", (sum(body) + checksum_delta) & 0xFFFFFFFF) + bytes([end]))


def hand_capture(path, packets):
    """A pcapng file of link type 147 holding `packets` (bytes, inbound) as they are."""
    def block(kind, body):
        body += b"\0" * (-len(body) % 4)
        return struct.pack("<II", kind, len(body) + 12) + body + struct.pack("<I", len(body) + 12)
    out = block(0x0A0D0D0A, struct.pack("<IHHq", 0x1A2B3C4D, 1, 0, -1))
    out += block(1, struct.pack("<HHI", 147, 0, 0))
    for i, (data, inbound) in enumerate(packets):
        flags = struct.pack("<HHI", 2, 4, 1 if inbound else 2) + struct.pack("<HH", 0, 0)
        out += block(6, struct.pack("<IIIII", 0, 0, i, len(data), len(data)) + data +
                     b"\0" * (-len(data) % 4) + flags)
    with open(path, "wb") as f:
        f.write(out)


def wire_event(name, number, rising):
    return name.ljust(32, b"\0") + struct.pack("<HHBBBBBHB", number, 2026, 12, 9, 2, 41, 5, 7, 1 if rising else 0)


STATUS = struct.pack("<HHHI", 0, 8, 5, 0) + bytes([0, 1, 2, 1, 0]) + bytes([1, 2, 3])
IMAGE = bytearray(2484)
IMAGE[0:5] = b"Dev 7"
struct.pack_into("<hBBB", IMAGE, 156, 7, 1, 0, 2)
struct.pack_into("<IIBBBBBBH", IMAGE, 164, 9600, 19200, 8, 9, 2, 0, 0, 2, 2)
IMAGE[180:191] = b"matrix in01"
IMAGE[212:222] = "矩阵输入02".encode("gbk")

# name, frame bytes, received?, {field: value tshark prints}, expert infos raised
DISSECTED = [
    ("status request", frame(0x40, 0, 0, 0x10, 0x30), False,
     {"corvix.length": "7", "corvix.function": "0x30", "corvix.checksum": "0x00000080",
      "corvix.checksum.status": "1"}, []),
    ("status reply", frame(0x40, 0, 1, 0x12, 0x30, STATUS), True,
     {"corvix.status.count": "5", "corvix.status.input": "0,1,2,1,0", "corvix.status.new_events": "1",
      "corvix.status.firmware": "01.02.03"}, []),
    ("clock reply", frame(0x01, 0, 1, 0x12, 0x22, struct.pack("<HHBBBBBH", 11, 2026, 12, 9, 2, 40, 27, 123)), True,
     {"corvix.clock.time": "2026-12-09 02:40:27.123", "corvix.clock.year": "2026"}, []),
    ("output test request", frame(0x01, 0, 0, 0x11, 0x44, bytes([8, 0, 1, 0, 1, 0, 0, 1])), False,
     {"corvix.output.item": "0", "corvix.output.state": "1"}, []),
    ("output test reply, two items", frame(0x01, 0, 1, 0x12, 0x44, struct.pack("<HHB", 15, 2, 0) +
                                           struct.pack("<HBH", 256, 0, 0) + struct.pack("<HBH", 0, 1, 0)), True,
     {"corvix.output.item": "256,0", "corvix.output.state": "0,1"}, []),
    ("new events", frame(0x40, 0, 1, 0x12, 0x55, b"\0" * 4 + wire_event(b"matrix in03", 4, True) +
                         wire_event("矩阵输入04".encode("gbk"), 499, False) + b"\1\2"), True,
     {"corvix.event.signal": "matrix in03,矩阵输入04", "corvix.event.number": "4,499",
      "corvix.event.transition": "1,0", "corvix.event.time": "2026-12-09 02:41:05.007,2026-12-09 02:41:05.007",
      "corvix.event.count": "2"}, []),
    ("event log segment 1 has no prefix", frame(0x80, 1, 1, 0x12, 0x50, wire_event(b"in9", 9, True)), True,
     {"corvix.event.count": "1", "corvix.event.number": "9"}, []),
    ("21 events are refused", frame(0x40, 0, 1, 0x12, 0x50, b"\0" * 4 + wire_event(b"x", 1, True) * 21), True,
     {"corvix.event.count": "21"}, ["corvix.event.refused"]),
    ("configuration piece 0", frame(0x80, 0, 7, 0x12, 0x10, bytes(IMAGE[:300])), True,
     {"corvix.config.offset": "0", "corvix.config.name": "Dev 7", "corvix.config.address": "7",
      "corvix.config.protocol": "1,0", "corvix.config.time_sync": "2", "corvix.config.baud_rate": "9600,19200",
      "corvix.config.data_bits": "8,9", "corvix.config.stop_bits": "2,0", "corvix.config.parity": "0,2",
      "corvix.config.signal_count": "2", "corvix.config.signal_name": "matrix in01,矩阵输入02,"}, []),
    # Pieces of any size: each starts where the one before it in the transfer ended.
    ("configuration piece 1", frame(0x80, 1, 7, 0x12, 0x10, bytes(IMAGE[300:1231])), True,
     {"corvix.config.offset": "300", "corvix.config.address": ""}, []),
    ("configuration piece 2", frame(0x80, 2, 7, 0x12, 0x10, bytes(IMAGE[1231:2162])), True,
     {"corvix.config.offset": "1231"}, []),
    ("configuration piece 3, past the image", frame(0x40, 3, 7, 0x12, 0x10, bytes(IMAGE[2162:]) + b"\0" * 5), True,
     {"corvix.config.offset": "2162", "corvix.config.beyond_image": "0000000000"}, []),
    ("configuration write, second piece", frame(0xC0, 1, 0, 0x11, 0x10, bytes(IMAGE[928:1856])), False,
     {"corvix.config.offset": "928"}, []),
    ("bad checksum", frame(0x40, 0, 1, 0x12, 0x30, STATUS, checksum_delta=1), True,
     {"corvix.checksum.status": "0"}, ["corvix.checksum.bad"]),
    ("no end byte", frame(0x40, 0, 1, 0x12, 0x30, STATUS, end=0x17), True,
     {"corvix.checksum.status": "1", "corvix.end": "0x17"}, ["corvix.end.missing"]),
    ("cut short", frame(0x40, 0, 1, 0x12, 0x30, STATUS)[:-6], True,
     {"corvix.checksum.status": "2"}, ["corvix.length.wrong", "corvix.end.missing"]),
    ("length below the header", b"\x58\x03\x00\x40\x00\x00\x40\x00\x00\x00\x16", True,
     {"corvix.length": "3"}, ["corvix.length.wrong"]),
    ("trailing bytes", frame(0x40, 0, 1, 0x12, 0x30, STATUS) + b"\x58\x07", True,
     {"corvix.trailing": "5807", "corvix.checksum.status": "1"}, ["corvix.trailing.bytes"]),
    ("no frame", b"\x11\x22\x33", True, {"corvix.garbage": "112233"}, ["corvix.no_frame"]),
]
EXPERTS = ["corvix.checksum.bad", "corvix.length.wrong", "corvix.end.missing", "corvix.trailing.bytes",
           "corvix.no_frame", "corvix.event.refused"]


def test_dissector(lua, env, work):
    capture = os.path.join(work, "hand.pcapng")
    hand_capture(capture, [(data, inbound) for _, data, inbound, _, _ in DISSECTED])
    names = sorted({name for case in DISSECTED for name in case[3]})
    rows, err = fields(env, lua, capture, *names)
    raised = {}
    for expert in EXPERTS:
        numbers, err2 = fields(env, lua, capture, "frame.number", display_filter=expert)
        for (number,) in numbers or []:
            raised.setdefault(int(number), []).append(expert)
    if rows is None or len(rows) != len(DISSECTED):
        check("tshark dissects the hand-written capture", False, str(rows) + err)
        return
    for i, (name, _, _, expected, experts) in enumerate(DISSECTED):
        got = dict(zip(names, rows[i]))
        wrong = {k: (got[k], v) for k, v in expected.items() if got[k] != v}
        check("dissected: " + name, not wrong and sorted(raised.get(i + 1, [])) == sorted(experts),
              "fields (got, wanted): %s; expert info: %s" % (wrong, raised.get(i + 1, [])))
    # Names past the signal count (2 here, from piece 0) carry no meaning, in later pieces too.
    first = [i + 1 for i, case in enumerate(DISSECTED) if case[0] == "configuration piece 0"][0]
    out = run(["tshark", "-n", "-V", "-X", "lua_script:" + lua, "-r", capture, "-Y",
               "frame.number >= %d && frame.number <= %d" % (first, first + 1)], env)
    unused = [line.strip() for line in out.stdout.splitlines() if "beyond the signal count" in line]
    check("names past the signal count are marked unused",
          "Signal name 2: 矩阵输入02" in out.stdout and unused[:1] == ["Signal name 3:  (beyond the signal count: unused)"]
          and len(unused) == 1 + 28, "\n".join(unused[:3]) + " ... %d" % len(unused))


def test_extcap_steps(cli, env, work):
    out = run([cli, "extcap", "--extcap-interfaces", "--extcap-version=4.0"], env)
    check("--extcap-interfaces names the interface", out.returncode == 0 and
          "interface {value=corvix}{display=Corvix serial link}" in out.stdout, out.stdout + out.stderr)
    out = run([cli, "extcap", "--extcap-dlts", "--extcap-interface", "corvix"], env)
    check("--extcap-dlts gives link type 147", "dlt {number=147}" in out.stdout, out.stdout + out.stderr)
    out = run([cli, "extcap", "--extcap-config", "--extcap-interface=corvix"], env)
    calls = [c for c in ("--port", "--baud", "--parity", "--data-bits", "--stop-bits", "--poll")
             if "{call=%s}" % c not in out.stdout]
    check("--extcap-config offers the line settings and polling", out.returncode == 0 and not calls,
          out.stdout + str(calls))
    for name, args, code, text in [
        ("unknown interface", ["--extcap-dlts", "--extcap-interface", "eth0"], 2, "eth0"),
        ("capture without a port", ["--capture", "--extcap-interface", "corvix", "--fifo", "x"], 2, "--port"),
        ("capture without a fifo", ["--capture", "--extcap-interface", "corvix", "--port", "x"], 2, "--fifo"),
        ("bad line option", ["--extcap-config", "--extcap-interface", "corvix", "--parity", "mark"], 2, "parity"),
        ("port that cannot be opened", ["--capture", "--extcap-interface", "corvix", "--port",
                                        os.path.join(work, "no-such-port"), "--fifo",
                                        os.path.join(work, "unused.pcapng")], 4, "serial port"),
    ]:
        out = run([cli, "extcap", *args], env)
        check("refused: " + name, out.returncode == code and text in out.stderr,
              "status %d\n%s" % (out.returncode, out.stderr))


def main():
    cli, devsim, lua = (os.path.abspath(p) for p in sys.argv[1:4])
    if shutil.which("tshark") is None:
        print("SKIPPED: tshark is not installed (Debian package tshark; scripts/deps.sh installs it)")
        return SKIP
    with tempfile.TemporaryDirectory() as work:
        home = os.path.join(work, "home")
        os.mkdir(home)
        # tshark's own settings and plugin folders stay out of the way of the user's.
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_DATA_HOME=os.path.join(home, ".local", "share"),
                   XDG_CACHE_HOME=os.path.join(home, ".cache"), LANG="C.UTF-8")
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        test_dissector(lua, env, work)
        test_extcap_steps(cli, env, work)
        test_files(cli, devsim, lua, env, work)
        test_extcap(cli, devsim, lua, env, work)
    print("%d failed" % len(failures) if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
