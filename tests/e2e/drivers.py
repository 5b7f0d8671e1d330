# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

"""Boots of the second kind: the kernel's drivers. The SMBus adapter the program searches
for among the adapter drivers' (and a chip that another driver claims), and three boards whose
chip at 0x2f a hwmon driver holds (X7DBP with w83793, P8SC8 with w83792d, the X6DVA's second
chip with w83792d): read through the driver as over the bus, the driver's own readings and
limits as an oracle, the attributes that cannot be done without, and the driver bound and
unbound while the program runs. Then lm-sensors with the board's libsensors configuration
(-S), on the driver bound to the chip, for every board in one boot. The guest's side is in
guest/drivers.sh.
"""

import re
import shlex

import sensors_oracle
import vmlib
from harness import (ALL_FORMS, ARRANGEMENTS, DRIVER_FORMS, DRIVER_OF, DRIVER_SETUP, FORMS,
                     MAKER, Boot, Case, Run, Sim, compare, diff, driver_image,
                     expect, hexlist, image_reg, normalise, read_trace, run_cmd, show,
                     with_regs)

KIND = "drivers"


def boots(cat, sim: Sim, rng, deb=None):
    """The adapter search, the three boards whose chip a driver holds, and (where the host has
    lm-sensors) every board's libsensors configuration."""
    out = [search_boot(cat, sim)]
    for product, arrangement in (("X7DBP", "w83793g"), ("P8SC8", "w83792d"),
                                 ("X6DVA", "dual")):
        b = driver_boot(product, arrangement, rng, sim)
        driver_failure_cases(b, arrangement, rng)
        oracle_case(b, arrangement, rng)
        churn_case(b, arrangement, rng)
        out.append(b)
    if vmlib.HAVE_SENSORS:
        out.append(lmsensors_boot(cat, sim, rng))
    return out


# The -v trace of the search when the stub is the only adapter.
SEARCH_TRACE = (b"==> find_smbus_adapter(sysfs = /sys, dev = /dev)\n"
                b"==> \tadapters: 1, SMBus: 1\n"
                b"==> \ti2c-0: SMBus stub driver\n"
                b"==> find_smbus_adapter() returning /dev/i2c-0\n")


def search_boot(cat, sim: Sim) -> Boot:
    """X7DBP without -f: the program finds the SMBus adapter in sysfs. One adapter is read
    as if named; a second one (i2c-piix4 on the PIIX4 SMBus of QEMU's machine), no i2c-dev
    and no adapter at all each end with 66 and their explanation. Then the kernel's w83793
    driver claims the chip, and the run reads it through the driver. Then a driver that
    vantorel cannot read through (at24) claims it: the run names it, ends as a failed
    transaction (74), and reads once the driver is unbound as the message says."""
    b = Boot("X7DBP adapter search and busy chip", MAKER, "X7DBP")
    image = cat.images["w83793g"]
    fixture = vmlib.sim_fixture(MAKER, "X7DBP", image)
    want = {form: sim.run(fixture, FORMS[form]) for form in ("plain", "verbose")}
    # The w83793 driver's setup registers (see DRIVER_SETUP): it binds and publishes every
    # input the board shows.
    busy_image = image + [(0x2f, r, v) for r, v in DRIVER_SETUP["w83793"]]
    b.guest(vmlib.guest_image(image))
    b.guest("search_runs\n")
    b.guest(vmlib.guest_image(busy_image))
    b.guest("busy_chip_runs\n")

    def same_as_named(recs):
        got, named = recs.get("search/default"), recs.get("search/named")
        problems = compare(want["plain"], got)
        if got is not None and named is not None and (got.status, got.out, got.err) != \
                (named.status, named.out, named.err):
            problems.append("the run without -f differs from the one with -f /dev/i2c-0")
        return problems

    def traced(recs):
        got = recs.get("search/verbose")
        if got is None:
            return ["no result"]
        if got.out.count(SEARCH_TRACE) != 1:
            return [f"no search trace {show(SEARCH_TRACE)} in {show(got.out, 3000)}"]
        return compare(want["verbose"], Run(got.status, got.out.replace(SEARCH_TRACE, b""),
                                            got.err))

    def several(recs):
        names = recs.get("search/adapters")
        problems = []
        if names is None or names.out != (b"i2c-0 SMBus stub driver\n"
                                          b"i2c-1 SMBus PIIX4 adapter at 0700\n"):
            problems.append(f"harness: adapters {show(names.out) if names else 'none'}, meant "
                            "the stub and PIIX4")
        problems += expect(66, out=b"", err=(
            b"vantorel: 2 SMBus adapters found; name the one to read with -f:\n"
            b"vantorel: /dev/i2c-0: SMBus stub driver\n"
            b"vantorel: /dev/i2c-1: SMBus PIIX4 adapter at 0700\n"))(recs.get("search/several"))
        problems += [f"with -f: {p}" for p in compare(want["plain"],
                                                      recs.get("search/several-named"))]
        return problems

    def held(recs):
        drv = recs.get("held/driver")
        if drv is None or not drv.out.endswith(b"/w83793\n"):
            return [f"harness: the w83793 driver did not bind "
                    f"({show(drv.out + drv.err) if drv else 'no result'})"]
        return compare(want["plain"], recs.get("held/plain"))

    def busy(recs):
        problems = []
        drv = recs.get("busy/driver")
        if drv is None or not drv.out.endswith(b"/at24\n"):
            problems.append(f"harness: the at24 driver did not bind "
                            f"({show(drv.out + drv.err) if drv else 'no result'})")
        message = (b"vantorel: the kernel's at24 driver holds the chip at 0x2f on i2c-0\n"
                   b"vantorel: release it: echo 0-002f > /sys/bus/i2c/drivers/at24/unbind, "
                   b"or modprobe -r at24\n"
                   b"vantorel: ioctl(SMB_READB) failed: Device or resource busy\n")
        problems += expect(74, out=b"", err=message)(recs.get("busy/plain"))
        # Said once, however many reads the trace shows being tried.
        problems += [f"-v: {p}" for p in expect(74, err=message)(recs.get("busy/verbose"))]
        problems += [f"after unbind: {p}" for p in compare(want["plain"],
                                                           recs.get("busy/released"))]
        return problems

    nodev = (b"vantorel: SMBus adapter i2c-0 (SMBus stub driver) has no device node "
             b"/dev/i2c-0: i2c-dev is not loaded (modprobe i2c-dev)\n")
    none = (b"vantorel: no SMBus adapter found in /sys/bus/i2c/devices: load the chipset's "
            b"SMBus driver (modprobe i2c-i801 on the supported Intel boards), or name the "
            b"device with -f\n")
    table = [
        ("one SMBus adapter: no -f reads it, as -f /dev/i2c-0 does", same_as_named),
        ("-v traces the candidates and the choice", traced),
        ("two SMBus adapters (stub, PIIX4): 66 naming both; -f still reads", several),
        ("no i2c-dev: 66, says to load it",
         lambda recs: expect(66, out=b"", err=nodev)(recs.get("search/no-i2c-dev"))),
        ("no SMBus adapter: 66, says which driver to load",
         lambda recs: expect(66, out=b"", err=none)(recs.get("search/none"))),
        ("chip held by the kernel's w83793: read through it, as over the bus", held),
        ("chip held by another driver (at24): 74 naming it; reads once unbound", busy),
    ]
    for title, chk in table:
        b.cases.append(Case(f"adapter search: {title}", chk))
    return b


