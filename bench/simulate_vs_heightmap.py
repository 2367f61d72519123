#!/usr/bin/env python3
"""bench/simulate_vs_heightmap.py: our material-removal simulation beside a straightforward
NumPy height map, in one run, on the same files at the same resolution.

    bench/simulate_vs_heightmap.py [--build DIR] [--resolution MM] [--pocket SIZE] [--keep DIR] [FILE...]

Without FILEs it measures samples/bracket_project.stp and the pocket `varnholt-gen --pocket
SIZE` writes (default 200: a 200 x 200 x 50 block, one closed pocket cleared twice by a 1 mm
end mill, about 10,000 moves). For each file:

- ours: `varnholt-bench --phase simulate FILE --resolution MM` in its own process: the seconds
  of the run on the stock alone (the open, program and G-code timed apart), and its peak
  resident set;
- the reference: the moves of `varnholt-cli scene FILE --format json` (read untimed), then a
  height map over the stock's box at the same resolution, every move (rapids too) sampled every
  half cell and the tool's footprint (a flat end mill, or one with a corner radius) stamped at
  each sample as the lowest height of each cell. Two ways, each in a process of its own (so
  that its peak resident set is its own, the interpreter and NumPy included): the
  straightforward one, every sample's footprint stamped on its own as the window of the map
  under it takes the lower height; and a batched one, a million samples at a time reduced to
  the lowest per cell and stamped offset by offset, which is far quicker where a move's samples
  fall many to a cell.

It prints a table of seconds, peak memory, the speed ratio and both removed volumes. A height
map sees the stock from the tool's side only (one setup from above): files with other setups
are measured, but the reference's volume is then not comparable.
"""
import argparse
import json
import os
import resource
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def stock_box(build, path):
    """The workpiece's box in the first setup's coordinates, from the module's scene."""
    sys.path.insert(0, os.path.join(build, "python"))
    import varnholt  # noqa: E402 (the module of this build)
    boxes = [p.points for p in varnholt.open(path).scene() if p.kind == "workpiece"]
    if not boxes:
        raise SystemExit("%s: no workpiece in the scene" % path)
    import numpy as np
    points = np.concatenate(boxes)
    return points.min(axis=0), points.max(axis=0)


def stamp(heights, s, low, h, top, reach, di, dj, dz):
    """Every sample's footprint stamped into the map as the lowest height of each cell."""
    import numpy as np
    nx, ny = heights.shape
    s = s[s[:, 2] < top]
    ci = np.floor((s[:, 0] - low[0]) / h).astype(np.int64)
    cj = np.floor((s[:, 1] - low[1]) / h).astype(np.int64)
    # One sample per cell, the lowest: each cell below is then stamped once per footprint
    # offset, without repeated indices.
    keep = (ci >= -reach) & (ci < nx + reach) & (cj >= -reach) & (cj < ny + reach)
    ci, cj, z = ci[keep], cj[keep], s[keep, 2]
    if len(z) == 0:
        return
    key = (ci + reach) * (ny + 2 * reach + 1) + (cj + reach)
    order = np.lexsort((z, key))
    key, z, ci, cj = key[order], z[order], ci[order], cj[order]
    first = np.concatenate(([True], key[1:] != key[:-1]))
    ci, cj, z = ci[first], cj[first], z[first]
    for oi, oj, oz in zip(di, dj, dz):
        i, j = ci + oi, cj + oj
        ok = (i >= 0) & (i < nx) & (j >= 0) & (j < ny)
        i, j, zz = i[ok], j[ok], z[ok] + oz
        heights[i, j] = np.minimum(heights[i, j], zz)


