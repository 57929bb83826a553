#!/usr/bin/env python3
"""Runs the benchmark suite and checks its same-run ratios against the goals.

Every scene executable is run with 9 repetitions in random interleaving and
writes its results as JSON. Each repetition reports ratios of our time to a
floor or a peer timed in the same iterations; for every goal this takes the
median of the 9 values and prints one line: the goal, the median ratio, its
spread (lowest and highest of the 9), and whether the goal holds. Exits 1 when
a goal does not hold or a scene could not be measured, 0 otherwise. A scene
that cannot run on this machine (the X11 present without Xvfb) says why, and
its goal is printed as skipped with that message rather than failed.

Usage: check_goals.py --bin-dir BUILD/bench [--out-dir DIR] [--repetitions N]
                      [--min-time SECONDS] [--only SCENE...]
       check_goals.py --json FILE... (check results written before)
"""
import argparse
import json
import os
import statistics
import subprocess
import sys

# (scene executable, benchmark name, counter, limit, what the goal says)
# A goal holds when the median of the counter is at most the limit.
GOALS = [
    ("sprite_frame_bench", "BM_SpriteFrame/manual_time", "vs_pixman", 1.2,
     "1. sprite frame step, 1023 sprites at 1920x1080: <= 1.2x pixman"),
    ("sprite_frame_bench", "BM_SpriteFrame/manual_time", "vs_memcpy", 20.0,
     "1. sprite frame step: <= 20x a hot memcpy of the frame"),
    ("sprite_frame_bench", "BM_SpriteFrameLive/manual_time", "vs_pixman", 1.2,
     "1. live overlay frame step, 1023 translucent sprites on a transparent snapshot: <= 1.2x pixman OVER"),
]
for size in ("240/320", "800/480", "1920/1080"):
    label = size.replace("/", "x")
    GOALS.append(("clear_bench", "BM_ClearBrush/%s/manual_time" % size, "vs_pixman_fill", 1.25,
                  "2. brush clear %s: <= 1.25x pixman_fill" % label))
for size in ("240/320", "800/480", "1920/1080"):
    label = size.replace("/", "x")
    GOALS.append(("clear_bench", "BM_ClearSnapshot/%s/manual_time" % size, "vs_memcpy", 1.1,
                  "2. snapshot clear %s: <= 1.1x memcpy" % label))
GOALS += [
    ("text_bench", "BM_Text/latin/manual_time", "vs_freetype", 0.1,
     "3. text, Latin: >= 10x faster than uncached FreeType (<= 0.1x)"),
    ("text_bench", "BM_Text/latin/manual_time", "vs_memcpy", 3.0,
     "3. text, Latin: <= 3x a hot memcpy of a 1920x1080 frame"),
    ("text_bench", "BM_Text/japanese/manual_time", "vs_freetype", 0.1,
     "3. text, Japanese: >= 10x faster than uncached FreeType (<= 0.1x)"),
    ("text_bench", "BM_Text/japanese/manual_time", "vs_memcpy", 6.0,
     "3. text, Japanese: <= 6x a hot memcpy of a 1920x1080 frame"),
    ("shapes_bench", "BM_Shapes/rectangles/manual_time", "vs_cairo", 1.2,
     "4. 1000 filled, outlined rectangles: <= 1.2x cairo"),
    ("shapes_bench", "BM_Shapes/rectangles/manual_time", "vs_fill", 1.75,
     "4. 1000 filled, outlined rectangles: <= 1.75x a plain fill"),
    ("shapes_bench", "BM_Shapes/ellipses/manual_time", "vs_cairo", 1.2,
     "4. 1000 ellipses: <= 1.2x cairo"),
    ("shapes_bench", "BM_Shapes/lines/manual_time", "vs_cairo", 1.2,
     "4. 1000 lines of width 3: <= 1.2x cairo"),
    ("shapes_bench", "BM_Shapes/triangles/manual_time", "vs_cairo", 1.2,
     "4. 1000 filled triangles: <= 1.2x cairo"),
    ("simulation_bench", "BM_Simulation/manual_time", "vs_sprite_frame", 0.25,
     "5. simulation of 1023 instances: <= 0.25x the sprite frame step"),
    ("x11_present_bench", "BM_X11Present/manual_time", "vs_xputimage", 0.7,
     "6. present under X11 (MIT-SHM, own Xvfb): <= 0.7x XPutImage"),
    ("wayland_present_bench", "BM_WaylandPresent/manual_time", "vs_memcpy_commit", 1.5,
     "6. present under Wayland (own headless sway): <= 1.5x memcpy into wl_shm plus commit"),
    ("parse_bench", "BM_Parse/manual_time", "vs_strtod", 2.0,
     "8. parse of a 65,535-byte settings file: <= 2x strtol/strtod"),
    ("sprite_frame_bench", "BM_WorstFrame/0/manual_time", "vs_sprite_frame", 3.0,
     "9. worst frame, 1023 lines to 1023, stderr /dev/null: <= 3x sprite frame"),
    ("sprite_frame_bench", "BM_WorstFrame/1/manual_time", "vs_sprite_frame", 3.0,
     "9. worst frame, stderr to a drained pipe: <= 3x the sprite frame step"),
]

