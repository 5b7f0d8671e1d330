# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

"""The third kind of boot: the package on a Debian 12 system under systemd (debian.py boots
it), its timer feeding a running node_exporter, its plugin mode under Nagios 4 and Icinga 2,
its libsensors configuration read by collectd, installed, upgraded and purged. The guest
runs guest/debian/first-boot.sh, then boots again and runs second-boot.sh; this module gives
them their files and checks the records they send back.
"""

import hashlib
import json
import math
import re
import shutil
import subprocess
from pathlib import Path

import debian
import sensors_oracle
import vmlib
from harness import (DRIVER_SETUP, MAKER, Boot, Case, Run, Sim, compare, driver_image,
                     image_reg, show, with_regs)

KIND = "debian"
HERE = Path(__file__).resolve().parent
GUEST = HERE / "guest" / "debian"

UNIT = "prometheus-node-exporter-vantorel"
# Where first-boot.sh finds the packages, and its register images (IMAGES/name).
GUEST_DEB = "/var/tmp/vantorel.deb"
GUEST_DEB_NEWER = "/var/tmp/vantorel-newer.deb"
IMAGES = f"{debian.GUEST_DIR}/images"
# What the sandbox must hold, as systemctl show gives it.
SANDBOX = {
    "ProtectSystem": "strict", "ReadWritePaths": "-/var/lib/prometheus/node-exporter",
    "PrivateNetwork": "yes", "PrivateDevices": "no", "DevicePolicy": "closed",
    "CapabilityBoundingSet": "", "NoNewPrivileges": "yes", "ProtectKernelTunables": "yes",
    "ProtectKernelModules": "yes", "ProtectControlGroups": "yes", "RestrictNamespaces": "yes",
    "PrivateUsers": "yes", "SystemCallArchitectures": "native",
    "TimeoutStartUSec": "20s", "Type": "oneshot",
}
READING_FAMILIES = ("vantorel_temperature_celsius", "vantorel_fan_rpm",
                    "vantorel_voltage_volts")
# The families of the chips' limits and status bits that the X7DBP's W83793G gives.
LIMIT_FAMILIES = ("vantorel_voltage_min_volts", "vantorel_voltage_max_volts",
                  "vantorel_temperature_max_celsius", "vantorel_temperature_max_hyst_celsius",
                  "vantorel_temperature_warn_celsius", "vantorel_temperature_warn_hyst_celsius",
                  "vantorel_fan_min_rpm", "vantorel_voltage_alarm", "vantorel_temperature_alarm",
                  "vantorel_fan_alarm", "vantorel_intrusion_alarm")


def samples(text: str) -> dict:
    """{series: value} of the vantorel_ samples of an exposition, each series written with
    its labels in name order, as node_exporter writes them."""
    out = {}
    for line in text.splitlines():
        m = re.match(r"(vantorel_\w+)(?:\{(.*)\})? (\S+)$", line)
        if m:
            labels = sorted(re.findall(r'(\w+="(?:[^"\\]|\\.)*")', m.group(2) or ""))
            series = m.group(1) + ("{" + ",".join(labels) + "}" if labels else "")
            out[series] = float(m.group(3))
    return out


def properties(rec) -> dict:
    return dict(line.split("=", 1) for line in rec.out.decode().splitlines() if "=" in line)


def scraped(rec, want: dict) -> list:
    """Problems of a scrape record against the vantorel_ samples WANT (each family with its
    TYPE line), and node_exporter's textfile collector without error."""
    if rec is None:
        return ["no scrape"]
    text = rec.out.decode()
    problems = [] if rec.status == 0 else [f"scrape: status {rec.status} {show(rec.err)}"]
    if "node_textfile_scrape_error 0" not in text.splitlines():
        problems.append("node_textfile_scrape_error is not 0: "
                        + show(rec.out + rec.err, 600))
    got = samples(text)
    if got != want:
        wrong = [f"{k}: {got.get(k, 'missing')}, want {want.get(k, 'none')}"
                 for k in sorted(set(got) | set(want)) if got.get(k) != want.get(k)]
        problems.append(f"{len(wrong)} of the scraped vantorel samples differ: "
                        + "; ".join(wrong[:4]) + ("; ..." if len(wrong) > 4 else ""))
    families = sorted({k.split("{")[0] for k in got})
    problems += [f"no TYPE line for {f}" for f in families if f"# TYPE {f} gauge" not in text]
    return problems


