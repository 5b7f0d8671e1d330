# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

"""Boots of the first kind: the supported boards read over the bus. A boot per board
(every form against the simulated build, the trace's reads, the ioctls), with the X7DBP's
and X6DVA's boots carrying groups of their own (the report written to a file, failures
through the real kernel, the setuid copy, the device lock, closed descriptors and a reader
that never drains); the boards' boots share one QEMU run, the guest taking each board's
strings in turn (harness.one_run). And one boot of its own per board string the program must
refuse, the strings in QEMU's SMBIOS table. The guest's side of each group is a function in
guest/boards.sh.
"""

import re
import shlex

import vmlib
from harness import (ALL_FORMS, ARRANGEMENTS, FORMS, GUEST_DEV, MAKER, Boot, Case, Sim,
                     compare, expect, hexlist, random_image, read_trace, run_cmd, show)

KIND = "boards"


def boots(cat, sim: Sim, rng, deb=None):
    """Every board of the catalogue, then the refused board strings."""
    out = []
    for product, arrangement in cat.boards.items():
        b = board_boot(product, arrangement, cat.images[arrangement], rng, sim)
        if product == "X7DBP":
            for add in (failure_cases, lock_cases, descriptor_cases, undrained_trace_case,
                        setuid_cases):
                b.group(add, cat, sim)
        if product == "X6DVA":
            b.group(dual_missing_case, cat, sim)
        out.append(b)
    refused = expect(65, out_prefix=UNSUPPORTED, err=b"")
    long_product = "X7DBP" + "".join(chr(ord("A") + i % 26) for i in range(195))
    out += [
        unsupported_boot("no baseboard strings", None, None, 71,
                         expect(71, out=b"", err_has=b"smbios.planar.maker"), cat, sim),
        unsupported_boot("product 'X7DBP ' (trailing blank)", MAKER, "X7DBP ", 65, refused,
                         cat, sim),
        unsupported_boot("product of 200 characters", MAKER, long_product, 65, refused,
                         cat, sim),
        unsupported_boot("unknown product X6DVL", MAKER, "X6DVL", 65, refused, cat, sim),
        unsupported_boot("product X7SBI (case differs)", MAKER, "X7SBI", 65, refused,
                         cat, sim),
    ]
    return out


def board_boot(product, arrangement, image, rng, sim: Sim) -> Boot:
    """One supported board: both images in all forms, the bus reads in the trace, and the
    ioctls the program issues."""
    b = Boot(product, MAKER, product, shared="supported boards")
    arr = ARRANGEMENTS[arrangement]
    images = {"plausible image": image, "random image": random_image(arr, rng)}

    for label, img in images.items():
        tag = f"{product}/{label.split()[0]}"
        b.guest(vmlib.guest_image(img))
        for form, args in ALL_FORMS.items():
            b.guest(run_cmd(f"{tag}/{form}", args))
        fixture = vmlib.sim_fixture(MAKER, product, img)
        want = {form: sim.run(fixture, args) for form, args in ALL_FORMS.items()}

        def check(recs, tag=tag, want=want, img=img):
            problems = []
            for form in ALL_FORMS:
                got = recs.get(f"{tag}/{form}")
                problems += [f"{form}: {p}" for p in compare(want[form], got)]
            if any(w.status != 0 for w in want.values()):
                problems.append("the sim build itself did not report (status "
                                f"{[w.status for w in want.values()]})")
            return problems

        b.cases.append(Case(f"board {product}: {label}, plain/-c/-J/-v, -a in each and -P "
                            "same as sim", check))

    # The trace of the plausible run lists every bus read.
    def trace_check(recs, tag=f"{product}/plausible/verbose"):
        got = recs.get(tag)
        if got is None:
            return ["no result"]
        reads = read_trace(got.out)
        if reads == arr.reads:
            return []
        return [f"{len(reads)} read_byte entries {hexlist(reads)}, want {len(arr.reads)} "
                f"{hexlist(arr.reads)}"]

    b.cases.append(Case(f"board {product}: -v trace shows exactly {len(arr.reads)} reads "
                        "in bus order", trace_check))
    if product in PROM_FILE_BOARDS:
        prom_file_case(b, image, sim)

    # strace counts the ioctls through the real i2c-dev driver.
    b.guest(vmlib.guest_image(image))
    b.guest(f"ioctl_run {product}/strace\n")
    plain = sim.run(vmlib.sim_fixture(MAKER, product, image), [])

    def ioctl_check(recs, product=product):
        run, log = recs.get(f"{product}/strace"), recs.get(f"{product}/strace.log")
        if run is None or log is None:
            return ["no result"]
        problems = compare(plain, run, stderr_too=False)
        text = log.out.decode()
        selects = [int(a, 16) for a in re.findall(r"ioctl\(\d+, 0x703, 0x([0-9a-f]+)\)", text)]
        smbus = len(re.findall(r"ioctl\(\d+, 0x720, ", text))
        if selects != arr.selects:
            problems.append(f"I2C_SLAVE (0x703) to {hexlist(selects)}, want "
                            f"{hexlist(arr.selects)}")
        if smbus != len(arr.reads):
            problems.append(f"{smbus} I2C_SMBUS (0x720), want {len(arr.reads)}")
        return problems

    b.cases.append(Case(f"board {product}: {len(arr.selects)} I2C_SLAVE and {len(arr.reads)} "
                        "I2C_SMBUS ioctls (strace)", ioctl_check))
    return b


