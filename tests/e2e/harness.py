# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

"""What every kind of boot shares: a boot and its cases, the register images and what each
monitoring arrangement must do on the bus, the simulated build that gives the expected
output, the comparisons, and running the boots and printing their cases.

A boot is a list of guest shell lines (mostly calls of the functions in guest/*.sh, and the
chip's registers) and a list of cases; each case checks the records that the boot's guest
sent back. The kinds of boot (boards.py, drivers.py, debian_boot.py) make them.
"""

import concurrent.futures
import difflib
import os
import random
import re
import shlex
import subprocess
import sys
from dataclasses import dataclass, field
from pathlib import Path

import vmlib

MAKER = "Supermicro"
FORMS = {"plain": [], "csv": ["-c"], "json": ["-J"], "verbose": ["-v"]}
# The forms that show the chips' limits and status bits.
LIMIT_FORMS = {"limits": ["-a"], "limits-csv": ["-a", "-c"], "limits-json": ["-a", "-J"],
               "prometheus": ["-P"]}
ALL_FORMS = {**FORMS, **LIMIT_FORMS}
GUEST_DEV = "/dev/i2c-0"  # the software adapter's node, guest/initramfs.sh's $DEV


# --------------------------------------------------------------------------------------
# What each monitoring arrangement must do on the bus: the registers it reads, in order,
# and the chip addresses it selects, in order.

# The registers each chip handling reads, the one list of them that the unit and
# command-line suites read too (tests/chip_facts.h).
CHIP_READS = Path(__file__).resolve().parent.parent / "chip_reads.conf"


def listed_reads(handling, which):
    """[(addr, reg)] of the chip handling's list WHICH ("reads" or "limit_reads") in
    CHIP_READS, in bus order: a line for each address, FIRST-LAST for a run of registers."""
    out = []
    for line in CHIP_READS.read_text().splitlines():
        words = line.split()
        if len(words) < 3 or words[0] != handling or words[1] != which:
            continue
        addr = int(words[2], 16)
        for span in words[3:]:
            first, _, last = span.partition("-")
            out += [(addr, r) for r in range(int(first, 16), int(last or first, 16) + 1)]
    if not out:
        raise ValueError(f"{CHIP_READS} lists no {which} of {handling}")
    return out


@dataclass
class Arrangement:
    reads: list  # [(addr, reg)] in bus order
    selects: list  # addresses given to I2C_SLAVE, in order
    fan_counts: list  # [(addr, high reg or None, low reg)] of fans every board shows
    # [(addr, reg)] read after READS by a run that shows the limits (-a, -P): the limit and
    # status registers of the chip the kernel's driver knows, and its case-open register.
    limit_reads: list = field(default_factory=list)
    # {(addr, reg): value} of a right chip's identity registers, which a run that judges
    # (-a, -P, -N) reads, in this order, before READS, except through the kernel's driver.
    identity: dict = field(default_factory=dict)

    @property
    def identity_reads(self):
        return list(self.identity)


# The identity of a right chip at 0x2f, as the kernel's drivers check it: the W83793G's bank
# select (bank 0, high-byte select set), vendor ID's high byte, own 8-bit address and chip ID;
# the W83792D's configuration (bit 7 clear), bank select, vendor ID, own 7-bit address and
# chip ID.
W83793G_IDENTITY = {(0x2f, 0x00): 0x80, (0x2f, 0x0d): 0x5c, (0x2f, 0x0b): 0x5e,
                    (0x2f, 0x0e): 0x7b}
W83792D_IDENTITY = {(0x2f, 0x40): 0x01, (0x2f, 0x4e): 0x80, (0x2f, 0x4f): 0x5c,
                    (0x2f, 0x48): 0x2f, (0x2f, 0x58): 0x7a}


def arrangement(handling, selects, fan_counts, identity):
    # The identity's registers are those CHIP_READS lists, in its order: the values are the
    # harness's, the reads the one list's.
    if list(identity) != listed_reads(handling, "identity_reads"):
        raise ValueError(f"the identity of {handling} is not what {CHIP_READS} lists")
    return Arrangement(listed_reads(handling, "reads"), selects, fan_counts,
                       listed_reads(handling, "limit_reads"), identity)


# Keyed by the names images.conf gives them; "dual" is the X6DVA's two chips.
ARRANGEMENTS = {
    "w83793g": arrangement("w83793g", [0x2f],
                           [(0x2f, 0x23 + 2 * i, 0x24 + 2 * i) for i in range(4)],
                           W83793G_IDENTITY),
    "w83792d": arrangement("w83792d", [0x2f], [(0x2f, None, r) for r in (0x28, 0x29, 0x2A, 0xB8)],
                           W83792D_IDENTITY),
    "dual": arrangement("x6dva", [0x2c, 0x2f], [(0x2f, None, r) for r in (0x28, 0x29, 0x2A, 0xB8)],
                        W83792D_IDENTITY),
}