def outcome(rec, result, status=None) -> list:
    if rec is None:
        return ["no result"]
    got = properties(rec)
    want = {"Result": result}
    if status is not None:
        want["ExecMainStatus"] = str(status)
    bad = {k: got.get(k) for k, v in want.items() if got.get(k) != v}
    return [f"service {bad}, want {want}"] if bad else []


# The newer package's version: the one under test's, and a suffix that dpkg orders after it.
NEWER = "+e2e1"


def deb_version(deb: str) -> str:
    return subprocess.run(["dpkg-deb", "-f", deb, "Version"], check=True, capture_output=True,
                          text=True).stdout.strip()


def newer_deb(deb: Path, out: Path, workdir: Path):
    """DEB made again as a newer version whose units differ from its own, as an upgrade's
    may: the service's start timeout 25 s instead of 20 s, the timer's accuracy 1 s."""
    tree = workdir / "newer"
    shutil.rmtree(tree, ignore_errors=True)
    subprocess.run(["dpkg-deb", "-R", str(deb), str(tree)], check=True)
    version = deb_version(str(deb))
    changes = {
        f"usr/lib/systemd/system/{UNIT}.service": ("TimeoutStartSec=20s\n",
                                                   "TimeoutStartSec=25s\n"),
        f"usr/lib/systemd/system/{UNIT}.timer": ("[Timer]\n", "[Timer]\nAccuracySec=1s\n"),
        "DEBIAN/control": (f"\nVersion: {version}\n", f"\nVersion: {version}{NEWER}\n"),
    }
    for path, (old, new) in changes.items():
        f = tree / path
        text = f.read_text()
        if old not in text:
            raise vmlib.HarnessError(f"newer package: no {old.strip()!r} in {path}")
        f.write_text(text.replace(old, new, 1))
    md5sums = tree / "DEBIAN/md5sums"
    if md5sums.exists():
        names = [line.split("  ", 1)[1] for line in md5sums.read_text().splitlines()]
        md5sums.write_text("".join(
            f"{hashlib.md5((tree / n).read_bytes()).hexdigest()}  {n}\n" for n in names))
    subprocess.run(["dpkg-deb", "--root-owner-group", "-b", str(tree), str(out)], check=True,
                   capture_output=True)
    shutil.rmtree(tree, ignore_errors=True)


# The check as guest/debian/nagios-board.cfg and first-boot.sh run it: -x through the
# command's argument, as the README shows.
NAGIOS_SERVICE_ARGS = ["-x", "FAN5"]
# The check as guest/debian/icinga2.conf's service has Icinga 2 run it: the package's
# CheckCommand, whose vantorel_exclude array gives -x repeated. The options come in the
# order of the command's argument keys.
ICINGA_COMMAND = ["/usr/sbin/vantorel", "-N", "-t", "10", "-x", "FAN5", "-x", "FAN6"]
# The unit Debian's icinga2-bin enables: the test starts the daemon itself, with its own
# configuration, and the boot does not start it with the package's own examples.
ICINGA_WANTED = "/etc/systemd/system/multi-user.target.wants/icinga2.service"
# The unit of Debian's collectd-core, enabled, which would start it at boot once there is an
# /etc/collectd/collectd.conf: the test runs its own daemon, with its own configuration.
COLLECTD_WANTED = "/etc/systemd/system/multi-user.target.wants/collectd.service"
# The limits a BIOS sets on the W83793G image: CPU1 Temperature's 80 C (warning 70 C, the
# hysteresis 75 and 65), Vcore A's 1.120-1.280 V, the -12 V rail's -13.056 to -10.752 V
# (the register pair the other way round), FAN1's minimum count 1125 (1200 RPM); the case closed.
PLUGIN_LIMITS = {(0x2f, 0x78): 0x50, (0x2f, 0x79): 0x4b, (0x2f, 0x7a): 0x46,
                 (0x2f, 0x7b): 0x41, (0x2f, 0x60): 0xa0, (0x2f, 0x61): 0x8c,
                 (0x2f, 0x6a): 0x22, (0x2f, 0x6b): 0x1c, (0x2f, 0x90): 0x04,
                 (0x2f, 0x91): 0x65, (0x2f, 0x4e): 0x00}


