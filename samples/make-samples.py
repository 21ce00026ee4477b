#!/usr/bin/env python3
"""Writes the sample logs of this folder: instrument verification runs in the compact
format of the DOS test program, each with its test status file.

    scope-pass.log / .tst      27 tests, every one passed
    scope-fail.log / .tst      27 tests: 3 failed (tests 8, 14, 23), 1 not applicable (test 10)
    RUN7.LOG / RUN7.TST        upper-case names as DOS media carry them; 7 tests not applicable,
                               and the status file writes its first 8 values on one line
    meter-corrupt.log / .tst   a multimeter run whose status file holds a 2 for test 6
    probe-nostatus.log         a probe run with no status file at all

Like the test program, every line is at most 80 columns once expanded, and each result line
of a log says what its status file says for that test. The last lines of each log exercise
the compact format itself: runs of 0 to 64 spaces and the DOS characters for plus-minus,
less-or-equal and micro.

Run it again to make the same files (the generator is deterministic).
"""
import os
import random

# Tokens of the compact line format, and what the viewer shows for each.
SPACES = b"\x01"           # followed by a count character: code - 30 spaces
VSCALE = b"\x02"           # "VERTICAL SCALE"
DASH = b"\x03"             # " - "
MEASURED = b"\x04"         # "MEASURED"
MV = b"\x05"               # " mV"
UV = b"\x06"               # " uV" with the micro sign
DIV = b"\x07"              # "div"
MHZ = b"\x08"              # " MHz"
LIMIT = b"\x0e"            # "LIMIT"
PASS = b"\x0f"             # "PASS"
FAIL = b"\x10"             # "FAIL"
WORDS = {VSCALE: "VERTICAL SCALE", DASH: " - ", MEASURED: "MEASURED", MV: " mV", UV: " \u00b5V",
         DIV: "div", MHZ: " MHz", LIMIT: "LIMIT", PASS: "PASS", FAIL: "FAIL"}

# Characters the DOS code page wrote for plus-minus, less-or-equal and micro;
# the viewer repairs them on reading.
DOS_PLUSMINUS = b"\xf1"
DOS_LESSEQ = b"\xf3"
DOS_MICRO = b"\xe6"
REPAIRED = {DOS_PLUSMINUS[0]: "\u00b1", DOS_LESSEQ[0]: "<", DOS_MICRO[0]: "\u00b5"}

WIDTH = 80                 # the test program writes at most 80 columns a line
RESULT_WIDTH = 78          # a result line: name, measured value, limit, outcome word


def shown(raw):
    """The text the viewer shows for a raw line (runs first, then the words)."""
    text = ""
    i = 0
    while i < len(raw):
        c = raw[i]
        if c == SPACES[0]:
            text += " " * (raw[i + 1] - 30)
            i += 2
            continue
        token = bytes([c])
        text += WORDS.get(token) or REPAIRED.get(c) or token.decode("cp1252")
        i += 1
    return text


def pad(n):
    """A run of n spaces (0 to 225) in the compact form."""
    assert 0 <= n <= 225
    return SPACES + bytes([n + 30])


def column(text, width):
    """text followed by the spaces that fill it out to width columns (at least one)."""
    raw = text.encode("cp1252") if isinstance(text, str) else text
    return raw + pad(max(width - len(shown(raw)), 1 if raw else 0))


OUTCOME_WORD = {1: PASS, -1: FAIL, 0: b"N/A"}
NOT_MEASURED = b"---"


