# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

"""What the Prometheus checks share: every supported board's fixture for the simulated
build (the register images of tests/e2e/images.conf), runs of that build, and a strict
reader of the text exposition format that vantorel writes and node_exporter serves."""

import json
import os
import re
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
import vmlib  # noqa: E402

MAKER = "Supermicro"
# The families a report can have, in their order. A report of a reading has
# vantorel_board_info, vantorel_up and each other family of which the board has a sample.
FAMILIES = ["vantorel_board_info", "vantorel_temperature_celsius", "vantorel_fan_rpm",
            "vantorel_voltage_volts", "vantorel_register_value",
            "vantorel_temperature_max_celsius", "vantorel_temperature_max_hyst_celsius",
            "vantorel_temperature_warn_celsius", "vantorel_temperature_warn_hyst_celsius",
            "vantorel_fan_min_rpm", "vantorel_voltage_min_volts", "vantorel_voltage_max_volts",
            "vantorel_temperature_alarm", "vantorel_fan_alarm", "vantorel_voltage_alarm",
            "vantorel_intrusion_alarm", "vantorel_up"]
# The reading families and the -J section and unit each one comes from. A voltage that the
# board's chip stores as a plain register value is under vantorel_register_value instead.
READINGS = {"vantorel_temperature_celsius": ("temps", "C"), "vantorel_fan_rpm": ("fans", "RPM"),
            "vantorel_voltage_volts": ("voltages", "V")}
# The families of the limits and status bits: the -a -J member and the key of each label's
# limits that each comes from (None for a status bit, true or false), and the reading family
# whose sensors its samples belong to, one to one.
LIMITS = {
    "vantorel_temperature_max_celsius": ("temp_limits", "max", "vantorel_temperature_celsius"),
    "vantorel_temperature_max_hyst_celsius": ("temp_limits", "max_hyst",
                                              "vantorel_temperature_celsius"),
    "vantorel_temperature_warn_celsius": ("temp_limits", "warn", "vantorel_temperature_celsius"),
    "vantorel_temperature_warn_hyst_celsius": ("temp_limits", "warn_hyst",
                                               "vantorel_temperature_celsius"),
    "vantorel_fan_min_rpm": ("fan_limits", "min", "vantorel_fan_rpm"),
    "vantorel_voltage_min_volts": ("voltage_limits", "min", "vantorel_voltage_volts"),
    "vantorel_voltage_max_volts": ("voltage_limits", "max", "vantorel_voltage_volts"),
    "vantorel_temperature_alarm": ("temp_alarms", None, "vantorel_temperature_celsius"),
    "vantorel_fan_alarm": ("fan_alarms", None, "vantorel_fan_rpm"),
    "vantorel_voltage_alarm": ("voltage_alarms", None, "vantorel_voltage_volts"),
}


def board_fixtures():
    """{product: fixture text} of every supported board, with its arrangement's image."""
    cat = vmlib.load_catalogue()
    return {product: vmlib.sim_fixture(MAKER, product, cat.images[arrangement])
            for product, arrangement in cat.boards.items()}


def failing(fixture: str) -> str:
    """FIXTURE with the board's chip at 0x2f failing every transaction on register 0x20, which
    every chip handling reads."""
    return fixture + "failreg 0x2f 0x20\n"


class Sim:
    """The simulated build over fixtures written to DIR; the device is a file there."""

    def __init__(self, program: str, tmp: Path):
        self.program, self.tmp = program, tmp
        self.device = tmp / "device"
        self.device.write_bytes(b"")
        self.fixture = tmp / "fixture"

    def run(self, fixture: str, *args) -> subprocess.CompletedProcess:
        self.fixture.write_text(fixture)
        env = dict(os.environ, VANTOREL_SIM_FIXTURE=str(self.fixture))
        return subprocess.run(["vantorel", "-f", str(self.device), *args],
                              executable=self.program, env=env, capture_output=True, text=True,
                              stdin=subprocess.DEVNULL, timeout=30)

    def json_values(self, fixture: str):
        """{family: {sensor: number}} of the -a -J report, under the exposition's families
        that have a sample (vantorel_intrusion_alarm's one sample under the sensor None). A
        voltage without limits and status bit, the plain register value of a chip that has
        neither, is a vantorel_register_value."""
        p = self.run(fixture, "-a", "-J")
        if p.returncode != 0:
            raise RuntimeError(f"-a -J: status {p.returncode}: {p.stderr}")
        report = json.loads(p.stdout)
        out = {}

        def number(text, unit):
            value, got_unit = text.split(" ")
            assert got_unit == unit, text
            return float(value)

        for family, (section, unit) in READINGS.items():
            for sensor, text in report[section].items():
                plain = section == "voltages" and report["voltage_alarms"][sensor] is None \
                    and not report["voltage_limits"][sensor]
                name = "vantorel_register_value" if plain else family
                out.setdefault(name, {})[sensor] = number(text, unit)
        for family, (member, key, reading) in LIMITS.items():
            unit = READINGS[reading][1]
            for sensor, value in report[member].items():
                if key is None and value is not None:
                    out.setdefault(family, {})[sensor] = float(value)
                elif key is not None and key in value:
                    out.setdefault(family, {})[sensor] = number(value[key], unit)
        if "intrusion" in report:
            out["vantorel_intrusion_alarm"] = {None: float(report["intrusion"])}
        return out


