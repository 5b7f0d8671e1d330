# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

"""A real Debian 12 system for the end-to-end suite: a minimal root file system made with
mmdebstrap (kept between runs in a cache), turned into an ext4 disk image with a test script
and the package under test added, and booted under QEMU with the guest's own kernel and
initrd, systemd as init and udev loading the drivers of QEMU's machine.

The test script runs as a systemd unit once the system is up (guest/debian/main.sh), with
the helpers of guest/common.sh (run_case, note, wait_until) and guest/debian/lib.sh, and
sends its records over the second serial port as the busybox boots do; then it powers the
guest off. A second script, where there is one, runs in a second boot of the same disk, to
see what the system does at boot with what the first left installed.
"""

import contextlib
import datetime
import fcntl
import hashlib
import os
import shutil
import subprocess
import time
from pathlib import Path

import vmlib

SUITE = "bookworm"
# The system under test: systemd with udev, node_exporter to scrape, kmod for modprobe, curl
# for the scrape, and i2c-tools to fill the chip's registers; Nagios 4's daemon to schedule
# the plugin mode (dma is the mail transport its mailx needs, with no daemon of its own),
# Icinga 2's daemon to run it through its checker too, and sudo for the check's other
# documented way; collectd's daemon with libsensors for its sensors plugin, a program that
# takes the board's names from the libsensors configuration vantorel writes.
PACKAGES = ["systemd-sysv", "linux-image-amd64", "udev", "prometheus-node-exporter", "kmod",
            "curl", "i2c-tools", "nagios4-core", "dma", "icinga2-bin", "sudo",
            "collectd-core", "libsensors5"]
MMDEBSTRAP = ["mmdebstrap", "--variant=minbase", "--include=" + ",".join(PACKAGES), SUITE]

# The root file systems are kept here between runs, one per package list and day: a new day
# fetches the archive's updates, and removes the days before. Only root can read or change
# them.
CACHE = Path(os.environ.get("VANTOREL_E2E_CACHE", "/var/cache/vantorel-e2e"))

BOOT_TIMEOUT = 900  # seconds; the boot and its cases take three to five minutes
IMAGE_SIZE = "2G"  # sparse: only what the guest writes takes room on the host
GUEST_DIR = "/usr/local/lib/vantorel-e2e"

# The unit that runs the test script once the system is up, after node_exporter; a test
# that fails or hangs still powers the guest off.
TEST_UNIT = f"""[Unit]
Description=vantorel end-to-end test
After=multi-user.target prometheus-node-exporter.service

[Service]
Type=oneshot
ExecStart=/bin/sh {GUEST_DIR}/main.sh
StandardOutput=journal+console
StandardError=journal+console
TimeoutStartSec=600
FailureAction=poweroff-force

[Install]
WantedBy=multi-user.target
"""

# The guest's frame and helpers (guest/debian/main.sh runs the boot's script with
# guest/common.sh's and guest/debian/lib.sh's functions).
GUEST_FILES = {"main.sh": vmlib.GUEST / "debian" / "main.sh",
               "common.sh": vmlib.GUEST / "common.sh",
               "lib.sh": vmlib.GUEST / "debian" / "lib.sh"}


