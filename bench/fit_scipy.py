#!/usr/bin/env python3
"""The fit's solver runs redone with scipy.optimize.least_squares, for the
speed comparison in bench/kit_fit.sh: the same residuals (metres, X from
`surgekit run`), the same curves fitted, the same bounds, from the same
starting points (`surgekit fit --starts`). Prints the seconds taken (wall and CPU)
and the sum over locations of the best final cost, to compare with surgekit's.

Usage: python3 bench/fit_scipy.py RUN_OUTPUT.csv STARTS.csv
  RUN_OUTPUT.csv: `surgekit run` on the simulations with surge_m renamed simulated_m
"""
import csv
import sys
import time

import numpy as np
from scipy.optimize import least_squares

ROWS_PER_COEFFICIENT = 2
COUNTS = {"left": 9, "tail": 3, "right": 9}
OFFSET = {"left": 0, "tail": 9, "right": 12}
MIN_WIDTH, MAX_WIDTH, MIN_SCALE, MAX_SCALE = 0.25, 100.0, 0.5, 100.0
CENTRE_MARGIN, TAIL_CENTRE_BEFORE, AMPLITUDE_FACTOR = 1.0, 5.0, 2.0
HEAD_DIVISOR = float(np.float32(98.0665))


def gaussians(g, x):
    d1, d2, d3 = (x - g[1]) / g[2], (x - g[4]) / g[5], (x - g[7]) / g[8]
    return (g[0] * np.exp(-d1 * d1) + g[3] * np.exp(-d2 * d2)) + g[6] * np.exp(-d3 * d3)


def tail(q, x):
    t = np.exp((x - q[1]) / q[2])
    return (q[0] * t) * np.exp(-t)


def fit_location(rows, starts):
    x = np.array([r[0] for r in rows])
    head = np.array([r[1] for r in rows])
    surge = np.array([r[2] for r in rows])
    curve = np.array([r[3] for r in rows])
    fitted = [c for c in ("left", "tail", "right")
              if np.sum(curve == c) >= ROWS_PER_COEFFICIENT * COUNTS[c]]
    masks = {c: curve == c for c in fitted}
    lo = {c: x[masks[c]].min() for c in fitted}
    hi = {c: x[masks[c]].max() for c in fitted}
    amplitude = AMPLITUDE_FACTOR * np.max(np.abs(surge / head))
    # Unknowns: the fitted curves' coefficients, then the slope. Curves not
    # fitted keep amplitudes of zero, as surgekit fit does without a base.
    positions, at = {}, 0
    for c in fitted:
        positions[c] = at
        at += COUNTS[c]
    n = at + 1

    def residuals(p):
        model = np.full_like(x, p[-1])
        for c in fitted:
            block = p[positions[c]:positions[c] + COUNTS[c]]
            m = masks[c]
            model[m] += tail(block, x[m]) if c == "tail" else gaussians(block, x[m])
        return surge - head * model

    best = None
    for start in starts:
        p0, low, high = np.zeros(n), np.full(n, -np.inf), np.full(n, np.inf)
        for c in fitted:
            block = start[OFFSET[c]:OFFSET[c] + COUNTS[c]]
            p0[positions[c]:positions[c] + COUNTS[c]] = block
            at = positions[c]
            if c == "tail":
                low[at], high[at] = -np.e * amplitude, np.e * amplitude
                low[at + 1], high[at + 1] = lo[c] - TAIL_CENTRE_BEFORE, hi[c]
                if block[2] < 0:
                    low[at + 2], high[at + 2] = -MAX_SCALE, -MIN_SCALE
                else:
                    low[at + 2], high[at + 2] = MIN_SCALE, MAX_SCALE
            else:
                for k in range(3):
                    low[at + 3 * k], high[at + 3 * k] = -amplitude, amplitude
                    low[at + 3 * k + 1] = lo[c] - CENTRE_MARGIN
                    high[at + 3 * k + 1] = hi[c] + CENTRE_MARGIN
                    low[at + 3 * k + 2], high[at + 3 * k + 2] = MIN_WIDTH, MAX_WIDTH
                    p0[at + 3 * k + 2] = abs(p0[at + 3 * k + 2])
        p0[-1] = start[21]
        p0 = np.clip(p0, low, high)
        result = least_squares(residuals, p0, bounds=(low, high), method="trf")
        if best is None or result.cost < best:
            best = result.cost
    return best


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    rows = {}
    with open(sys.argv[1], newline="") as f:
        for r in csv.DictReader(f):
            h = (1013.0 - float(r["pressure_mb"])) / HEAD_DIVISOR
            head = 0.5 * h
            head = head * h
            rows.setdefault(int(r["location"]), []).append(
                (float(r["x"]), head, float(r["simulated_m"]), r["curve"]))
    starts = {}
    with open(sys.argv[2], newline="") as f:
        for r in csv.reader(f):
            if r[0] == "location":
                continue
            starts.setdefault(int(r[0]), []).append([float(v) for v in r[2:]])
    begin, begin_cpu = time.perf_counter(), time.process_time()
    total = sum(fit_location(rows[loc], starts[loc]) for loc in sorted(starts))
    seconds, cpu = time.perf_counter() - begin, time.process_time() - begin_cpu
    print(f"{seconds:.3f} {cpu:.3f} {total:.6g}")


if __name__ == "__main__":
    main()