IO_FAILED = b"vantorel: ioctl(SMB_READB) failed: "
# The file that -P -o leaves when the run fails.
FAILED_PROM = (b"# HELP vantorel_up Whether the last reading of the board succeeded (1) or "
               b"failed (0).\n# TYPE vantorel_up gauge\nvantorel_up 0\n")
# The boards whose boots also write the exposition to a file.
PROM_FILE_BOARDS = ("X7DBP", "X6DVA")
PROM_FILE = "/tmp/textfile/vantorel.prom"


def prom_file_guest(case, file=PROM_FILE, runner=""):
    """Guest line: vantorel -P -o FILE (through RUNNER, a command prefix), then the file's
    owner, mode and bytes, and what else its directory holds, as records CASE and CASE.file
    (guest/boards.sh's prom_file)."""
    return f"prom_file {shlex.quote(case)} {shlex.quote(file)} {runner}".rstrip() + "\n"


def prom_file_record(recs, case, mode_owner, file_bytes, listing):
    """The problems with the CASE.file record: owner and mode, the directory's names, bytes."""
    got = recs.get(case + ".file")
    if got is None:
        return ["no file record"]
    lines = got.out.split(b"\n", 1)
    head = lines[0].split()
    problems = []
    if head[:1] != [mode_owner[0]] or head[-1:] != [mode_owner[1]]:
        problems.append(f"file mode and owner {lines[0]!r}, want {mode_owner}")
    names_and_text = lines[1] if len(lines) > 1 else b""
    want = b"".join(n + b"\n" for n in listing) + file_bytes
    if names_and_text != want:
        problems.append(f"directory and file {show(names_and_text, 600)}, want {show(want, 600)}")
    return problems


def prom_file_case(b: Boot, image, sim: Sim):
    """-P -o through the real kernel: the file holds what the sim build prints with -P for
    the same registers, mode 0644, with nothing else left in its directory, and the run
    prints nothing."""
    b.guest(vmlib.guest_image(image))
    b.guest(f"old_file {PROM_FILE} 600\n")
    b.guest(prom_file_guest("prom/file"))
    want = sim.run(vmlib.sim_fixture(MAKER, b.product, image), ["-P"])

    def check(recs):
        problems = expect(0, out=b"", err=b"")(recs.get("prom/file"))
        problems += prom_file_record(recs, "prom/file", (b"-rw-r--r--", b"0"), want.out,
                                     [b"vantorel.prom"])
        if want.status != 0:
            problems.append(f"the sim build itself failed ({want.status})")
        return problems

    b.cases.append(Case(f"board {b.product}: -P -o replaces the file with the sim's -P report",
                        check))


UNSUPPORTED = b"Your motherboard does not appear to be supported."


