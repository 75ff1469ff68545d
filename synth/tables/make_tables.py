#!/usr/bin/env python3
"""Makes, packs and checks the library's stored test-waveform tables.

The tables are kept in the repository as StandardTables.tar.xz: four raw little-endian images that the
build embeds unchanged as read-only data of the library.

    IEC227W.bin   int32    10 waveforms x 66000 samples, 720 samples/s, zero past each waveform's end
    IEC227WL.bin  float64  10 durations in seconds (sample count / 720)
    IEC251W.bin   int32    16 waveforms x 1000 samples, 1000 samples/s (one second each)
    ANE20000.bin  int32    9 leads x 1000 samples, 1000 samples/s (one second each)

A sample / 1000 is the value in the library's sample scale (so the samples read as microvolts).

The waveforms made here are synthetic: smooth ECG-like signals built from Gaussian waves that honour the
sample counts, durations, extremes, peak positions and shapes the library documents for each table. Other
data of the same layout (for instance the published signals, resampled) can be packed in their place.

Commands (Python 3 standard library only):

    make_tables.py generate DIR         write the four synthetic raw files into DIR
    make_tables.py pack DIR [ARCHIVE]   pack the four raw files of DIR into ARCHIVE (default: the
                                        StandardTables.tar.xz beside this script), checking their sizes
    make_tables.py build [ARCHIVE]      generate + pack in one step
    make_tables.py unpack ARCHIVE DIR   write the four raw files of ARCHIVE into DIR
    make_tables.py check DIR|ARCHIVE    compare the data with the documented figures (exit 1 on a miss)
    make_tables.py verify [ARCHIVE]     regenerate and compare byte for byte with the archive
"""

import argparse
import array
import io
import lzma
import math
import os
import random
import struct
import sys
import tarfile

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_ARCHIVE = os.path.join(HERE, "StandardTables.tar.xz")

IEC227_WAVES, IEC227_SLOT, IEC227_RATE = 10, 66000, 720
IEC251_WAVES, IEC251_SAMPLES = 16, 1000
ANE_LEADS, ANE_SAMPLES = 9, 1000

LAYOUT = [  # file name, bytes
    ("IEC227W.bin", IEC227_WAVES * IEC227_SLOT * 4),
    ("IEC227WL.bin", IEC227_WAVES * 8),
    ("IEC251W.bin", IEC251_WAVES * IEC251_SAMPLES * 4),
    ("ANE20000.bin", ANE_LEADS * ANE_SAMPLES * 4),
]

# --- Documented figures ------------------------------------------------------------------------------------

# IEC227W: sample count, minimum, maximum per waveform.
IEC227_FIGURES = [
    (43081, -531, 608),
    (43142, -415, 1038),
    (43144, -715, 515),
    (34511, -338, 708),
    (65211, -775, 750),
    (65214, -1550, 1050),
    (65207, -388, 787),
    (65238, -1512, 662),
    (65239, -3025, 1325),
    (65237, -756, 606),
]

# IEC251W: minimum, maximum per waveform.
IEC251_FIGURES = [
    (-500, 500), (-1000, 1000), (-1500, 1500), (-2000, 2000), (-3000, 3000), (-5000, 5000),
    (-2000, 2000), (0, 2000), (-200, 2000), (0, 2000),
    (-2000, 400), (-2000, 400), (-2000, 400), (-2000, 2000), (-2000, 2000), (-4000, 4000),
]

# ANE20000: minimum, maximum, and where the maximum lies (first, last sample of the allowed window).
ANE_FIGURES = [
    (-197, 831), (-215, 1180), (-39, 397), (-1204, 316), (-1929, 819),
    (-1201, 1004), (-639, 1781), (-333, 1821), (-186, 1506),
]
ANE_PEAK_WINDOW = [(195, 225)] * ANE_LEADS
ANE_PEAK_WINDOW[4] = (483, 483)

# --- Signal building ---------------------------------------------------------------------------------------


def rnd(x):
    """Round half away from zero, the same on every platform."""
    return int(math.floor(x + 0.5)) if x >= 0 else -int(math.floor(-x + 0.5))


