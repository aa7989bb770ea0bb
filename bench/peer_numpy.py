#!/usr/bin/env python3
"""surgekit's run, hazard and ensemble jobs written as a short numpy script,
for the speed comparison in bench/kit_peer.sh.

This is what an engineer would write instead of using surgekit: read the
coefficient files and the inputs with numpy, evaluate the surge over whole
arrays, a block at a time, and write the results with numpy. It follows the
model's arithmetic operation for operation (single-precision coefficients and
constants widened to double, the same order of operations), so its numbers
agree with surgekit's; kit_peer.sh checks that they do.

  peer_numpy.py run CASES.csv OUT.csv --data DIR
      surge_m and x for every row of a cases file (location, pressure_mb,
      radius_km, distance_km)
  peer_numpy.py hazard STORMS.csv OUT.csv --data DIR --coast FROM:TO
                [--step KM] [--sigma-m M] [--sigma-rel R]
      return levels (10 to 500 years) per bridge of DIR/sites.csv, the
      landfall integrated over the coast by the midpoint rule
  peer_numpy.py ensemble OUT.csv --data DIR --landfall-km L --pressure P
                --radius R --sd-landfall S --sd-pressure S --sd-radius S
                --samples N --seed K --threshold Z
      median, 10 % and 90 % surge and exceedance shares per bridge, from the
      same counter-based samples surgekit draws

For the agreement checks only (not timed):
  peer_numpy.py hazard-cases STORMS.csv CASES.csv SURGES.csv --data DIR
                --coast FROM:TO [--step KM] [--every N]
  peer_numpy.py ensemble-cases CASES.csv SURGES.csv --data DIR [ensemble
                options] --first N
      write every N-th storm's (or the first N samples') cases at every
      bridge as a cases file for `surgekit run`, and the script's own surges
      for them
  peer_numpy.py agree-run KIT.csv PEER.csv
  peer_numpy.py agree-table KIT.csv PEER.csv COLUMN...
  peer_numpy.py agree-surges KIT_RUN.csv PEER_SURGES.csv
      compare and print the largest difference; status 1 on disagreement

"""
import argparse
import math
import os
import sys

import numpy as np


def widen(value):
    """A constant fitted and stored in single precision, as the model uses it."""
    return float(np.float32(value))


DISTANCE_ORIGIN = widen(0.834)
HEAD_DIVISOR = widen(98.0665)
SHIFT_SLOPE_RIGHT = widen(-1.035)
SHIFT_INTERCEPT_RIGHT = widen(0.16037)
SHIFT_SLOPE_LEFT = widen(3.2968)
SHIFT_INTERCEPT_LEFT = widen(-0.66642)
RIGHT_FROM, LEFT_TO, TAIL_TO = -6.0, 10.0, 25.0
NO_DEFICIT_MB = 1013.0
FIRST_WEST_ONLY = 18  # locations from here on take only landfalls west of the bridge
RETURN_PERIODS = [10, 25, 50, 100, 200, 500]
MAX_LEVEL_MM = 1000000
BLOCK = 1 << 20  # cases evaluated at a time

# Curves, as codes.
NONE, LEFT, TAIL, RIGHT = 0, 1, 2, 3


# ---------------------------------------------------------------- data files

def read_coefficients(folder):
    """The 21 columns of srfparamsVelko.dat and the slope of pslope.dat, as a
    (21, 22) float64 array of single-precision values, row = location (row 0
    unused): 20 groups of 21 numbers, each group from a new line; the first
    number of each of the first 20 non-blank lines of pslope.dat."""
    def numbers(line):
        return line.replace(",", " ").replace("D", "E").replace("d", "e").split()

    groups, group = [], []
    with open(os.path.join(folder, "srfparamsVelko.dat")) as f:
        for line in f:
            words = numbers(line)
            if not words:
                continue
            group += words[: 21 - len(group)]
            if len(group) == 21:
                groups.append(group)
                group = []
                if len(groups) == 20:
                    break
    slopes = []
    with open(os.path.join(folder, "pslope.dat")) as f:
        for line in f:
            words = numbers(line)
            if words:
                slopes.append(words[0])
                if len(slopes) == 20:
                    break
    if len(groups) != 20 or len(slopes) != 20:
        sys.exit("peer_numpy: the coefficient files hold fewer than 20 locations")
    table = np.zeros((21, 22), dtype=np.float32)
    table[1:, :21] = np.array(groups, dtype=np.float32)
    table[1:, 21] = np.array(slopes, dtype=np.float32)
    return table.astype(np.float64), table