def failure_cases(b: Boot, cat, sim: Sim):
    """Failures through the real kernel, on the W83793G board X7DBP."""
    image = cat.images["w83793g"]
    b.guest("stub 0x2c\n")  # the board's chip (0x2f) is missing
    b.guest(run_cmd("fail/nochip", []))
    b.guest(f"old_file {PROM_FILE}\n")
    b.guest(prom_file_guest("fail/nochip-prom"))
    b.guest(vmlib.guest_image(image))
    b.guest(f"run_case fail/nonroot as_nobody vantorel -f {GUEST_DEV}\n")
    b.guest(run_cmd("fail/missing", [], dev="/dev/i2c-7"))
    b.guest("echo not a bus > /tmp/regular\n")
    b.guest(run_cmd("fail/regular", [], dev="/tmp/regular"))
    table = [
        ("no chip at the board's address: 74, no report", "fail/nochip",
         expect(74, out=b"", err_prefix=IO_FAILED)),
        ("unprivileged user: 77", "fail/nonroot",
         expect(77, out=b"", err_prefix=b"vantorel: Must be run as root, or setuid root")),
        ("-f missing path: 66", "fail/missing",
         expect(66, out=b"", err=b"vantorel: open() on /dev/i2c-7 failed: "
                                 b"No such file or directory\n")),
        ("-f regular file: 74", "fail/regular", expect(74, out=b"", err_prefix=IO_FAILED)),
    ]
    for title, rec, chk in table:
        b.cases.append(Case(f"failure {title}", lambda recs, rec=rec, chk=chk: chk(recs.get(rec))))

    def failure_file(recs):
        problems = expect(74, out=b"", err_prefix=IO_FAILED)(recs.get("fail/nochip-prom"))
        return problems + prom_file_record(recs, "fail/nochip-prom", (b"-rw-r--r--", b"0"),
                                           FAILED_PROM, [b"vantorel.prom"])

    b.cases.append(Case("failure no chip with -P -o: 74, the file holds vantorel_up 0",
                        failure_file))


NOBODY = 65534


def syscalls(log: bytes):
    """(name, text) of each line of an strace log, in order."""
    out = []
    for line in log.decode("utf-8", "replace").splitlines():
        m = re.match(r"(\w+)\(", line)
        if m:  # strace pads the result into a column; one blank is enough to compare
            out.append((m.group(1), re.sub(r"\)\s+= ", ") = ", line)))
    return out