class Signal:
    """A sampled signal built by adding smooth waves. Times are in samples. A circular signal wraps waves
    that cross its ends, so that it loops without a step."""

    def __init__(self, n, circular=False):
        self.n = n
        self.v = [0.0] * n
        self.circular = circular

    def _add(self, first, last, f):
        n, v = self.n, self.v
        for i in range(first, last + 1):
            if self.circular:
                v[i % n] += f(i)
            elif 0 <= i < n:
                v[i] += f(i)

    def wave(self, amp, centre, sigma_left, sigma_right=None):
        """A Gaussian wave, steeper on one side when sigma_right differs from sigma_left."""
        if amp == 0.0:
            return
        sr = sigma_left if sigma_right is None else sigma_right
        kl, kr = 0.5 / (sigma_left * sigma_left), 0.5 / (sr * sr)
        first = int(math.floor(centre - 7.0 * sigma_left))
        last = int(math.ceil(centre + 7.0 * sr))

        def f(i):
            d = i - centre
            return amp * math.exp(-d * d * (kl if d < 0 else kr))

        self._add(first, last, f)

    def plateau(self, level, t0, t1, t2, t3):
        """0 before t0, a raised-cosine ramp to level by t1, flat to t2, back to 0 by t3."""

        def f(i):
            if i <= t0 or i >= t3:
                return 0.0
            if i < t1:
                return level * 0.5 * (1.0 - math.cos(math.pi * (i - t0) / (t1 - t0)))
            if i <= t2:
                return level
            return level * 0.5 * (1.0 + math.cos(math.pi * (i - t2) / (t3 - t2)))

        self._add(int(math.floor(t0)), int(math.ceil(t3)), f)

    def add(self, other):
        for i in range(self.n):
            self.v[i] += other.v[i]

    def rounded(self):
        return [rnd(x) for x in self.v]


def fit(build, params, goals, iterations=400, tolerance=1e-9):
    """Adjusts amplitude parameters until each goal's measure of the built signal meets its target.

    goals: (parameter name, measure(values) -> float, target). Each measure is roughly proportional to its
    parameter, so a multiplicative step converges; the goals interact only through small overlaps."""
    for _ in range(iterations):
        worst = 0.0
        for name, measure, target in goals:
            value = measure(build(params).v)
            worst = max(worst, abs(value - target))
            if value == 0.0:
                raise RuntimeError("goal on %s measures 0" % name)
            params[name] *= target / value
        if worst < tolerance:
            return build(params)
    raise RuntimeError("fit did not converge")


def scale_to_extremes(values, minimum, maximum):
    """Scales the positive part to reach maximum and the negative part to reach minimum exactly. The
    scaling keeps the sign of every sample and the zero crossings, so the shape is kept."""
    hi, lo = max(values), min(values)
    up = maximum / hi if hi > 0 else 0.0
    down = minimum / lo if lo < 0 else 0.0
    out = []
    for x in values:
        y = x * up if x > 0 else x * down
        if x == hi:
            y = float(maximum)
        elif x == lo:
            y = float(minimum)
        out.append(y)
    return out


# --- IEC251W: one-second cycles at 1000 samples/s ----------------------------------------------------------

P_AMPLITUDE = 141.0  # the P wave of every cycle, at 50 ms
ROW13_VALUE_AT_200 = -1900.0


def cycle251(sig, start, p, fast=False):
    """Adds one cardiac cycle whose P wave peaks at start + 50 ms and QRS sits at start + 200 ms.

    p: dict with 'kind' ('rs', 'r', 'qs' or 'inverted'), QRS amplitudes 'r' and 's' (and 'q'), 'trough_at'
    for the inverted complex, 't' (T wave peak) and 'st' (ST level)."""
    at = start + 200.0
    sig.wave(P_AMPLITUDE, start + 50.0, 12.0)
    kind = p["kind"]
    if kind == "rs":  # small q, tall R, deep S
        sig.wave(p["q"], at - 15.0, 4.5)
        sig.wave(p["r"], at, 7.0)
        sig.wave(p["s"], at + 17.0, 6.0, 7.5)
    elif kind == "r":  # R wave only: no negative part
        sig.wave(p["r"], at, 9.0)
    elif kind == "qs":  # one negative deflection
        sig.wave(p["s"], at + 5.0, 10.0)
    elif kind == "inverted":  # the mirror image of the rs complex
        sig.wave(-p["q"], at - 16.0, 4.5)
        sig.wave(p["s"], at + p["trough_at"], 7.5)
        sig.wave(p["r"], at + 22.0, 6.0, 7.5)
    else:
        raise ValueError(kind)
    if fast:  # 120 beats per minute: a shorter QT
        sig.wave(p["t"], at + 180.0, 30.0, 24.0)
    else:
        sig.wave(p["t"], at + 250.0, 40.0, 32.0)
    if p.get("st"):
        sig.plateau(p["st"], at + 25.0, at + 50.0, at + 110.0, at + 180.0)