# --------------------------------------------------------------------------------------
# Through the kernel's driver: the chip that w83793 or w83792d holds is read from the
# driver's attributes, and the report is the one the bus gives for the same registers.


def driver_boot(product, arrangement, rng, sim: Sim) -> Boot:
    """One board whose chip at 0x2f the kernel's driver holds: a random image read over the
    bus (driver not bound) and through the driver gives the same report in every form; the
    -v trace names the driver and shows the readers' reads; no bus transaction reaches the
    held chip. Then the documented differences, each compared with the sim build given the
    registers the driver shows."""
    driver = DRIVER_OF[arrangement]
    arr = ARRANGEMENTS[arrangement]
    b = Boot(f"{product} through the kernel's {driver}", MAKER, product)
    image = driver_image(arrangement, rng)
    bind, release = f"bind_driver {driver}\n", "release_driver\n"
    b.guest(vmlib.guest_image(image))
    for form in DRIVER_FORMS:
        b.guest(run_cmd(f"bus/{form}", ALL_FORMS[form]))
    b.guest(run_cmd("bus/verbose-limits", ["-v", "-P"]))
    b.guest(bind)
    b.guest("run_case driver/link readlink $CLIENT/driver\n")
    for form in DRIVER_FORMS:
        b.guest(run_cmd(f"driver/{form}", ALL_FORMS[form]))
    b.guest(run_cmd("driver/verbose", FORMS["verbose"]))
    b.guest(run_cmd("driver/verbose-limits", ["-v", "-P"]))
    b.guest("ioctl_run driver/strace\n")
    if vmlib.HAVE_SENSORS:
        b.guest("run_case driver/sensors sensors\n")
    b.guest(release)

    def bound(recs):
        link = recs.get("driver/link")
        if link is None or not link.out.endswith(f"/{driver}\n".encode()):
            return [f"harness: the {driver} driver did not bind "
                    f"({show(link.out + link.err) if link else 'no result'})"]
        return []

    def same(recs):
        problems = bound(recs)
        for form in DRIVER_FORMS:
            bus, drv = recs.get(f"bus/{form}"), recs.get(f"driver/{form}")
            if bus is None or drv is None:
                problems.append(f"{form}: no result")
                continue
            if bus.status != 0:
                problems.append(f"{form}: the bus run itself failed ({bus.status}, "
                                f"{show(bus.err)})")
            problems += [f"{form}: {p}" for p in compare(Run(bus.status, bus.out, bus.err),
                                                          drv)]
        return problems

    held = f"==> chip 0x2f on i2c-0: held by the kernel's {driver} driver, read through its " \
           "attributes\n"

    def traced(recs):
        got = recs.get("driver/verbose")
        if got is None:
            return ["no result"]
        problems = []
        if got.status != 0 or got.out.count(held.encode()) != 1:
            problems.append(f"status {got.status}, want 0 and one line {show(held.encode())} "
                            f"in {show(got.out, 600)}")
        if b"==> \tin0_input = " not in got.out:
            problems.append("no attribute read traced")
        reads = read_trace(got.out)
        if reads != arr.reads:
            problems.append(f"read_byte entries {hexlist(reads)}, want {hexlist(arr.reads)}")
        if b"==> \tin0_min = " in got.out:
            problems.append("a run without limits read a limit attribute")
        return problems

    def traced_limits(recs):
        """With -P the identity reads on the bus alone, then the readings' reads, then the
        limit registers', on the bus and through the driver, which also reads the limit and
        status attributes."""
        problems = []
        for path in ("bus", "driver"):
            # Over the bus the identity reads come first; the driver checked the chip itself.
            want = (arr.identity_reads if path == "bus" else []) + arr.reads + arr.limit_reads
            got = recs.get(f"{path}/verbose-limits")
            if got is None or got.status != 0:
                problems.append(f"{path}: {show(got.err) if got else 'no result'}")
                continue
            reads = read_trace(got.out)
            if reads != want:
                problems.append(f"{path}: read_byte entries {hexlist(reads)}, want "
                                f"{hexlist(want)}")
        drv = recs.get("driver/verbose-limits")
        if drv is not None and not all(a in drv.out for a in (
                b"==> \tin0_min = ", b"==> \ttemp1_max_hyst = ", b"==> \tfan1_alarm = ",
                b"==> \tintrusion0_alarm = ")):
            problems.append("the limit and status attributes are not traced")
        return problems

    def no_bus(recs):
        run, log = recs.get("driver/strace"), recs.get("driver/strace.log")
        if run is None or log is None:
            return ["no result"]
        problems = [] if run.status == 0 else [f"status {run.status}: {show(run.err)}"]
        text = log.out.decode()
        selects = [int(a, 16) for a in re.findall(r"ioctl\(\d+, 0x703, 0x([0-9a-f]+)\)", text)]
        smbus = len(re.findall(r"ioctl\(\d+, 0x720, ", text))
        bus_reads = [r for r in arr.reads if r[0] != 0x2f]
        want = [a for a in arr.selects if a != 0x2f]
        if selects != want or smbus != len(bus_reads):
            problems.append(f"I2C_SLAVE to {hexlist(selects)} and {smbus} I2C_SMBUS, want "
                            f"{hexlist(want)} and {len(bus_reads)}")
        return problems

    b.cases += [
        Case(f"driver {product}: random image, plain/-c/-J, -a in each and -P through {driver} "
             "same as the bus", same),
        Case(f"driver {product}: -v names {driver} and traces its attributes and the reads",
             traced),
        Case(f"driver {product}: -v -P reads the limit registers after the readings' on the "
             "bus and through the driver", traced_limits),
        Case(f"driver {product}: no bus transaction for the held chip (strace)", no_bus),
    ]
    if vmlib.HAVE_SENSORS:
        def sensors(recs):
            got = recs.get("driver/sensors")
            if got is None:
                return ["no result"]
            if got.status != 0 or f"{driver}-i2c-0-2f".encode() not in got.out:
                return [f"sensors: status {got.status} {show(got.out + got.err)}"]
            return []
        b.cases.append(Case(f"driver {product}: lm-sensors still reads the chip", sensors))

    # The documented differences: the driver's view is the bus path's for the registers it
    # shows, which the sim build reads from its fixture.
    if driver == "w83793":
        # Counts with their top four bits set: the driver reads the low 12 bits.
        wide = with_regs(image, {(0x2f, 0x23 + 2 * i): 0x10 * (i + 1) + (image_reg(
            image, 0x23 + 2 * i) & 0x0f) for i in range(12)})
        seen = with_regs(wide, {(0x2f, 0x23 + 2 * i): image_reg(wide, 0x23 + 2 * i) & 0x0f
                                for i in range(12)})
        differences = [("fan counts with their top four bits set read as 12-bit counts",
                        wide, seen)]
    else:
        # Fans 4 and 5 turned off (0x1A bits 6 and 5) and 6 and 7 (0x4B): not published,
        # their counts, minimums and status bits (0xAB bits 5-7, 0xAA bit 7) read 0.
        off = with_regs(image, {(0x2f, 0x1a): 0x60, (0x2f, 0x4b): 0x00})
        seen = with_regs(off, {(0x2f, r): 0 for r in (0xb8, 0xb9, 0xba, 0xbe, 0xbb, 0xbc,
                                                       0xbd, 0xbf)})
        seen = [(a, r, v & {0xab: 0x1f, 0xaa: 0x7f}.get(r, 0xff) if a == 0x2f else v)
                for a, r, v in seen]
        differences = [("fans the driver does not publish read 0", off, seen)]
    for n, (title, img, view) in enumerate(differences):
        b.guest(vmlib.guest_image(img))
        b.guest(bind)
        for form in DRIVER_FORMS:
            b.guest(run_cmd(f"diff{n}/{form}", ALL_FORMS[form]))
        b.guest(release)
        fixture = vmlib.sim_fixture(MAKER, product, view)
        want = {form: sim.run(fixture, ALL_FORMS[form]) for form in DRIVER_FORMS}
        bus_view = {form: sim.run(vmlib.sim_fixture(MAKER, product, img), ALL_FORMS[form])
                    for form in DRIVER_FORMS}

        def check(recs, n=n, want=want, bus_view=bus_view):
            problems = []
            for form in DRIVER_FORMS:
                problems += [f"{form}: {p}" for p in compare(want[form],
                                                              recs.get(f"diff{n}/{form}"))]
            if want["plain"].out == bus_view["plain"].out:
                problems.append("harness: the difference does not show in the report")
            return problems

        b.cases.append(Case(f"driver {product}: {title}", check))
    return b


