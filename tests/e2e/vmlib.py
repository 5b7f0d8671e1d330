# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

"""Plumbing shared by the end-to-end tools: finding Debian's kernel and its modules, building
a busybox initramfs that carries the program, booting it under QEMU with chosen baseboard
strings, and reading back the results the guest writes to its second serial port.

The guest side is a small shell library (guest/*.sh) that every test script runs with.
Each command a test runs through `run_case` comes back as one record: its exit status, its
standard output and its standard error, each byte for byte (base64 on the wire, so a serial
line that mangles control characters or a missing final newline cannot hide a difference).

Standard library only: this runs on a fresh Debian machine with nothing but the packages
that install-deps brings.
"""

import base64
import binascii
import gzip
import lzma
import os
import re
import shutil
import stat
import subprocess
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
# The guest's shell: /init and the helpers every boot's script runs with.
GUEST = HERE / "guest"
GUEST_INIT = GUEST / "init.sh"
GUEST_LIBS = ["common.sh", "initramfs.sh", "boards.sh", "drivers.sh", "identity.sh"]

# The modules the guest needs: the character-device interface to I2C adapters and the
# software adapter whose chips are plain register arrays that i2cset can fill; for the
# adapter search, the driver of the PIIX4 SMBus that QEMU's machine has (a second SMBus
# adapter); for a chip that the kernel has claimed, its hwmon drivers (w83793 with
# hwmon-vid, and w83792d), which vantorel reads through, and an EEPROM driver (at24), which
# it does not.
GUEST_MODULES = ["i2c-dev", "i2c-stub", "i2c-piix4", "w83793", "w83792d", "at24"]

# Host programs copied into the guest beside busybox: strace counts the program's ioctls,
# and util-linux flock holds a lock from the shell (Debian's busybox has no flock applet).
HOST_TOOLS = ["/usr/bin/strace", "/usr/bin/flock"]

# lm-sensors' sensors, where the host has it (bench/install-deps installs it): the driver
# boots check that it still reads a chip that vantorel reads through the same driver.
SENSORS = "/usr/bin/sensors"
SENSORS_CONFIG = "/etc/sensors3.conf"
HAVE_SENSORS = Path(SENSORS).is_file()

# Where the program under test lives inside the guest. Its name is what err(3) prints.
GUEST_PROGRAM = "/usr/bin/vantorel"

BOOT_TIMEOUT = 240  # seconds; a healthy boot plus its tests takes well under a minute


class HarnessError(Exception):
    """The harness itself could not do its job (missing kernel, QEMU failure...)."""


# --------------------------------------------------------------------------------------
# Kernel and modules


@dataclass
class Kernel:
    version: str
    image: Path
    moddir: Path


def find_kernel() -> Kernel:
    """The kernel that linux-image-amd64 currently points at, or failing that the newest
    one under /boot that ships the I2C modules we need."""
    candidates = []
    try:
        deps = subprocess.run(["dpkg-query", "-W", "-f=${Depends}", "linux-image-amd64"],
                              capture_output=True, text=True, check=True).stdout
        m = re.search(r"linux-image-(\S+)", deps)
        if m:
            candidates.append(m.group(1))
    except (OSError, subprocess.CalledProcessError):
        pass
    moddirs = sorted(Path("/lib/modules").glob("*"), key=lambda p: p.stat().st_mtime,
                     reverse=True)
    candidates += [p.name for p in moddirs]
    for ver in candidates:
        image = Path("/boot") / f"vmlinuz-{ver}"
        moddir = Path("/lib/modules") / ver
        if image.is_file() and (moddir / "modules.dep").is_file():
            return Kernel(ver, image, moddir)
    raise HarnessError("no kernel with modules found (is linux-image-amd64 installed? "
                       "run tests/e2e/install-deps)")