def read_csv(path, names):
    """The named columns of a CSV file of plain numbers, as float64 arrays."""
    with open(path) as f:
        header = f.readline().strip().split(",")
    columns = [header.index(n) for n in names]
    data = np.loadtxt(path, delimiter=",", skiprows=1, usecols=columns, ndmin=2)
    return [data[:, k] for k in range(len(names))]


def read_sites(folder):
    """location, alongshore_km and low_chord_m (NaN where empty) of sites.csv;
    the names hold commas-free text only in the examples, so a split will do."""
    rows = []
    with open(os.path.join(folder, "sites.csv")) as f:
        header = f.readline().strip().split(",")
        at = {n: header.index(n) for n in ("location", "alongshore_km", "low_chord_m")}
        for line in f:
            if not line.strip():
                continue
            fields = line.rstrip("\r\n").split(",")
            chord = fields[at["low_chord_m"]]
            rows.append((int(fields[at["location"]]), float(fields[at["alongshore_km"]]),
                         float(chord) if chord else math.nan))
    return rows


# ---------------------------------------------------------------- the model

def three_gaussians(x, c):
    """(a1 g1 + a2 g2) + a3 g3, g = exp(-((x - centre) / width)^2); c holds
    the nine columns amplitude, centre, width (arrays or scalars)."""
    g = [np.exp(-np.square((x - c[k + 1]) / c[k + 2])) for k in (0, 3, 6)]
    return (c[0] * g[0] + c[3] * g[1]) + c[6] * g[2]


def evaluate(coef, coef32, location, p, r, d):
    """surge_m, x and the curve code for arrays (or scalars broadcast against
    them) of location, pressure, radius and distance. `location` is an int
    array, or an int for one location."""
    p, r, d = np.broadcast_arrays(p, r, d)
    h = (NO_DEFICIT_MB - p) / HEAD_DIVISOR
    x = (d - DISTANCE_ORIGIN * r) / r
    # Small radii: X shifted near the landfall.
    shift = (DISTANCE_ORIGIN + x > 0) & (x <= DISTANCE_ORIGIN) & (r < 25)
    if shift.any():
        q = (25 - r[shift]) / 25.0
        xs = x[shift]
        x = x.copy()
        x[shift] = np.where(xs < 0, xs + (q * SHIFT_SLOPE_RIGHT + SHIFT_INTERCEPT_RIGHT),
                            xs + (q * SHIFT_SLOPE_LEFT + SHIFT_INTERCEPT_LEFT))
    curve = np.zeros(x.shape, dtype=np.int8)
    curve[(x > 0) & (x <= LEFT_TO)] = LEFT
    curve[(x > LEFT_TO) & (x <= TAIL_TO)] = TAIL
    curve[(x <= 0) & (x > RIGHT_FROM)] = RIGHT
    response = np.zeros(x.shape)
    one_location = np.isscalar(location)
    for code, first in ((LEFT, 0), (RIGHT, 12)):
        on = curve == code
        if on.any():
            columns = slice(first, first + 9)
            c = coef[location, columns] if one_location else coef[location[on], columns].T
            response[on] = three_gaussians(x[on], c)
    on = curve == TAIL
    if on.any():
        c = coef[location, 9:12] if one_location else coef[location[on], 9:12].T
        # The factor is 1 / norm rounded to single precision.
        f = (np.float32(1) / (coef32[location, 9] if one_location else coef32[location[on], 9]))
        t = np.exp((x[on] - c[1]) / c[2])
        response[on] = (f.astype(np.float64) * t) * np.exp(-t)
    slope = coef[location, 21]
    m = 0.5 * h * h
    return m * (slope + response), x, curve


# ---------------------------------------------------------------- run

def job_run(a, coef, coef32):
    location, p, r, d = read_csv(a.cases, ["location", "pressure_mb", "radius_km", "distance_km"])
    location = location.astype(np.intp)
    with open(a.out, "w") as out:
        out.write("surge_m,x\n")
        for start in range(0, len(p), BLOCK):
            end = start + BLOCK
            s, x, _ = evaluate(coef, coef32, location[start:end], p[start:end], r[start:end],
                               d[start:end])
            np.savetxt(out, np.column_stack([s, x]), fmt="%.17g", delimiter=",")


# ---------------------------------------------------------------- hazard