def setuid_cases(b: Boot, cat, sim: Sim):
    """A setuid-root copy run by nobody, on X7DBP. The default device (the one SMBus
    adapter, i2c-0, found in sysfs) is read with root's rights; a device named with -f only if
    nobody could open it read-write, as a character device and not through a link; the bus
    is read with nobody's effective ids, root's the real and saved ones, and root is given up
    for good once the device is closed."""
    image = cat.images["w83793g"]
    fixture = vmlib.sim_fixture(MAKER, b.product, image, uid=NOBODY)
    # /dev/null stands for a character device that the simulated user may open.
    want = {form: sim.run(fixture, FORMS[form], device="/dev/null")
            for form in ("plain", "verbose")}
    prom_want = sim.run(fixture, ["-P"], device="/dev/null")
    b.guest(vmlib.guest_image(image))
    b.guest("setuid_runs\n")

    def refused(path, why):
        return expect(66, out=b"", err=f"vantorel: open() on {path} failed: {why}\n".encode())

    def rec(name, chk):
        return lambda recs: chk(recs.get(name))

    def root_only(recs):
        problems = refused(GUEST_DEV, "Permission denied")(recs.get("suid/root-only"))
        st = recs.get("suid/root-only-state")
        if st is None or st.out.strip() != b"at-once":
            problems.append("the refused run waited for the lock holder")
        log = recs.get("suid/root-only-strace.log")
        calls = syscalls(log.out) if log else []
        opens = [t for n, t in calls if n == "openat" and f'"{GUEST_DEV}"' in t]
        if len(opens) != 1 or "O_NOFOLLOW" not in opens[0] or "EACCES" not in opens[0]:
            problems.append(f"want one O_NOFOLLOW open of {GUEST_DEV} failing EACCES: {opens}")
        if any(n in ("flock", "ioctl") for n, _ in calls):
            problems.append("the refused device was locked or sent a request: "
                            f"{[t for n, t in calls if n in ('flock', 'ioctl')]}")
        return problems

    def dropped_first(recs):
        """In the strace log: the open made as nobody, the switch back, the terminal's stop
        signals ignored, the real and saved uid made root, then the effective ids nobody's, and
        only then the lock and the first I2C request; after the close, the drop of user then
        group for good and a failed attempt at root."""
        log = recs.get("suid/own-device-strace.log")
        run = recs.get("suid/own-device-strace")
        problems = compare(want["plain"], run) if run else ["no result"]
        calls = syscalls(log.out) if log else []
        order = [
            ("setresuid", f"setresuid(-1, {NOBODY}, -1) = 0"),
            ("openat", f'"{GUEST_DEV}", O_RDWR|O_NOCTTY|O_NOFOLLOW|O_CLOEXEC) = 3'),
            ("setresuid", "setresuid(-1, 0, -1) = 0"),
            ("rt_sigaction", "rt_sigaction(SIGTTOU, {sa_handler=SIG_IGN"),
            ("setresuid", "setresuid(0, -1, 0) = 0"),
            ("setresgid", f"setresgid(-1, {NOBODY}, -1) = 0"),
            ("setresuid", f"setresuid(-1, {NOBODY}, -1) = 0"),
            ("flock", "flock(3, LOCK_EX) = 0"),
            ("ioctl", "ioctl(3, "),
            ("close", "close(3) = 0"),
            ("setresuid", f"setresuid({NOBODY}, 0, 0) = 0"),
            ("setresgid", f"setresgid({NOBODY}, {NOBODY}, {NOBODY}) = 0"),
            ("setresuid", f"setresuid({NOBODY}, {NOBODY}, {NOBODY}) = 0"),
            ("setuid", "setuid(0) = -1 EPERM"),
        ]
        at = 0
        for name, text in order:
            while at < len(calls) and not (calls[at][0] == name and text in calls[at][1]):
                at += 1
            if at == len(calls):
                problems.append(f"strace: no {text!r} after the steps before it:\n      "
                                + "\n      ".join(t for _, t in calls[:40]))
                break
        first_ioctl = next((i for i, (n, _) in enumerate(calls) if n == "ioctl"), None)
        # The effective uid becomes nobody's for the locked section once the real and saved
        # ones are root's.
        rooted = next((i for i, (_, t) in enumerate(calls) if "setresuid(0, -1, 0)" in t), None)
        held = None if rooted is None else \
            next((i for i, (_, t) in enumerate(calls)
                  if i > rooted and f"setresuid(-1, {NOBODY}, -1)" in t), None)
        if first_ioctl is not None and (held is None or held > first_ioctl):
            problems.append("an ioctl came before the effective ids were nobody's")
        return problems

    table = [
        ("default device opened with root's rights: report as the simulation",
         lambda recs: compare(want["plain"], recs.get("suid/default"))),
        ("-f root-only device: 66 EACCES at once while another holds its lock, never locked",
         root_only),
        ("-f symbolic link to a device nobody may open: 66 ELOOP",
         rec("suid/link", refused("/tmp/link", "Too many levels of symbolic links"))),
        ("-f regular file of nobody's own: 66 ENODEV",
         rec("suid/regular", refused("/tmp/mine", "No such device"))),
        ("-f device nobody may open: report and -v trace as the simulation, ids dropped",
         lambda recs: compare(want["verbose"], recs.get("suid/own-device"))),
        ("ids held before the lock and the first I2C ioctl, root dropped for good after the "
         "close (strace)", dropped_first),
        ("-P -o into nobody's directory: the sim's report, in a file of nobody's",
         lambda recs: expect(0, out=b"", err=b"")(recs.get("suid/prom-own"))
         + prom_file_record(recs, "suid/prom-own", (b"-rw-r--r--", str(NOBODY).encode()),
                            prom_want.out, [b"vantorel.prom"])),
        ("-P -o over root's file in root's directory: 74, the file as it was",
         lambda recs: expect(74, out=b"", err=b"vantorel: cannot write "
                             b"/tmp/rootdir/vantorel.prom: Permission denied\n")(
                                 recs.get("suid/prom-root"))
         + prom_file_record(recs, "suid/prom-root", (b"-rw-r--r--", b"0"), b"root's\n",
                            [b"vantorel.prom"])),
    ]
    for title, chk in table:
        b.cases.append(Case(f"setuid {title}", chk))


