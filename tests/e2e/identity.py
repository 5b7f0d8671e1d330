# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

"""Boots of the fourth kind: the chip's identity, with the kernel as the oracle. One boot
holds every identity image of tests/identity_images.conf, which the unit suite reads too:
per chip kind the right chip, each vendor byte wrong with the high-byte select set and clear,
the chip ID wrong, the address register mismatched, the W83793G left on banks 1, 2 and 7, the
W83792D's configuration bit that its driver refuses. For each image the kernel's own driver decides:
loading w83793 or w83792d runs its detection on the stub's adapter (of the hardware-monitoring
class, so the driver probes its addresses 0x2c-0x2f there), and the guest notes whether the
driver bound the chip at 0x2f. The module is unloaded again, which deletes the client it made,
and the image is written afresh (the detection and the driver's probe write registers). Then
vantorel runs over the bus: -N judges the chip (OK) exactly where the kernel bound it on bank 0,
and is UNKNOWN where it refused it and where the chip is on another bank (where the kernel's
driver switches the bank and vantorel, which never writes, refuses); -P -o ends with 69 and
`vantorel_up 0` in the file exactly there. Both are also the simulated build's, byte for byte,
for the registers the chip shows, and the verdict the list gives the image.

The stub emulates the high-byte select: its bank options over the bank select register, mask
0x80, banked range the vendor ID register alone, so that the vendor register holds both halves
of the vendor ID and shows the one that bit 7 selects, as the chip does, also when the W83792D's
detection flips the select to read the high byte after the low one. What the stub does not
emulate is the bank bits' (0-2) own banks: every register but the vendor ID shows the same value
on every bank. The kernel's decision does not depend on them: on another bank the W83793G's
detection reads only the bank select, the vendor ID and the chip ID (the same in every bank of
the chip) and skips the address check; the W83792D's reads its address register and then
selects bank 0 itself before it reads the chip ID and the vendor ID. The guest's side is in
guest/identity.sh.
"""

import shlex
from dataclasses import dataclass
from pathlib import Path

import vmlib
from harness import (DRIVER_OF, DRIVER_SETUP, MAKER, Boot, Case, Sim, compare, run_cmd, show,
                     with_regs)

KIND = "identity"

# Per chip kind: the bank select register and the vendor ID register behind it.
SELECT = {"w83793g": (0x00, 0x0d), "w83792d": (0x4e, 0x4f)}
HIGH_BYTE_SELECT = 0x80
BANK_BITS = 0x07
VENDOR = {True: 0x5c, False: 0xa3}  # the vendor ID's half, by the high-byte select

# The product of each chip kind's board, the chip kind, and the stub's chips in the order of
# its module options (the chip at 0x2f first, whose bank options they are).
BOARDS = {"X7DBP": ("w83793g", "w83793g", (0x2f,)), "P8SC8": ("w83792d", "w83792d", (0x2f,)),
          "X6DVA": ("dual", "w83792d", (0x2f, 0x2c))}

# The images, their verdicts and messages: one list for this harness and the unit suite.
IMAGES_CONF = Path(__file__).resolve().parent.parent / "identity_images.conf"


@dataclass
class Image:
    name: str
    product: str
    judged: bool  # what the list says a judging run makes of it
    regs: dict  # {(addr, reg): value} set over a right chip's identity
    hidden: int | None  # the vendor ID's other half, where it is not the right one


def identity_images():
    """The images of IMAGES_CONF: a line "NAME PRODUCT judged|refused [ADDR:REG=VALUE]...
    [hidden=VALUE]", a refused image's message on the indented line after it (the unit
    suite's to check; the simulated build's output is this harness's reference)."""
    images = []
    for line in IMAGES_CONF.read_text().splitlines():
        if not line or line.startswith(("#", " ")):
            continue
        name, product, verdict, *changes = line.split()
        if verdict not in ("judged", "refused"):
            raise ValueError(f"{IMAGES_CONF}: not an image: {line}")
        regs, hidden = {}, None
        for change in changes:
            if change.startswith("hidden="):
                hidden = int(change.removeprefix("hidden="), 16)
                continue
            where, value = change.split("=")
            addr, reg = where.split(":")
            regs[(int(addr, 16), int(reg, 16))] = int(value, 16)
        images.append(Image(name, product, verdict == "judged", regs, hidden))
    if not images:
        raise ValueError(f"{IMAGES_CONF} lists no image")
    return images


PROM = "/tmp/identity.prom"


def boots(cat, sim: Sim, rng, deb=None):
    """One boot for every image of both drivers, the boards' strings taken in turn."""
    b = Boot("identity: the kernel's w83793 and w83792d detection as the oracle", MAKER,
             "X7DBP")
    for image in identity_images():
        b.group(image_case, cat, sim, image)
    return [b]


def chip_image(cat, arrangement, driver, regs):
    """The board's firmware image (images.conf) with the case closed, the driver's setup
    registers (so that its probe binds where its detection accepts), and REGS."""
    image = with_regs(cat.images[arrangement], {(0x2f, r): v for r, v in DRIVER_SETUP[driver]})
    if driver == "w83793":
        image = with_regs(image, {(0x2f, 0x4e): 0x00})  # the W83793G's case-open bit
    return with_regs(image, regs)


