#!/usr/bin/env python3
"""The fit's solver runs redone with scipy.optimize.least_squares, for the
speed comparison in bench/kit_fit.sh: the same residuals (metres, X from
`surgekit run`), the same curves fitted, the same bounds, from the same
starting points (`surgekit fit --starts`). Prints the seconds taken and the
sum over locations of the best final cost, to compare with surgekit's.

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
MIN_WIDTH, MAX_WIDTH, MIN_SCALE, MAX_SCALE = 0.02, 100.0, 0.05, 100.0
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
            if c == "tail":
                i = positions[c] + 2
                if block[2] < 0:
                    low[i], high[i] = -MAX_SCALE, -MIN_SCALE
                else:
                    low[i], high[i] = MIN_SCALE, MAX_SCALE
            else:
                for k in range(3):
                    w, ce = positions[c] + 3 * k + 2, positions[c] + 3 * k + 1
                    low[w], high[w] = MIN_WIDTH, MAX_WIDTH
                    low[ce], high[ce] = lo[c] - 10, hi[c] + 10
                    p0[w] = abs(p0[w])
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
    begin = time.perf_counter()
    total = sum(fit_location(rows[loc], starts[loc]) for loc in sorted(starts))
    seconds = time.perf_counter() - begin
    print(f"{seconds:.3f} {total:.6g}")


if __name__ == "__main__":
    main()