# --------------------------------------------------------------------------------------
# The kernel's driver as an oracle: what it computes from the chip's registers, against what
# the bus path reports for the same registers.

# Each reported cell's driver attribute, for the chip the driver holds at 0x2f. A voltage:
# (attribute, the driver's step and offset in mV, the low bits the reader leaves out, the
# reader's volts per count, its multiplier, its offset in volts), so the register count the
# driver read is (mV - offset) / step and the cell is that count, less the dropped bits,
# computed as the reader documents it (the board's -12 V and +12 V computes included).
# A temperature: the attribute, compared while it is not negative (whole degrees, its
# fraction dropped). A fan: the attribute, RPM as the driver computes it from the same
# count (the W83792D driver's -1 for a count of 0 is the reader's 0).
ORACLE = {
    "w83793g": {
        "volts": {0: ("in0", 2, 0, 0, 0.002, 1, 0), 1: ("in1", 2, 0, 0, 0.002, 1, 0),
                  2: ("in2", 2, 0, 0, 0.002, 1, 0), 3: ("in3", 16, 0, 0, 0.032, -12, 0),
                  4: ("in4", 16, 0, 0, 0.016, 1, 0), 5: ("in5", 16, 0, 0, 0.016, 1, 0),
                  6: ("in6", 8, 0, 0, 0.008, 12, 0), 7: ("in8", 24, 150, 0, 0.024, 1, 0.15),
                  9: ("in7", 24, 150, 0, 0.024, 1, 0.15), 10: ("in9", 16, 0, 0, 0.016, 1, 0)},
        "temps": {i: f"temp{i + 1}" for i in range(6)},
        "fans": {i: f"fan{i + 1}" for i in range(12)},
    },
    "w83792d": {
        "volts": {0: ("in0", 2, 0, 0, 0.002, 1, 0), 1: ("in1", 2, 0, 0, 0.002, 1, 0),
                  7: ("in7", 6, 0, 2, 0.024, 1, 0), 8: ("in6", 6, 0, 0, 0.006, 1, 0),
                  10: ("in8", 16, 0, 0, 0.016, 1, 0), 11: ("in2", 4, 0, 0, 0.004, 1, 0),
                  12: ("in3", 4, 0, 0, 0.004, 1, 0), 13: ("in4", 4, 0, 0, 0.008, -12, 0),
                  14: ("in5", 4, 0, 0, 0.016, 1, 0)},
        "temps": {0: "temp1", 1: "temp2", 2: "temp3"},
        "fans": {i: f"fan{i + 1}" for i in range(7)},
    },
}
# The X6DVA's 0x2f chip fills only some of the W83792D's cells; its 0x2c chip has no driver.
ORACLE["dual"] = {
    "volts": {c: ORACLE["w83792d"]["volts"][c] for c in (0, 1)},
    "temps": {1: "temp2", 2: "temp3"},
    "fans": {i: f"fan{i + 1}" for i in range(6)},
}