def guest_file(name: str):
    """(bytes, mode) of guest/debian/NAME, for the disk image."""
    return (GUEST / name).read_bytes(), 0o644


def image_file(image) -> bytes:
    """The chip's registers of IMAGE as guest/debian/lib.sh's fill reads them: a line for
    each run of consecutive registers (vmlib.register_runs), its first register and their
    values."""
    runs = vmlib.register_runs({r: v for a, r, v in image if a == 0x2f})
    return "".join(" ".join(f"0x{x:02x}" for x in [first] + run) + "\n"
                   for first, run in runs).encode()


def perfdata_items(text: str) -> list:
    """[(label, [value, warn, crit, ...])] of plugin perfdata: quoted labels, a quote inside
    written twice, items separated by blanks."""
    items, at = [], 0
    while at < len(text):
        if text[at] == " ":
            at += 1
            continue
        if text[at] == "'":
            label, at = "", at + 1
            while at < len(text) and not (text[at] == "'" and text[at + 1:at + 2] != "'"):
                label += text[at]
                at += 2 if text[at] == "'" else 1
            at += 1
        else:
            end = text.index("=", at)
            label, at = text[at:end], end
        if text[at:at + 1] != "=":
            raise ValueError(f"no '=' after {label!r}")
        end = text.find(" ", at)
        end = len(text) if end < 0 else end
        items.append((label, text[at + 1:end].split(";")))
        at = end
    return items


def json_values(out: bytes) -> list:
    """[(label, value)] of the readings of -J, in order."""
    return re.findall(r'^\t\t"(.*)": "(\S+) (?:C|RPM|V)",?$', out.decode(), re.M)


# collectd's name of the sensors plugin's type for each of -J's kinds of reading.
COLLECTD_TYPES = {"temps": "temperature", "fans": "fanspeed", "voltages": "voltage"}


def collectd_readings(out: bytes, chip: str) -> tuple:
    """({(type, label): value} of what collectd's csv plugin last wrote for the sensors plugin,
    the lines of guest/debian/lib.sh's collectd_values; the problems: a file of another chip
    than CHIP (a regular expression of libsensors' chip name), or a line that does not
    parse)."""
    got, problems = {}, []
    for line in out.decode(errors="replace").splitlines():
        m = re.fullmatch(r"sensors-(\S+)/([a-z]+)-(.+)-\d{4}-\d{2}-\d{2} \d+\.\d+,(\S+)",
                         line)
        if not m:
            problems.append(f"collectd wrote {line!r}")
        elif not re.fullmatch(chip, m.group(1)):
            problems.append(f"collectd read chip {m.group(1)}: {line!r}")
        else:
            got[(m.group(2), m.group(3))] = float(m.group(4))
    return got, problems


def collectd_agrees(got: dict, board: dict) -> list:
    """Problems of collectd's readings GOT ({(type, label): value}) against vantorel -J's
    BOARD: each reading once under its label, nothing else, its value at vantorel's
    precision: volts within half a last decimal, fans the same RPM, temperatures whole
    degrees (the driver's fraction cut off) in the 0 to 127 degrees both show alike."""
    problems, want = [], set()
    for kind, readings in board.items():
        for label, text in readings.items():
            key = (COLLECTD_TYPES[kind], label)
            want.add(key)
            mine = float(text.split(" ")[0])
            if key not in got:
                problems.append(f"{label!r}: no {key[0]} in collectd")
                continue
            theirs = got[key]
            if kind == "voltages":
                same = abs(theirs - mine) <= sensors_oracle.VOLT
            elif kind == "fans":
                same = theirs == mine
            else:
                same = 0 <= theirs < 128 and math.floor(theirs) == mine
            if not same:
                problems.append(f"{label!r}: collectd {theirs}, vantorel {text}")
    problems += [f"{t} {label!r}: in collectd, not a reading of vantorel's"
                 for t, label in sorted(set(got) - want)]
    return problems