def random_image(arr: Arrangement, rng: random.Random):
    """Random values in every register the arrangement reads, its limit and status registers
    included, with the special fan counts placed on fans that every board of it shows: 0,
    0xff, 0x0fff and 0xffff for 16-bit counts, 0 and 0xff for 8-bit ones; and the identity
    of a right chip."""
    values = {(a, r): rng.randrange(256) for a, r in arr.reads + arr.limit_reads}
    fans = list(arr.fan_counts)
    rng.shuffle(fans)
    sixteen = fans[0][1] is not None
    specials = [0x0000, 0x00ff, 0x0fff, 0xffff] if sixteen else [0x00, 0xff]
    for (addr, hi, lo), count in zip(fans, specials):
        if hi is not None:
            values[(addr, hi)] = count >> 8
        values[(addr, lo)] = count & 0xff
    values.update(arr.identity)
    return [(a, r, v) for (a, r), v in values.items()]


# Images the kernel's drivers bind to (drivers.py, debian_boot.py).

# What each chip's driver needs to bind to the stub and publish every input the boards
# show. The W83793G's probe checks its own address (0x0B, the 8-bit form) and its subclient
# register (0x0C: both subclients off); 0x5E/0x5F make temp1-temp6 temperature inputs, and
# 0x58/0x5C enable all twelve fans. The W83792D's subclient registers (0x49, 0x4A) turn its
# subclients off; 0x1A bits 6 and 5 clear and 0x4B bits 6 and 2 set enable fans 4-7.
DRIVER_SETUP = {
    "w83793": [(0x0b, 0x5e), (0x0c, 0x88), (0x5e, 0x55), (0x5f, 0x03), (0x58, 0x28),
               (0x5c, 0x7f)],
    "w83792d": [(0x49, 0x88), (0x4a, 0x88), (0x1a, 0x00), (0x4b, 0x44)],
}
DRIVER_OF = {"w83793g": "w83793", "w83792d": "w83792d", "dual": "w83792d"}
DRIVER_FORMS = ("plain", "csv", "json", "limits", "limits-csv", "limits-json", "prometheus")


def driver_image(arrangement, rng):
    """A random image of everything the arrangement reads, its limit and status registers
    included, without the documented special values: the W83793G's fan counts and minimum
    counts keep their top four bits clear (its driver reads 12 bits of them), the identity
    of a right chip, and the driver's setup registers hold what it needs."""
    arr, driver = ARRANGEMENTS[arrangement], DRIVER_OF[arrangement]
    values = {(a, r): rng.randrange(256) for a, r in arr.reads + arr.limit_reads}
    if driver == "w83793":
        for i in range(12):
            values[(0x2f, 0x23 + 2 * i)] &= 0x0f
            values[(0x2f, 0x90 + 2 * i)] &= 0x0f
    values.update(arr.identity)
    for reg, value in DRIVER_SETUP[driver]:
        values[(0x2f, reg)] = value
    return [(a, r, v) for (a, r), v in values.items()]


def with_regs(image, changes):
    """IMAGE with the registers of CHANGES ({(addr, reg): value}) replaced."""
    values = {(a, r): v for a, r, v in image}
    values.update(changes)
    return [(a, r, v) for (a, r), v in values.items()]


def image_reg(image, reg, addr=0x2f):
    return next(v for a, r, v in image if (a, r) == (addr, reg))


# --------------------------------------------------------------------------------------
# Comparing output


# Trace lines that print pointers (%p), which differ from run to run; elsewhere 0x values
# are register contents and counts and must match exactly.
POINTER_LINES = ("(b = ", "s = 0x", "maker = 0x", "struct: ", "board_lookup() returning 0x")


def normalise(out: bytes) -> str:
    lines = []
    for line in out.decode("utf-8", "replace").split("\n"):
        if any(m in line for m in POINTER_LINES):
            line = re.sub(r"0x[0-9a-f]{6,}", "0xPOINTER", line)
        line = re.sub(r"\b(fd|f) = \d+", r"\1 = N", line)
        lines.append(line)
    return "\n".join(lines)


def diff(expected: str, got: str, limit=30) -> str:
    d = list(difflib.unified_diff(expected.split("\n"), got.split("\n"), "expected (sim)",
                                  "got (guest)", lineterm="", n=1))
    more = f"\n      ... {len(d) - limit} more diff lines" if len(d) > limit else ""
    return "\n      ".join([""] + d[:limit]) + more