def row251(p, twice=False):
    sig = Signal(IEC251_SAMPLES)
    cycle251(sig, 0.0, p, twice)
    if twice:
        cycle251(sig, 500.0, p, True)
    return sig


def vmax(v):
    return max(v)


def vmin(v):
    return min(v)


def iec251_rows():
    rows = []
    for amplitude in (500, 1000, 1500, 2000, 3000, 5000):  # rows 0 to 5
        p = {"kind": "rs", "q": -0.1 * amplitude, "r": amplitude, "s": -amplitude, "t": amplitude / 5.0}
        rows.append(fit(row251, p, [("r", vmax, amplitude), ("s", vmin, -amplitude)]))
    p = {"kind": "rs", "q": -200.0, "r": 2000.0, "s": -2000.0, "t": 400.0}  # 6: two complexes per second
    rows.append(fit(lambda q: row251(q, True), p, [("r", vmax, 2000.0), ("s", vmin, -2000.0)]))
    p = {"kind": "r", "r": 2000.0, "t": 400.0}  # 7: no negative part
    rows.append(fit(row251, p, [("r", vmax, 2000.0)]))
    for st in (-200.0, 200.0):  # 8, 9: ST segment depressed / elevated
        p = {"kind": "r", "r": 2000.0, "t": 400.0, "st": st}
        rows.append(fit(row251, p, [("r", vmax, 2000.0)]))
    for st in (0.0, -200.0, 200.0):  # 10 to 12: inverted QRS, ST at 0, -200, +200
        p = {"kind": "qs", "s": -2000.0, "t": 400.0, "st": st}
        rows.append(fit(row251, p, [("s", vmin, -2000.0), ("t", vmax, 400.0)]))
    rows.append(row13())
    p = {"kind": "inverted", "q": -200.0, "r": 2000.0, "s": -2000.0, "t": 400.0, "trough_at": 3.0}
    rows.append(fit(lambda q: row251(q, True), p, [("s", vmin, -2000.0), ("r", vmax, 2000.0)]))  # 14
    p = {"kind": "rs", "q": -400.0, "r": 4000.0, "s": -4000.0, "t": 800.0}  # 15
    rows.append(fit(row251, p, [("r", vmax, 4000.0), ("s", vmin, -4000.0)]))
    return [r.rounded() for r in rows]


def row13():
    """Inverted QRS whose trough lies just after 200 ms, so that the sample at 200 ms is -1900."""

    def solve(offset):
        p = {"kind": "inverted", "q": -200.0, "r": 2000.0, "s": -2000.0, "t": 400.0, "trough_at": offset}
        return fit(row251, p, [("s", vmin, -2000.0), ("r", vmax, 2000.0)])

    lo, hi = 0.0, 8.0  # the value at 200 ms rises (towards 0) as the trough moves later
    for _ in range(60):
        mid = 0.5 * (lo + hi)
        if solve(mid).v[200] < ROW13_VALUE_AT_200:
            lo = mid
        else:
            hi = mid
    return solve(0.5 * (lo + hi))


# --- ANE20000: nine leads of one complex at 1000 samples/s -------------------------------------------------

# Per lead: P, q, R (amplitude, position), S (amplitude, position), T (amplitude, position). Rough sizes
# only: each lead is then scaled to its exact extremes.
ANE_LEAD_SHAPES = [
    # P     q      R     R at   S       S at   T     T at
    (80.0, -50.0, 830.0, 208.0, -197.0, 232.0, 230.0, 470.0),
    (120.0, -40.0, 1180.0, 210.0, -215.0, 235.0, 300.0, 475.0),
    (50.0, -39.0, 397.0, 212.0, -30.0, 236.0, 120.0, 470.0),
    (-70.0, 0.0, 316.0, 198.0, -1204.0, 222.0, -180.0, 470.0),
    (-40.0, 0.0, 150.0, 196.0, -1929.0, 218.0, 819.0, 483.0),
    (60.0, 0.0, 1004.0, 212.0, -1201.0, 238.0, 500.0, 475.0),
    (70.0, -60.0, 1781.0, 215.0, -639.0, 240.0, 600.0, 480.0),
    (80.0, -70.0, 1821.0, 218.0, -333.0, 242.0, 550.0, 480.0),
    (80.0, -80.0, 1506.0, 220.0, -186.0, 244.0, 450.0, 480.0),
]