def stamp_each(heights, s, low, h, top, reach, foot):
    """Every sample's footprint stamped on its own: the window of the map under the tool takes
    the lower of its height and the tool's at each cell, one sample after the other."""
    import numpy as np
    nx, ny = heights.shape
    for x, y, z in s:
        if z >= top:
            continue
        ci, cj = int(np.floor((x - low[0]) / h)), int(np.floor((y - low[1]) / h))
        i0, i1 = max(ci - reach, 0), min(ci + reach + 1, nx)
        j0, j1 = max(cj - reach, 0), min(cj + reach + 1, ny)
        if i0 >= i1 or j0 >= j1:
            continue
        window = heights[i0:i1, j0:j1]
        fi, fj = i0 - (ci - reach), j0 - (cj - reach)
        np.minimum(window, z + foot[fi:fi + (i1 - i0), fj:fj + (j1 - j0)], out=window)


def heightmap(scene, low, high, h, each=False):
    """The removed volume (mm3) and the map, every move stamped; `low`, `high` the stock's box.
    `each`: every sample stamped on its own (the straightforward way), else many at once."""
    import numpy as np
    nx = max(1, int(round((high[0] - low[0]) / h)))
    ny = max(1, int(round((high[1] - low[1]) / h)))
    top, bottom = float(high[2]), float(low[2])
    heights = np.full((nx, ny), top)
    for setup in scene["setups"]:
        for step in setup["workingsteps"]:
            tool = step.get("tool") or {}
            if not tool.get("diameter"):
                continue
            radius = tool["diameter"] / 2
            corner = min(tool.get("corner_radius") or 0.0, radius)
            # The footprint: cell offsets within the radius and how far above the tip each is.
            reach = int(np.ceil(radius / h))
            di, dj = np.meshgrid(np.arange(-reach, reach + 1), np.arange(-reach, reach + 1), indexing="ij")
            r = np.hypot(di, dj) * h
            inside = r <= radius
            flat = radius - corner
            dz = np.where(r > flat, corner - np.sqrt(np.maximum(corner**2 - (r - flat) ** 2, 0)), 0.0)
            foot = np.where(inside, dz, np.inf)
            di, dj, dz = di[inside], dj[inside], dz[inside]
            points = [step["start"]] + [m["to"] for m in step["moves"]]
            samples, pending = [], 0
            for k, move in enumerate(step["moves"]):
                a, b = np.array(points[k], float), np.array(points[k + 1], float)
                if move["kind"] == "arc":
                    c, n = np.array(move["center"], float), np.array(move["normal"], float)
                    n /= np.linalg.norm(n)
                    u, v = a - c, b - c
                    ua, vb = u - n * u.dot(n), v - n * v.dot(n)
                    rad = np.linalg.norm(ua)
                    e1 = ua / rad if rad > 0 else ua
                    e2 = np.cross(n, e1)
                    sweep = np.arctan2(vb.dot(e2), vb.dot(e1))
                    if move["clockwise"]:
                        sweep = sweep - 2 * np.pi if sweep > 0 else sweep
                    elif sweep <= 0:
                        sweep += 2 * np.pi
                    if np.allclose(a, b):
                        sweep = -2 * np.pi if move["clockwise"] else 2 * np.pi
                    count = max(1, int(np.ceil(abs(sweep) * rad / (h / 2))))
                    t = np.linspace(0, 1, count + 1)
                    rise = (b - c).dot(n) - (a - c).dot(n)
                    samples.append(c + n * (u.dot(n) + rise * t)[:, None]
                                   + rad * (np.cos(sweep * t)[:, None] * e1 + np.sin(sweep * t)[:, None] * e2))
                else:
                    count = max(1, int(np.ceil(np.linalg.norm(b - a) / (h / 2))))
                    t = np.linspace(0, 1, count + 1)[:, None]
                    samples.append(a + (b - a) * t)
                pending += len(samples[-1])
                # Stamped a million samples at a time, so that memory stays that of the map.
                if pending > 1_000_000 or k + 1 == len(step["moves"]):
                    if each:
                        stamp_each(heights, np.concatenate(samples), low, h, top, reach, foot)
                    else:
                        stamp(heights, np.concatenate(samples), low, h, top, reach, di, dj, dz)
                    samples, pending = [], 0
    removed = (top - np.maximum(heights, bottom)).sum() * h * h
    return removed, heights