def module_closure(kernel: Kernel, names):
    """Module files needed to load NAMES, dependencies first, from modules.dep. A module
    that is built into the kernel (modules.builtin) needs no file and is skipped."""
    deps = {}
    for line in (kernel.moddir / "modules.dep").read_text().splitlines():
        if ":" not in line:
            continue
        path, rest = line.split(":", 1)
        deps[path] = rest.split()

    def modname(path):
        base = os.path.basename(path)
        return re.sub(r"\.ko(\.(xz|gz|zst))?$", "", base).replace("_", "-")

    by_name = {modname(p): p for p in deps}
    order = []

    def visit(path):
        for d in deps.get(path, []):
            visit(d)
        if path not in order:
            order.append(path)

    builtin = (kernel.moddir / "modules.builtin").read_text() \
        if (kernel.moddir / "modules.builtin").exists() else ""
    for n in names:
        key = n.replace("_", "-")
        if key in by_name:
            visit(by_name[key])
        elif re.search(rf"/{re.escape(n)}\.ko$", builtin.replace("_", "-"), re.M):
            continue
        else:
            raise HarnessError(f"module {n} not found for kernel {kernel.version}")
    return [(modname(p), kernel.moddir / p) for p in order]


def read_module(path: Path) -> bytes:
    """A module file as plain .ko bytes: busybox insmod does not decompress."""
    raw = path.read_bytes()
    if path.suffix == ".xz":
        return lzma.decompress(raw)
    if path.suffix == ".gz":
        return gzip.decompress(raw)
    if path.suffix == ".zst":
        return subprocess.run(["zstd", "-dc", str(path)], capture_output=True,
                              check=True).stdout
    return raw


# --------------------------------------------------------------------------------------
# cpio (newc) writer: building the archive ourselves lets it hold device nodes and
# root-owned files without needing privileges or a cpio binary on the host.


class Cpio:
    def __init__(self):
        self.entries = []  # (name, mode, data, rdev)
        self.dirs = set()

    def _parents(self, name):
        parts = name.split("/")[:-1]
        for i in range(1, len(parts) + 1):
            d = "/".join(parts[:i])
            if d and d not in self.dirs:
                self.dirs.add(d)
                self.entries.append((d, stat.S_IFDIR | 0o755, b"", (0, 0)))

    def dir(self, name):
        name = name.strip("/")
        self._parents(name + "/x")

    def file(self, name, data: bytes, mode=0o644):
        name = name.strip("/")
        self._parents(name)
        self.entries.append((name, stat.S_IFREG | mode, data, (0, 0)))

    def symlink(self, name, target):
        name = name.strip("/")
        self._parents(name)
        self.entries.append((name, stat.S_IFLNK | 0o777, target.encode(), (0, 0)))

    def chardev(self, name, major, minor, mode=0o600):
        name = name.strip("/")
        self._parents(name)
        self.entries.append((name, stat.S_IFCHR | mode, b"", (major, minor)))

    def bytes(self) -> bytes:
        out = bytearray()

        def pad4():
            out.extend(b"\0" * (-len(out) % 4))

        for ino, (name, mode, data, (maj, minor)) in enumerate(
                self.entries + [("TRAILER!!!", 0, b"", (0, 0))], start=1):
            nm = name.encode() + b"\0"
            fields = [ino, mode, 0, 0, 1, 0, len(data), 0, 0, maj, minor, len(nm), 0]
            out += b"070701" + b"".join(b"%08X" % f for f in fields)
            out += nm
            pad4()
            out += data
            pad4()
        return bytes(out)


# --------------------------------------------------------------------------------------
# Initramfs


def shared_libs(binary: str):
    """Libraries a dynamic executable loads, as ldd reports them (paths as the loader
    will look them up). A static executable needs none."""
    r = subprocess.run(["ldd", binary], capture_output=True, text=True)
    if r.returncode != 0:  # "not a dynamic executable"
        return []
    libs = []
    for line in r.stdout.splitlines():
        m = re.search(r"=>\s+(/\S+)", line) or re.match(r"\s*(/\S+)\s+\(", line)
        if m:
            libs.append(m.group(1))
    return libs