def ane_leads():
    leads = []
    for (p, q, r, r_at, s, s_at, t, t_at), (lo, hi) in zip(ANE_LEAD_SHAPES, ANE_FIGURES):
        sig = Signal(ANE_SAMPLES)
        sig.wave(p, 100.0, 14.0)
        sig.wave(q, r_at - 16.0, 5.0)
        sig.wave(r, r_at, 8.0)
        sig.wave(s, s_at, 8.0)
        # A broad base with a narrower cap: a T wave with one clear top sample.
        sig.wave(0.6 * t, t_at, 48.0, 36.0)
        sig.wave(0.4 * t, t_at, 16.0, 13.0)
        leads.append([rnd(x) for x in scale_to_extremes(sig.v, lo, hi)])
    return leads


# --- IEC227W: rhythm strips at 720 samples/s ---------------------------------------------------------------

# Beat shapes, times in seconds from the R wave: (amplitude key, position, sigma left, sigma right).
NORMAL_BEAT = [("p", -0.160, 0.022, 0.022), ("q", -0.028, 0.007, 0.007), ("r", 0.0, 0.0095, 0.0095),
               ("s", 0.026, 0.009, 0.009)]
ECTOPIC_BEAT = [("vr", 0.0, 0.028, 0.022), ("vs", 0.068, 0.030, 0.030)]
WIDE_BEAT = [("p", -0.180, 0.022, 0.022), ("r", -0.025, 0.012, 0.012), ("s", 0.020, 0.020, 0.026),
             ("r2", 0.070, 0.016, 0.016)]


def qt_offset(rr):
    """R peak to T peak, shortening with the heart rate."""
    return 0.25 * math.sqrt(rr)


def beat227(sig, r_at, rr, kind, m, gain):
    rate = IEC227_RATE
    if kind == "n":
        shape, t_amp, t_at, t_sl, t_sr = NORMAL_BEAT, m["t"], qt_offset(rr), 0.048, 0.034
    elif kind == "v":
        shape, t_amp, t_at, t_sl, t_sr = ECTOPIC_BEAT, m["vt"], 0.33, 0.070, 0.050
    elif kind == "w":
        shape, t_amp, t_at, t_sl, t_sr = WIDE_BEAT, m["t"], 0.30 * math.sqrt(rr), 0.055, 0.040
    else:
        raise ValueError(kind)
    for key, at, sl, sr in shape:
        if key == "p" and m.get("no_p"):
            continue
        sig.wave(gain * m.get(key, 0.0), (r_at + at) * rate, sl * rate, sr * rate)
    sig.wave(gain * t_amp, (r_at + t_at) * rate, t_sl * rate, t_sr * rate)


def place_beats(length, intervals):
    """Scales a list of RR intervals so that they fill the loop exactly; returns the R times. The first R
    wave sits 0.45 of the loop's closing interval in, so the loop joins in the quiet part of a cycle."""
    total = sum(intervals)
    k = length / total
    rr = [x * k for x in intervals]
    t = 0.45 * rr[-1]
    beats = []
    for x in rr:
        beats.append((t, x))
        t += x
    return beats


def rhythm(length, rr_of_time, rng, jitter=0.0):
    """R times from a rate law (RR in seconds at time t), each RR varied at random by up to +-jitter, until
    the loop is filled; the last interval closes the loop."""
    intervals, t = [], 0.0
    while True:
        rr = rr_of_time(t)
        if jitter:
            rr *= 1.0 + jitter * (2.0 * rng.random() - 1.0)
        if t + rr > length:
            if length - t > 0.5 * rr or not intervals:
                intervals.append(rr)
            break
        intervals.append(rr)
        t += rr
    return place_beats(length, intervals)