@dataclass
class Sample:
    name: str
    labels: dict
    value: float


LABEL = re.compile(r'([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\\n]|\\[\\"n])*)"')
SAMPLE = re.compile(r"([a-zA-Z_:][a-zA-Z0-9_:]*)(?:\{(.*)\})? (\S+)")
UNESCAPE = {"\\\\": "\\", '\\"': '"', "\\n": "\n"}


def parse(text: str):
    """The samples of an exposition, and the problems of its form: a line that is none of
    HELP, TYPE and sample; a family without exactly one HELP and one TYPE ahead of its
    samples, or whose samples are not together; a series (name and labels) given twice."""
    problems, samples = [], []
    help_, type_, seen_series, finished = {}, {}, set(), set()
    current = None
    if text and not text.endswith("\n"):
        problems.append("the last line has no line end")
    for n, line in enumerate(text.splitlines(), start=1):
        m = re.fullmatch(r"# (HELP|TYPE) (\S+) (.*)", line)
        if m:
            kind, name, rest = m.groups()
            seen = help_ if kind == "HELP" else type_
            if name in seen or name in finished:
                problems.append(f"line {n}: a second {kind} for {name}")
            seen[name] = rest
            if kind == "TYPE" and rest not in ("gauge", "counter", "untyped"):
                problems.append(f"line {n}: type {rest}")
            if current != name:
                if current is not None:
                    finished.add(current)
                current = name
            continue
        m = SAMPLE.fullmatch(line)
        if not m:
            problems.append(f"line {n}: not a sample: {line!r}")
            continue
        name, label_text, value = m.groups()
        labels = {}
        if label_text:
            pos = 0
            while pos < len(label_text):
                lm = LABEL.match(label_text, pos)
                if not lm:
                    problems.append(f"line {n}: bad labels {label_text!r}")
                    break
                labels[lm.group(1)] = re.sub(r'\\[\\"n]', lambda e: UNESCAPE[e.group(0)],
                                             lm.group(2))
                pos = lm.end()
                if pos < len(label_text):
                    if label_text[pos] != ",":
                        problems.append(f"line {n}: bad labels {label_text!r}")
                        break
                    pos += 1
        if name != current or name in finished:
            problems.append(f"line {n}: {name} sample apart from its family's lines")
        if name not in help_ or name not in type_:
            problems.append(f"line {n}: {name} sample without HELP and TYPE before it")
        series = (name, tuple(sorted(labels.items())))
        if series in seen_series:
            problems.append(f"line {n}: series {name}{labels} repeats")
        seen_series.add(series)
        try:
            samples.append(Sample(name, labels, float(value)))
        except ValueError:
            problems.append(f"line {n}: value {value!r}")
    return samples, problems


def families(samples, prefix="vantorel_"):
    """The names of PREFIX's families in the order of their first samples."""
    out = []
    for s in samples:
        if s.name.startswith(prefix) and s.name not in out:
            out.append(s.name)
    return out


def readings(samples):
    """{family: {sensor: value}} of vantorel's families but vantorel_board_info and
    vantorel_up."""
    out = {}
    for s in samples:
        if s.name.startswith("vantorel_") and s.name not in ("vantorel_board_info",
                                                             "vantorel_up"):
            out.setdefault(s.name, {})[s.labels.get("sensor")] = s.value
    return out


def expected_families(values):
    """The families, in their order, of a report whose readings() are VALUES."""
    return [f for f in FAMILIES if f in values or f in ("vantorel_board_info", "vantorel_up")]


def unpaired(values):
    """The samples of limit families in VALUES whose sensor has no sample in the reading
    family it belongs to: a rule that compares the two would find no partner for them."""
    return [(family, sensor) for family, (_, _, reading) in LIMITS.items()
            for sensor in values.get(family, {}) if sensor not in values.get(reading, {})]