def build_initramfs(program: str, out: Path, kernel: Kernel = None) -> Kernel:
    """Writes to OUT an initramfs holding busybox, the I2C modules, PROGRAM (as
    /usr/bin/vantorel), strace and flock, with every shared library they load."""
    kernel = kernel or find_kernel()
    busybox = shutil.which("busybox", path="/bin:/usr/bin") or "/bin/busybox"
    if not Path(busybox).is_file() or shared_libs(busybox):
        raise HarnessError("a static busybox is needed (apt-get install busybox-static)")

    c = Cpio()
    for d in ["proc", "sys", "dev", "tmp", "etc", "root", "usr/bin", "bin"]:
        c.dir(d)
    c.chardev("dev/console", 5, 1)
    c.chardev("dev/null", 1, 3, 0o666)
    c.file("bin/busybox", Path(busybox).read_bytes(), 0o755)
    c.symlink("bin/sh", "busybox")
    c.file("init", GUEST_INIT.read_bytes(), 0o755)
    for name in GUEST_LIBS:
        c.file(f"lib/e2e/{name}", (GUEST / name).read_bytes())
    c.file("etc/passwd", b"root:x:0:0:root:/root:/bin/sh\n"
                         b"nobody:x:65534:65534:nobody:/:/bin/sh\n")
    c.file("etc/group", b"root:x:0:\nnogroup:x:65534:\n")

    # Modules, each with the list of modules to load before it.
    for name in GUEST_MODULES:
        chain = module_closure(kernel, [name])
        for modname, path in chain:
            c.file(f"lib/e2e/modules/{modname}.ko", read_module(path))
        c.file(f"lib/e2e/deps/{name}",
               " ".join(m for m, _ in chain if m != name).encode() + b"\n")

    # Programs and their libraries, libraries at the paths ldd resolved them to.
    libs = set()
    binaries = [(program, GUEST_PROGRAM)] + [(t, t) for t in HOST_TOOLS]
    if HAVE_SENSORS:
        binaries.append((SENSORS, SENSORS))
        if Path(SENSORS_CONFIG).is_file():
            c.file(SENSORS_CONFIG, Path(SENSORS_CONFIG).read_bytes())
    for src, dst in binaries:
        if not Path(src).is_file():
            raise HarnessError(f"{src} not found (run tests/e2e/install-deps)")
        c.file(dst, Path(src).read_bytes(), 0o755)
        libs.update(shared_libs(src))
    for lib in sorted(libs):
        c.file(lib, Path(lib).read_bytes(), 0o755)

    out.write_bytes(c.bytes())
    return kernel


def script_cpio(script: str) -> bytes:
    """A second archive holding /test.sh; the kernel unpacks concatenated archives in
    order, so appending it to the base initramfs adds the per-boot script."""
    c = Cpio()
    c.file("test.sh", script.encode(), 0o755)
    return c.bytes()


# --------------------------------------------------------------------------------------
# Booting


@dataclass
class Record:
    status: int
    out: bytes
    err: bytes
    uptime: float = None  # the guest's uptime when the record was sent, in seconds


@dataclass
class BootResult:
    records: dict = field(default_factory=dict)  # case name -> Record
    booted: bool = False
    finished: bool = False
    console: str = ""
    qemu_status: int = None
    seconds: float = 0.0
    problem: str = ""
    detail: str = ""  # what the suite prints beside the boot's time


def slowest(records: dict, count=8) -> str:
    """The COUNT records that took the guest longest, from the record before each (of one
    boot: the uptime only grows), as "name N s", slowest first."""
    steps, last = [], None
    for name, rec in records.items():
        if rec.uptime is None:
            continue
        if last is not None and rec.uptime >= last:
            steps.append((rec.uptime - last, name))
        last = rec.uptime
    return ", ".join(f"{name} {took:.0f} s" for took, name in sorted(steps, reverse=True)[:count])