def iec227_wave(index, count):
    length = count / IEC227_RATE
    rng = random.Random(227000 + index)
    sig = Signal(count, circular=True)
    beats = []  # (R time, RR, kind, amplitudes, gain)
    if index == 0:  # sinus rhythm about 72/min with breathing-related variation
        m = {"p": 110.0, "q": -60.0, "r": 600.0, "s": -520.0, "t": 190.0}
        for t, rr in rhythm(length, lambda t: 0.83 + 0.04 * math.sin(2 * math.pi * t / 4.6), rng=rng,
                            jitter=0.01):
            beats.append((t, rr, "n", m, 1.0))
    elif index == 1:  # 60/min, T waves taller than the R waves
        m = {"p": 100.0, "q": -50.0, "r": 700.0, "s": -410.0, "t": 1000.0}
        for t, rr in rhythm(length, lambda t: 1.0, rng=rng, jitter=0.01):
            beats.append((t, rr, "n", m, 1.0))
    elif index == 2:  # 90/min, predominantly negative complexes (small r, deep S)
        m = {"p": 90.0, "q": 0.0, "r": 160.0, "s": -715.0, "t": 300.0}
        for t, rr in rhythm(length, lambda t: 0.667, rng=rng, jitter=0.01):
            beats.append((t, rr, "n", m, 1.0))
    elif index == 3:  # ventricular bigeminy: sinus beats alternating with wide early beats
        m = {"p": 100.0, "q": -40.0, "r": 700.0, "s": -180.0, "t": 200.0, "vr": 520.0, "vs": -338.0,
             "vt": -220.0}
        pairs = int(round(length / 1.6))  # early beat 0.52 s after a sinus beat, then a full pause
        for i, (t, rr) in enumerate(place_beats(length, [0.52, 1.08] * pairs)):
            beats.append((t, rr, "n" if i % 2 == 0 else "v", m, 1.0))
    elif index == 4:  # rate stepping 60 -> 120 -> 80 -> 60/min, changes spread over a few beats
        def rr4(t):
            rate = 60.0 + 60.0 * smooth(t, 20, 26) - 40.0 * smooth(t, 50, 56) - 20.0 * smooth(t, 76, 82)
            return 60.0 / rate

        m = {"p": 110.0, "q": -90.0, "r": 750.0, "s": -775.0, "t": 220.0}
        for t, rr in rhythm(length, rr4, rng=rng, jitter=0.005):
            beats.append((t, rr, "n", m, 1.0))
    elif index == 5:  # electrical alternans: every other complex at 70 %, deep S waves
        m = {"p": 120.0, "q": -80.0, "r": 1050.0, "s": -1550.0, "t": 320.0}
        for i, (t, rr) in enumerate(rhythm(length, lambda t: 0.75, rng=rng, jitter=0.005)):
            beats.append((t, rr, "n", m, 1.0 if i % 2 == 0 else 0.7))
    elif index == 6:  # irregular rhythm without P waves over a fibrillating baseline
        m = {"p": 0.0, "no_p": True, "q": -40.0, "r": 787.0, "s": -388.0, "t": 160.0}
        for t, rr in rhythm(length, lambda t: 0.78, rng=rng, jitter=0.35):
            beats.append((t, rr, "n", m, 1.0))
        for f, a, ph in ((5.3, 22.0, 0.3), (6.7, 16.0, 1.9), (4.1, 12.0, 4.0)):
            cycles = round(f * length)  # whole cycles in the loop, so the loop joins smoothly
            w = 2.0 * math.pi * cycles / count
            for i in range(count):
                sig.v[i] += a * math.sin(w * i + ph)
    elif index in (7, 8):  # wide complexes (rSR'-like), 70/min; waveform 8 is waveform 7 doubled
        g = 1.0 if index == 7 else 2.0
        m = {"p": 90.0, "r": 260.0, "s": -1512.0, "r2": 380.0, "t": 662.0}
        rng = random.Random(227007)
        for t, rr in rhythm(length, lambda t: 0.857, rng=rng, jitter=0.01):
            beats.append((t, rr, "w", m, g))
    elif index == 9:  # slow rhythm (45/min) with deep Q waves, inverted T, and sinus pauses
        m = {"p": 90.0, "q": -756.0, "r": 606.0, "s": -60.0, "t": -250.0}
        intervals = []
        while sum(intervals) < length - 1.0:
            intervals.append(1.95 if rng.random() < 0.12 else 1.33 * (1.0 + 0.02 * (2 * rng.random() - 1)))
        for t, rr in place_beats(length, intervals):
            beats.append((t, rr, "n", m, 1.0))
    for t, rr, kind, m, gain in beats:
        beat227(sig, t, rr, kind, m, gain)
    lo, hi = IEC227_FIGURES[index][1], IEC227_FIGURES[index][2]
    return [rnd(x) for x in scale_to_extremes(sig.v, lo, hi)]