class Cache:
    """The root file system for today's package list, made when missing."""

    def __init__(self, root: Path = CACHE):
        self.root = root

    def key(self) -> str:
        day = datetime.datetime.now(datetime.timezone.utc).strftime("%Y%m%d")
        digest = hashlib.sha256("\0".join(MMDEBSTRAP).encode()).hexdigest()[:12]
        return f"{SUITE}-{digest}-{day}"

    @contextlib.contextmanager
    def use(self, log=print):
        """The cached root directory, made first if needed, as a context: while it lasts,
        no other run removes it. Runs that start together wait for the one that makes it;
        the entries of earlier days are removed, and those of other package lists kept, so
        that runs of two package lists do not remove each other's."""
        if os.geteuid() != 0:
            raise vmlib.HarnessError("the Debian boot needs root: mmdebstrap makes the root "
                                     "file system's files with their owners")
        self.root.mkdir(mode=0o700, parents=True, exist_ok=True)
        os.chmod(self.root, 0o700)
        want = self.root / self.key()
        with open(self.root / ".lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if not want.is_dir():
                self._make(want, log)
            today = want.name.rsplit("-", 1)[1]
            for old in self.root.iterdir():
                if old.name.startswith(".building-") or (
                        old.name != ".lock" and old.name.rsplit("-", 1)[-1] < today):
                    shutil.rmtree(old, ignore_errors=True)
            fcntl.flock(lock, fcntl.LOCK_SH)
            yield want

    def _make(self, want: Path, log):
        building = self.root / f".building-{os.getpid()}"
        shutil.rmtree(building, ignore_errors=True)
        start = time.monotonic()
        p = subprocess.run(MMDEBSTRAP + [str(building)], stdin=subprocess.DEVNULL,
                           capture_output=True, text=True)
        if p.returncode != 0:
            shutil.rmtree(building, ignore_errors=True)
            raise vmlib.HarnessError("mmdebstrap failed:\n" + p.stderr[-3000:])
        shutil.rmtree(want, ignore_errors=True)
        building.rename(want)
        log(f"debian: made the root file system with mmdebstrap in "
            f"{time.monotonic() - start:.0f} s ({want})")


def guest_kernel(root: Path):
    """The guest's own kernel and initrd, from its /boot."""
    kernels = sorted(root.glob("boot/vmlinuz-*"))
    if not kernels:
        raise vmlib.HarnessError(f"no kernel in {root}/boot")
    version = kernels[-1].name[len("vmlinuz-"):]
    initrd = root / "boot" / f"initrd.img-{version}"
    if not initrd.is_file():
        raise vmlib.HarnessError(f"no {initrd}")
    return version, kernels[-1], initrd


def _put(stage: Path, path: str, data: bytes, mode=0o644):
    """A new file in the staging tree, or with DATA None, none. The tree's files are hard
    links to the cache's, so an existing one is unlinked first, never written through."""
    target = stage / path.lstrip("/")
    target.parent.mkdir(parents=True, exist_ok=True)
    if target.exists() or target.is_symlink():
        target.unlink()
    if data is None:
        return
    target.write_bytes(data)
    os.chmod(target, mode)


def make_image(root: Path, out: Path, files: dict, workdir: Path):
    """An ext4 image of ROOT with FILES ({guest path: (bytes, mode), or None to leave the path
    out}) added and the test unit enabled. ROOT itself is left as it is."""
    stage = workdir / "stage"
    shutil.rmtree(stage, ignore_errors=True)
    subprocess.run(["cp", "-al", str(root), str(stage)], check=True)
    try:
        files = dict(files)
        for name, path in GUEST_FILES.items():
            files[f"{GUEST_DIR}/{name}"] = (path.read_bytes(), 0o644)
        files["/etc/systemd/system/vantorel-e2e.service"] = (TEST_UNIT.encode(), 0o644)
        for path, data_mode in files.items():
            _put(stage, path, *(data_mode or (None,)))
        wants = stage / "etc/systemd/system/multi-user.target.wants"
        wants.mkdir(parents=True, exist_ok=True)
        (wants / "vantorel-e2e.service").symlink_to("/etc/systemd/system/vantorel-e2e.service")
        out.unlink(missing_ok=True)
        p = subprocess.run(["mkfs.ext4", "-q", "-F", "-L", "root", "-d", str(stage), str(out),
                            IMAGE_SIZE], capture_output=True, text=True)
        if p.returncode != 0:
            raise vmlib.HarnessError("mkfs.ext4 failed: " + p.stderr)
    finally:
        shutil.rmtree(stage, ignore_errors=True)


def boot(cache: Cache, files: dict, maker: str, product: str, workdir: Path, append="",
         timeout=BOOT_TIMEOUT, log=print, second_boot=False) -> vmlib.BootResult:
    """Boots the cached root file system with FILES ({guest path: (bytes, mode)}) added and
    APPEND on the kernel's command line, and runs GUEST_DIR/first-boot.sh (one of FILES) in
    it once the system is up; with SECOND_BOOT, boots the same disk again and runs
    GUEST_DIR/second-boot.sh. Returns the records both sent back (a name the second uses
    again is the second's)."""
    workdir.mkdir(parents=True, exist_ok=True)
    start = time.monotonic()
    image, kernel, initrd = (workdir / n for n in ("root.ext4", "vmlinuz", "initrd.img"))
    with cache.use(log) as root:
        make_image(root, image, files, workdir)
        # Links, not names in the cache, which a later day's run may remove.
        for link, target in zip((kernel, initrd), guest_kernel(root)[1:]):
            link.unlink(missing_ok=True)
            os.link(target, link)
    cmd = ["qemu-system-x86_64", "-accel", "tcg", "-m", "1024",
           "-drive", f"file={image},format=raw,if=virtio",
           "-kernel", str(kernel), "-initrd", str(initrd),
           "-append", "root=/dev/vda rw console=ttyS0 panic=-1 no_timer_check quiet " + append]
    made = time.monotonic() - start
    res = vmlib.run_qemu(cmd, maker, product, workdir, timeout)
    res.detail = f"the disk image made in {made:.0f} s before it"
    if second_boot and res.finished and not res.problem:
        (workdir / "after-boot").mkdir(exist_ok=True)
        again = vmlib.run_qemu(cmd, maker, product, workdir / "after-boot", timeout)
        res.records.update(again.records)
        res.seconds += again.seconds
        res.finished, res.problem = again.finished, again.problem
        res.console += "\n-- second boot --\n" + again.console
        res.detail += f"; the second boot took {again.seconds:.0f} s"
    for p in (image, kernel, initrd):
        p.unlink(missing_ok=True)
    return res
