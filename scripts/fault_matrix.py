#!/usr/bin/env python3
"""Fault matrix: every fault the simulated phone can inject, against every job, over
both links, with the NAND checked byte for byte after each run.

    scripts/fault-matrix.sh [--build DIR] [--out DIR] [--links serial,usb]
                            [--jobs upgrade,read-ptt,...] [--faults REGEX]
                            [--jobs-parallel N] [--time-limit S] [--cell-limit S]
                            [--gap-check-only]

Each cell starts a fresh velmora-phone-sim (a pseudo-terminal without pace, or the USB
stand-in) over a NAND file prepared for the job, runs velmora-cli --json against it and
judges what it left:

  0        exit 0 and the right content
  F<n>     the job failed with result n and said why (non-zero exit, a text)
  nr       the fault was never hit (its command was sent, not on that block or page)
  WRONG    exit 0 and wrong content (NAND or files)
  TOUCH    a failure that changed blocks the job must never change
  FAIL     a failure on a phone the job must serve (slow, busy or in another mode)
  NOTEXT   a failure without a result or without a text
  HANG     the cell's time limit ran out
  CRASH    the program ended by a signal
  -        not applicable: the job never sends that command on that link, or a USB
           option on the serial link

"Right content" for a job that failed is not asked for: a failed upgrade may leave a
partly written NAND. What is checked then is what must hold whatever happened: a read or
backup never changes the NAND, an erase or upgrade never touches block 0's neighbours
outside its range or the EEROM beyond what a fault-free run changes there.
"""
import argparse
import concurrent.futures
import importlib.util
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import threading
import time

# The chip of every cell: 96 blocks of 32 KiB, 2048 + 64 byte pages. The EEROM and
# reservoir are the top 74 blocks (22..95), so partitions live in blocks 1..21.
CHIP = "EC,10"
BLOCKS = 96
BLOCK = 0x8000
PAGE = 2048
SPARE = 64
PAGES = BLOCK // PAGE
RAW_PAGE = PAGE + SPARE
RAW_BLOCK = PAGES * RAW_PAGE
HEADER = 4096
TOP = BLOCKS - 74
BOOT_SIZE = 0x4000