def lock_cases(b: Boot, cat, sim: Sim):
    """The device lock, on X7DBP: a run waits for a holder of flock(2) on the device and
    reports once it lets go; eight runs at once all report the same."""
    image = cat.images["w83793g"]
    want = sim.run(vmlib.sim_fixture(MAKER, b.product, image), [])
    b.guest(vmlib.guest_image(image))
    b.guest("lock_runs\n")

    def waiting(recs):
        st = recs.get("lock/state")
        problems = compare(want, recs.get("lock/waiter"))
        if st is None or st.out.split() != [b"waiting", b"released-first"]:
            problems.append("run did not wait for the lock holder: "
                            f"{show(st.out) if st else 'no state'}")
        return problems

    def eight(recs):
        problems = []
        for i in range(1, 9):
            problems += [f"run {i}: {p}" for p in compare(want, recs.get(f"lock/par{i}"))]
        return problems

    b.cases.append(Case("lock: a run waits while another process holds flock, then reports",
                        waiting))
    b.cases.append(Case("lock: eight runs at once all report the same", eight))


def descriptor_cases(b: Boot, cat, sim: Sim):
    """Root runs on X7DBP with standard descriptors closed (as from a cron line with >&-):
    the device opens on descriptor 3 or above and nothing is written to it; a run whose
    standard output is a FIFO that nobody reads holds no lock, so a second run completes."""
    image = cat.images["w83793g"]
    want = sim.run(vmlib.sim_fixture(MAKER, b.product, image), ["-c"])
    b.guest(vmlib.guest_image(image))
    b.guest("closed_fds_run fd1 '>&-'\n"
            "closed_fds_run fd012 '<&- >&- 2>&-'\n"
            "fifo_runs\n")

    def device_fds(name):
        def check(recs):
            run, log = recs.get(f"fds/{name}"), recs.get(f"fds/{name}.log")
            if run is None or log is None:
                return ["no result"]
            problems = []
            if run.status != 74:
                problems.append(f"status {run.status}, want 74 (the report's write fails)")
            text = log.out.decode(errors="replace")
            fds = [int(fd) for fd in re.findall(
                r'openat\(AT_FDCWD, "/dev/i2c-0", [^)]*\) = (\d+)', text)]
            if len(fds) != 1 or fds[0] < 3:
                problems.append(f"device opened on {fds}, want one open on 3 or above")
            for fd in fds:
                if re.search(rf"^\d*\s*write\({fd}, ", text, re.M):
                    problems.append(f"written to the device's descriptor {fd}")
            return problems
        return check

    def second_run(recs):
        blocked, state = recs.get("fifo/blocked"), recs.get("fifo/second-state")
        problems = []
        if blocked is None or b"pipe_write" not in blocked.out:
            problems.append("harness: the first run never blocked on the FIFO: "
                            f"{show(blocked.out) if blocked else 'no record'}")
        if state is None or state.out.strip() != b"finished":
            problems.append("the second run waited while the first was blocked on its output")
        problems += compare(want, recs.get("fifo/second"))
        return problems

    b.cases += [
        Case("descriptors: root run with 1 closed: device on 3+, nothing written to it "
             "(strace)", device_fds("fd1")),
        Case("descriptors: root run with 0, 1, 2 closed: device on 3+, nothing written to it "
             "(strace)", device_fds("fd012")),
        Case("lock: a run blocked on a full FIFO holds no lock; a second run reports",
             second_run),
    ]