def parse_results(text: bytes) -> BootResult:
    res = BootResult()
    lines = text.replace(b"\r", b"").split(b"\n")
    i = 0
    while i < len(lines):
        line = lines[i].decode("utf-8", "replace")
        if line == "@@BOOTED":
            res.booted = True
        elif line == "@@END":
            res.finished = True
        elif line.startswith("@@CASE "):
            _, name, status, *uptime = line.split(" ")
            out, err, part = [], [], None
            i += 1
            part = out
            while i < len(lines) and lines[i] != b"@@EOC":
                if lines[i] == b"@@STDERR":
                    part = err
                else:
                    part.append(lines[i])
                i += 1
            try:
                res.records[name] = Record(int(status), base64.b64decode(b"".join(out)),
                                           base64.b64decode(b"".join(err)),
                                           float(uptime[0]) if uptime else None)
            except (ValueError, binascii.Error):
                res.records[name] = Record(-1, b"", b"(record garbled on the wire)")
        i += 1
    return res


def smbios_value(s: str) -> str:
    """QEMU splits -smbios options on commas; a comma inside a value is written twice."""
    return s.replace(",", ",,")


def boot(initramfs: Path, script: str, maker=None, product=None, workdir: Path = None,
         timeout=BOOT_TIMEOUT, kernel: Kernel = None) -> BootResult:
    """Boots Debian's kernel with INITRAMFS plus SCRIPT under QEMU (TCG). MAKER and
    PRODUCT become the SMBIOS baseboard (type 2) strings; with neither, no baseboard
    table is given at all. Returns the records the script sent back."""
    kernel = kernel or find_kernel()
    own_tmp = workdir is None
    workdir = Path(tempfile.mkdtemp(prefix="vantorel-boot-")) if own_tmp else workdir
    workdir.mkdir(parents=True, exist_ok=True)
    initrd = workdir / "initrd.cpio"
    with open(initrd, "wb") as f, open(initramfs, "rb") as base:
        shutil.copyfileobj(base, f)
        f.write(script_cpio(script))
    # no_timer_check: under TCG on a busy host the guest's check of its IO-APIC timer can
    # miss its ticks and panic the boot ("IO-APIC + timer doesn't work").
    cmd = ["qemu-system-x86_64", "-accel", "tcg", "-m", "256",
           "-kernel", str(kernel.image), "-initrd", str(initrd),
           "-append", "console=ttyS0 panic=-1 no_timer_check loglevel=4 rdinit=/init"]
    res = run_qemu(cmd, maker, product, workdir, timeout)
    if own_tmp:
        shutil.rmtree(workdir, ignore_errors=True)
    return res


def run_qemu(cmd, maker, product, workdir: Path, timeout) -> BootResult:
    """Runs the QEMU command CMD (machine, memory, kernel and disks) without display or
    network, the console on the first serial port and the results port on the second, both
    into files in WORKDIR, and MAKER and PRODUCT as the SMBIOS baseboard (type 2) strings
    (with neither, no baseboard table at all). Returns the records the guest sent back."""
    console, results = workdir / "console.log", workdir / "results.log"
    for p in (console, results):
        p.unlink(missing_ok=True)
    cmd = cmd + ["-no-reboot", "-nodefaults", "-display", "none", "-monitor", "none",
                 "-serial", f"file:{console}", "-serial", f"file:{results}"]
    if maker is not None or product is not None:
        smb = "type=2"
        if maker is not None:
            smb += ",manufacturer=" + smbios_value(maker)
        if product is not None:
            smb += ",product=" + smbios_value(product)
        cmd += ["-smbios", smb]

    start = time.monotonic()
    try:
        p = subprocess.run(cmd, stdin=subprocess.DEVNULL, capture_output=True,
                           timeout=timeout)
        status, problem = p.returncode, p.stderr.decode("utf-8", "replace").strip()
    except subprocess.TimeoutExpired:
        status, problem = None, f"guest did not power off within {timeout} s"
    except FileNotFoundError:
        raise HarnessError("qemu-system-x86_64 not found (run tests/e2e/install-deps)")
    res = parse_results(results.read_bytes() if results.exists() else b"")
    res.seconds = time.monotonic() - start
    res.qemu_status = status
    res.console = console.read_text("utf-8", "replace") if console.exists() else ""
    if not res.finished and not problem:
        problem = "guest stopped before its script finished"
    res.problem = problem if (status != 0 or not res.finished) else ""
    return res