UNIT_KIND = {"V": "volts", "C": "temps", "RPM": "fans"}


def label_cells(out: bytes):
    """{kind: {label: cell}} from the board lookup's trace of a -v run."""
    cells = {"volts": {}, "temps": {}, "fans": {}}
    kinds = {"voltages": "volts", "temps": "temps", "fans": "fans"}
    for kind, cell, label in re.findall(
            r"^==> \t\tb->(voltages|temps|fans)\[\d+\] = (\d+), (.*)$", out.decode(), re.M):
        cells[kinds[kind]][label] = int(cell)
    return cells


def exposition(out: bytes):
    """{family: {sensor label or None: value}} of the sample lines of a -P report."""
    samples = {}
    for line in out.decode().splitlines():
        m = re.match(r'^(vantorel_\w+)(?:\{sensor="((?:[^"\\]|\\.)*)"\})? (\S+)$', line)
        if m:
            samples.setdefault(m.group(1), {})[m.group(2)] = m.group(3)
    return samples


def reported_cells(out: bytes):
    """{kind: {cell: value}} of a -v -c run: the label lists from the board lookup's trace,
    paired in order with the report's lines of that kind."""
    text = out.decode()
    lists = {"voltages": [], "temps": [], "fans": []}
    for kind, cell in re.findall(r"^==> \t\tb->(voltages|temps|fans)\[\d+\] = (\d+), ",
                                 text, re.M):
        lists[kind].append(int(cell))
    lines = {"volts": [], "temps": [], "fans": []}
    for line in text.splitlines():
        if not line.startswith("==> "):
            label_value, unit = line.rsplit(",", 1)
            lines[UNIT_KIND[unit]].append(label_value.rsplit(",", 1)[1])
    cells = {"volts": lists["voltages"], "temps": lists["temps"], "fans": lists["fans"]}
    if any(len(cells[k]) != len(lines[k]) for k in lines):
        raise ValueError("the report's lines do not match the label lists")
    return {k: dict(zip(cells[k], lines[k])) for k in lines}