def show(b: bytes, limit=300) -> str:
    s = b.decode("utf-8", "replace")
    return repr(s if len(s) <= limit else s[:limit] + "...")


@dataclass
class Run:
    status: int
    out: bytes
    err: bytes


class Sim:
    """The simulated build: same program, platform taken from a fixture file."""

    def __init__(self, path: str, tmp: Path):
        self.path, self.tmp = path, tmp
        self.device = tmp / "sim-device"  # open()+flock() need a real read-write file
        self.device.write_bytes(b"")
        self.n = 0

    def run(self, fixture: str, args, device=None) -> Run:
        self.n += 1
        fx = self.tmp / f"fixture-{self.n}"
        fx.write_text(fixture)
        env = dict(os.environ, VANTOREL_SIM_FIXTURE=str(fx))
        # argv[0] "vantorel", as in the guest: err(3) prefixes messages with it.
        p = subprocess.run(["vantorel"] + list(args) + ["-f", device or str(self.device)],
                           executable=self.path, env=env, stdin=subprocess.DEVNULL,
                           capture_output=True, timeout=30)
        return Run(p.returncode, p.stdout, p.stderr)


def compare(want: Run, got, stderr_too=True) -> list:
    """Differences between a sim run and a guest record (status, stdout, stderr)."""
    problems = []
    if got is None:
        return ["no result came back from the guest"]
    if got.status != want.status:
        problems.append(f"status {got.status}, sim gives {want.status}")
    w, g = normalise(want.out), normalise(got.out)
    if w != g:
        problems.append("stdout differs:" + diff(w, g))
    if stderr_too and want.err != got.err:
        problems.append(f"stderr {show(got.err)}, sim gives {show(want.err)}")
    return problems


def expect(status, out=None, err=None, out_prefix=None, err_prefix=None, err_has=None):
    """A check of one guest record against fixed expectations."""

    def check(got):
        if got is None:
            return ["no result"]
        p = []
        if got.status != status:
            p.append(f"status {got.status}, want {status}")
        if out is not None and got.out != out:
            p.append(f"stdout {show(got.out)}, want {show(out)}")
        if out_prefix is not None and not got.out.startswith(out_prefix):
            p.append(f"stdout {show(got.out)}, want it to start {show(out_prefix)}")
        if err is not None and got.err != err:
            p.append(f"stderr {show(got.err)}, want {show(err)}")
        if err_prefix is not None and not got.err.startswith(err_prefix):
            p.append(f"stderr {show(got.err)}, want it to start {show(err_prefix)}")
        if err_has is not None and err_has not in got.err:
            p.append(f"stderr {show(got.err)}, want it to contain {show(err_has)}")
        return p

    return check


# --------------------------------------------------------------------------------------
# Cases and boots


@dataclass
class Case:
    name: str
    check: object  # function(records) -> list of problems (empty: passed)


@dataclass
class Boot:
    name: str
    maker: str
    product: str
    script: list = field(default_factory=list)  # guest shell fragments, in order
    cases: list = field(default_factory=list)
    runner: object = None  # function(workdir) -> BootResult, for a boot of its own kind
    kind: str = ""  # the module that made it: boards, drivers or debian (--kind)
    # Where each group of cases that was added to the boot after its own begins: (script
    # fragment, case) positions. A group sets up what it needs itself, so that it can run
    # alone (--case).
    groups: list = field(default_factory=list)
    # Boots that name the same run here share one QEMU run (shared_runs): the kernel boots
    # once for all of them. Empty: a QEMU run of its own.
    shared: str = ""
    parts: list = field(default_factory=list)  # the names of the boots a shared run holds
    timeout: int = vmlib.BOOT_TIMEOUT  # seconds until the guest must have powered off

    def guest(self, text):
        self.script.append(text)

    def group(self, add, *args):
        """Adds a group of cases: ADD(self, *ARGS)."""
        self.groups.append((len(self.script), len(self.cases)))
        add(self, *args)


def run_cmd(case, args, dev=GUEST_DEV):
    """Guest line running vantorel with ARGS as one recorded case."""
    argv = " ".join(shlex.quote(a) for a in ["vantorel"] + list(args) + ["-f", dev])
    return f"run_case {shlex.quote(case)} {argv}\n"


def read_trace(out: bytes):
    """(slave, register) of every read_byte() entry line of a -v trace."""
    return [(int(a, 16), int(r, 16)) for a, r in re.findall(
        rb"^==> read_byte\(fd = \d+, slave = 0x([0-9a-f]+), idxreg = 0x([0-9a-f]+)\)$",
        out, re.M)]