def reference(args):
    """The height map alone, in this process: one line of key=value pairs."""
    scene = json.loads(subprocess.run([os.path.join(args.build, "cli", "varnholt-cli"), "scene", args.file,
                                       "--format", "json"], capture_output=True, text=True, check=True).stdout)
    low, high = stock_box(args.build, args.file)
    origin = scene["setups"][0]["origin"]
    if origin:
        if origin["axis"] != [0, 0, 1] or origin["ref_direction"] != [1, 0, 0]:
            raise SystemExit("%s: the height map takes a setup turned no way" % args.file)
        low, high = low - origin["location"], high - origin["location"]
    moves = sum(len(w["moves"]) for s in scene["setups"] for w in s["workingsteps"])
    t0 = time.perf_counter()
    removed, heights = heightmap(scene, low, high, args.resolution, args.each)
    seconds = time.perf_counter() - t0
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    print("heightmap seconds=%.6f peak_rss=%d moves=%d removed_mm3=%.1f cells=%d" %
          (seconds, peak, moves, removed, heights.size))


def fields(line):
    return dict(part.split("=", 1) for part in line.split() if "=" in part)


def measure(build, path, resolution):
    bench = subprocess.run([os.path.join(build, "bench", "varnholt-bench"), "--phase", "simulate", path,
                            "--resolution", str(resolution)], capture_output=True, text=True)
    if bench.returncode != 0:
        raise SystemExit("varnholt-bench --phase simulate %s failed:\n%s" % (path, bench.stderr))
    ours = fields([l for l in bench.stdout.splitlines() if l.startswith("phase=")][-1])
    maps = []
    for each in (True, False):
        ref = subprocess.run([sys.executable, os.path.abspath(__file__), "--reference", path, "--build", build,
                              "--resolution", str(resolution)] + (["--each"] if each else []),
                             capture_output=True, text=True)
        if ref.returncode != 0:
            raise SystemExit("the height map of %s failed:\n%s" % (path, ref.stderr))
        maps.append(fields([l for l in ref.stdout.splitlines() if l.startswith("heightmap ")][-1]))
    return ours, maps


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("files", nargs="*")
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--resolution", type=float, default=0.1)
    parser.add_argument("--pocket", type=float, default=200)
    parser.add_argument("--keep", help="where the generated pocket stays (default: a temporary folder)")
    parser.add_argument("--reference", help=argparse.SUPPRESS)
    parser.add_argument("--each", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    if args.reference:
        args.file = args.reference
        reference(args)
        return
    with tempfile.TemporaryDirectory() as tmp:
        files = args.files
        if not files:
            pocket = os.path.join(args.keep or tmp, "pocket-%g.stp" % args.pocket)
            subprocess.run([os.path.join(args.build, "bench", "varnholt-gen"), "--pocket", "%g" % args.pocket, pocket],
                           check=True)
            files = [os.path.join(ROOT, "samples", "bracket_project.stp"), pocket]
        print("resolution %g mm; seconds of the run on the stock alone; peak resident set of each process" %
              args.resolution)
        print("map: every sample stamped on its own; batched: a million samples at a time, one per cell")
        print("%-24s %7s %8s %8s %9s %8s %9s %9s %8s %11s %11s" % (
            "file", "moves", "ours s", "ours MB", "map s", "map MB", "map/ours", "batched s", "b./ours",
            "ours mm3", "map mm3"))
        for path in files:
            ours, (each, batched) = measure(args.build, path, args.resolution)
            removed = float(ours["stock_mm3"]) - float(ours["stock_after_mm3"])
            mine = max(float(ours["seconds"]), 1e-9)
            print("%-24s %7s %8.2f %8.0f %9.2f %8.0f %8.1fx %9.2f %7.1fx %11.0f %11.0f" % (
                os.path.basename(path)[:24], ours["moves"], float(ours["seconds"]), int(ours["peak_rss"]) / 1e6,
                float(each["seconds"]), int(each["peak_rss"]) / 1e6, float(each["seconds"]) / mine,
                float(batched["seconds"]), float(batched["seconds"]) / mine, removed, float(each["removed_mm3"])))


if __name__ == "__main__":
    main()