def smooth(t, t0, t1):
    if t <= t0:
        return 0.0
    if t >= t1:
        return 1.0
    return 0.5 * (1.0 - math.cos(math.pi * (t - t0) / (t1 - t0)))


# --- Files -------------------------------------------------------------------------------------------------


def generate():
    """Returns {file name: bytes} of the synthetic tables."""
    iec227 = array.array("i", [0]) * (IEC227_WAVES * IEC227_SLOT)
    durations = []
    for w, (count, _, _) in enumerate(IEC227_FIGURES):
        samples = iec227_wave(w, count)
        iec227[w * IEC227_SLOT:w * IEC227_SLOT + count] = array.array("i", samples)
        durations.append(count / IEC227_RATE)
    iec251 = array.array("i", [x for row in iec251_rows() for x in row])
    ane = array.array("i", [x for lead in ane_leads() for x in lead])
    out = {}
    for name, data in (("IEC227W.bin", iec227), ("IEC251W.bin", iec251), ("ANE20000.bin", ane)):
        if sys.byteorder != "little":
            data.byteswap()
        out[name] = data.tobytes()
    out["IEC227WL.bin"] = struct.pack("<%dd" % IEC227_WAVES, *durations)
    return out


def check_layout(files):
    problems = []
    for name, size in LAYOUT:
        if name not in files:
            problems.append("%s: missing" % name)
        elif len(files[name]) != size:
            problems.append("%s: %d bytes, expected %d" % (name, len(files[name]), size))
    return problems