def hexlist(xs):
    return "[" + ", ".join(f"0x{a:02x}" if isinstance(a, int) else
                           f"0x{a[0]:02x}/0x{a[1]:02x}" for a in xs) + "]"


def select_cases(boots, word):
    """The boots that have a case whose name contains WORD, each cut down to those cases and
    the guest commands of their groups (a boot's own commands, ahead of its first group,
    stay only for a case of its own)."""
    kept = []
    for b in boots:
        marks = [(0, 0)] + b.groups + [(len(b.script), len(b.cases))]
        script, cases = [], []
        for (s0, c0), (s1, c1) in zip(marks, marks[1:]):
            mine = [c for c in b.cases[c0:c1] if word.lower() in c.name.lower()]
            if mine:
                script += b.script[s0:s1]
                cases += mine
        if cases:
            b.script, b.cases = script, cases
            kept.append(b)
    return kept


# --------------------------------------------------------------------------------------
# Several boots in one QEMU run

# The time each boot that joins a shared run adds to its timeout, in seconds.
SHARED_TIMEOUT = 40


def shared_runs(boots):
    """BOOTS, those that name the same shared run made into one boot in the place of the
    first of them (a run left with one boot is that boot as it was)."""
    runs = {}  # shared run (or the boot itself) -> its boots, in the order of BOOTS
    for b in boots:
        runs.setdefault(b.shared if b.shared and not b.runner else id(b), []).append(b)
    return [one_run(parts) if len(parts) > 1 else parts[0] for parts in runs.values()]


def one_run(parts):
    """One boot that runs the guest commands of each of PARTS in turn, each after the guest's
    `part N [MAKER PRODUCT]` (guest/initramfs.sh): nothing of the part before is left running
    or in /tmp, the chips are gone, and the board strings are the part's: the first part's
    come from the firmware's table (QEMU's SMBIOS), as in a boot of its own, each next part's
    from as_board. Each part's records are named N/..., and its cases see only their own
    records, by the names they gave them."""
    first = parts[0]
    b = Boot(first.shared, first.maker, first.product, kind=first.kind,
             parts=[p.name for p in parts],
             timeout=first.timeout + SHARED_TIMEOUT * (len(parts) - 1))
    for n, p in enumerate(parts):
        if n > 0 and (p.maker is None or p.product is None):
            raise vmlib.HarnessError(f"{p.name}: a shared run's later boots need board strings")
        strings = "" if n == 0 else f" {shlex.quote(p.maker)} {shlex.quote(p.product)}"
        b.guest(f"part {n}{strings}\n")
        b.script += p.script
        b.cases += [Case(c.name, lambda recs, c=c, n=n: c.check(part_records(recs, n)))
                    for c in p.cases]
    return b


def part_records(records, n):
    """The records of a shared run's part N, by the names the part gave them."""
    prefix = f"{n}/"
    return {name[len(prefix):]: rec for name, rec in records.items() if name.startswith(prefix)}


# --------------------------------------------------------------------------------------
# Running the boots


def run_boots(boots, base: Path, kernel: vmlib.Kernel, keep: Path, jobs: int):
    """Boots BOOTS, JOBS at a time (the busybox ones from the initramfs BASE with KERNEL, the
    others through their own runner), each in a directory of its own under KEEP, and prints
    each boot's line and its cases' as they finish. Returns (passed, failed)."""

    def one(b: Boot):
        name = re.sub(r"[^A-Za-z0-9+.-]", "_", b.name)
        if b.runner:
            try:
                return b.runner(keep / name)
            except vmlib.HarnessError as e:
                return vmlib.BootResult(problem=f"harness: {e}")
        return vmlib.boot(base, "".join(b.script), b.maker, b.product, keep / name,
                          timeout=b.timeout, kernel=kernel)

    passed = failed = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        futures = {pool.submit(one, b): b for b in boots}
        for fut in concurrent.futures.as_completed(futures):
            b, res = futures[fut], fut.result()
            detail = f"; {res.detail}" if res.detail else ""
            parts = f": {', '.join(b.parts)}" if b.parts else ""
            print(f"-- boot {b.name}{parts} ({res.seconds:.0f} s{detail})", flush=True)
            for c in b.cases:
                problems = c.check(res.records)
                if res.problem and not problems and not res.finished:
                    problems = ["boot did not finish"]
                if problems:
                    failed += 1
                    print(f"FAIL {c.name}")
                    for p in problems:
                        print(f"    {p}")
                else:
                    passed += 1
                    print(f"ok   {c.name}")
            if res.problem:
                print(f"    boot problem: {res.problem}\n    console tail:\n"
                      + "\n".join("      " + line for line in
                                  res.console.strip().splitlines()[-15:]))
            sys.stdout.flush()
    return passed, failed