def guest_chip(image, kind, chips, hidden):
    """Guest commands that give the adapter fresh chips at CHIPS holding IMAGE, the vendor
    register of the chip at 0x2f holding both halves of the vendor ID (the hidden one HIDDEN,
    or the right one), the select showing the half that IMAGE gives."""
    select, vendor = SELECT[kind]
    values = {(a, r): v for a, r, v in image}
    bank = values[(0x2f, select)]
    shown = values[(0x2f, vendor)]
    high_set = bool(bank & HIGH_BYTE_SELECT)
    other = VENDOR[not high_set] if hidden is None else hidden
    low, high = (other, shown) if high_set else (shown, other)
    options = f"bank_reg=0x{select:02x} bank_mask=0x{HIGH_BYTE_SELECT:02x} " \
              f"bank_start=0x{vendor:02x} bank_end=0x{vendor:02x}"
    # Only a byte write to the select switches the stub's bank (block writes ignore its
    # banks): each half is written with the select set as it shows that half, and the
    # image's own select last.
    lines = vmlib.guest_image(image, chips).split("\n", 1)
    halves = "".join(f"i2cset -y 0 0x2f 0x{select:02x} 0x{sel:02x}\n"
                     f"i2cset -y 0 0x2f 0x{vendor:02x} 0x{half:02x}\n"
                     for sel, half in ((0, low), (HIGH_BYTE_SELECT, high)))
    return (f"{lines[0]} {options}\n{lines[1]}{halves}"
            f"i2cset -y 0 0x2f 0x{select:02x} 0x{bank:02x}\n")


def image_case(b: Boot, cat, sim: Sim, image_of: Image):
    """One identity image: the kernel's driver decides, then vantorel -N and -P -o run over
    the bus on the image written afresh, and judge it as the list says."""
    name, product, regs, hidden = image_of.name, image_of.product, image_of.regs, \
        image_of.hidden
    arrangement, kind, chips = BOARDS[product]
    driver = DRIVER_OF[arrangement]
    select, _ = SELECT[kind]
    image = chip_image(cat, arrangement, driver, regs)
    bank = dict(((a, r), v) for a, r, v in image)[(0x2f, select)] & BANK_BITS
    fixture = vmlib.sim_fixture(MAKER, product, image, chips=tuple(sorted(chips)))
    want_n = sim.run(fixture, ["-N"])
    sim_prom = sim.tmp / "identity.prom"
    sim_prom.unlink(missing_ok=True)
    want_p = sim.run(fixture, ["-P", "-o", str(sim_prom)])
    want_file = sim_prom.read_bytes() if sim_prom.exists() else None

    tag = f"identity/{name}"
    b.guest(f"as_board {MAKER} {shlex.quote(product)}\n")
    chip = guest_chip(image, kind, chips, hidden)
    b.guest(chip)
    b.guest(f"kernel_decides {driver} {tag}/kernel\n")
    b.guest(chip)  # the registers as they were before the driver wrote any
    b.guest(run_cmd(f"{tag}/nagios", ["-N"]))
    b.guest(f"rm -f {PROM}\n")
    b.guest(run_cmd(f"{tag}/prom", ["-P", "-o", PROM]))
    b.guest(f"run_case {tag}/prom.file cat {PROM}\n")

    def check(recs):
        kernel = recs.get(f"{tag}/kernel")
        if kernel is None:
            return ["no record of the kernel's decision"]
        decided = kernel.out.decode().strip()
        if decided not in (f"bound {driver}", "refused"):
            return [f"harness: the kernel's {driver} {decided!r}: its detection and its probe "
                    "disagree, so whether it bound says nothing of the chip"]
        bound = decided != "refused"
        if hidden is not None:
            # The documented difference: the kernel refuses what vantorel judges.
            if bound:
                return [f"harness: the kernel's {driver} bound a chip whose hidden vendor half "
                        f"is 0x{hidden:02x}: the stub did not show it that half"]
            judged = True
        else:
            judged = bound and bank == 0
        problems = []
        why = f"the kernel's {driver} {'bound' if bound else 'refused'} the chip" + \
            (f" on bank {bank}" if bank else "")
        if judged != image_of.judged:
            problems.append(f"{why}, but {IMAGES_CONF.name} has it "
                            f"{'judged' if image_of.judged else 'refused'}")
        nagios, prom, prom_file = (recs.get(f"{tag}/{k}") for k in ("nagios", "prom",
                                                                     "prom.file"))
        if nagios is None or prom is None or prom_file is None:
            return [f"{why}; a run left no record"]
        if judged and (nagios.status != 0 or not nagios.out.startswith(b"VANTOREL OK - ")):
            problems.append(f"{why}, and -N did not judge it OK: {nagios.status}, "
                            f"{show(nagios.out)}")
        if not judged and (nagios.status != 3 or
                           not nagios.out.startswith(b"VANTOREL UNKNOWN - ")):
            problems.append(f"{why}, and -N is not UNKNOWN: {nagios.status}, "
                            f"{show(nagios.out)}")
        up = b"\nvantorel_up 1\n" if judged else b"\nvantorel_up 0\n"
        if prom.status != (0 if judged else 69) or up not in prom_file.out:
            problems.append(f"{why}, and -P -o ended {prom.status} writing "
                            f"{show(prom_file.out)}")
        problems += [f"-N: {p}" for p in compare(want_n, nagios)]
        problems += [f"-P -o: {p}" for p in compare(want_p, prom)]
        if want_file != prom_file.out:
            problems.append(f"-P -o: the file {show(prom_file.out)}, sim writes "
                            f"{show(want_file or b'nothing')}")
        return problems

    what = "the kernel refuses it, -N and -P -o judge it" if hidden is not None else \
        f"-N and -P -o judge it exactly where the kernel's {driver} binds it on bank 0"
    b.cases.append(Case(f"identity {product} {name}: {what}", check))