# A scene that cannot run here (the X11 one without Xvfb) ends its benchmark
# with an error message starting with this; its goals are printed as skipped,
# with the message, and do not count as failed.
SKIP_PREFIX = "skipped: "

# Goals that are not measured here, with the reason printed in their place.
SKIPPED = [
    "7. idle CPU of the resident process: not a benchmark here, checked by the player's idle test",
]

SCENES = []
for goal in GOALS:
    if goal[0] not in SCENES:
        SCENES.append(goal[0])


def run_scene(bin_dir, out_dir, scene, repetitions, min_time):
    """Runs one scene executable; the path of its JSON results, or None."""
    exe = os.path.join(bin_dir, scene)
    out = os.path.join(out_dir, scene + ".json")
    if not os.access(exe, os.X_OK):
        print("%s: not built (%s)" % (scene, exe), file=sys.stderr)
        return None
    cmd = [exe,
           "--benchmark_repetitions=%d" % repetitions,
           "--benchmark_enable_random_interleaving=true",
           "--benchmark_min_time=%g" % min_time,
           "--benchmark_out=" + out,
           "--benchmark_out_format=json"]
    print("running " + " ".join(cmd), file=sys.stderr, flush=True)
    result = subprocess.run(cmd, stdout=subprocess.DEVNULL)
    if result.returncode != 0:
        print("%s: exited with %d" % (scene, result.returncode), file=sys.stderr)
        return None
    return out


def load_values(paths):
    """Per (benchmark, counter), the counter's value in every repetition, and
    the error message of every benchmark that reported one."""
    values = {}
    errors = {}
    context = None
    for path in paths:
        with open(path) as f:
            data = json.load(f)
        context = context or data.get("context")
        for row in data.get("benchmarks", []):
            if row.get("run_type") != "iteration":
                continue
            name = row.get("run_name") or row.get("name")
            if row.get("error_occurred"):
                errors[name] = row.get("error_message", "error")
                continue
            for key, value in row.items():
                if key.startswith("vs_"):
                    values.setdefault((name, key), []).append(float(value))
    return values, errors, context


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown CPU"


def goal_number(text):
    return int(text.split(".", 1)[0])


def check(values, errors, repetitions):
    """Prints one line per goal, in the goals' order; True when every goal holds."""
    all_hold = True
    lines = []
    for scene, name, counter, limit, text in GOALS:
        runs = values.get((name, counter), [])
        if errors.get(name, "").startswith(SKIP_PREFIX):
            lines.append((goal_number(text), "%-70s  SKIPPED (%s)" % (text, errors[name][len(SKIP_PREFIX):])))
            continue
        if name in errors or len(runs) < repetitions:
            reason = errors.get(name, "%d of %d repetitions" % (len(runs), repetitions))
            lines.append((goal_number(text), "%-70s  NOT MEASURED (%s)" % (text, reason)))
            all_hold = False
            continue
        median = statistics.median(runs)
        holds = median <= limit
        all_hold = all_hold and holds
        lines.append((goal_number(text), "%-70s  median %6.3f  spread %6.3f..%6.3f  %s" %
                      (text, median, min(runs), max(runs), "holds" if holds else "DOES NOT HOLD")))
    for text in SKIPPED:
        lines.append((goal_number(text), text))
    print("CPU: %s, %d cores" % (cpu_model(), os.cpu_count() or 0))
    for _, line in sorted(lines, key=lambda entry: entry[0]):
        print(line)
    return all_hold


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin-dir", help="directory of the scene executables")
    parser.add_argument("--out-dir", help="directory for the JSON results (default: BIN_DIR/results)")
    parser.add_argument("--repetitions", type=int, default=9)
    parser.add_argument("--min-time", type=float, default=0.25, help="seconds of our time per repetition")
    parser.add_argument("--only", nargs="*", help="run only these scenes")
    parser.add_argument("--json", nargs="*", help="check these results instead of running the suite")
    args = parser.parse_args()

    if args.json:
        paths = args.json
    else:
        if not args.bin_dir:
            parser.error("--bin-dir or --json is needed")
        out_dir = args.out_dir or os.path.join(args.bin_dir, "results")
        os.makedirs(out_dir, exist_ok=True)
        paths = []
        for scene in SCENES:
            if args.only and scene not in args.only:
                continue
            path = run_scene(args.bin_dir, out_dir, scene, args.repetitions, args.min_time)
            if path:
                paths.append(path)
    values, errors, _ = load_values(paths)
    if args.only:
        GOALS[:] = [g for g in GOALS if g[0] in args.only]
    return 0 if check(values, errors, args.repetitions) else 1


if __name__ == "__main__":
    sys.exit(main())