def coast_grid(text, step):
    lo, hi = (float(v) for v in text.split(":"))
    n = max(1, math.ceil((hi - lo) / step - 1e-9))
    width = (hi - lo) / n
    return lo + (np.arange(n) + 0.5) * width, width


def millimetre_bins(s):
    """The largest j with j / 1000 < s, for s > 0."""
    t = s * 1000.0
    c = np.ceil(t)
    j = c.astype(np.int64) - 1
    near = ~((c - t > 1e-6) & (c - t < 1 - 1e-6))
    if near.any():
        jn, sn = j[near], s[near]
        jn = np.where((jn + 1) / 1000.0 < sn, jn + 1, jn)
        jn = np.where((jn > 0) & ~(jn / 1000.0 < sn), jn - 1, jn)
        j[near] = jn
    return np.minimum(j, MAX_LEVEL_MM)


def aep_of(rate):
    return -np.expm1(-rate)


class Pooled:
    """Surges with the error term: rates pooled in 0.1 mm bins, each at its
    rate-weighted mean surge, and Lambda(eta) summed with the normal's tail."""

    def __init__(self, sigma_m, sigma_rel):
        self.sigma_m, self.sigma_rel = sigma_m, sigma_rel
        self.base, self.rate, self.rate_surge = 0, np.zeros(0), np.zeros(0)

    def add(self, s, w):
        j = np.floor(np.clip(s, -1000.0, 1000.0) / 1e-4).astype(np.int64)
        lo, hi = int(j.min()), int(j.max())
        if self.rate.size == 0:
            self.base = lo
        new_base = min(self.base, lo)
        new_end = max(self.base + self.rate.size, hi + 1)
        if new_base < self.base or new_end > self.base + self.rate.size:
            grown = np.zeros((2, new_end - new_base))
            at = self.base - new_base
            grown[0, at:at + self.rate.size] = self.rate
            grown[1, at:at + self.rate.size] = self.rate_surge
            self.base, self.rate, self.rate_surge = new_base, grown[0], grown[1]
        k = j - self.base
        self.rate += np.bincount(k, weights=w, minlength=self.rate.size)
        self.rate_surge += np.bincount(k, weights=w * s, minlength=self.rate.size)

    def finish(self):
        on = self.rate > 0
        self.surge = self.rate_surge[on] / self.rate[on]
        self.weight = self.rate[on]
        self.sd = np.hypot(self.sigma_m, self.sigma_rel * self.surge)
        self.first_nonnegative = int(np.searchsorted(self.surge, 0.0))
        self.max_surge = self.surge[-1] if self.surge.size else 0.0

    def rate_above_mm(self, j):
        from scipy.special import erfc
        eta = j / 1000.0
        # Cases more than nine of their standard deviations below eta add nothing.
        cut = eta - 9 * math.hypot(self.sigma_m, self.sigma_rel * eta)
        resume = self.first_nonnegative
        if cut > 0:
            resume = int(np.searchsorted(self.surge, cut))
        total = 0.0
        for span in (slice(0, self.first_nonnegative), slice(resume, None)):
            s, sd, w = self.surge[span], self.sd[span], self.weight[span]
            with np.errstate(divide="ignore", invalid="ignore"):
                tail = np.where(sd > 0, 0.5 * erfc((eta - s) / (sd * math.sqrt(2))),
                                (eta - s < 0).astype(float))
            total += float(np.sum(w * tail))
        return total

    def least_level_mm(self, aep):
        if aep_of(self.rate_above_mm(0)) <= aep:
            return 0
        hi = min(math.ceil(max(0.0, self.max_surge) * 1000) + 1, MAX_LEVEL_MM)
        reach = 1000
        while aep_of(self.rate_above_mm(hi)) > aep:
            if hi == MAX_LEVEL_MM:
                return -1
            hi, reach = min(hi + reach, MAX_LEVEL_MM), reach * 2
        lo = 0
        while hi - lo > 1:
            mid = lo + (hi - lo) // 2
            if aep_of(self.rate_above_mm(mid)) <= aep:
                hi = mid
            else:
                lo = mid
        return hi