def status_recorded(name, want: Run, values=None, requoted=False):
    """The check that Nagios or Icinga 2 recorded in status.dat (record NAME) is the one WANT
    (the simulated build's -N on the same image) prints: its state, output, long output and
    perfdata; with VALUES (-J's readings), the perfdata parses and holds exactly them.
    REQUOTED: the daemon writes the perfdata's items again, quoting only the labels that
    need it (Icinga 2), so they are compared item by item."""
    def check(recs):
        r = recs.get(name)
        if r is None:
            return ["no result"]
        if r.status != 0:
            return [f"{name}: no check recorded in time: {show(r.out, 800)}"]
        got = properties(r)
        lines = want.out.decode().rstrip("\n").split("\n")
        output, _, perf = lines[0].partition(" | ")
        expect = {"current_state": str(want.status), "plugin_output": output.strip(),
                  "long_plugin_output": "\\n".join(lines[1:]), "performance_data": perf}
        if requoted:
            try:
                same = perfdata_items(got.get("performance_data", "")) == perfdata_items(perf)
            except (ValueError, IndexError):
                same = False
            if same:
                got["performance_data"] = perf
        bad = {k: got.get(k) for k, v in expect.items() if got.get(k, "").strip() != v.strip()}
        p = [f"{name}: {bad}, want {({k: expect[k] for k in bad})}"] if bad else []
        if values is not None:
            try:
                items = [(label, f[0]) for label, f in
                         perfdata_items(got.get("performance_data", ""))]
            except (ValueError, IndexError) as e:
                return p + [f"{name}: the perfdata does not parse: {e}"]
            if items != values:
                p.append(f"{name}: the perfdata holds {items}, -J says {values}")
        return p
    return check


def first_run_timing(recs) -> str:
    """When the SMBus adapter appeared in the second boot and when the timer's first run
    started, by the kernel's and the journal's monotonic stamps."""
    def stamp(rec, word):
        for line in (rec.out.decode(errors="replace").splitlines() if rec else []):
            m = re.match(r"\[\s*([\d.]+)\]", line)
            if m and word in line:
                return float(m.group(1))
        return None
    adapter = stamp(recs.get("boot/adapter"), "i2c-stub")
    started = stamp(recs.get("boot/runs"), "Starting")
    if adapter is None or started is None:
        return "no timing of the first run after boot"
    return (f"after boot the adapter came at {adapter:.1f} s, the timer's first run at "
            f"{started:.1f} s")