class Run:
    def __init__(self, seed, instrument, serial, operator="D. Levi"):
        self.rng = random.Random(seed)
        self.lines = []
        self.status = []
        self.header(instrument, serial, operator)

    def line(self, raw=b""):
        assert len(shown(raw)) <= WIDTH, shown(raw)
        self.lines.append(raw)

    def header(self, instrument, serial, operator):
        self.line(b"")
        self.line(b"")  # the test program starts its logs with empty lines
        self.line(column("VRX VERIFICATION LOG", 30) + b"Instrument: " + instrument.encode())
        self.line(column("Serial: " + serial, 30) + b"Operator: " + operator.encode())
        self.line(column("Date: 14-03-2024", 30) + b"Ambient: 23" + DOS_PLUSMINUS + b"2 C")
        self.line(pad(0) + b"=" * RESULT_WIDTH)
        self.line()

    def result(self, name, measured, limit, outcome):
        """One test's line: the name, MEASURED and the value, LIMIT and the limit, each in its
        column, and the outcome word, which the status file repeats for this test."""
        value = measured if outcome != 0 else NOT_MEASURED
        assert len(shown(name)) < 31 and len(shown(value)) <= 11 and len(shown(limit)) < 15, (name, value, limit)
        self.line(column(name, 31) + MEASURED + pad(12 - len(shown(value))) + value + pad(2)
                  + LIMIT + pad(1) + column(limit, 15) + OUTCOME_WORD[outcome])
        assert len(shown(self.lines[-1])) - len(shown(OUTCOME_WORD[outcome])) == RESULT_WIDTH - 4
        self.status.append(outcome)

    def measure(self, nominal, tol, outcome):
        """A value inside the tolerance for a pass, outside it for a fail."""
        if outcome == -1:
            return nominal + tol * self.rng.uniform(1.2, 2.0)
        return nominal + self.rng.uniform(-tol * 0.8, tol * 0.8)

    def vertical_scale(self, channel, volts_per_div, nominal_mv, tol_pct, outcome):
        tol = nominal_mv * tol_pct / 100.0
        figures = "%.1f" if nominal_mv < 1000 else "%.0f"
        limit = (figures % nominal_mv).encode() + b" " + DOS_PLUSMINUS + (figures % tol).encode() + MV
        name = VSCALE + DASH + ("CH%d %s/" % (channel, volts_per_div)).encode() + DIV
        self.result(name, b"%.2f" % self.measure(nominal_mv, tol, outcome) + MV, limit, outcome)

    def noise(self, channel, limit_uv, outcome):
        value = limit_uv * (self.rng.uniform(0.3, 0.9) if outcome != -1 else self.rng.uniform(1.1, 1.6))
        self.result(b"NOISE CH%d" % channel, b"%.1f" % value + UV,
                    DOS_LESSEQ + b" " + b"%d" % limit_uv + UV, outcome)

    def bandwidth(self, mhz, outcome):
        value = mhz * (self.rng.uniform(1.02, 1.2) if outcome != -1 else self.rng.uniform(0.7, 0.95))
        self.result(b"BANDWIDTH -3dB", b"%.1f" % value + MHZ, b"> %d" % mhz + MHZ, outcome)

    def footer(self):
        self.line()
        passed = self.status.count(1)
        failed = self.status.count(-1)
        na = self.status.count(0)
        self.line(pad(0) + b"-" * RESULT_WIDTH)
        self.line(column("TOTAL", 10) + b"%d" % passed + b" " + PASS + DASH
                  + b"%d" % failed + b" " + FAIL + DASH + b"%d N/A" % na)
        self.line(b"Probe compensation checked at 1 kHz, 0.5 V " + DOS_PLUSMINUS + b" 1%")
        self.line(b"Spacing check:" + b"".join(pad(n) + b"|" for n in (0, 1, 2, 3, 5, 8, 13, 21)))
        self.line(b"Wide field:" + pad(64) + b"end")
        self.line(b"Offset " + DOS_MICRO + b"V reference " + DOS_LESSEQ + b" 50" + UV)

    def write(self, folder, log_name, status_name=None, status_text=None, crlf=b"\r\n"):
        with open(os.path.join(folder, log_name), "wb") as f:
            f.write(crlf.join(self.lines) + crlf)
        if status_name is None:
            return
        if status_text is None:
            status_text = "".join("%d\r\n" % v for v in self.status)
        with open(os.path.join(folder, status_name), "wb") as f:
            f.write(status_text.encode("ascii"))


def scope_run(seed, instrument, serial, outcome_of):
    """24 vertical scale tests, two noise tests and the bandwidth; outcome_of(test number)."""
    run = Run(seed, instrument, serial)
    ranges = ["1mV", "2mV", "5mV", "10mV", "20mV", "50mV", "0.1V", "0.2V", "0.5V", "1V", "2V", "5V"]
    nominal = [5, 10, 25, 50, 100, 250, 500, 1000, 2500, 5000, 10000, 25000]
    for channel in (1, 2):
        for r, n in zip(ranges, nominal):
            run.vertical_scale(channel, r, n, 3, outcome_of(len(run.status) + 1))
        run.line()
    for channel in (1, 2):
        run.noise(channel, 250, outcome_of(len(run.status) + 1))
    run.bandwidth(100, outcome_of(len(run.status) + 1))
    run.footer()
    return run