def hazard_cases(storm_p, storm_r, storm_w, landfall, alongshore, location):
    """Blocks of (pressure, radius, distance, weight) for one bridge: every
    storm at every landfall, a block of storms at a time."""
    distance = alongshore - landfall
    if location >= FIRST_WEST_ONLY:
        distance = distance[distance > 0]
    per_block = max(1, BLOCK // max(1, distance.size))
    for start in range(0, storm_p.size, per_block):
        end = start + per_block
        yield (storm_p[start:end, None], storm_r[start:end, None], distance[None, :],
               storm_w[start:end, None], landfall.size - distance.size)


def job_hazard(a, coef, coef32):
    p, r, rate = read_csv(a.storms, ["pressure_mb", "radius_km", "rate"])
    landfall, width = coast_grid(a.coast, a.step)
    weight = rate * width
    error_term = a.sigma_m > 0 or a.sigma_rel > 0
    rows = []
    for location, alongshore, _ in read_sites(a.data):
        kept_rate, out_rate = 0.0, 0.0
        pooled = Pooled(a.sigma_m, a.sigma_rel) if error_term else None
        bins = np.zeros(0)
        for bp, br, bd, bw, refused in hazard_cases(p, r, weight, landfall, alongshore, location):
            s, _, curve = evaluate(coef, coef32, location, bp, br, bd)
            kept = curve != NONE
            w = np.broadcast_to(bw, s.shape)
            kept_count = kept.sum(axis=1)
            kept_rate += float(np.sum(bw[:, 0] * kept_count))
            out_rate += float(np.sum(bw[:, 0] * (s.shape[1] + refused - kept_count)))
            kept &= np.isfinite(s)
            s, w = s[kept], w[kept]
            if error_term:
                if s.size:
                    pooled.add(s, w)
                continue
            above = s > 0
            j = millimetre_bins(s[above])
            counted = np.bincount(j, weights=w[above])
            if counted.size > bins.size:
                counted[: bins.size] += bins
                bins = counted
            else:
                bins[: counted.size] += counted
        levels = []
        if error_term:
            pooled.finish()
            for t in RETURN_PERIODS:
                mm = pooled.least_level_mm(1.0 / t)
                levels.append(math.nan if mm < 0 else mm / 1000.0)
        else:
            # Lambda at j mm: the rate of every bin from j up.
            above = np.cumsum(bins[::-1])[::-1]
            exceeded = aep_of(above)
            for t in RETURN_PERIODS:
                ok = np.flatnonzero(exceeded <= 1.0 / t)
                levels.append((ok[0] if ok.size else above.size) / 1000.0)
        total = kept_rate + out_rate
        rows.append([location] + levels + [kept_rate, out_rate / total if total > 0 else 0.0])
    with open(a.out, "w") as out:
        out.write("location," + ",".join(f"surge_{t}y_m" for t in RETURN_PERIODS) +
                  ",rate_per_year,left_out_share\n")
        for row in rows:
            out.write(f"{row[0]}," + ",".join(f"{v:.3f}" for v in row[1:-2]) +
                      f",{row[-2]:.6g},{row[-1]:.6g}\n")


def job_hazard_cases(a, coef, coef32):
    p, r, rate = read_csv(a.storms, ["pressure_mb", "radius_km", "rate"])
    landfall, _ = coast_grid(a.coast, a.step)
    p, r = p[:: a.every], r[:: a.every]
    with open(a.cases, "w") as cases, open(a.surges, "w") as surges:
        cases.write("location,pressure_mb,radius_km,distance_km\n")
        surges.write("surge_m,x\n")
        for location, alongshore, _ in read_sites(a.data):
            distance = alongshore - landfall
            if location >= FIRST_WEST_ONLY:
                distance = distance[distance > 0]
            bp, br, bd = np.broadcast_arrays(p[:, None], r[:, None], distance[None, :])
            s, x, _ = evaluate(coef, coef32, location, bp, br, bd)
            for row in zip(bp.ravel().tolist(), br.ravel().tolist(), bd.ravel().tolist()):
                cases.write("%d,%r,%r,%r\n" % ((location,) + row))
            np.savetxt(surges, np.column_stack([s.ravel(), x.ravel()]), fmt="%.17g", delimiter=",")


# ---------------------------------------------------------------- ensemble

GOLDEN = np.uint64(0x9E3779B97F4A7C15)


def mix(z):
    """The SplitMix64 finaliser, on uint64 arrays (wrapping arithmetic)."""
    z = (z ^ (z >> np.uint64(30))) * np.uint64(0xBF58476D1CE4E5B9)
    z = (z ^ (z >> np.uint64(27))) * np.uint64(0x94D049BB133111EB)
    return z ^ (z >> np.uint64(31))


def draw_samples(a):
    """surgekit's samples: uniforms from a counter-based SplitMix64 stream
    (counters 4i to 4i + 3 for sample i), normals by Box-Muller."""
    with np.errstate(over="ignore"):
        key = mix(np.array([a.seed], dtype=np.uint64) + GOLDEN)[0]
        counter = np.arange(4 * a.samples, dtype=np.uint64).reshape(-1, 4)
        v = mix(key + (counter + np.uint64(1)) * GOLDEN)
    u = ((v >> np.uint64(11)).astype(np.float64) + 0.5) * 2.0 ** -53
    radius1 = np.sqrt(-2.0 * np.log(u[:, 0]))
    angle1 = 2.0 * np.pi * u[:, 1]
    radius2 = np.sqrt(-2.0 * np.log(u[:, 2]))
    angle2 = 2.0 * np.pi * u[:, 3]
    landfall = a.landfall_km + a.sd_landfall * (radius1 * np.cos(angle1))
    pressure = a.pressure + a.sd_pressure * (radius1 * np.sin(angle1))
    radius = a.radius * np.exp(a.sd_radius * (radius2 * np.cos(angle2)))
    return landfall, pressure, radius


def ensemble_surges(coef, coef32, location, alongshore, landfall, pressure, radius):
    """The kept samples' surges at one bridge, and how many gave no number."""
    distance = alongshore - landfall
    take = distance > 0 if location >= FIRST_WEST_ONLY else np.ones(distance.size, bool)
    deficit = take & (pressure < NO_DEFICIT_MB)
    s, _, curve = evaluate(coef, coef32, location, pressure[deficit], radius[deficit],
                           distance[deficit])
    s = s[curve != NONE]
    no_number = int(np.isnan(s).sum())
    # A pressure at or above 1013 mb has no deficit: no surge.
    kept = np.concatenate([s[~np.isnan(s)], np.zeros(int((take & ~deficit).sum()))])
    return kept, no_number


def job_ensemble(a, coef, coef32):
    landfall, pressure, radius = draw_samples(a)
    rows = []
    for location, alongshore, chord in read_sites(a.data):
        kept, no_number = ensemble_surges(coef, coef32, location, alongshore, landfall, pressure,
                                          radius)
        n = kept.size
        if n:
            p10, median, p90 = np.quantile(kept, [0.1, 0.5, 0.9])
            above = [np.count_nonzero(kept > z) / n for z in a.threshold]
            over = np.count_nonzero(kept > chord) / n if not math.isnan(chord) else math.nan
        else:
            p10 = median = p90 = over = math.nan
            above = [math.nan for _ in a.threshold]
        left_out = (a.samples - n - no_number) / a.samples
        rows.append([location, n, left_out, median, p10, p90] + above + [over])
    with open(a.out, "w") as out:
        out.write("location,samples_kept,left_out_share,surge_median_m,surge_p10_m,surge_p90_m," +
                  "".join(f"p_surge_above_{z:g}_m," for z in a.threshold) +
                  "p_surge_over_low_chord\n")
        for row in rows:
            text = lambda v, f: "" if math.isnan(v) else format(v, f)
            out.write(f"{row[0]},{row[1]},{text(row[2], '.6g')}," +
                      ",".join(text(v, ".3f") for v in row[3:6]) + "," +
                      ",".join(text(v, ".6g") for v in row[6:]) + "\n")


def job_ensemble_cases(a, coef, coef32):
    a.samples = a.first
    landfall, pressure, radius = draw_samples(a)
    with open(a.cases, "w") as cases, open(a.surges, "w") as surges:
        cases.write("location,pressure_mb,radius_km,distance_km\n")
        surges.write("surge_m,x\n")
        for location, alongshore, _ in read_sites(a.data):
            distance = alongshore - landfall
            s, x, _ = evaluate(coef, coef32, location, pressure, radius, distance)
            for row in zip(pressure.tolist(), radius.tolist(), distance.tolist()):
                cases.write("%d,%r,%r,%r\n" % ((location,) + row))
            np.savetxt(surges, np.column_stack([s, x]), fmt="%.17g", delimiter=",")


# ---------------------------------------------------------------- agreement

def columns_of(path, names):
    with open(path) as f:
        header = f.readline().strip().split(",")
    want = [header.index(n) for n in names]
    return np.loadtxt(path, delimiter=",", skiprows=1, usecols=want, ndmin=2)


def agree_surges(kit_path, peer_path, tolerance=1e-9):
    """surge_m and x of surgekit run against the script's, row by row."""
    kit = columns_of(kit_path, ["surge_m", "x"])
    peer = columns_of(peer_path, ["surge_m", "x"])
    if kit.shape != peer.shape:
        print(f"rows differ: surgekit {kit.shape[0]}, numpy {peer.shape[0]}")
        return 1
    worst = np.abs(kit - peer).max(axis=0) if kit.size else np.zeros(2)
    print(f"{kit.shape[0]} rows, largest difference: surge {worst[0]:.3g} m, x {worst[1]:.3g}")
    return 0 if worst.max() <= tolerance else 1


def agree_table(kit_path, peer_path, names):
    """The named columns of two result tables: printed surges (3 decimals)
    must be the same numbers, shares and rates within a unit of the sixth
    digit printed."""
    status = 0
    with open(kit_path) as f:
        kit_header = f.readline().strip().split(",")
        kit_rows = [line.rstrip("\r\n").split(",") for line in f if line.strip()]
    with open(peer_path) as f:
        peer_header = f.readline().strip().split(",")
        peer_rows = [line.rstrip("\r\n").split(",") for line in f if line.strip()]
    # The site names may hold commas only in quotes; the examples hold none.
    if len(kit_rows) != len(peer_rows):
        print(f"rows differ: surgekit {len(kit_rows)}, numpy {len(peer_rows)}")
        return 1
    compared = 0
    for name in names:
        k, p = kit_header.index(name), peer_header.index(name)
        for kr, pr in zip(kit_rows, peer_rows):
            a, b = kr[k], pr[p]
            compared += 1
            if a == "" or b == "":
                same = a == b
            elif name.endswith("_m"):
                same = float(a) == float(b)
            else:
                same = abs(float(a) - float(b)) <= 1e-5 * max(abs(float(a)), 1e-300)
            if not same:
                print(f"location {kr[0]}, {name}: surgekit {a}, numpy {b}")
                status = 1
    print(f"{compared} values compared, {'all agree' if status == 0 else 'some differ'}")
    return status


# ---------------------------------------------------------------- command line

def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    jobs = parser.add_subparsers(dest="job", required=True)

    def with_data(p):
        p.add_argument("--data", required=True)
        return p

    run = with_data(jobs.add_parser("run"))
    run.add_argument("cases")
    run.add_argument("out")

    def hazard_options(p):
        p.add_argument("storms")
        p.add_argument("--coast", required=True)
        p.add_argument("--step", type=float, default=1.0)
        return p

    hazard = hazard_options(with_data(jobs.add_parser("hazard")))
    hazard.add_argument("out")
    hazard.add_argument("--sigma-m", type=float, default=0.0)
    hazard.add_argument("--sigma-rel", type=float, default=0.0)
    hcases = hazard_options(with_data(jobs.add_parser("hazard-cases")))
    hcases.add_argument("cases")
    hcases.add_argument("surges")
    hcases.add_argument("--every", type=int, default=1)

    def ensemble_options(p):
        p.add_argument("--landfall-km", type=float, required=True)
        p.add_argument("--pressure", type=float, required=True)
        p.add_argument("--radius", type=float, required=True)
        p.add_argument("--sd-landfall", type=float, default=0.0)
        p.add_argument("--sd-pressure", type=float, default=0.0)
        p.add_argument("--sd-radius", type=float, default=0.0)
        p.add_argument("--samples", type=int, default=100000)
        p.add_argument("--seed", type=int, default=1)
        p.add_argument("--threshold", type=float, action="append", default=[])
        return p

    ensemble = ensemble_options(with_data(jobs.add_parser("ensemble")))
    ensemble.add_argument("out")
    ecases = ensemble_options(with_data(jobs.add_parser("ensemble-cases")))
    ecases.add_argument("cases")
    ecases.add_argument("surges")
    ecases.add_argument("--first", type=int, default=10000)

    agree = jobs.add_parser("agree-run")
    agree.add_argument("kit")
    agree.add_argument("peer")
    table = jobs.add_parser("agree-table")
    table.add_argument("kit")
    table.add_argument("peer")
    table.add_argument("columns", nargs="+")
    a = parser.parse_args()

    if a.job == "agree-run":
        return agree_surges(a.kit, a.peer)
    if a.job == "agree-table":
        return agree_table(a.kit, a.peer, a.columns)
    coef, coef32 = read_coefficients(a.data)
    {"run": job_run, "hazard": job_hazard, "hazard-cases": job_hazard_cases,
     "ensemble": job_ensemble, "ensemble-cases": job_ensemble_cases}[a.job](a, coef, coef32)
    return 0


if __name__ == "__main__":
    sys.exit(main())