# Block 0 boot; block 1 and block 6 lie outside every partition (gaps).
PARTITIONS = [
    # name, id, file, offset, size, content length, with spare, extra keys
    ("code", 0x01, "code.bin", 2 * BLOCK, 4 * BLOCK, 3 * BLOCK - 0x1234, False,
     ["partition_protected=1", "partition_shadow=1", "partition_shadow_address=0x80000000",
      "partition_exec_address=0x80000000", "partition_load=1", "partition_exec=1",
      "partition_header=1"]),
    ("lang", 0x02, "lang.bin", 7 * BLOCK, 2 * BLOCK, BLOCK + 0x2000, False,
     ["partition_protected=0"]),
    ("yaffs", 0x03, "yaffs.bin", 9 * BLOCK, 4 * BLOCK, 3 * RAW_BLOCK, True,
     ["partition_protected=0"]),
]
PARTITION_BLOCKS = {b for p in PARTITIONS for b in range(p[3] // BLOCK, (p[3] + p[4]) // BLOCK)}

GAP_BLOCKS = (1, 6, 15)

DFU_IDS = "1209:0001"  # the simulated phone's boot ROM  # between and after the partitions

AREA_START, AREA_END = 1 * BLOCK, 13 * BLOCK - 1  # read --range area: blocks 1..12

JOBS = {
    "upgrade": ["upgrade", "--ptt", "{fw}/fm.ptt", "--range", "all"],
    "read-ptt": ["read", "--range", "ptt", "--output", "{cell}/files"],
    "read-eerom": ["read", "--range", "eerom", "--output", "{cell}/files"],
    "read-area": ["read", "--range", "area", "--start", f"{AREA_START:X}",
                  "--end", f"{AREA_END:X}", "--output", "{cell}/files"],
    "erase-all": ["erase", "--range", "all", "--yes"],
    "backup": ["backup", "--range", "all", "--output", "{cell}/files"],
    "restore": ["restore", "{backup}", "--range", "all", "--yes"],
}
LINKS = ["serial", "usb"]

# The commands of each phase, as the loader numbers them.
PHASES = [
    ("id", 5), ("param", 6), ("ibt", 7), ("sdi", 14), ("record", 20),
    ("erase", 10), ("write", 8), ("wsmall", 9), ("rblock", 11), ("rpage", 13),
]


def fault_rows():
    """(row name, sim options, links, command it needs or None, layout-changing,
    two sessions)."""
    rows = [("none", [], LINKS, None, False, False)]
    late = {"drop": None, "status": None, "bad-crc": None, "stray": None, "vanish": None,
            "late": "6000"}
    for kind, value in late.items():
        for phase, cmd in PHASES:
            links = ["usb"] if cmd == 14 else LINKS
            spec = f"{cmd}" + (f":{value}" if value else "")
            rows.append((f"{kind} {phase}", [f"--{kind}", spec], links, cmd, False, False))
        # The same on one block: the code partition's second block, block 0 (boot and
        # the first read), and the first EEROM block.
        for cmd, phase in ((10, "erase"), (8, "write"), (11, "rblock")):
            for block in (3, 0, TOP):
                spec = f"{cmd}@{block}" + (f":{value}" if value else "")
                rows.append((f"{kind} {phase}@{block}", [f"--{kind}", spec], links,
                             (cmd, block), False, False))
        # Only the second time: a retry sees a clean answer.
        spec = "8@3#1" + (f":{value}" if value else "")
        rows.append((f"{kind} write@3#1", [f"--{kind}", spec], links, (8, 3), False, False))
    rows.append(("status:3 erase@3", ["--status", "10@3:3"], LINKS, (10, 3), False, False))
    # Every block read late: a backup reads about 170 blocks, so the delay is kept
    # where the slowest cell stays well inside the cell's time limit.
    rows.append(("late:500 read*", ["--late", "11:500*"], LINKS, 11, False, False))
    rows.append(("noise", ["--noise"], LINKS, None, False, False))
    for block in (3, 0, TOP, 10):
        rows.append((f"erase-fail {block}", ["--erase-fail", str(block)], LINKS, None, False,
                     False))
        rows.append((f"program-fail {block}", ["--program-fail", str(block)], LINKS, None,
                     False, False))
    for block in (1, 3, 10, TOP + 2):
        rows.append((f"bad {block}", ["--bad", str(block)], LINKS, None, True, False))
        rows.append((f"grown {block}", ["--grown", str(block)], LINKS, None, True, False))
        rows.append((f"turns-bad {block}", ["--turns-bad", str(block)], LINKS, None, True,
                     True))
    rows.append(("bad 0", ["--bad", "0"], LINKS, None, True, False))
    rows.append(("flip 3:100", ["--flip", "3:100"], LINKS, None, False, False))
    rows.append(("flip 0:5", ["--flip", "0:5"], LINKS, None, False, False))
    rows.append(("read-flip 3", ["--read-flip", "3"], LINKS, None, False, False))
    rows.append(("read-flip 0", ["--read-flip", "0"], LINKS, None, False, False))
    rows.append(("no-echo", ["--no-echo"], ["serial"], None, False, False))
    rows.append(("no-start", ["--no-start"], ["serial"], None, False, False))
    rows.append(("no-ack=2", ["--no-ack", "2"], ["serial"], None, False, False))
    usb = ["pull=1", "pull=3", "pull=6", "mute", "dfu-error", "dfu-error=stuck", "app,renum",
           "enum-ms=1500", "corrupt=1", "corrupt=5", "corrupt=40", "app", "stay-app",
           "notdone=J", "notdone=L", "not-tolerant", "no-loader", "busy=3", "packet=64",
           "busy-twin", "deny=busy", "deny-dlv=access"]
    for option in usb:
        options = ["@usb", option]
        if option.startswith(("app", "stay-app")):
            # A run-time DFU device that is on the bus before Start is only taken when
            # named; the phone here is, as the simulated phone starts first.
            options += ["@port", f"dfu={DFU_IDS}"]
        rows.append((f"usb {option}", options, ["usb"], None, False, False))
    return rows


# Rows whose phone is sound, only slow, busy, oddly shaped or in another mode: every job
# on them must succeed, and a failure is marked FAIL.
MUST_SERVE = {"none", "noise", "usb app", "usb app,renum", "usb enum-ms=1500", "usb busy=3",
              "usb packet=64", "usb busy-twin", "usb dfu-error"}


# ---------------------------------------------------------------------------
# Content


def _sample_maker():
    # The sample firmware's maker holds the content generator the matrix uses too.
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples",
                        "make-sample.py")
    spec = importlib.util.spec_from_file_location("make_sample", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


stream = _sample_maker().stream


def boot_image():
    image = bytearray(stream("fm-boot", BOOT_SIZE))
    struct.pack_into("<I", image, 0x20, 0x01234567)
    image[0xFE] = 2
    image[0x400:0x1000] = b"\xff" * 0xC00
    return bytes(image)


def partition_content(p):
    name, _, _, _, _, length, spare, _ = p
    if not spare:
        return stream("fm-" + name, length)
    out = bytearray()
    for page in range(length // RAW_PAGE):
        out += stream(f"fm-{name}:{page}", PAGE)
        s = bytearray(b"\xff" * SPARE)
        struct.pack_into("<I", s, 2, page)
        out += s
    return bytes(out)


def write_firmware(folder):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "boot.bin"), "wb") as f:
        f.write(boot_image())
    lines = ["[partition_table_config_start]", f"number_of_partition={len(PARTITIONS)}",
             "BootNand=boot.bin"]
    for k, p in enumerate(PARTITIONS, start=1):
        name, pid, path, offset, size, _, _, extra = p
        with open(os.path.join(folder, path), "wb") as f:
            f.write(partition_content(p))
        lines += ["", f"[partition#{k:02d}]", f"partition_id=0x{pid:02X}",
                  f"partition_name={name}", f"partition_path={path}",
                  f"partition_size=0x{size:08X}", f"partition_offset=0x{offset:08X}"] + extra
    with open(os.path.join(folder, "fm.ptt"), "w") as f:
        f.write("\n".join(lines) + "\n")


def write_catalogue(home):
    os.makedirs(home, exist_ok=True)
    with open(os.path.join(home, "FlashChip.ini"), "w") as f:
        f.write(f"[VERSION]\nDATE=2026-12-06\nVER=1.0\n\n[{CHIP}]\nBLOCK_NUM={BLOCKS}\n"
                f"BLOCK_SIZE={BLOCK // 1024}\nPAGE_SIZE={PAGE}\nSPARE_SIZE={SPARE}\n"
                "ERASE_TIME=2000\nWRITE_TIME=200\n")


def nand_header():
    h = bytearray(HEADER)
    h[0:14] = b"VELMORA-NAND-1"
    struct.pack_into("<iiii", h, 16, BLOCKS, BLOCK, PAGE, SPARE)
    return bytes(h)


def invert(data):
    return bytes(b ^ 0xFF for b in data) if len(data) < 64 else \
        (int.from_bytes(data, "little") ^ ((1 << (8 * len(data))) - 1)).to_bytes(len(data),
                                                                                  "little")


def write_random_nand(path):
    """Every block holds data (spare byte 0, the bad-block mark, stays 0xFF), so that a
    block nobody wrote is told from one written or erased."""
    with open(path, "wb") as f:
        f.write(nand_header())
        for b in range(BLOCKS):
            raw = bytearray()
            for page in range(PAGES):
                raw += stream(f"fm-pre:{b}:{page}", PAGE)
                raw += b"\xff" + stream(f"fm-pre-s:{b}:{page}", SPARE - 1)
            f.write(invert(bytes(raw)))


def read_nand(path):
    """The chip's blocks as the host sees them (main and spare bytes of each page)."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) != HEADER + BLOCKS * RAW_BLOCK:
        return None
    body = invert(data[HEADER:])
    return [body[b * RAW_BLOCK:(b + 1) * RAW_BLOCK] for b in range(BLOCKS)]


def main_bytes(raw_block):
    return b"".join(raw_block[p * RAW_PAGE:p * RAW_PAGE + PAGE] for p in range(PAGES))


ERASED = b"\xff" * RAW_BLOCK


# ---------------------------------------------------------------------------
# Running


class Runner:
    def __init__(self, args):
        self.args = args
        self.bin = os.path.join(args.build, "bin")
        self.out = args.out
        self.home = os.path.join(self.out, "home")
        self.fw = os.path.join(self.out, "firmware")
        self.deadline = time.monotonic() + args.time_limit
        self.lock = threading.Lock()
        self.done = 0

    def sim_command(self, cell, link, options, nand):
        cmd = [os.path.join(self.bin, "velmora-phone-sim"), "--chip", CHIP, "--catalogue",
               self.home, "--nand", nand, "--trace", os.path.join(cell, "trace.jsonl"),
               "--data-timeout", "3000"]
        usb_options = []
        port_items = []
        i = 0
        while i < len(options):
            if options[i] in ("@usb", "@port"):
                (usb_options if options[i] == "@usb" else port_items).append(options[i + 1])
                i += 2
            else:
                cmd.append(options[i])
                i += 1
        if link == "serial":
            port = os.path.join(cell, "port")
            cmd += ["--link", port]
            return cmd, port, port
        sock = os.path.join(cell, "usb.sock")
        cmd += ["--usb", sock]
        if usb_options:
            cmd += ["--usb-options", ",".join(usb_options)]
        return cmd, sock, ",".join(["unix:" + sock] + port_items)

    def start_sim(self, cell, link, options, nand):
        cmd, ready, port = self.sim_command(cell, link, options, nand)
        log = open(os.path.join(cell, "sim.log"), "wb")
        proc = subprocess.Popen(cmd, stdout=log, stderr=subprocess.STDOUT,
                                start_new_session=True)
        log.close()
        end = time.monotonic() + 10
        while time.monotonic() < end and not os.path.exists(ready) and proc.poll() is None:
            time.sleep(0.02)
        if not os.path.exists(ready):
            stop(proc)
            raise RuntimeError(f"the simulated phone did not start: {' '.join(cmd)}")
        return proc, port

    def run_cli(self, cell, link, port, job_args, name, limit):
        cmd = [os.path.join(self.bin, "velmora-cli"), "--home", self.home, "--json"]
        cmd += job_args + ["--port", port, "--timeout", "10"]
        if link == "usb":
            cmd.append("--usb")
        t0 = time.monotonic()
        with open(os.path.join(cell, name + ".out"), "wb") as out:
            proc = subprocess.Popen(cmd, stdout=out, stderr=subprocess.STDOUT,
                                    start_new_session=True)
            try:
                code = proc.wait(timeout=limit)
                hung = False
            except subprocess.TimeoutExpired:
                stop(proc)
                code, hung = None, True
        with open(os.path.join(cell, name + ".out"), "rb") as f:
            text = f.read().decode("utf-8", "replace")
        end = None
        for line in text.splitlines():
            try:
                e = json.loads(line)
            except ValueError:
                continue
            if isinstance(e, dict) and e.get("event") == "end":
                end = e
        return {"cmd": cmd, "exit": code, "hung": hung, "end": end,
                "seconds": round(time.monotonic() - t0, 2)}

    def job_args(self, job, cell):
        return [a.format(fw=self.fw, cell=cell, backup=os.path.join(self.out, "ref", "backup"))
                for a in JOBS[job]]

    def run(self, cell, link, options, job, start_nand, two_sessions=False, extra=()):
        """One job on a fresh phone over a copy of start_nand; the NAND it left is
        cell/nand."""
        os.makedirs(cell, exist_ok=True)
        nand = os.path.join(cell, "nand")
        shutil.copyfile(start_nand, nand)
        if os.path.isdir(os.path.join(cell, "files")):
            shutil.rmtree(os.path.join(cell, "files"))
        proc, port = self.start_sim(cell, link, options, nand)
        try:
            if two_sessions:  # a first job on the phone, which its chip outlives
                self.run_cli(cell, link, port, ["read", "--range", "area", "--start", "0",
                                                "--end", "0", "--output",
                                                os.path.join(cell, "first")], "first", 60)
            return self.run_cli(cell, link, port, self.job_args(job, cell) + list(extra), "job",
                                self.args.cell_limit)
        finally:
            stop(proc)


def stop(proc):
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()


def trace_events(cell):
    events = []
    try:
        with open(os.path.join(cell, "trace.jsonl")) as f:
            for line in f:
                try:
                    events.append(json.loads(line))
                except ValueError:
                    pass
    except OSError:
        pass
    return events


# ---------------------------------------------------------------------------
# Judging


def blocks_differ(a, b):
    return [i for i in range(BLOCKS) if a[i] != b[i]]


def check_files(job, cell, nand, bad):
    """What a read or backup wrote against the chip it read. Returns a list of problems."""
    files = os.path.join(cell, "files")
    problems = []

    def compare(name, want):
        try:
            with open(os.path.join(files, name), "rb") as f:
                got = f.read()
        except OSError as e:
            problems.append(f"{name}: {e.strerror}")
            return
        if got != want:
            at = next((i for i in range(min(len(got), len(want))) if got[i] != want[i]),
                      min(len(got), len(want)))
            problems.append(f"{name}: {len(got)} bytes, want {len(want)}; first difference "
                            f"at {at:#x}")

    if job == "read-ptt":
        if 0 not in bad:
            compare("boot_nand.bin", main_bytes(nand[0]))
        for k, p in enumerate(PARTITIONS, start=1):
            name, _, _, offset, _, length, spare, _ = p
            first = offset // BLOCK
            nblocks = -(-length // (RAW_BLOCK if spare else BLOCK))
            if bad & set(range(first, first + nblocks + 2)):
                continue  # replaced blocks: the read-back follows the record
            data = b"".join(nand[b] if spare else main_bytes(nand[b])
                            for b in range(first, first + nblocks))
            compare(f"parti_{k:02d}_{name}", data[:length])
    elif job == "read-eerom":
        if not bad & set(range(TOP, BLOCKS)):
            main = b"".join(main_bytes(nand[b]) for b in range(TOP, BLOCKS))
            raw = b"".join(nand[b] for b in range(TOP, BLOCKS))
            size = os.path.getsize(os.path.join(files, "upload_eerom.bin")) \
                if os.path.exists(os.path.join(files, "upload_eerom.bin")) else -1
            compare("upload_eerom.bin", raw if size == len(raw) else main)
    elif job == "read-area":
        if not bad & set(range(AREA_START // BLOCK, AREA_END // BLOCK + 1)):
            data = b"".join(main_bytes(nand[b]) for b in range(BLOCKS))
            compare("upload_range.bin", data[AREA_START:AREA_END + 1])
    elif job == "backup":
        try:
            with open(os.path.join(files, "manifest.json")) as f:
                manifest = json.load(f)
        except (OSError, ValueError) as e:
            return [f"manifest.json: {e}"]
        seen = set()
        for entry in manifest.get("files", []):
            if entry.get("kind") == "record":
                continue  # read with its own command, not as a block
            blocks = []
            for pair in entry.get("blocks", []):
                blocks.append(pair[1] if isinstance(pair, list) else pair)
            seen.update(blocks)
            want = b"".join(nand[b] for b in blocks)
            compare(entry["name"], want)
        missing = [b for b in range(BLOCKS) if b not in seen and b not in bad]
        if missing:
            problems.append(f"good blocks in no file: {missing}")
    return problems


def with_flips(blocks, flips):
    """The image a chip that stores these bits inverted holds after it was written with
    `blocks`: such a chip fault is invisible to a job that does not read back."""
    if not flips:
        return blocks
    out = list(blocks)
    for block, offset in flips:
        raw = bytearray(out[block])
        raw[offset] ^= 0x01
        out[block] = bytes(raw)
    return out


class Judge:
    def __init__(self, ref):
        self.ref = ref  # name -> blocks

    def content(self, job, link, cell, result, nand, start, layout, bad, flips=()):
        """Problems with what the job left, when it succeeded."""
        if nand is None:
            return ["the NAND file is gone or resized"]
        if job.startswith("read") or job == "backup":
            problems = [f"the read changed block {b}" for b in blocks_differ(start, nand)]
            return problems + check_files(job, cell, nand, bad)
        if job == "erase-all":  # code and file system: blocks 0 to B - 75
            problems = []
            for b in range(BLOCKS):
                if b < TOP and b not in bad and nand[b] != ERASED:
                    problems.append(f"block {b} not erased")
                if b >= TOP and nand[b] != start[b] and \
                        not (layout and nand[b] == ERASED):
                    problems.append(f"block {b} outside the range changed")
            return problems
        want = with_flips(self.ref["upgrade" if job == "upgrade" else "base"], flips)
        if layout:
            return self.logical(job, nand, bad, start)
        return [f"block {b} differs from a fault-free {job}" for b in blocks_differ(want, nand)]

    def logical(self, job, nand, bad, start):
        """With bad blocks the image moves; the blocks that did not move must match and
        the EEROM must be kept."""
        want = self.ref["upgrade" if job == "upgrade" else "base"]
        problems = []
        for b in range(1, TOP):
            if b in bad or b in PARTITION_BLOCKS:
                continue
            if job == "upgrade" and nand[b] != want[b]:
                problems.append(f"block {b} (not a partition's) differs")
        for p in PARTITIONS:
            first, end = p[3] // BLOCK, (p[3] + p[4]) // BLOCK
            if bad & set(range(first, end)):
                continue
            for b in range(first, end):
                if nand[b] != want[b]:
                    problems.append(f"block {b} of {p[0]} differs")
        if 0 not in bad and nand[0] != want[0] and job == "restore":
            problems.append("block 0 differs")
        return problems

    def touched(self, job, result, nand, start, layout, flips=()):
        """Problems with a failed job's NAND: changes it must never make."""
        if nand is None:
            return ["the NAND file is gone or resized"]
        changed = blocks_differ(start, nand)
        if job.startswith("read") or job == "backup":
            return [f"the read changed block {b}" for b in changed]
        if result["exit"] == 2:
            return [f"a refusal changed block {b}" for b in changed]
        if job == "erase-all":
            return [f"block {b} outside the range changed" for b in changed
                    if b >= TOP and not (layout and nand[b] == ERASED)]
        if job == "upgrade":
            # The record and its copy are written before the partitions; a block that
            # a fault-free upgrade rewrites may be left half done.
            want = self.ref["upgrade"]
            return [f"EEROM block {b} changed" for b in changed
                    if b >= TOP and want[b] == start[b] and not layout]
        if job == "restore":
            want = with_flips(self.ref["base"], flips)
            return [f"block {b} is neither as before nor as backed up" for b in changed
                    if nand[b] != want[b] and nand[b] != ERASED and not layout]
        return []


# ---------------------------------------------------------------------------


def prepare(r, links):
    """Firmware, catalogue, the NAND files each job starts from and the references."""
    write_catalogue(r.home)
    write_firmware(r.fw)
    ref = os.path.join(r.out, "ref")
    os.makedirs(ref, exist_ok=True)
    pre = os.path.join(ref, "pre.nand")
    write_random_nand(pre)
    starts = {}
    survey = {}
    # The upgrade every other job starts from, on the first link.
    first = links[0]
    res = r.run(os.path.join(ref, "upgrade-" + first), first, [], "upgrade", pre)
    if res["exit"] != 0:
        sys.exit(f"fault-matrix: the fault-free upgrade failed: {res}")
    base = os.path.join(ref, "base.nand")
    shutil.copyfile(os.path.join(ref, "upgrade-" + first, "nand"), base)
    res = r.run(os.path.join(ref, "backup"), first, [], "backup", base)
    if res["exit"] != 0:
        sys.exit(f"fault-matrix: the fault-free backup failed: {res}")
    shutil.copytree(os.path.join(ref, "backup", "files"), os.path.join(ref, "backup"),
                    dirs_exist_ok=True)
    res = r.run(os.path.join(ref, "erase"), first, [], "erase-all", base)
    if res["exit"] != 0:
        sys.exit(f"fault-matrix: the fault-free erase failed: {res}")
    erased = os.path.join(ref, "erased.nand")
    shutil.copyfile(os.path.join(ref, "erase", "nand"), erased)
    for job in JOBS:
        starts[job] = pre if job == "upgrade" else erased if job == "restore" else base
    # Which commands each job sends on each link: a fault-free run with its trace.
    for link in links:
        for job in JOBS:
            cell = os.path.join(ref, "survey", f"{job}-{link}")
            res = r.run(cell, link, [], job, starts[job])
            if res["exit"] != 0:
                sys.exit(f"fault-matrix: the fault-free {job} over {link} failed: {res}")
            frames = [e for e in trace_events(cell) if e.get("event") == "frame"]
            survey[(job, link)] = {e.get("cmd") for e in frames}
            # (command, block) for the commands that name blocks; a USB erase names a
            # range, first to end.
            for e in frames:
                a = e.get("args", [0, 0])
                if e.get("cmd") == 10 and link == "usb":
                    survey[(job, link)].update((10, b) for b in range(a[0], a[1]))
                elif e.get("cmd") in (8, 10, 11, 13):
                    survey[(job, link)].add((e.get("cmd"), a[0]))
    for link in links:
        print(f"commands sent over {link}: " + "; ".join(
            f"{job} {','.join(str(c) for c in sorted(x for x in survey[(job, link)] if isinstance(x, int)))}" for job in JOBS))
    refs = {"pre": read_nand(pre), "base": read_nand(base), "erased": read_nand(erased),
            "upgrade": read_nand(base)}
    for link in links:
        got = read_nand(os.path.join(ref, "survey", f"upgrade-{link}", "nand"))
        if got != refs["upgrade"]:
            print(f"note: a fault-free upgrade over {link} leaves other blocks than over "
                  f"{first}: {blocks_differ(got, refs['upgrade'])}")
    return starts, survey, refs


def gap_check(r, link):
    """upgrade, backup --range all, erase --range all, restore --range all: every block
    as before."""
    cell = os.path.join(r.out, "gap-check-" + link)
    os.makedirs(cell, exist_ok=True)
    nand = os.path.join(cell, "nand")
    write_random_nand(nand)
    proc, port = r.start_sim(cell, link, [], nand)
    steps = []
    try:
        steps.append(r.run_cli(cell, link, port, r.job_args("upgrade", cell), "upgrade", 120))
        # The upgrade erased the gaps; data in them (as another tool may leave) must
        # come back too. The phone is idle between jobs and maps the file shared.
        with open(nand, "r+b") as f:
            for b in GAP_BLOCKS:
                raw = bytearray()
                for page in range(PAGES):
                    raw += stream(f"fm-gap:{b}:{page}", PAGE)
                    raw += b"\xff" + stream(f"fm-gap-s:{b}:{page}", SPARE - 1)
                f.seek(HEADER + b * RAW_BLOCK)
                f.write(invert(bytes(raw)))
        shutil.copyfile(nand, os.path.join(cell, "before.nand"))
        steps.append(r.run_cli(cell, link, port, ["backup", "--range", "all", "--output",
                                                  os.path.join(cell, "B")], "backup", 120))
        steps.append(r.run_cli(cell, link, port, ["erase", "--range", "all", "--yes"],
                               "erase", 120))
        erased = read_nand(nand)
        steps.append(r.run_cli(cell, link, port, ["restore", os.path.join(cell, "B"), "--range",
                                                  "all", "--yes"], "restore", 120))
    finally:
        stop(proc)
    before, after = read_nand(os.path.join(cell, "before.nand")), read_nand(nand)
    exits = [s["exit"] for s in steps]
    differ = blocks_differ(before, after)
    erased_blocks = [b for b in range(BLOCKS) if erased[b] == ERASED and before[b] != ERASED]
    print(f"gap check over {link}: data planted in blocks {GAP_BLOCKS}; exits {exits}; "
          f"the erase cleared blocks "
          f"{compact(erased_blocks)}; after the restore {len(differ)} of {BLOCKS} blocks "
          f"differ from before{': ' + compact(differ) if differ else ''}")
    return exits == [0, 0, 0, 0] and not differ


def compact(blocks):
    out, i = [], 0
    blocks = sorted(blocks)
    while i < len(blocks):
        j = i
        while j + 1 < len(blocks) and blocks[j + 1] == blocks[j] + 1:
            j += 1
        out.append(str(blocks[i]) if i == j else f"{blocks[i]}-{blocks[j]}")
        i = j + 1
    return ",".join(out) or "none"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--build", default=os.path.join(here, "..", "build"))
    p.add_argument("--out", default=os.path.join(here, "..", "build", "fault-matrix"))
    p.add_argument("--links", default="serial,usb")
    p.add_argument("--jobs", default=",".join(JOBS))
    p.add_argument("--faults", default="", help="regular expression on the row names")
    p.add_argument("--jobs-parallel", type=int, default=2)
    p.add_argument("--time-limit", type=float, default=1800, help="seconds for the whole run")
    p.add_argument("--cell-limit", type=float, default=90, help="seconds for one cell")
    p.add_argument("--gap-check-only", action="store_true")
    p.add_argument("--list", action="store_true", help="print the cells and exit")
    args = p.parse_args()
    links = [x for x in args.links.split(",") if x]
    jobs = [x for x in args.jobs.split(",") if x]
    for x in links:
        if x not in LINKS:
            p.error(f"unknown link {x}")
    for x in jobs:
        if x not in JOBS:
            p.error(f"unknown job {x} (jobs: {', '.join(JOBS)})")
    args.out = os.path.abspath(args.out)
    args.build = os.path.abspath(args.build)
    for program in ("velmora-cli", "velmora-phone-sim"):
        if not os.access(os.path.join(args.build, "bin", program), os.X_OK):
            p.error(f"{program} is not built in {args.build}/bin")
    if os.path.isdir(args.out):
        shutil.rmtree(args.out)
    os.makedirs(args.out)
    started = time.monotonic()
    r = Runner(args)
    if args.gap_check_only:
        write_catalogue(r.home)
        write_firmware(r.fw)
        ok = all([gap_check(r, link) for link in links])
        return 0 if ok else 1

    rows = [row for row in fault_rows() if re.search(args.faults, row[0])]
    starts, survey, refs = prepare(r, links)
    judge = Judge(refs)
    columns = [(job, link) for job in jobs for link in links]
    cells = []
    skipped = 0
    for row in rows:
        name, options, row_links, command, layout, two = row
        for job, link in columns:
            if link not in row_links or (command is not None and
                                         command not in survey[(job, link)]):
                skipped += 1
                continue
            cells.append((row, job, link))
    print(f"fault matrix: {len(rows)} faults x {len(columns)} job/link columns = "
          f"{len(rows) * len(columns)} products, {len(cells)} cells to run ({skipped} not "
          f"applicable); {args.jobs_parallel} at a time")
    if args.list:
        return 0

    marks = {}
    details = []

    def one(cell_spec):
        row, job, link = cell_spec
        name, options, _, command, layout, two = row
        if time.monotonic() > r.deadline:
            return cell_spec, "SKIP", {}
        folder = os.path.join(args.out, "cells", re.sub(r"[^A-Za-z0-9=.@#:_-]+", "_", name),
                              f"{job}-{link}")
        extra = []
        if options[:1] == ["--read-flip"] and (job.startswith("read") or job == "backup"):
            # A read that differs once is only seen by reading twice.
            extra = ["--read-twice"]
        res = r.run(folder, link, options, job, starts[job], two, extra)
        events = trace_events(folder)
        fired = any(e.get("event") == "fault" for e in events)
        nand = read_nand(os.path.join(folder, "nand"))
        start = refs["pre" if job == "upgrade" else "erased" if job == "restore" else "base"]
        bad = set()
        if layout:
            bad = {int(x) for x in options[1].split("+")}
        flips = []
        if options[:1] == ["--flip"]:
            flips = [tuple(int(v) for v in x.split(":")) for x in options[1].split("+")]
        end = res["end"] or {}
        problems = []
        if res["hung"]:
            mark = "HANG"
        elif res["exit"] is None or res["exit"] < 0:
            mark = "CRASH"
        elif res["exit"] == 0:
            problems = judge.content(job, link, folder, res, nand, start, layout, bad, flips)
            if problems:
                mark = "WRONG"
            elif command is not None and not fired:
                mark = "nr"
            else:
                mark = "0"
        else:
            text = end.get("error", "")
            if end.get("result") in (None, 0) or not str(text).strip():
                mark = "NOTEXT"
            else:
                problems = judge.touched(job, res, nand, start, layout, flips)
                if problems:
                    mark = "TOUCH"
                elif name in MUST_SERVE:
                    mark, problems = "FAIL", [str(text)]
                else:
                    mark = f"F{end.get('result')}"
        info = {"fault": name, "job": job, "link": link, "mark": mark, "exit": res["exit"],
                "result": end.get("result"), "error": end.get("error"),
                "fault_fired": fired, "seconds": res["seconds"], "problems": problems[:20],
                "command": " ".join(res["cmd"]), "folder": folder}
        with open(os.path.join(folder, "cell.json"), "w") as f:
            json.dump(info, f, indent=1, ensure_ascii=False)
        with r.lock:
            r.done += 1
            done = r.done
            if done % 100 == 0:
                print(f"  {done} of {len(cells)} cells done", flush=True)
            if mark in ("WRONG", "TOUCH", "FAIL", "NOTEXT", "HANG", "CRASH"):
                print(f"  [{done}/{len(cells)}] {mark}: {name} / {job} / {link}: exit "
                      f"{res['exit']} result {end.get('result')} {problems[:3]}", flush=True)
        return cell_spec, mark, info

    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs_parallel) as pool:
        for cell_spec, mark, info in pool.map(one, cells):
            marks[(cell_spec[0][0], cell_spec[1], cell_spec[2])] = mark
            if info:
                details.append(info)

    # The table.
    heads = [f"{job}/{link[0]}" for job, link in columns]
    width = max(len(row[0]) for row in rows)
    colw = [max(len(h), 6) for h in heads]
    lines = [" " * width + " | " + " ".join(h.rjust(w) for h, w in zip(heads, colw))]
    for row in rows:
        cellmarks = [marks.get((row[0], job, link), "-") for job, link in columns]
        lines.append(row[0].ljust(width) + " | " +
                     " ".join(m.rjust(w) for m, w in zip(cellmarks, colw)))
    table = "\n".join(lines)
    print(table)
    with open(os.path.join(args.out, "table.txt"), "w") as f:
        f.write(table + "\n")
    with open(os.path.join(args.out, "cells.json"), "w") as f:
        json.dump(details, f, indent=1, ensure_ascii=False)

    totals = {}
    for m in marks.values():
        key = "F" if m.startswith("F") else m
        totals[key] = totals.get(key, 0) + 1
    wrong = [d for d in details if d["mark"] == "WRONG"]
    flagged = [d for d in details if d["mark"] in ("TOUCH", "FAIL", "NOTEXT", "HANG", "CRASH")]
    print("\nexit 0 with wrong content:" + ("" if wrong else " none"))
    for d in wrong:
        print(f"  {d['fault']} / {d['job']} / {d['link']}: {d['problems'][:5]}  ({d['folder']})")
    print("flagged:" + ("" if flagged else " none"))
    for d in flagged:
        print(f"  {d['mark']} {d['fault']} / {d['job']} / {d['link']}: exit {d['exit']} "
              f"result {d['result']} {d['problems'][:3]}  ({d['folder']})")
    print("totals: " + ", ".join(f"{k} {v}" for k, v in sorted(totals.items())) +
          f"; {len(cells)} cells, {skipped} not applicable; "
          f"{time.monotonic() - started:.0f} s; logs in {args.out}/cells")
    if "SKIP" in totals:
        print(f"the time limit ({args.time_limit:.0f} s) left {totals['SKIP']} cells unrun")
    return 1 if wrong or flagged else 0


if __name__ == "__main__":
    sys.exit(main())