def ints(data):
    return list(struct.unpack("<%di" % (len(data) // 4), data))


def check_figures(files):
    """Compares the data with the documented figures; returns a list of misses."""
    miss = []
    w227 = ints(files["IEC227W.bin"])
    wl = struct.unpack("<%dd" % IEC227_WAVES, files["IEC227WL.bin"])
    for w, (count, lo, hi) in enumerate(IEC227_FIGURES):
        seg = w227[w * IEC227_SLOT:(w + 1) * IEC227_SLOT]
        if wl[w] != count / IEC227_RATE:
            miss.append("IEC227WL[%d] = %r, expected %d/720" % (w, wl[w], count))
        if (min(seg[:count]), max(seg[:count])) != (lo, hi):
            miss.append("IEC227W %d: extremes %d/%d, expected %d/%d" % (w, min(seg[:count]), max(seg[:count]),
                                                                       lo, hi))
        if any(seg[count:]):
            miss.append("IEC227W %d: non-zero samples past %d" % (w, count))
    w251 = ints(files["IEC251W.bin"])
    for w, (lo, hi) in enumerate(IEC251_FIGURES):
        row = w251[w * IEC251_SAMPLES:(w + 1) * IEC251_SAMPLES]
        if (min(row), max(row)) != (lo, hi):
            miss.append("IEC251W %d: extremes %d/%d, expected %d/%d" % (w, min(row), max(row), lo, hi))
        p_peak = max(row[:120])
        if abs(p_peak - P_AMPLITUDE) > 5 or not 40 <= row.index(p_peak) <= 60:
            miss.append("IEC251W %d: P wave %d at %d ms" % (w, p_peak, row.index(p_peak)))
        if row[0] != 0 or row[-1] != 0:
            miss.append("IEC251W %d: does not start and end at rest" % w)
    if w251[13 * IEC251_SAMPLES + 200] != ROW13_VALUE_AT_200:
        miss.append("IEC251W 13: %d at 200 ms" % w251[13 * IEC251_SAMPLES + 200])
    for w, st in ((8, -200), (9, 200), (10, 0), (11, -200), (12, 200)):
        seg = w251[w * IEC251_SAMPLES + 260:w * IEC251_SAMPLES + 291]
        if any(x != st for x in seg):
            miss.append("IEC251W %d: ST segment not flat at %d" % (w, st))
    ane = ints(files["ANE20000.bin"])
    for lead, ((lo, hi), (first, last)) in enumerate(zip(ANE_FIGURES, ANE_PEAK_WINDOW)):
        seg = ane[lead * ANE_SAMPLES:(lead + 1) * ANE_SAMPLES]
        if (min(seg), max(seg)) != (lo, hi):
            miss.append("ANE20000 %d: extremes %d/%d, expected %d/%d" % (lead, min(seg), max(seg), lo, hi))
        peaks = [i for i, x in enumerate(seg) if x == hi]
        if not all(first <= i <= last for i in peaks):
            miss.append("ANE20000 %d: peak at %s, expected %d..%d" % (lead, peaks, first, last))
        if seg[0] != 0:
            miss.append("ANE20000 %d: starts at %d" % (lead, seg[0]))
    return miss


def read_dir(directory):
    files = {}
    for name, _ in LAYOUT:
        path = os.path.join(directory, name)
        if os.path.exists(path):
            with open(path, "rb") as f:
                files[name] = f.read()
    return files


def read_archive(path):
    files = {}
    with tarfile.open(path, "r:xz") as tar:
        for member in tar.getmembers():
            if member.isfile() and member.name in dict(LAYOUT):
                files[member.name] = tar.extractfile(member).read()
    return files


def read_any(path):
    return read_dir(path) if os.path.isdir(path) else read_archive(path)


def write_dir(files, directory):
    os.makedirs(directory, exist_ok=True)
    for name, _ in LAYOUT:
        with open(os.path.join(directory, name), "wb") as f:
            f.write(files[name])


def pack(files, archive):
    """A reproducible archive: fixed order, times and owners; xz with a 4-byte delta filter, which suits
    smooth 32-bit samples."""
    problems = check_layout(files)
    if problems:
        raise SystemExit("not packed:\n  " + "\n  ".join(problems))
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w", format=tarfile.USTAR_FORMAT) as tar:
        for name, _ in LAYOUT:
            info = tarfile.TarInfo(name)
            info.size = len(files[name])
            info.mode = 0o644
            info.mtime = 0
            info.uid = info.gid = 0
            info.uname = info.gname = ""
            tar.addfile(info, io.BytesIO(files[name]))
    filters = [{"id": lzma.FILTER_DELTA, "dist": 4},
               {"id": lzma.FILTER_LZMA2, "preset": 9 | lzma.PRESET_EXTREME}]
    data = lzma.compress(raw.getvalue(), format=lzma.FORMAT_XZ, check=lzma.CHECK_CRC64, filters=filters)
    tmp = archive + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, archive)
    return len(data)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    sub.add_parser("generate").add_argument("dir")
    p = sub.add_parser("pack")
    p.add_argument("dir")
    p.add_argument("archive", nargs="?", default=DEFAULT_ARCHIVE)
    sub.add_parser("build").add_argument("archive", nargs="?", default=DEFAULT_ARCHIVE)
    p = sub.add_parser("unpack")
    p.add_argument("archive")
    p.add_argument("dir")
    sub.add_parser("check").add_argument("path")
    sub.add_parser("verify").add_argument("archive", nargs="?", default=DEFAULT_ARCHIVE)
    args = parser.parse_args(argv)

    if args.command in ("generate", "build"):
        files = generate()
        miss = check_figures(files)
        if miss:
            raise SystemExit("generated data misses its figures:\n  " + "\n  ".join(miss))
        if args.command == "generate":
            write_dir(files, args.dir)
            print("wrote %s" % ", ".join(os.path.join(args.dir, n) for n, _ in LAYOUT))
        else:
            size = pack(files, args.archive)
            print("wrote %s (%d bytes)" % (args.archive, size))
    elif args.command == "pack":
        files = read_dir(args.dir)
        size = pack(files, args.archive)
        miss = check_figures(files)
        for m in miss:
            print("note: " + m)
        print("wrote %s (%d bytes)" % (args.archive, size))
    elif args.command == "unpack":
        files = read_archive(args.archive)
        problems = check_layout(files)
        if problems:
            raise SystemExit("not unpacked:\n  " + "\n  ".join(problems))
        write_dir(files, args.dir)
        print("wrote %s" % ", ".join(os.path.join(args.dir, n) for n, _ in LAYOUT))
    elif args.command == "check":
        files = read_any(args.path)
        problems = check_layout(files) or check_figures(files)
        for m in problems:
            print(m)
        if problems:
            return 1
        print("all figures met")
    elif args.command == "verify":
        made, kept = generate(), read_archive(args.archive)
        differ = [n for n, _ in LAYOUT if made.get(n) != kept.get(n)]
        if differ:
            print("differ from the generator's output: " + ", ".join(differ))
            return 1
        print("archive matches the generator's output")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