def undrained_trace_case(b: Boot, cat, sim: Sim):
    """-v into a full FIFO that nobody reads, on X7DBP: the run blocks on its output only
    once it has closed the device, so a second run reports at once; and once the FIFO is
    drained, the first run's trace and report come out whole, as the simulated build prints
    them."""
    image = cat.images["w83793g"]
    want = sim.run(vmlib.sim_fixture(MAKER, b.product, image), ["-v", "-c"])
    b.guest(vmlib.guest_image(image))
    b.guest("undrained_trace_runs\n")

    def check(recs):
        blocked, fds = recs.get("vfifo/blocked"), recs.get("vfifo/fds")
        state = recs.get("vfifo/second-state")
        problems = []
        if blocked is None or b"pipe_write" not in blocked.out:
            problems.append("harness: the first run never blocked on the FIFO: "
                            f"{show(blocked.out) if blocked else 'no record'}")
        if fds is None or GUEST_DEV.encode() in fds.out or b"/tmp/vfifo" not in fds.out:
            problems.append("the run blocked on its output with the device still open: "
                            f"{show(fds.out) if fds else 'no record'}")
        if state is None or state.out.strip() != b"finished":
            problems.append("the second run waited while the first was blocked on its trace")
        problems += [f"second run: {p}" for p in compare(want, recs.get("vfifo/second"))]
        problems += [f"first run, drained: {p}" for p in compare(want, recs.get("vfifo/first"))]
        if want.status != 0:
            problems.append(f"the sim build itself failed ({want.status})")
        return problems

    b.cases.append(Case("lock: -v into a full FIFO that nobody reads holds no lock; a second "
                        "run reports, and the first run's output comes out whole", check))


def dual_missing_case(b: Boot, cat, sim: Sim):
    """The two-chip board with only its first chip present fails after that chip's reads."""
    image = [r for r in cat.images["dual"] if r[0] == 0x2c]
    b.guest(vmlib.guest_image(image, chips=(0x2c,)))
    b.guest(run_cmd("fail/dual-second-missing", ["-v"]))
    want = sim.run(vmlib.sim_fixture(MAKER, b.product, image, chips=(0x2c,)), ["-v"])
    first = ARRANGEMENTS["dual"].reads[:7]

    def check(recs):
        got = recs.get("fail/dual-second-missing")
        problems = expect(74, err_prefix=IO_FAILED)(got)
        if got is not None:
            problems += compare(want, got, stderr_too=False)
            reads = read_trace(got.out)
            if reads != first + [(0x2f, 0x20)]:
                problems.append(f"reads {hexlist(reads)}: want the first chip's 7, then one "
                                "attempt at 0x2f")
        return problems

    b.cases.append(Case("failure dual-chip board with only 0x2c: 74 after the first chip",
                        check))


def unsupported_boot(title, maker, product, status, message, cat, sim: Sim) -> Boot:
    """Board strings the program must refuse. The chips hold a W83793G image, so a wrong
    match would print a report instead of failing."""
    b = Boot(title, maker, product)
    image = cat.images["w83793g"]
    b.guest(vmlib.guest_image(image))
    b.guest("run_case dmi cat /sys/class/dmi/id/board_vendor /sys/class/dmi/id/board_name\n")
    for form in ("plain", "verbose"):
        b.guest(run_cmd(f"refuse/{form}", FORMS[form]))
    fixture = vmlib.sim_fixture(maker, product, image)
    want = {form: sim.run(fixture, FORMS[form]) for form in ("plain", "verbose")}

    def check(recs):
        problems = []
        dmi = recs.get("dmi")
        # The board strings must reach sysfs as given, or the case tests nothing.
        shown = f"{maker}\n{product}\n".encode() if maker is not None else b""
        if dmi is None or dmi.out != shown:
            problems.append(f"harness: sysfs shows {show(dmi.out) if dmi else 'nothing'}, "
                            f"meant {show(shown)}")
        problems += message(recs.get("refuse/plain"))
        for form in ("plain", "verbose"):
            problems += [f"{form}: {p}" for p in compare(want[form], recs.get(f"refuse/{form}"))]
        return problems

    b.cases.append(Case(f"refused: {title}: {status}", check))
    return b