# --------------------------------------------------------------------------------------
# Boards and register images (images.conf)


@dataclass
class Catalogue:
    boards: dict  # product -> arrangement name, in file order
    images: dict  # arrangement name -> [(addr, reg, value)]


def load_catalogue(path: Path = HERE / "images.conf") -> Catalogue:
    cat = Catalogue({}, {})
    current = None
    for n, line in enumerate(path.read_text().splitlines(), start=1):
        words = line.split("#", 1)[0].split()
        if not words:
            continue
        if words[0] == "board" and len(words) == 3:
            cat.boards[words[1]] = words[2]
        elif words[0] == "image" and len(words) == 2:
            current = cat.images.setdefault(words[1], [])
        elif words[0] == "reg" and len(words) == 4 and current is not None:
            current.append(tuple(int(w, 0) for w in words[1:]))
        else:
            raise HarnessError(f"{path}:{n}: cannot parse: {line}")
    return cat


# The W83793G's case-open bit: bit 6 of register 0x4E at 0x2f. The tests' image has it
# latched, so that every form shows the bit; the demo's board has never been opened.
CASE_OPEN = {"w83793g": (0x2f, 0x4e, 0x40)}


def demo_image(cat: Catalogue, product: str) -> list:
    """The register image that tests/e2e/demo boots for PRODUCT: its arrangement's image with
    the case closed, a board at rest that a first -N finds OK. A product the table does not
    know has bare chips."""
    arrangement = cat.boards.get(product)
    image = cat.images.get(arrangement, [])
    if arrangement not in CASE_OPEN:
        return image
    addr, reg, bit = CASE_OPEN[arrangement]
    return [(a, r, v & ~bit if (a, r) == (addr, reg) else v) for a, r, v in image]


# Chip addresses every ordinary boot gives the software adapter: both addresses any
# supported board uses, so a board that reads the wrong chip still finds one.
ALL_CHIPS = (0x2c, 0x2f)


# The most registers one I2C block write carries (the kernel's I2C_SMBUS_BLOCK_MAX).
BLOCK = 32


def register_runs(regs: dict) -> list:
    """The registers REGS ({register: value}) as runs of consecutive registers, each at most
    BLOCK long: [(first register, [values])], in register order. A run is one i2cset in the
    guest (an I2C block write where it holds more than one register, which i2c-stub takes)
    rather than a process for each register."""
    runs = []
    for r, v in sorted(regs.items()):
        if runs and runs[-1][0] + len(runs[-1][1]) == r and len(runs[-1][1]) < BLOCK:
            runs[-1][1].append(v)
        else:
            runs.append((r, [v]))
    return runs


def guest_image(image, chips=ALL_CHIPS) -> str:
    """Guest commands that give /dev/i2c-0 fresh chips at CHIPS holding IMAGE (a register
    that IMAGE names twice takes the later value), a run of consecutive registers at a
    time."""
    lines = ["stub " + ",".join(f"0x{a:02x}" for a in chips)]
    values = {}
    for a, r, v in image:
        values.setdefault(a, {})[r] = v
    for a, regs in values.items():
        for first, run in register_runs(regs):
            lines.append(f"i2cset -y 0 0x{a:02x} 0x{first:02x} "
                         + " ".join(f"0x{v:02x}" for v in run) + (" i" if len(run) > 1 else ""))
    return "\n".join(lines) + "\n"


def sim_fixture(maker, product, image, chips=ALL_CHIPS, euid=0, uid=None) -> str:
    """The simulated build's fixture for the same board strings and registers; with UID, a
    setuid-root run by that user."""
    lines = [f"euid {euid}"] + ([f"uid {uid}"] if uid is not None else [])
    if maker is not None:
        lines.append(f"maker {maker}")
    if product is not None:
        lines.append(f"product {product}")
    lines += [f"chip 0x{a:02x}" for a in chips]
    lines += [f"reg 0x{a:02x} 0x{r:02x} 0x{v:02x}" for a, r, v in image]
    return "\n".join(lines) + "\n"