def meter_run(seed):
    """A multimeter: DC and AC volts on each range, the noise floor and the frequency counter."""
    run = Run(seed, "VRX-300 Multimeter", "M20511")
    outcomes = iter([1, 1, -1, 1, 1, 1, 1, -1, 1])
    for kind, tol_pct in (("DC", 0.05), ("AC", 0.5)):
        for name, nominal, unit, shown_value, shown_limit in (("200mV", 190.0, MV, "%.2f", "%.1f"),
                                                              ("2V", 1.9, b" V", "%.4f", "%.3f"),
                                                              ("20V", 19.0, b" V", "%.3f", "%.2f")):
            tol = nominal * tol_pct / 100.0
            outcome = next(outcomes)
            limit = (shown_limit % nominal).encode() + b" " + DOS_PLUSMINUS + (shown_limit % tol).encode() + unit
            run.result(("%s VOLTS %s RANGE" % (kind, name)).encode(),
                       (shown_value % run.measure(nominal, tol, outcome)).encode() + unit, limit, outcome)
        run.line()
    run.result(b"NOISE FLOOR", b"%.1f" % run.rng.uniform(2, 8) + UV, DOS_LESSEQ + b" 10" + UV, next(outcomes))
    outcome = next(outcomes)
    run.result(b"FREQUENCY 10 MHz", b"%.4f" % run.measure(10.0, 0.001, outcome) + MHZ,
               b"10 " + DOS_PLUSMINUS + b"0.001" + MHZ, outcome)
    run.result(b"BANDWIDTH AC -3dB", b"%.2f" % run.rng.uniform(1.05, 1.2) + MHZ, b"> 1" + MHZ, next(outcomes))
    run.footer()
    return run


def probe_run(seed):
    """A probe tester: attenuation, rise time and bandwidth of three x10 probes."""
    run = Run(seed, "VRX-40 Probe Tester", "P09001")
    for probe in (1, 2, 3):
        if probe > 1:
            run.line()
        run.result(b"P%d X10 ATTENUATION" % probe, b"%.3f" % run.measure(10.0, 0.2, 1),
                   b"10.000 " + DOS_PLUSMINUS + b"0.2", 1)
        run.result(b"P%d RISE TIME" % probe, b"%.2f ns" % run.rng.uniform(2.9, 3.4), DOS_LESSEQ + b" 3.50 ns", 1)
        run.result(b"P%d BANDWIDTH -3dB" % probe, b"%.1f" % run.rng.uniform(505, 560) + MHZ, b"> 500" + MHZ, 1)
    run.footer()
    return run


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    scope_run(1, "VRX-2100 Oscilloscope", "A11842", lambda test: 1).write(here, "scope-pass.log", "scope-pass.tst")
    failed, not_applicable = (8, 14, 23), (10,)
    scope_run(2, "VRX-2100 Oscilloscope", "A11907",
              lambda test: -1 if test in failed else 0 if test in not_applicable else 1).write(
        here, "scope-fail.log", "scope-fail.tst")
    # Every fourth test does not apply to this model; the status file writes its first values
    # on one line, separated by commas.
    run = scope_run(3, "VRX-1500 Oscilloscope", "B00377", lambda test: 0 if test % 4 == 3 else 1)
    text = ",".join("%d" % v for v in run.status[:8]) + "\r\n" + "".join("%d\r\n" % v for v in run.status[8:])
    run.write(here, "RUN7.LOG", "RUN7.TST", status_text=text)
    # The status file of this run was damaged: test 6 reads 2.
    run = meter_run(4)
    values = ["%d" % v for v in run.status]
    values[5] = "2"
    run.write(here, "meter-corrupt.log", "meter-corrupt.tst", status_text="".join(v + "\r\n" for v in values))
    probe_run(5).write(here, "probe-nostatus.log")


if __name__ == "__main__":
    main()