def debian_boot(deb: str, cat, sim: Sim, rng) -> Boot:
    """The package on a Debian 12 system booted under systemd (the guest's own kernel, udev
    loading what QEMU's machine needs): dpkg installs it without enabling its timer; the
    README's command enables it; node_exporter serves the board's readings; a run that waits
    on a held bus lock gives up after its -t, says vantorel_up 0, and the timer goes on, and
    meanwhile collectd's sensors plugin
    shows the board's names and vantorel's values through the kernel's w83793 driver and the
    configuration of -S; a failed read shows as vantorel_up 0; the chip read through the
    kernel's w83793 driver inside the sandbox; a second adapter (i2c_piix4, blacklisted at
    boot) refused, then named in the defaults file; installed again, the timer and the
    administrator's options kept; upgraded to a newer package whose units differ, the new
    units in force; the textfile directory removed while the timer runs, its runs skipped
    (meanwhile the plugin mode under Nagios 4, Icinga 2 and sudo), then reading again once
    it is back; the timer idle without the directory. A second boot of the same disk: the
    timer's first run after boot, with the adapter loaded by udev; the purge leaves
    nothing. The timer's own minute is waited for three times."""
    b = Boot("Debian 12 under systemd, the package's timer and node_exporter", MAKER, "X7DBP")
    image = cat.images["w83793g"]
    want = samples(sim.run(vmlib.sim_fixture(MAKER, "X7DBP", image), ["-P"]).out.decode())
    # collectd's chip: the image, with the registers the kernel's driver needs to bind.
    setup = {(0x2f, reg): value for reg, value in DRIVER_SETUP["w83793"]}
    setup_json = json.loads(sim.run(vmlib.sim_fixture(MAKER, "X7DBP", with_regs(image, setup)),
                                    ["-J"]).out)
    # Through the driver: fan counts with their top four bits set, which it reads as
    # 12-bit counts, so that the report shows which way the chip was read.
    base = driver_image("w83793g", rng)
    drv = with_regs(base, {(0x2f, 0x23 + 2 * i): 0x10 | image_reg(base, 0x23 + 2 * i)
                           for i in range(12)})
    drv_view = with_regs(drv, {(0x2f, 0x23 + 2 * i): image_reg(drv, 0x23 + 2 * i) & 0x0f
                               for i in range(12)})
    want_drv = samples(sim.run(vmlib.sim_fixture(MAKER, "X7DBP", drv_view), ["-P"]).out.decode())
    want_bus = samples(sim.run(vmlib.sim_fixture(MAKER, "X7DBP", drv), ["-P"]).out.decode())
    failed = {"vantorel_up": 0.0}
    newer_version = deb_version(deb) + NEWER
    # The plugin mode: the image with limits, within them; its -12 V rail moved out; CPU1
    # Temperature at 72 C, over its warning limit 70 C and below its limit 80 C.
    plugin_ok = with_regs(image, PLUGIN_LIMITS)
    plugin_runs = {
        state: sim.run(vmlib.sim_fixture(MAKER, "X7DBP", img), ["-N"] + NAGIOS_SERVICE_ARGS)
        for state, img in (("ok", plugin_ok),
                           ("critical", with_regs(plugin_ok, {(0x2f, 0x14): 0x10})),
                           ("warning", with_regs(plugin_ok, {(0x2f, 0x1c): 0x48})))}
    plugin_values = json_values(sim.run(vmlib.sim_fixture(MAKER, "X7DBP", plugin_ok),
                                        ["-J"]).out)
    plugin_json = [(label, value) for label, value in plugin_values if label != "FAN5"]
    # The same under Icinga 2: within the limits, and the -12 V rail moved out.
    icinga_runs = {
        state: sim.run(vmlib.sim_fixture(MAKER, "X7DBP", img), ICINGA_COMMAND[1:])
        for state, img in (("ok", plugin_ok),
                           ("critical", with_regs(plugin_ok, {(0x2f, 0x14): 0x10})))}
    icinga_json = [(label, value) for label, value in plugin_values
                   if label not in ("FAN5", "FAN6")]
    icinga_command = " ".join(f"'{a}'" for a in ICINGA_COMMAND).encode() + b"\n"

    def status_out(name, status, out=None, has=None):
        def check(recs):
            r = recs.get(name)
            if r is None:
                return ["no result"]
            p = [] if r.status == status else [f"{name}: status {r.status}, want {status} "
                                               f"({show(r.out + r.err)})"]
            if out is not None and r.out != out:
                p.append(f"{name}: {show(r.out)}, want {show(out)}")
            if has is not None and has not in r.out:
                p.append(f"{name}: {show(r.out)}, want it to contain {show(has)}")
            return p
        return check

    def shows(name, **want):
        """systemctl show's record NAME gives the properties WANT."""
        def check(recs):
            r = recs.get(name)
            if r is None:
                return ["no result"]
            got = properties(r)
            bad = {k: got.get(k) for k, v in want.items() if got.get(k) != v}
            return [f"{name}: {bad}, want {want}"] if bad or r.status else []
        return check

    def all_of(*checks):
        return lambda recs: [p for c in checks for p in c(recs)]

    def sandbox(recs):
        r = recs.get("run1/sandbox")
        if r is None:
            return ["no result"]
        got = properties(r)
        bad = {k: got.get(k) for k, v in SANDBOX.items() if got.get(k) != v}
        p = [f"properties {bad}, want {({k: SANDBOX[k] for k in bad})}"] if bad else []
        allowed = r.out.decode()
        if "DeviceAllow=char-i2c rw" not in allowed:
            p.append("no DeviceAllow=char-i2c rw")
        return p

    def first_run(recs):
        """The first run of the service in the second boot, from its journal. The stub's
        registers are all zero as udev's loading leaves them: no W83793G's identity, so the
        run reaches the chip on the adapter it found by itself, refuses to judge it (69, the
        register it read and the value a W83793G holds there), and the scrape shows
        vantorel_up 0."""
        r = recs.get("boot/runs")
        if r is None:
            return ["no journal of the second boot"]
        ends = [line for line in r.out.decode(errors="replace").splitlines()
                if re.search(r"Deactivated successfully|Failed with result|Main process exited"
                             r"|unmet condition", line)]
        if not ends:
            return [f"no run of the service in the second boot: {show(r.out, 600)}"]
        journal = r.out.decode(errors="replace")
        refused = "status=69/UNAVAILABLE" in ends[0] and \
            "the chip at 0x2f is not a Winbond W83793G: register 0x0d" in journal
        p = [] if refused else \
            [f"the first run after boot did not reach the chip: {show(r.out, 1500)}"]
        return p + scraped(recs.get("boot/scrape"), failed)

    def collectd_case(recs):
        """What collectd recorded of the chip against vantorel -J at the same moment; the
        driver's readings are the image's, as the simulated build reads them."""
        values, board = recs.get("collectd/values"), recs.get("collectd/vantorel")
        if values is None or board is None:
            return ["no result"]
        try:
            board = json.loads(board.out)
        except ValueError as e:
            return [f"vantorel -J: {e}: {show(board.out)}"]
        got, problems = collectd_readings(values.out, r"w83793-i2c-\d+-2f")
        problems += collectd_agrees(got, board)
        if board != setup_json:
            problems.append(f"vantorel -J through the driver: {board}, the image's {setup_json}")
        return problems

    listing = (HERE.parent / "cli/expected/list.txt").read_bytes()
    b.cases += [
        Case("debian: dpkg -i installs the package; the timer stays disabled and inactive",
             all_of(status_out("pkg/install", 0),
                    status_out("pkg/enabled", 1, out=b"disabled\n"),
                    status_out("pkg/active", 3, out=b"inactive\ninactive\n"))),
        Case("debian: /etc/default's options file is a conffile; systemd-analyze verify "
             "passes", all_of(status_out("pkg/conffiles", 0,
                                         has=f"/etc/default/{UNIT} ".encode()),
                              status_out("pkg/verify", 0, out=b""))),
        Case("debian: the program is linked against libc.so.6, lists the boards, and "
             "dpkg-statoverride makes it setuid for adm",
             all_of(status_out("pkg/interpreter", 0, out=b"1\n"),
                    status_out("pkg/list", 0, out=listing),
                    status_out("pkg/statoverride", 0, out=b"4550 root adm\n"))),
        Case("debian: dpkg-statoverride gives the program to Nagios's group: nagios runs the "
             "check (the simulated build's -N), nobody may not",
             all_of(status_out("nagios/statoverride", 0, out=b"4750 root nagios\n"),
                    lambda recs: compare(plugin_runs["ok"], recs.get("nagios/as-nagios")),
                    lambda recs: [] if (r := recs.get("nagios/as-nobody")) is not None
                    and r.status != 0 and b"Permission denied" in r.err and r.out == b""
                    else [f"nagios/as-nobody: {show(r.out + r.err) if r else 'no result'}"])),
        Case("debian: Nagios 4 takes the package's command definition and schedules the check "
             "as its user nagios",
             all_of(status_out("nagios/verify", 0, has=b"Total Errors:   0"),
                    status_out("nagios/restart", 0),
                    status_out("nagios/user", 0, out=b"nagios\n"))),
        Case("debian: Nagios records OK within the board's limits, with the perfdata of -J",
             status_recorded("nagios/ok", plugin_runs["ok"], plugin_json)),
        Case("debian: Nagios records CRITICAL once the -12V rail is out of its limits",
             status_recorded("nagios/critical", plugin_runs["critical"])),
        Case("debian: Nagios records WARNING for a temperature at its warning limit (W83793G)",
             status_recorded("nagios/warning", plugin_runs["warning"])),
        Case("debian: Nagios records UNKNOWN with i2c-stub removed, the message on the status "
             "line",
             lambda recs: [] if (r := recs.get("nagios/unknown")) is not None and r.status == 0
             and properties(r).get("current_state") == "3" and properties(r).get(
                 "plugin_output", "").startswith("VANTOREL UNKNOWN - no SMBus adapter found")
             else [f"nagios/unknown: {show(r.out, 600) if r else 'no result'}"]),
        Case("debian: Icinga 2 takes the package's CheckCommand and its checker runs the check "
             "as the command builds it, -x repeated from the array (its debug log)",
             all_of(status_out("icinga/verify", 0), status_out("icinga/start", 0),
                    status_out("icinga/commands", 0, out=icinga_command))),
        Case("debian: Icinga 2 records OK within the board's limits, with the perfdata of -J",
             status_recorded("icinga/ok", icinga_runs["ok"], icinga_json, requoted=True)),
        Case("debian: Icinga 2 records CRITICAL once the -12V rail is out of its limits",
             status_recorded("icinga/critical", icinga_runs["critical"], requoted=True)),
        Case("debian: through the README's sudoers line nagios runs the check as root, and no "
             "other command line",
             all_of(status_out("sudo/visudo", 0),
                    status_out("sudo/without", 3,
                               out=b"VANTOREL UNKNOWN - Must be run as root, or setuid root\n"),
                    lambda recs: compare(plugin_runs["ok"], recs.get("sudo/allowed")),
                    status_out("sudo/other-options", 1))),
        Case("debian: enabled the README's way, the timer's first run feeds node_exporter "
             "the board's readings (scrape error 0), the report 0644 root",
             all_of(status_out("run1/i2c-dev-unloaded", 0), status_out("run1/enable", 0),
                    status_out("run1/wait", 0),
                    lambda recs: outcome(recs.get("run1/outcome"), "success", 0),
                    lambda recs: scraped(recs.get("run1/scrape"), want),
                    status_out("run1/file", 0, out=b"644 root\n"))),
        Case("debian: node_exporter serves the chip's limit and status families beside the "
             "readings (scrape error 0)",
             lambda recs: scraped(recs.get("run1/scrape"), want) + [
                 f"{f}: not served" for f in LIMIT_FAMILIES
                 if not any(k.split("{")[0] == f for k in want)]),
        Case("debian: the service runs sandboxed (systemctl show)", sandbox),
        Case("debian: a run that waits on a held bus lock is the timer's next, within a "
             "minute; it gives up after its -t of 10 s (75), before the start timeout of 20 s, "
             "and the scrape says vantorel_up 0; the timer goes on",
             all_of(status_out("hang/wait", 0),
                    lambda recs: outcome(recs.get("hang/outcome"), "exit-code", 75),
                    status_out("hang/timer", 0, out=b"ActiveState=active\nSubState=waiting\n"),
                    lambda recs: scraped(recs.get("hang/scrape"), failed))),
        Case("debian: collectd's sensors plugin (UseLabels), with the configuration of vantorel "
             "-S in /etc/sensors.d/ and the kernel's w83793 driver bound, records every reading "
             "of the board under its label with the value vantorel -J shows, and nothing else",
             all_of(status_out("collectd/driver", 0, has=b"/w83793\n"),
                    status_out("collectd/configuration", 0, out=b""),
                    status_out("collectd/start", 0), status_out("collectd/vantorel", 0),
                    status_out("collectd/recorded", 0), status_out("collectd/values", 0),
                    collectd_case)),
        Case("debian: a failed read (no adapter) shows as vantorel_up 0 at the next scrape",
             all_of(status_out("fail/start", 1),
                    lambda recs: outcome(recs.get("fail/outcome"), "exit-code", 66),
                    lambda recs: scraped(recs.get("fail/scrape"), failed))),
        Case("debian: the chip held by the kernel's w83793 driver is read through it inside "
             "the sandbox",
             all_of(status_out("driver/link", 0, has=b"/w83793\n"),
                    status_out("driver/start", 0),
                    lambda recs: scraped(recs.get("driver/scrape"), want_drv),
                    lambda recs: [] if want_drv != want_bus else
                    ["harness: the driver's view does not differ from the bus's"])),
        Case("debian: a second adapter (i2c_piix4) is refused, vantorel_up 0; ARGS=\"-f "
             "/dev/i2c-N\" in the defaults file reads the board",
             all_of(status_out("two/adapters", 0, has=b"PIIX4"),
                    status_out("two/start", 1),
                    lambda recs: outcome(recs.get("two/outcome"), "exit-code", 66),
                    lambda recs: scraped(recs.get("two/scrape"), failed),
                    status_out("two/start-named", 0),
                    lambda recs: scraped(recs.get("two/scrape-named"), want))),
        Case("debian: installed again over itself, the package keeps the timer enabled and "
             "running, and the administrator's ARGS",
             all_of(status_out("upgrade/install", 0),
                    status_out("upgrade/state", 0,
                               has=b'enabled\nactive\nARGS="-f /dev/i2c-'))),
        Case("debian: upgraded to a newer package whose units differ, the new definitions are "
             "in force at once (no reload pending) and the timer stays enabled and running",
             all_of(status_out("newer/install", 0),
                    status_out("newer/version", 0, out=newer_version.encode()),
                    status_out("newer/state", 0, out=b"enabled\nactive\n"),
                    shows("newer/service", TimeoutStartUSec="25s", NeedDaemonReload="no"),
                    shows("newer/timer", AccuracyUSec="1s", NeedDaemonReload="no"))),
        Case("debian: the textfile directory removed while the timer runs: its next run is "
             "skipped by the service's condition (no process, not failed), the timer goes on",
             all_of(status_out("gone/wait", 0),
                    shows("gone/service", ActiveState="inactive", ConditionResult="no",
                          Result="success"),
                    status_out("gone/no-process", 0),
                    status_out("gone/timer", 0, out=b"ActiveState=active\nSubState=waiting\n"))),
        Case("debian: the directory back, the timer's next run reads the board again",
             all_of(status_out("back/wait", 0),
                    lambda recs: outcome(recs.get("back/outcome"), "success", 0),
                    lambda recs: scraped(recs.get("back/scrape"), want))),
        Case("debian: without node_exporter's textfile directory the timer stays idle",
             status_out("idle/timer", 0, out=b"ActiveState=inactive\nConditionResult=no\n")),
        Case("debian: booted again with the timer enabled and the SMBus adapter loaded by udev, "
             "the timer's first run after boot reaches the chip, and refuses the stub's all-zero "
             "chip as no W83793G", first_run),
        Case("debian: dpkg --purge stops the timer and leaves nothing: no file, no link, no "
             "report", all_of(status_out("purge/purge", 0),
                              status_out("purge/timer", 3, out=b"inactive\n"),
                              status_out("purge/left", 0, out=b""))),
    ]

    images = {"base": image, "plugin": plugin_ok, "driver": drv,
              "driver-setup": [(0x2f, reg, value) for (_, reg), value in setup.items()]}

    def runner(workdir: Path):
        workdir.mkdir(parents=True, exist_ok=True)
        newer = workdir / "newer.deb"
        newer_deb(Path(deb), newer, workdir)
        files = {GUEST_DEB: (Path(deb).read_bytes(), 0o644),
                 GUEST_DEB_NEWER: (newer.read_bytes(), 0o644),
                 f"{debian.GUEST_DIR}/nagios/nagios.cfg": guest_file("nagios.cfg"),
                 f"{debian.GUEST_DIR}/nagios/board.cfg": guest_file("nagios-board.cfg"),
                 f"{debian.GUEST_DIR}/icinga2.conf": guest_file("icinga2.conf"),
                 ICINGA_WANTED: None,
                 f"{debian.GUEST_DIR}/collectd.conf": guest_file("collectd.conf"),
                 COLLECTD_WANTED: None,
                 f"{debian.GUEST_DIR}/first-boot.sh": guest_file("first-boot.sh"),
                 f"{debian.GUEST_DIR}/second-boot.sh": guest_file("second-boot.sh")}
        for name, img in images.items():
            files[f"{IMAGES}/{name}"] = (image_file(img), 0o644)
        # Blacklisted on the kernel's command line, which the initrd's udev honours too.
        res = debian.boot(debian.Cache(), files, b.maker, b.product, workdir,
                          append="modprobe.blacklist=i2c_piix4",
                          log=lambda m: print(m, flush=True), second_boot=True)
        up = res.records.get("boot/uptime")
        if up is not None:
            res.detail = f"systemd up and the test started after {float(up.out):.0f} s; " \
                         + res.detail
        res.detail += "; " + first_run_timing(res.records)
        print(f"debian: the slowest steps: {vmlib.slowest(res.records)}", flush=True)
        return res

    b.runner = runner
    return b


def boots(cat, sim: Sim, rng, deb=None):
    """The Debian boot, when there is a package to install."""
    return [debian_boot(deb, cat, sim, rng)] if deb else []