def oracle_case(b: Boot, arrangement, rng):
    """A random image read over the bus (driver unbound), against the values the kernel's
    driver computes from the same registers: every cell the board shows that the driver has
    an attribute for agrees within the report's rounding."""
    driver = DRIVER_OF[arrangement]
    image = driver_image(arrangement, rng)
    b.guest(vmlib.guest_image(image))
    b.guest(run_cmd("oracle/bus", ["-v", "-c"]))
    b.guest(run_cmd("oracle/bus-limits", ["-v", "-P"]))
    b.guest(f"bind_driver {driver}\n"
            "run_case oracle/driver driver_readings\n"
            "run_case oracle/driver-limits driver_limits\n"
            "release_driver\n")
    table = ORACLE[arrangement]

    def check(recs):
        bus, drv = recs.get("oracle/bus"), recs.get("oracle/driver")
        if bus is None or drv is None or bus.status != 0 or drv.status != 0:
            return [f"no readings: bus {show(bus.err) if bus else None}, driver "
                    f"{show(drv.out + drv.err) if drv else None}"]
        try:
            shown = reported_cells(bus.out)
        except ValueError as e:
            return [f"{e}: {show(bus.out, 3000)}"]
        attrs = dict(line.split() for line in drv.out.decode().splitlines() if " " in line)
        problems, compared = [], 0
        for cell, value in shown["volts"].items():
            if cell not in table["volts"]:
                continue
            attr, step, offset, dropped, per_count, mult, add = table["volts"][cell]
            count = (int(attrs[attr + "_input"]) - offset) // step >> dropped
            want = count * per_count * mult + add
            compared += 1
            if abs(float(value) - want) > sensors_oracle.VOLT:
                problems.append(f"voltages[{cell}] {value} V, {attr}_input "
                                f"{attrs[attr + '_input']} mV gives {want:.3f} V")
        for cell, value in shown["temps"].items():
            attr = table["temps"].get(cell)
            mdeg = int(attrs[attr + "_input"]) if attr else -1
            if mdeg < 0:
                continue
            compared += 1
            if int(value) != mdeg // 1000:
                problems.append(f"temps[{cell}] {value} C, {attr}_input {mdeg}")
        for cell, value in shown["fans"].items():
            if cell not in table["fans"]:
                continue
            attr = table["fans"][cell]
            compared += 1
            if int(value) != max(int(attrs[attr + "_input"]), 0):
                problems.append(f"fans[{cell}] {value} RPM, {attr}_input "
                                f"{attrs[attr + '_input']}")
        if not compared:
            problems.append("harness: no reading compared")
        return problems

    b.cases.append(Case(f"driver {b.product}: the bus path's readings agree with the {driver} "
                        "driver's own", check))

    def check_limits(recs):
        """Every labelled cell's limits and status bit in the -P report, and the case-open
        bit, against the driver's attributes for the same registers, brought to the cell as
        the readings are: a voltage's two limits through the cell's compute, in order; a
        temperature level exactly, signed and with its half degree; a fan minimum exactly
        (the driver's 0 or -1, no minimum, is no sample); a status bit as it is."""
        bus, drv = recs.get("oracle/bus-limits"), recs.get("oracle/driver-limits")
        if bus is None or drv is None or bus.status != 0 or drv.status != 0:
            return [f"no limits: bus {show(bus.err) if bus else None}, driver "
                    f"{show(drv.out + drv.err) if drv else None}"]
        cells, samples = label_cells(bus.out), exposition(bus.out)
        attrs = dict(line.split() for line in drv.out.decode().splitlines() if " " in line)
        problems, compared = [], 0

        def sample(family, label):
            return samples.get(family, {}).get(label)

        def same(family, label, want, what):
            nonlocal compared
            got = sample(family, label)
            compared += 1
            if got is None if want is not None else got is not None:
                problems.append(f"{family}{{{label}}} {got}, want {want} ({what})")
            elif want is not None and abs(float(got) - want) > sensors_oracle.VOLT:
                problems.append(f"{family}{{{label}}} {got}, want {want} ({what})")

        for label, cell in cells["volts"].items():
            if cell not in table["volts"]:
                continue
            attr, step, offset, dropped, per_count, mult, add = table["volts"][cell]
            # The chip flags the input under its low limit and over its high one, and the
            # exposition keeps those roles, never sorting them: a window held inverted stays
            # so. A rail whose conversion turns the scale around (the negative rails) makes
            # the high limit its min.
            ends = [((int(attrs[f"{attr}_{end}"]) - offset) // step >> dropped)
                    * per_count * mult + add for end in ("min", "max")]
            if per_count * mult < 0:
                ends.reverse()
            what = f"{attr}_min {attrs[attr + '_min']}, {attr}_max {attrs[attr + '_max']}"
            same("vantorel_voltage_min_volts", label, ends[0], what)
            same("vantorel_voltage_max_volts", label, ends[1], what)
            same("vantorel_voltage_alarm", label, int(attrs[f"{attr}_alarm"]), attr + "_alarm")
        for label, cell in cells["temps"].items():
            attr = table["temps"].get(cell)
            if attr is None:
                continue
            for level in ("max", "max_hyst", "warn", "warn_hyst"):
                mdeg = attrs.get(f"{attr}_{level}")
                if mdeg is None:
                    same(f"vantorel_temperature_{level}_celsius", label, None, "no attribute")
                else:
                    same(f"vantorel_temperature_{level}_celsius", label, int(mdeg) / 1000,
                         f"{attr}_{level} {mdeg}")
            same("vantorel_temperature_alarm", label, int(attrs[f"{attr}_alarm"]),
                 attr + "_alarm")
        for label, cell in cells["fans"].items():
            attr = table["fans"].get(cell)
            if attr is None:
                continue
            rpm = int(attrs[f"{attr}_min"])
            same("vantorel_fan_min_rpm", label, rpm if rpm > 0 else None, f"{attr}_min {rpm}")
            same("vantorel_fan_alarm", label, int(attrs[f"{attr}_alarm"]), attr + "_alarm")
        same("vantorel_intrusion_alarm", None, int(attrs["intrusion0_alarm"]),
             "intrusion0_alarm")
        if compared < 10:
            problems.append(f"harness: {compared} values compared")
        return problems

    b.cases.append(Case(f"driver {b.product}: the bus path's limits and status bits (-P) agree "
                        f"with the {driver} driver's own", check_limits))


# --------------------------------------------------------------------------------------
# Through the kernel's driver, when the driver's attributes cannot give every register:
# the run fails with a message, never with a report of zeros.

CHURN_RUNS = 60


def churn_case(b: Boot, arrangement, rng):
    """The driver bound and unbound, and its client deleted and created again, in a loop
    while vantorel runs CHURN_RUNS times. Each run either fails with a message (74, nothing
    on standard output) or prints exactly what the bus path prints for the image, with
    nothing on standard error."""
    driver = DRIVER_OF[arrangement]
    image = driver_image(arrangement, rng)
    b.guest(vmlib.guest_image(image))
    b.guest(run_cmd("churn/bus", []))
    b.guest(f"churn_runs {driver} {CHURN_RUNS}\n")

    def check(recs):
        bus = recs.get("churn/bus")
        if bus is None or bus.status != 0 or bus.err:
            return [f"the bus run itself failed: {show(bus.err) if bus else 'no result'}"]
        problems, reported, failed = [], 0, 0
        for i in range(1, CHURN_RUNS + 1):
            got = recs.get(f"churn/{i}")
            if got is None:
                problems.append(f"run {i}: no result")
                continue
            lines = got.err.decode("utf-8", "replace").splitlines()
            if got.status == 0 and (got.out, got.err) == (bus.out, b""):
                reported += 1
            elif got.status == 0:
                problems.append(f"run {i}: status 0 with stderr {show(got.err)}, stdout "
                                "differs from the bus path's:" + diff(normalise(bus.out),
                                                                      normalise(got.out)))
            elif got.status != 74 or got.out or not lines or not got.err.endswith(b"\n") \
                    or not all(line.startswith("vantorel: ") for line in lines):
                problems.append(f"run {i}: status {got.status}, stdout {show(got.out)}, "
                                f"stderr {show(got.err)}: want 74 and only a message")
            elif b"reading through" in got.err and len(lines) != 1:
                problems.append(f"run {i}: the driver path says more than one line: "
                                f"{show(got.err)}")
            else:
                failed += 1
        if not problems and (reported == 0 or failed == 0):
            problems.append(f"harness: {reported} runs reported and {failed} failed; the "
                            "churn did not race the runs")
        return problems

    b.cases.append(Case(f"driver {b.product}: {driver} bound, unbound, deleted and created in "
                        f"a loop: each of {CHURN_RUNS} runs reports as the bus or fails "
                        "with a message", check))


def driver_failure_cases(b: Boot, arrangement, rng):
    """Attributes the chip's configuration leaves out and vantorel cannot do without: the
    run fails naming the first of them."""
    driver = DRIVER_OF[arrangement]
    if driver != "w83793":
        return
    client = "/sys/bus/i2c/devices/0-002f"
    # 0x5E and 0x5F clear: every temperature input turned off.
    no_temps = with_regs(driver_image(arrangement, rng), {(0x2f, 0x5e): 0, (0x2f, 0x5f): 0})
    table = [
        ("temperature inputs turned off: 74 naming temp1_input", no_temps,
         f"vantorel: reading through the {driver} driver: {client}/temp1_input: No such file "
         "or directory\n"),
    ]
    for n, (title, image, message) in enumerate(table):
        b.guest(vmlib.guest_image(image))
        b.guest(f"bind_driver {driver}\n")
        b.guest(run_cmd(f"fails/{n}", []))
        b.guest("release_driver\n")
        b.cases.append(Case(f"driver {b.product}: {title}", lambda recs, n=n, m=message:
                            expect(74, out=b"", err=m.encode())(recs.get(f"fails/{n}"))))


# --------------------------------------------------------------------------------------
# lm-sensors as the oracle of the libsensors configuration (-S), for every board: one boot
# in which the guest takes each board's baseboard strings in turn, the kernel's driver bound
# to the chip. See sensors_oracle.py.

# What libsensors cannot show as vantorel does (the configuration says so in its comments):
# the X6DVA's readings from its chip at 0x2c, which no driver serves; and the W83792D's in7,
# whose two low bits vantorel leaves out (up to three 6 mV steps), whatever the board calls
# it.
LMSENSORS_DRIVERLESS = {"X6DVA": ("Sys Temp", "+1.5V", "+3.3V", "+3.3VSB", "+5V", "+12V",
                                  "-12V")}
LMSENSORS_ALLOWANCE = {"w83792d": {"in7": 0.018}}

# The limit registers (high, low) that the set statements of Debian's /etc/sensors3.conf
# write, by driver: the w83793's in7-in9 (5VDD, 5VSB, VBAT) and the w83792d's in6-in8 (5VCC,
# 5VSB, VBAT). Those sets put every one of them at 0xA8 or above.
DEBIAN_SETS = {"w83793": ("in7-in9", (0x72, 0x73, 0x74, 0x75, 0x76, 0x77)),
               "w83792d": ("in6-in8", (0x37, 0x38, 0xb4, 0xb5, 0xb6, 0xb7))}
# The status registers of each driver's chip, the case-open bit's among them. (The
# W83792D's fan divisor codes: a code N divides by 2**N; fan 1's in the low bits of 0x47.)
STATUS = {"w83793": (0x4b, 0x4c, 0x4d, 0x4e), "w83792d": (0x42, 0xa9, 0xaa, 0xab)}


def merged(images):
    """One chip image of IMAGES: a register that several give takes the first one's value."""
    values = {}
    for image in images:
        for a, r, v in image:
            values.setdefault((a, r), v)
    return [(a, r, v) for (a, r), v in values.items()]


def lmsensors_images(cat, driver, rng):
    """The two register images that every board of DRIVER is read from, for all the
    arrangements whose chip at 0x2f the driver serves (the W83792D's and the X6DVA's, whose
    chip at 0x2c they add): the firmware's (images.conf: readings and limits near their
    rails, the -12 V rail's pair swapped by its conversion, every W83792D fan divided by 2)
    and a random one whose status registers all have a bit set, whose W83792D fan 1 is
    divided by 4 to 128, and whose limits of the inputs Debian's sets write are below
    anything those sets write (so that each of them changes)."""
    arrangements = [a for a in ARRANGEMENTS if DRIVER_OF[a] == driver]
    setup = {(0x2f, r): v for r, v in DRIVER_SETUP[driver]}
    firmware = with_regs(merged(cat.images[a] for a in arrangements), setup)
    rand = merged(driver_image(a, rng) for a in arrangements)
    changes = {(0x2f, r): image_reg(rand, r) | 1 << rng.randrange(8) for r in STATUS[driver]}
    if driver == "w83792d":
        changes[(0x2f, 0x47)] = image_reg(rand, 0x47) & 0xf8 | rng.randrange(2, 8)
    changes.update({(0x2f, r): rng.randrange(0x80) for r in DEBIAN_SETS[driver][1]})
    return firmware, with_regs(rand, changes)


def dump_registers(text):
    """The 256 values of an `i2cdump ... b` of one chip, or None."""
    values = []
    for line in text.splitlines()[1:]:
        values += [int(v, 16) for v in line.split()[1:17]]
    return values if len(values) == 256 else None


def lmsensors_boot(cat, sim: Sim, rng) -> Boot:
    """Every supported board, in one boot, each as the guest's board in turn (as_board):
    with the kernel's driver bound to the chip at 0x2f (w83793 or w83792d, as the board's
    arrangement has it) in each of two register images, the board's `vantorel -S` installed
    in /etc/sensors.d/ beside Debian's /etc/sensors3.conf; `sensors -j` shows every reading as
    `vantorel -J -a` does (sensors_oracle), and `vantorel -J -a` is the simulated build's for
    the board and the image (which proves the guest was that board). Then `sensors -s`, from
    the same registers, with Debian's file alone and with each board's configuration added:
    the chip's registers end the same (the configuration adds no write and changes none of
    Debian's), and Debian's sets do write the limits they name, and nothing else."""
    b = Boot("every board's libsensors configuration through the kernel's drivers", MAKER,
             "X7DBP")
    for driver in ("w83793", "w83792d"):
        products = [p for p, a in cat.boards.items() if DRIVER_OF[a] == driver]
        b.group(lmsensors_group, driver, products, lmsensors_images(cat, driver, rng), sim)
    return b


def lmsensors_group(b: Boot, driver, products, images, sim: Sim):
    """The boards of DRIVER, read from IMAGES (the last of them also for `sensors -s`)."""
    want = {}
    for n, image in enumerate(images, start=1):
        b.guest(vmlib.guest_image(image))
        b.guest(f"lmsensors_bind {driver} {driver}/{n}\n")
        last = n == len(images)
        if last:
            b.guest(f"sets_start {driver}/start\n")
            b.guest(f"sets_run {driver} {driver}/debian\n")
        for product in products:
            b.guest(f"lmsensors_board {driver}/{n} {shlex.quote(product)}\n")
            if last:
                b.guest(f"sets_run {driver} {shlex.quote(f'{driver}/{product}')}\n")
            want[n, product] = sim.run(vmlib.sim_fixture(MAKER, product, image),
                                       ["-J", "-a"])
        b.guest("release_driver\n")

    def agrees(product):
        def check(recs):
            problems = []
            for n in range(1, len(images) + 1):
                pre = f"lmsensors/{driver}/{n}"
                got = {k: recs.get(f"{pre}/{product}/{k}") for k in ("conf", "sensors",
                                                                        "vantorel")}
                got["attributes"] = recs.get(f"{pre}/attributes")
                failed = [f"image {n}: {k}: {show(r.err) if r else 'no result'}"
                          for k, r in got.items() if r is None or r.status != 0]
                if failed:
                    problems += failed
                    continue
                problems += [f"image {n}: vantorel -J -a is not the simulated build's for "
                             f"the board: {p}" for p in compare(want[n, product],
                                                                got["vantorel"])]
                problems += [f"image {n}: {p}" for p in sensors_oracle.check(
                    got["sensors"].out.decode(), got["vantorel"].out.decode(), driver,
                    attributes=sensors_oracle.attributes_of(got["attributes"].out.decode()),
                    driverless=LMSENSORS_DRIVERLESS.get(product, ()),
                    allowance=LMSENSORS_ALLOWANCE.get(driver))]
            return problems
        return check

    def dumps(recs, *names):
        """The register dumps of records sets/DRIVER/NAME.dump (sets/DRIVER/start, the
        registers sensors -s starts from, for "start"), and the problems of getting them."""
        out, problems = [], []
        for name in names:
            run = recs.get(f"sets/{driver}/{name}")
            dump = run if name == "start" else recs.get(f"sets/{driver}/{name}.dump")
            regs = dump_registers(dump.out.decode()) if dump and dump.status == 0 else None
            if run is None or run.status != 0 or regs is None:
                problems.append(f"sets/{driver}/{name}: "
                                f"{show(run.out + run.err) if run else 'no result'}, dump "
                                f"{show(dump.out + dump.err) if dump else 'none'}")
            out.append(regs)
        return out, problems

    inputs, targets = DEBIAN_SETS[driver]

    def debian_alone(recs):
        (start, debian), problems = dumps(recs, "start", "debian")
        if problems:
            return problems
        changed = [r for r in range(256) if start[r] != debian[r]]
        if changed != sorted(targets):
            problems.append(f"sensors -s changed {hexlist(changed)}, want exactly "
                            f"{hexlist(sorted(targets))}")
        return problems

    def same_writes(product):
        def check(recs):
            (debian, board), problems = dumps(recs, "debian", product)
            if problems:
                return problems
            return [f"register 0x{r:02x}: 0x{board[r]:02x}, with Debian's file alone "
                    f"0x{debian[r]:02x}" for r in range(256) if board[r] != debian[r]]
        return check

    b.cases.append(Case(f"libsensors {driver}: Debian's /etc/sensors3.conf alone: sensors -s "
                        f"writes the limits of {inputs} ({hexlist(sorted(targets))}) and no "
                        "other register", debian_alone))
    for product in products:
        b.cases.append(Case(f"libsensors {product}: with vantorel -S in /etc/sensors.d/, "
                            "sensors -j shows every reading, limit and alarm as vantorel -J -a "
                            f"(firmware and random image, {driver})", agrees(product)))
        b.cases.append(Case(f"libsensors {product}: with vantorel -S added, sensors -s "
                            "writes exactly what Debian's file alone writes", same_writes(product)))
