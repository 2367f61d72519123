#!/usr/bin/env python3
"""The G-code `varnholt-cli gcode` writes, run through LinuxCNC's standalone interpreter rs274,
does what `scene --format json` and `time --format json` say the program does.

    rs274_compare.py CLI SOURCE CORPUS          every sample, test fixture and corpus file
                                                with moves, and copies of a sample with an
                                                arc turned into the other planes
    rs274_compare.py --self-test CLI SOURCE     the comparison itself: hand-written pairs of a
                                                scene and G-code, and faults put by hand into
                                                the G-code of a sample, must all be reported

rs274 turns G-code into canonical machining commands (STRAIGHT_TRAVERSE, STRAIGHT_FEED,
ARC_FEED, SET_FEED_RATE, CHANGE_TOOL, DWELL, ...). Reading those instead of the G-code text
means the words are judged as a real controller's interpreter reads them: modal state, the
plane an arc is in, incremental arc centres, what a tool change does.
"""
import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

SKIP = 77  # SKIP_RETURN_CODE of both tests

# rs274 prints coordinates with 4 decimals (up to 5e-5 off) of numbers the writer itself has
# rounded to its own decimals (another 5e-5 at 4 decimals): 1e-4 for both, and a margin for
# the scene's doubles, so that a fault of 1e-3 still shows.
POINT_TOL = 1.5e-4
# An arc's centre is its start (rounded) plus I/J/K (rounded), printed rounded once more.
CENTER_TOL = 2e-4
# Feeds: the F word against the scene's double, both printed to at most 4 decimals.
FEED_TOL = 1.5e-4
# The chords of an arc outside a principal plane lie within the writer's tolerance (its
# --tolerance, else the default) of the arc, plus the rounding above.
TOLERANCE = 0.001  # `gcode`'s default
CHORD_TOL = TOLERANCE + POINT_TOL
TIME_REL = 1e-3
MAX_REPORTS_PER_STEP = 6

# The heading of a workingstep; one without moves or left out says so after its label.
STEP_COMMENT = re.compile(r"^#(\d+) (\w+) '(.*?)'(?:: (.*))?$")
CANON = re.compile(r"^\s*(\d+) N(\.{5}|\d+)\s*([A-Z_0-9]+)\((.*)\)\s*$")
WORD = re.compile(r"([A-Z])\s*([-+]?(?:\d+\.?\d*|\.\d+))")
# rs274's ARC_FEED gives the end in the plane's own axis order: (first, second, axis), where
# first x second is the axis (X x Y = Z, Z x X = Y, Y x Z = X), so a positive rotation is
# counter-clockwise seen from the positive end of the axis in every plane.
PLANES = {"XY": (0, 1, 2), "XZ": (2, 0, 1), "YZ": (1, 2, 0)}
PLANE_OF_AXIS = {2: "XY", 1: "XZ", 0: "YZ"}


def rs274_path():
    """The interpreter: $VARNHOLT_RS274 where set (empty: none, to see the test skip), else
    rs274 on the path."""
    given = os.environ.get("VARNHOLT_RS274")
    if given is not None:
        return given if given and os.access(given, os.X_OK) else None
    return shutil.which("rs274") or ("/usr/bin/rs274" if os.access("/usr/bin/rs274", os.X_OK) else None)


# ---------------------------------------------------------------- vectors

def sub(a, b):
    return [a[0] - b[0], a[1] - b[1], a[2] - b[2]]


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def cross(a, b):
    return [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]]


def scale(a, s):
    return [a[0] * s, a[1] * s, a[2] * s]


def norm(a):
    return math.sqrt(dot(a, a))


def off_by(a, b):
    return max(abs(a[i] - b[i]) for i in range(3))


def fmt(p):
    return "[%s]" % ", ".join("%.4f" % v for v in p)


class Arc:
    """An arc from `start` about the line through `center` along `normal`; `turn` the unit
    vector it turns about (right hand), `sweep` its angle, its rise along `turn` linear in the
    angle and its radius linear from the start's to the end's (as a controller runs a spiral)."""

    def __init__(self, start, end, center, turn, extra_turns=0):
        self.start, self.end, self.turn = start, end, turn
        rel0 = sub(start, center)
        self.h0 = dot(rel0, turn)
        self.axis_point = sub(center, scale(turn, dot(sub(center, start), turn)))  # at the start's height
        self.u = sub(rel0, scale(turn, self.h0))
        self.r0 = norm(self.u)
        if self.r0 > 0:
            self.u = scale(self.u, 1 / self.r0)
        self.v = cross(turn, self.u)
        rel1 = sub(end, self.axis_point)
        self.rise = dot(rel1, turn)
        a1 = self.angle(end)
        if a1 < 1e-9:  # back where it started: a full turn, as a controller reads it
            a1 = 2 * math.pi
        self.sweep = a1 + 2 * math.pi * extra_turns
        self.r1 = self.radius_at(end)

    def angle(self, p):
        rel = sub(p, self.axis_point)
        a = math.atan2(dot(rel, self.v), dot(rel, self.u))
        return a + 2 * math.pi if a < 0 else a

    def radius_at(self, p):
        rel = sub(p, self.axis_point)
        return norm(sub(rel, scale(self.turn, dot(rel, self.turn))))

    def length(self):
        planar = self.sweep * (self.r0 + self.r1) / 2
        return math.hypot(planar, self.rise)


# ---------------------------------------------------------------- G-code text

def strip_comments(line):
    line = re.sub(r"\([^)]*\)", " ", line)
    return line.split(";", 1)[0]


def words(line):
    return [(w, float(v)) for w, v in WORD.findall(strip_comments(line).upper())]


def numbered(text):
    """The G-code with its line number as the N word of each line, so that rs274 names the
    line of every canonical command. The program's % lines and O number stay as they are."""
    out = []
    for i, line in enumerate(text.split("\n"), 1):
        s = line.strip()
        if not s or s == "%" or re.match(r"^O\d+", s):
            out.append(line)
        else:
            out.append("N%d %s" % (i, re.sub(r"^N\d+\s*", "", s)))
    return "\n".join(out)


def tool_table(text):
    """A LinuxCNC tool table with every tool number of the G-code; the diameter from the
    opening comment "(T<n> ... D<d> ...)" where it gives one, length 0."""
    numbers, diameters = set(), {}
    for line in text.split("\n"):
        for w, v in words(line):
            if w in "TH" and v == int(v) and v > 0:
                numbers.add(int(v))
        m = re.match(r"^\(T(\d+)\b(.*)\)$", line.strip())
        if m:
            numbers.add(int(m.group(1)))
            d = re.search(r"\bdiameter\s*(\d+(?:\.\d+)?)", m.group(2)) or re.search(r"\bD(\d+(?:\.\d+)?)\b", m.group(2))
            if d:
                diameters[int(m.group(1))] = float(d.group(1))
    return "".join("T%d P%d D%g Z0 ;tool %d\n" % (n, n, diameters.get(n, 0), n) for n in sorted(numbers))


# ---------------------------------------------------------------- rs274

class Command:
    def __init__(self, seq, line, name, args, raw):
        self.seq, self.line, self.name, self.args, self.raw = seq, line, name, args, raw.strip()

    def numbers(self):
        return [float(x) for x in re.split(r"[,\s]+", self.args.strip()) if x]


def fanuc_for_linuxcnc(text):
    """Fanuc's dwell in LinuxCNC's words: Fanuc gives its seconds as G4 X (or U), or as G4 P in
    whole milliseconds; LinuxCNC reads only P, in seconds. Everything else of the dialect
    rs274 reads as it is (the % lines, the O number, arc centres incremental by default)."""
    out = []
    for line in text.split("\n"):
        if re.search(r"\bG0?4\b", strip_comments(line)):
            if re.search(r"\b[XU]\s*[\d.]", line):
                line = re.sub(r"\b[XU]\s*(\d+\.?\d*|\.\d+)", r"P\1", line)
            else:
                line = re.sub(r"\bP\s*(\d+)(?![\d.])", lambda m: "P%g" % (int(m.group(1)) / 1000), line)
        out.append(line)
    return "\n".join(out)


def run_rs274(rs274, text, folder, name):
    """Runs rs274 on `text` as it is (for errors) and numbered; the commands of the numbered run
    with their lines, and the interpreter's errors. rs274 keeps a history and a tool map in
    $HOME, so it gets the temporary folder as its home."""
    errors = []
    env = dict(os.environ, HOME=folder)
    table = os.path.join(folder, name + ".tbl")
    with open(table, "w") as f:
        f.write(tool_table(text))
    outputs = []
    for variant, body in (("", text), (".numbered", numbered(text))):
        path = os.path.join(folder, name + variant + ".ngc")
        with open(path, "w") as f:
            f.write(body)
        done = subprocess.run([rs274, "-g", path, "-t", table], cwd=folder, env=env,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        out = done.stdout.decode("utf-8", "replace")
        err = "\n".join(l for l in done.stderr.decode("utf-8", "replace").split("\n")
                        if l.strip() and l.strip() != "executing")
        commands, stray = [], []
        for raw in out.split("\n"):
            if not raw.strip():
                continue
            m = CANON.match(raw)
            if not m:
                stray.append(raw.strip())
                continue
            line = None if m.group(2).startswith(".") else int(m.group(2))
            commands.append(Command(int(m.group(1)), line, m.group(3), m.group(4), raw))
        if not variant:
            if done.returncode != 0 or err or stray:
                errors.append("rs274 exit status %d: %s" % (done.returncode, " | ".join(stray + [err]).strip(" |")))
            elif not any(c.name == "PROGRAM_END" for c in commands):
                errors.append("rs274 did not reach the program's end (M30)")
        outputs.append(commands)
    plain = [(c.name, c.args) for c in outputs[0]]
    if not errors and plain != [(c.name, c.args) for c in outputs[1]]:
        errors.append("rs274 reads the G-code with line numbers differently from without them")
    return outputs[1], errors


class Event:
    """A motion or dwell of the canonical commands with the machine state it ran in."""

    def __init__(self, kind, command, start, end, state, arc=None, seconds=0.0):
        self.kind, self.command, self.start, self.end, self.arc, self.seconds = kind, command, start, end, arc, seconds
        self.feed, self.feed_command = state["feed"], state["feed_command"]
        self.plane, self.g5x, self.tool = state["plane"], state["g5x"], state["tool"]
        self.speed, self.speed_command, self.direction = state["speed"], state["speed_command"], state["direction"]
        self.offset_pending = state["offset_pending"]
        self.flood, self.mist = state["flood"], state["mist"]

    def length(self):
        return self.arc.length() if self.arc else norm(sub(self.end, self.start))


class Segment:
    """The canonical commands from one workingstep's comment to the next."""

    def __init__(self, instance, comment, line):
        self.instance, self.comment, self.line = instance, comment, line
        self.events, self.tool_changes, self.spindle_speeds = [], [], []
        # Moves that are not the scene's: up to the machine's top (G53 Z0, G28) and from there
        # across at that height; and what is unsafe about them, (text, command) each.
        self.machine_moves, self.unsafe = [], []


# A retract to the machine's top: in machine coordinates (G53) or to the home position (G28);
# the scene has no machine coordinates, so these moves are not in it.
RETRACT = re.compile(r"\bG0?(53|28)\b")


def is_retract(command, lines):
    if not lines or command.line is None or not 0 < command.line <= len(lines):
        return False
    return bool(RETRACT.search(strip_comments(lines[command.line - 1]).upper()))


def segments_of(commands, lines=None):
    """The canonical commands by workingstep. With the G-code's `lines`, moves to the machine's
    top (G53 / G28) and the move across at that height after one are kept apart from the
    scene's moves, and what is unsafe about tool changes and the program's end is noted: a
    tool change not from the machine's top, a first move after it down and across at once, an
    end not at the top."""
    state = {"feed": None, "feed_command": None, "plane": "XY", "g5x": 1, "tool": None, "selected": None, "speed": 0.0,
             "speed_command": None, "direction": 0, "offset_pending": False, "flood": False, "mist": False}
    pos = [0.0, 0.0, 0.0]
    segments = [Segment(None, "before the first workingstep", None)]
    problems = []
    at_top = False        # the last move went up to the machine's top
    after_change = None   # the CHANGE_TOOL whose first move is still to come
    for c in commands:
        seg = segments[-1]
        n = c.name
        try:
            if n in ("STRAIGHT_TRAVERSE", "STRAIGHT_FEED", "ARC_FEED") and lines is not None:
                end = c.numbers()[:3] if n != "ARC_FEED" else None
                if n == "STRAIGHT_TRAVERSE" and is_retract(c, lines):
                    if off_by(end[:2] + [0], pos[:2] + [0]) > POINT_TOL:
                        seg.unsafe.append(("the retract to the machine's top moves across too", c))
                    seg.machine_moves.append(Event("retract", c, pos, end, state))
                    pos, at_top = end, True
                    continue
                if at_top and n == "STRAIGHT_TRAVERSE" and abs(end[2] - pos[2]) <= POINT_TOL:
                    # Across at the machine's top, on to where the scene's moves begin.
                    seg.machine_moves.append(Event("across", c, pos, end, state))
                    pos, at_top, after_change = end, False, None
                    continue
                if after_change is not None:
                    down_and_across = n == "STRAIGHT_TRAVERSE" and off_by(end[:2] + [0], pos[:2] + [0]) > POINT_TOL \
                        and abs(end[2] - pos[2]) > POINT_TOL
                    seg.unsafe.append(("after the tool change the first move goes %s, not across at the machine's "
                                       "top and then down" % ("down and across in one G0" if down_and_across
                                                               else "to %s" % fmt(end or pos)), c))
                    after_change = None
                at_top = False
            elif n == "CHANGE_TOOL" and lines is not None:
                if not at_top:
                    seg.unsafe.append(("the tool changes without a retract to the machine's top (G53 G0 Z0 or "
                                       "G91 G28 Z0) before it", c))
                after_change = c
            elif n == "PROGRAM_END" and lines is not None and not at_top:
                seg.unsafe.append(("the program ends without a retract to the machine's top (G53 G0 Z0 or "
                                   "G91 G28 Z0)", c))
            if n == "COMMENT":
                m = STEP_COMMENT.match(c.args.strip().strip('"'))
                if m:
                    segments.append(Segment(int(m.group(1)), "(%s)" % c.args.strip().strip('"'), c.line))
            elif n == "SET_FEED_RATE":
                state["feed"], state["feed_command"] = c.numbers()[0], c
            elif n == "SET_SPINDLE_SPEED":
                state["speed"], state["speed_command"] = c.numbers()[-1], c
                seg.spindle_speeds.append(c)
            elif n == "START_SPINDLE_CLOCKWISE":
                state["direction"] = 1
            elif n == "START_SPINDLE_COUNTERCLOCKWISE":
                state["direction"] = -1
            elif n == "STOP_SPINDLE_TURNING":
                state["direction"] = 0
            elif n in ("FLOOD_ON", "FLOOD_OFF"):
                state["flood"] = n == "FLOOD_ON"
            elif n in ("MIST_ON", "MIST_OFF"):
                state["mist"] = n == "MIST_ON"
            elif n == "SELECT_TOOL":
                state["selected"] = int(c.numbers()[0])
            elif n == "CHANGE_TOOL":
                # Its argument is the tool's place in the tool table; the number is the one
                # SELECT_TOOL (the T word) gave.
                state["tool"], state["offset_pending"] = state["selected"], True
                c.tool = state["selected"]
                seg.tool_changes.append(c)
            elif n == "USE_TOOL_LENGTH_OFFSET":
                state["offset_pending"] = False
            elif n == "SELECT_PLANE":
                state["plane"] = c.args.strip().replace("CANON_PLANE_", "")
            elif n == "SET_G5X_OFFSET":
                state["g5x"] = int(c.numbers()[0])
            elif n in ("STRAIGHT_TRAVERSE", "STRAIGHT_FEED"):
                end = c.numbers()[:3]
                kind = "rapid" if n == "STRAIGHT_TRAVERSE" else "feed"
                seg.events.append(Event(kind, c, pos, end, state))
                pos = end
            elif n == "ARC_FEED":
                v = c.numbers()
                first, second, axis = PLANES[state["plane"]]
                end, center = [0.0] * 3, list(pos)
                end[first], end[second], end[axis] = v[0], v[1], v[5]
                center[first], center[second] = v[2], v[3]
                rotation = int(v[4])
                turn = [0.0] * 3
                turn[axis] = 1.0 if rotation > 0 else -1.0
                arc = Arc(pos, end, center, turn, abs(rotation) - 1)
                seg.events.append(Event("arc", c, pos, end, state, arc=arc))
                seg.events[-1].rotation = rotation
                seg.events[-1].center = center
                pos = end
            elif n == "DWELL":
                seg.events.append(Event("dwell", c, pos, pos, state, seconds=c.numbers()[0]))
        except (ValueError, IndexError, KeyError) as e:
            problems.append("cannot read %s (%s)" % (c.raw, e))
    return segments, problems


# ---------------------------------------------------------------- the comparison

class Report:
    def __init__(self, label, lines):
        self.label, self.lines, self.items = label, lines, []

    def line_text(self, command):
        if command is None or command.line is None:
            return "(no line)"
        n = command.line
        return "line %d `%s`" % (n, self.lines[n - 1].strip() if 0 < n <= len(self.lines) else "?")

    def add(self, where, what, command=None):
        text = "%s: %s: %s" % (self.label, where, what)
        if command is not None:
            text += "\n    at %s: %s" % (self.line_text(command), command.name + "(" + command.args + ")")
        self.items.append(text)


def scene_steps(scene):
    """The workingsteps with moves in machining order: (setup instance, workingstep)."""
    out = []
    for setup in scene.get("setups", []):
        for ws in setup["workingsteps"]:
            if ws.get("moves"):
                out.append((setup.get("instance"), ws))
    return out


def left_out(gcode_text, stderr_text):
    """Workingsteps the G-code says it left out: the first instance number of each comment and
    each line of the writer's standard error that says "left out"."""
    named = set()
    texts = re.findall(r"\(([^)]*)\)", gcode_text) + (stderr_text or "").split("\n")
    for text in texts:
        m = re.search(r"#(\d+)", text)
        if m and "left out" in text:
            named.add(int(m.group(1)))
    return named


def compare_arc(rep, where, m, prev, ev, events, j, chord_tol):
    """A scene arc against the events from index j; returns the index after what it used."""
    center, normal, end = m["center"], m["normal"], m["to"]
    nlen = norm(normal)
    normal = scale(normal, 1 / nlen) if nlen else [0, 0, 1]
    turn = scale(normal, -1 if m.get("clockwise") else 1)
    axis = max(range(3), key=lambda k: abs(normal[k]))
    principal = abs(abs(normal[axis]) - 1) < 1e-9
    want = Arc(prev, end, center, turn)
    if principal:
        if ev.kind != "arc":
            rep.add(where, "expected an arc (G%d in %s) to %s, found %s" % (
                3 if turn[axis] > 0 else 2, PLANE_OF_AXIS[axis], fmt(end), ev.kind), ev.command)
            return j + 1
        if ev.plane != PLANE_OF_AXIS[axis]:
            rep.add(where, "arc about %s in plane %s, expected %s" % (fmt(normal), ev.plane, PLANE_OF_AXIS[axis]), ev.command)
        elif (ev.rotation > 0) != (turn[axis] > 0):
            rep.add(where, "arc turns %s, the scene's turns %s (clockwise %s about %s)" % (
                "counter-clockwise (G3)" if ev.rotation > 0 else "clockwise (G2)",
                "counter-clockwise (G3)" if turn[axis] > 0 else "clockwise (G2)", m.get("clockwise"), fmt(normal)), ev.command)
        elif abs(ev.rotation) != 1:
            rep.add(where, "arc of %d turns, the scene's is less than one" % abs(ev.rotation), ev.command)
        if off_by(ev.end, end) > POINT_TOL:
            rep.add(where, "arc ends at %s, expected %s" % (fmt(ev.end), fmt(end)), ev.command)
        first, second, _ = PLANES[ev.plane]
        if max(abs(ev.center[k] - center[k]) for k in (first, second)) > CENTER_TOL:
            rep.add(where, "arc centre %s, expected %s" % (fmt(ev.center), fmt(center)), ev.command)
        elif abs(ev.arc.sweep - want.sweep) > 1e-3:
            rep.add(where, "arc sweeps %.4f rad, expected %.4f" % (ev.arc.sweep, want.sweep), ev.command)
        return j + 1
    # Outside the principal planes: chords on the arc, each within the tolerance of it, going
    # round the way the arc goes, the last at its end.
    run, k, angle_before = [], j, 0.0
    while k < len(events) and events[k].kind == "feed":
        e = events[k]
        a = want.angle(e.end)
        if a < angle_before - 1e-9:  # past a full turn (an arc back to its start)
            a += 2 * math.pi
        run.append((e, a))
        k += 1
        if off_by(e.end, end) <= POINT_TOL and a >= want.sweep - 1e-3:
            break
        angle_before = a
    else:
        rep.add(where, "expected an arc about %s to %s as chords, found %s" % (
            fmt(normal), fmt(end), events[k].kind if k < len(events) else "nothing"), events[k].command if k < len(events) else ev.command)
        return max(k, j + 1)
    previous = 0.0
    for e, a in run:
        frac = a / want.sweep if want.sweep else 1
        r = want.r0 + (want.r1 - want.r0) * frac
        radial = abs(want.radius_at(e.end) - r)
        height = abs(dot(sub(e.end, want.axis_point), want.turn) - (want.rise * frac))
        sagitta = r * (1 - math.cos((a - previous) / 2))
        if radial > chord_tol or height > chord_tol or a < previous - 1e-9 or sagitta > chord_tol:
            rep.add(where, "chord of the arc about %s to %s: end %s is %.4f mm off the arc (%.4f along it), its chord %.4f mm" % (
                fmt(normal), fmt(end), fmt(e.end), radial, height, sagitta), e.command)
            break
        if e.feed is not None and m.get("feed") is not None and abs(e.feed - m["feed"]) > FEED_TOL:
            rep.add(where, "feed %.4f, expected %.4f" % (e.feed, m["feed"]), e.feed_command or e.command)
            break
        previous = a
    return k


def compare_step(rep, where, ws, seg, chord_tol):
    """The moves of one workingstep against the events of its segment."""
    before = len(rep.items)
    moves, events = ws["moves"], seg.events
    prev = events[0].start if events else [0, 0, 0]
    j = 0
    reported_feeds = set()
    for i, m in enumerate(moves):
        if len(rep.items) - before >= MAX_REPORTS_PER_STEP:
            rep.items.append("%s: %s: ... (further differences of this workingstep not listed)" % (rep.label, where))
            return
        if j >= len(events):
            rep.add(where, "move %d (%s to %s) and %d more of the scene are not in the G-code" % (
                i + 1, m["kind"], fmt(m.get("to") or prev), len(moves) - i - 1))
            return
        ev = events[j]
        kind = m["kind"]
        if kind == "arc":
            j = compare_arc(rep, where, m, prev, ev, events, j, chord_tol)
        elif kind in ("rapid", "feed"):
            if ev.kind != kind:
                rep.add(where, "move %d: expected %s to %s, found %s" % (i + 1, kind, fmt(m["to"]), ev.kind), ev.command)
            elif off_by(ev.end, m["to"]) > POINT_TOL:
                rep.add(where, "move %d: %s ends at %s, expected %s" % (i + 1, kind, fmt(ev.end), fmt(m["to"])), ev.command)
            j += 1
        elif kind == "dwell":
            if ev.kind != "dwell":
                rep.add(where, "move %d: expected a dwell of %g s, found %s" % (i + 1, m.get("seconds", 0), ev.kind), ev.command)
            elif abs(ev.seconds - m.get("seconds", 0)) > 1.5e-4:
                rep.add(where, "dwell of %.4f s, expected %g" % (ev.seconds, m.get("seconds", 0)), ev.command)
            j += 1
        else:
            rep.add(where, "move %d of unknown kind %r" % (i + 1, kind))
            j += 1
        if kind in ("feed", "arc") and ev.kind in ("feed", "arc") and m.get("feed") is not None:
            key = id(ev.feed_command)
            if ev.feed is None:
                rep.add(where, "move %d: no feed rate set, expected %g" % (i + 1, m["feed"]), ev.command)
            elif abs(ev.feed - m["feed"]) > FEED_TOL and key not in reported_feeds:
                reported_feeds.add(key)
                rep.add(where, "feed rate %.4f, the scene's move %d has %g" % (ev.feed, i + 1, m["feed"]),
                        ev.feed_command or ev.command)
        if m.get("to") is not None:
            prev = m["to"]
    for ev in events[j:]:
        rep.add(where, "%s to %s is not in the scene" % (ev.kind, fmt(ev.end)), ev.command)
        break


def listed_tools(text):
    """{T number: tool instance or None} of the opening comments "(T1 #40 'name' ...)"."""
    listed = {}
    for line in text.split("\n"):
        m = re.match(r"^\(T(\d+)\b(?:\s+#(\d+))?", line.strip())
        if m:
            listed[int(m.group(1))] = int(m.group(2)) if m.group(2) else None
    return listed


def compare_machine(rep, where, ws, seg, state, setup_number, gcode_lines):
    """Tool changes, length offsets, spindle and work offset of one workingstep."""
    tool = (ws.get("tool") or {}).get("instance")
    moves = seg.events
    for c in seg.tool_changes:
        n = c.tool
        if n not in state["listed"]:
            rep.add(where, "T%d is not among the tools the opening comments list" % n, c)
        elif tool is not None and state["listed"][n] is not None and state["listed"][n] != tool:
            rep.add(where, "T%d is tool #%d by the opening comments, the workingstep's tool is #%d" % (
                n, state["listed"][n], tool), c)
    first_cut = next((e for e in moves if e.kind in ("feed", "arc")), None)
    first = moves[0] if moves else None
    if tool is not None and first is not None:
        number = state["numbers"].get(tool)
        if tool != state["tool"]:
            if not seg.tool_changes:
                rep.add(where, "the tool changes (from %s to #%d) but the G-code changes no tool" % (
                    "#%d" % state["tool"] if state["tool"] is not None else "none", tool), first.command)
        if first.tool is None:
            rep.add(where, "no tool in the spindle for the first move", first.command)
        elif number is None:
            owner = next((t for t, n in state["numbers"].items() if n == first.tool), None)
            if owner is not None and owner != tool:
                rep.add(where, "tool #%d runs as T%d, already the number of tool #%d" % (tool, first.tool, owner), first.command)
            state["numbers"][tool] = first.tool
        elif first.tool != number:
            rep.add(where, "tool #%d runs as T%d, earlier as T%d" % (tool, first.tool, number), first.command)
        if first.offset_pending:
            rep.add(where, "no tool length offset (G43) after the tool change", seg.tool_changes[-1] if seg.tool_changes else first.command)
        state["tool"] = tool
    for c in seg.tool_changes:
        # The G43 of the change names the tool's own offset register.
        for line in gcode_lines[(c.line or 1) - 1:(c.line or 1) + 3]:
            ws_words = dict(words(line))
            if "G" in ws_words and ws_words["G"] == 43 and "H" in ws_words and int(ws_words["H"]) != c.tool:
                rep.add(where, "G43 H%d after the change to T%s" % (ws_words["H"], c.tool), c)
    if first_cut is not None:
        if first_cut.direction == 0 or first_cut.speed <= 0:
            rep.add(where, "the spindle is not turning for the first cut", first_cut.command)
        want = spindle_of(ws)
        if want is not None:
            speed, direction = want
            # S as rs274 prints it: 4 decimals of what the writer wrote.
            if abs(first_cut.speed - speed) > max(1.5e-4, 1e-6 * speed):
                rep.add(where, "spindle speed %.4f, the technology gives %.6g rpm" % (first_cut.speed, speed),
                        first_cut.speed_command or first_cut.command)
            if direction and first_cut.direction and first_cut.direction != direction:
                rep.add(where, "the spindle turns %s, expected %s" % (
                    "clockwise (M3)" if first_cut.direction > 0 else "counter-clockwise (M4)",
                    "clockwise (M3)" if direction > 0 else "counter-clockwise (M4)"), first_cut.speed_command or first_cut.command)
    coolant = ws.get("coolant")
    if first_cut is not None and isinstance(coolant, dict):
        # Flood for flood or through-spindle coolant, mist for mist, as the operation's machine
        # functions say; off where they say neither.
        flood = bool(coolant.get("flood") or coolant.get("through_spindle"))
        mist = bool(coolant.get("mist"))
        if (first_cut.flood, first_cut.mist) != (flood, mist):
            rep.add(where, "coolant %s for the first cut, the machine functions give %s" % (
                coolant_text(first_cut.flood, first_cut.mist), coolant_text(flood, mist)), first_cut.command)
    for c in seg.spindle_speeds:
        given = [v for w, v in words(gcode_lines[c.line - 1]) if w == "S"] if c.line else []
        if given and abs(abs(given[0]) - c.numbers()[-1]) > 1.5e-4 * max(1, abs(given[0])):
            rep.add(where, "spindle speed %s read as %s" % (given[0], c.numbers()[-1]), c)
    if setup_number is not None:
        wrong = next((e for e in moves if e.g5x != setup_number), None)
        if wrong is not None:
            rep.add(where, "runs in work offset G%d, its setup is the %s (G%d)" % (
                53 + wrong.g5x, ordinal(setup_number), 53 + setup_number), wrong.command)


def coolant_text(flood, mist):
    return " and ".join([w for w, on in (("flood", flood), ("mist", mist)) if on]) or "off"


def spindle_of(ws):
    """(rpm, +1 for M3 / -1 for M4 / None) expected of a workingstep, where known: the
    "spindle" a test scene gives (rpm, the file's sign), else what the file's technology says
    (added by check_file as "_spindle"). The sense is the tool's hand of cut where it has one
    ("_hand", from the file, added by check_file; a test scene gives it by hand): a right-hand
    tool turns clockwise (M3), a left-hand one counter-clockwise (M4); else the sign's."""
    if "_spindle" in ws:
        found = ws["_spindle"]
    else:
        want = ws.get("spindle")
        if not (isinstance(want, (int, float)) and want):
            return None
        found = abs(want), 1 if want < 0 else -1
    hand = ws.get("_hand")
    if hand in ("right", "left"):
        return found[0], 1 if hand == "right" else -1
    return found


def ordinal(n):
    return {1: "first", 2: "second", 3: "third"}.get(n, "%dth" % n)


def canonical_times(seg):
    cutting = length = dwell = 0.0
    for e in seg.events:
        if e.kind in ("feed", "arc"):
            l = e.length()
            length += l
            if e.feed:  # without a feed the time counts none either
                cutting += l / e.feed * 60
        elif e.kind == "dwell":
            dwell += e.seconds
    return cutting, length, dwell


def close(a, b, rel=TIME_REL, absolute=1e-6):
    return abs(a - b) <= max(absolute, rel * max(abs(a), abs(b)))


def compare(label, gcode_text, commands, scene, time_doc, stderr_text="", interpreter_errors=(), chord_tol=CHORD_TOL):
    """Every difference between what rs274 made of the G-code and the scene and time documents,
    one text each."""
    lines = gcode_text.split("\n")
    rep = Report(label, lines)
    for e in interpreter_errors:
        rep.add("interpreter", e)
    segments, problems = segments_of(commands, lines)
    for p in problems:
        rep.add("interpreter output", p)
    for seg in segments:
        for text, command in seg.unsafe:
            rep.add(seg.comment, text, command)
    pre = segments[0]
    for ev in pre.events:
        rep.add(pre.comment, "%s to %s outside any workingstep" % (ev.kind, fmt(ev.end)), ev.command)
        break
    steps = scene_steps(scene)
    setups = []
    for inst, _ in steps:
        if inst is not None and inst not in setups:
            setups.append(inst)
    omitted = left_out(gcode_text, stderr_text)
    times = (time_doc or {}).get("workingsteps", [])
    each = (time_doc or {}).get("tool_change", 5)  # seconds per change
    state = {"tool": None, "numbers": {}, "listed": listed_tools(gcode_text)}
    k = 0
    written_time = 0.0
    matched = 0
    # The time lists every workingstep in the order of the G-code's headings: those it runs with
    # their times, the others as not run and counting nothing.
    at = {"time": 0}

    def not_run(t, why):
        name = "#%s '%s'" % (t.get("instance"), t.get("its_id"))
        if t.get("run", True):
            rep.add(name, "time runs it, the G-code does not (%s)" % why)
        elif t.get("total_seconds", 0) or t.get("tool_change"):
            rep.add(name, "time counts %.4f s (tool change %s) of it, the G-code does not run it" % (
                t.get("total_seconds", 0), t.get("tool_change")))

    def time_of(instance):
        for i in range(at["time"], len(times)):
            if times[i].get("instance") == instance:
                for skipped in times[at["time"]:i]:
                    not_run(skipped, "it is not in it")
                at["time"] = i + 1
                return times[i]
        return None

    for seg in segments[1:]:
        where = seg.comment
        # The next scene workingstep of this instance; those passed over must be ones the
        # G-code says it left out.
        found = next((i for i in range(k, len(steps)) if steps[i][1]["instance"] == seg.instance), None)
        if found is None:
            if seg.events:
                rep.add(where, "a workingstep with moves that the scene does not have (here)", seg.events[0].command)
            else:
                t = time_of(seg.instance)
                if t is not None:
                    not_run(t, "it has no moves")
            continue
        for i in range(k, found):
            inst = steps[i][1]["instance"]
            if inst not in omitted:
                rep.add("#%d '%s'" % (inst, steps[i][1].get("its_id")), "has %d moves in the scene but is not in the G-code, "
                        "nor named as left out" % len(steps[i][1]["moves"]))
        setup, ws = steps[found]
        k = found + 1
        if not seg.events and ws["instance"] in omitted:
            # Its heading is written, its moves are not: left out.
            t = time_of(ws["instance"])
            if t is not None:
                not_run(t, "it is left out")
            continue
        matched += 1
        compare_step(rep, where, ws, seg, chord_tol)
        setup_number = setups.index(setup) + 1 if setup is not None else None
        compare_machine(rep, where, ws, seg, state, setup_number, lines)
        cutting, length, dwell = canonical_times(seg)
        written_time += cutting
        t = time_of(ws["instance"]) if time_doc is not None else None
        if time_doc is not None and t is None:
            rep.add(where, "not in the time document at its place")
        elif t is not None:
            if t.get("run") is False:
                rep.add(where, "time does not run it (%s), the G-code does" % t.get("reason"))
            if not close(cutting, t["cutting_seconds"]):
                rep.add(where, "cutting time %.4f s from the canonical commands, time says %.4f s" % (cutting, t["cutting_seconds"]))
            if not close(length, t["cutting_length"]):
                rep.add(where, "cutting length %.4f mm from the canonical commands, time says %.4f mm" % (length, t["cutting_length"]))
            if not close(dwell, t.get("dwell_seconds", 0)):
                rep.add(where, "dwells %.4f s, time says %.4f s" % (dwell, t.get("dwell_seconds", 0)))
            for f in t.get("feeds", []):
                if not any(e.feed is not None and abs(e.feed - f) <= FEED_TOL for e in seg.events if e.kind in ("feed", "arc")):
                    rep.add(where, "time names the feed %g, the G-code cuts at %s" % (
                        f, sorted({round(e.feed, 4) for e in seg.events if e.feed is not None and e.kind in ("feed", "arc")})))
            changes = len(seg.tool_changes)
            if "tool_change_seconds" in t and not close(changes * each, t["tool_change_seconds"]):
                rep.add(where, "%d tool changes in the G-code, time counts %.4f s of them" % (changes, t["tool_change_seconds"]))
    for i in range(k, len(steps)):
        inst = steps[i][1]["instance"]
        if inst not in omitted:
            rep.add("#%d '%s'" % (inst, steps[i][1].get("its_id")), "has %d moves in the scene but is not in the G-code, "
                    "nor named as left out" % len(steps[i][1]["moves"]))
    if time_doc is not None:
        for t in times[at["time"]:]:
            not_run(t, "it is not in it")
        total = time_doc.get("total", {})
        # The totals are of what the G-code runs, and of nothing else.
        if not close(written_time, total.get("cutting_seconds", 0)):
            rep.add("total", "cutting time %.4f s from the canonical commands, time says %.4f s"
                    % (written_time, total.get("cutting_seconds", 0)))
        changes = sum(len(seg.tool_changes) for seg in segments)
        if "tool_change_seconds" in total and not close(changes * each, total["tool_change_seconds"]):
            rep.add("total", "%d tool changes in the G-code, time counts %.4f s of them" % (changes, total["tool_change_seconds"]))
    if not matched and any(ws["instance"] not in omitted for _, ws in steps):
        rep.add("program", "no workingstep of the scene is in the G-code")
    return rep.items


# ---------------------------------------------------------------- the file's technology

def step_records(path):
    """{instance number: (entity name, parameter text)} of the simple records of an exchange
    file, read plainly: enough to follow an operation to its technology."""
    text = open(path, encoding="latin-1").read()
    records, statement, in_string = {}, [], False
    i = 0
    while i < len(text):
        ch = text[i]
        i += 1
        if ch == "/" and not in_string and text.startswith("*", i):
            end = text.find("*/", i + 1)
            i = len(text) if end < 0 else end + 2
            continue
        if ch == "'":
            in_string = not in_string
        if ch == ";" and not in_string:
            m = re.match(r"\s*#(\d+)\s*=\s*([A-Za-z_0-9]+)\s*\((.*)\)\s*$", "".join(statement), re.S)
            if m:
                records[int(m.group(1))] = (m.group(2).upper(), m.group(3))
            statement = []
        else:
            statement.append(ch)
    return records


def parameters(text):
    """The top-level parameters of a record's text, strings and nested lists kept whole."""
    out, depth, in_string, current = [], 0, False, []
    for ch in text:
        if ch == "'":
            in_string = not in_string
        elif not in_string and ch == "(":
            depth += 1
        elif not in_string and ch == ")":
            depth -= 1
        if ch == "," and depth == 0 and not in_string:
            out.append("".join(current).strip())
            current = []
        else:
            current.append(ch)
    out.append("".join(current).strip())
    return out


def tool_hand(records, operation):
    """The hand of cut ("right", "left", "neutral") of the operation's milling tool, as its tool
    body gives it: the body's hand_of_cut, the third of its parameters; None where not given."""
    record = records.get(operation)
    if not record:
        return None
    body = re.sub(r"'(?:[^']|'')*'", "''", record[1])
    for ref in re.findall(r"#(\d+)", body):
        tool = records.get(int(ref))
        if not tool or not tool[0].endswith("CUTTING_TOOL"):
            continue
        m = re.match(r"#(\d+)$", parameters(tool[1])[1] if len(parameters(tool[1])) > 1 else "")
        tool_body = records.get(int(m.group(1))) if m else None
        if not tool_body:
            return None
        p = parameters(tool_body[1])
        hand = p[2].strip().upper() if len(p) > 2 else ""
        return {".RIGHT.": "right", ".LEFT.": "left", ".NEUTRAL.": "neutral"}.get(hand)
    return None


def technology_spindle(records, operation, units, diameter):
    """(rpm, direction) the operation's milling technology gives: the speed from its spindle
    (rev/s in si, rpm in shop) or else from its cutting speed and the tool's diameter; the
    direction +1 for M3 (a negative spindle speed, the usual cutting sense of the files) and
    -1 for M4, None where the file does not give it. None when there is no such technology."""
    record = records.get(operation)
    if not record:
        return None
    body = re.sub(r"'(?:[^']|'')*'", "''", record[1])
    for ref in re.findall(r"#(\d+)", body):
        tech = records.get(int(ref))
        if not tech or tech[0] != "MILLING_TECHNOLOGY":
            continue
        p = parameters(tech[1])
        per_minute = 60 if units == "si" else 1
        try:
            spindle = float(p[3])
        except (IndexError, ValueError):
            spindle = 0
        if spindle:
            return abs(spindle) * per_minute, 1 if spindle < 0 else -1
        try:
            cutspeed = float(p[2])
        except (IndexError, ValueError):
            return None
        if cutspeed > 0 and diameter:
            return cutspeed * 1000 / (math.pi * diameter) * per_minute, None
        return None
    return None


# ---------------------------------------------------------------- the files

def cli_json(cli, args):
    done = subprocess.run([cli] + args, capture_output=True, timeout=300)
    if done.returncode != 0:
        raise RuntimeError("%s: exit status %d\n%s" % (" ".join(args), done.returncode, done.stderr.decode()[-2000:]))
    return json.loads(done.stdout.decode("utf-8"))


def fanuc_structure(label, text):
    problems = []
    body = [l.strip() for l in text.split("\n") if l.strip()]
    if not body or body[0] != "%" or body[-1] != "%":
        problems.append("%s: fanuc: the program does not start and end with a %% line" % label)
    if not any(re.match(r"^O\d{1,5}\b", l) for l in body[:3]):
        problems.append("%s: fanuc: no O number at the start" % label)
    for i, l in enumerate(text.split("\n"), 1):
        code = strip_comments(l).upper()
        if "G91.1" in code.replace(" ", ""):
            problems.append("%s: fanuc: line %d `%s` writes G91.1" % (label, i, l.strip()))
        if re.search(r"\bG0?4\b", code) and not re.search(r"\b[XU]\s*(\d+\.?\d*|\.\d+)|\bP\s*\d+(?![\d.])", code):
            problems.append("%s: fanuc: line %d `%s`: a dwell is G4 X<seconds> or G4 P<milliseconds>" % (label, i, l.strip()))
    return problems


def add_spindles(scene, path, map_path, units):
    """Gives each workingstep the spindle speed of its operation's technology and the hand of
    cut of its tool, the operation as the G-code's map names it for the workingstep's lines."""
    try:
        lines = json.load(open(map_path))["lines"]
    except (OSError, ValueError, KeyError):
        return
    operations = {}
    for entry in lines:
        if entry.get("workingstep") is not None and entry.get("operation") is not None:
            operations.setdefault(int(entry["workingstep"]), int(entry["operation"]))
    records = step_records(path)
    for _, ws in scene_steps(scene):
        op = operations.get(ws["instance"])
        if op is not None:
            found = technology_spindle(records, op, units, (ws.get("tool") or {}).get("diameter"))
            if found:
                ws["_spindle"] = found
            hand = tool_hand(records, op)
            if hand:
                ws["_hand"] = hand


def tool_table_variant(cli, rs274, path, text, scene, time_doc, folder, name):
    """The program again with a tool table that numbers its first tool 21: that tool is T21,
    the others follow from 22 in order of first use, and rs274 still agrees."""
    tools = re.findall(r"^\(T(\d+) #(\d+) '((?:[^']|'')*)'", text, re.M)
    if not tools:
        if not re.search(r"^T\d+", text, re.M):
            return []  # no tool is used: nothing to number
        return ["%s: the opening comments list no tools \"(T<n> #<instance> '<its_id>' ...)\"" % name]
    table = os.path.join(folder, name + ".given.tbl")
    with open(table, "w") as f:
        f.write("T21 P21 D0 Z0 ;%s\n" % tools[0][2].replace("''", "'"))
    out = os.path.join(folder, name + ".table.ngc")
    done = subprocess.run([cli, "gcode", path, out, "--allow-partial", "--accept-implausible", "--tool-table", table],
                          capture_output=True, timeout=300)
    label = "%s [linuxcnc, tool table]" % name
    if done.returncode != 0 or not os.path.exists(out):
        return ["%s: gcode exit status %d\n%s" % (label, done.returncode, done.stderr.decode()[-2000:])]
    again = open(out, encoding="utf-8").read()
    listed = [(int(n), int(inst)) for n, inst, _ in re.findall(r"^\(T(\d+) #(\d+) '((?:[^']|'')*)'", again, re.M)]
    want = [(21, int(tools[0][1]))] + [(22 + i, int(inst)) for i, (_, inst, _) in enumerate(tools[1:])]
    problems = []
    if sorted(listed) != sorted(want):
        problems.append("%s: tools numbered %s, expected %s" % (label, listed, want))
    commands, errors = run_rs274(rs274, again, folder, name + ".table.rs274")
    return problems + compare(label, again, commands, scene, time_doc, done.stderr.decode("utf-8", "replace"), errors)


def check_file(cli, rs274, path, dialects, folder, tolerance=None):
    """All differences for one file (empty when it agrees), or None when it has no moves."""
    name = os.path.basename(path)
    scene = cli_json(cli, ["scene", path, "--format", "json"])
    if not scene_steps(scene):
        return None
    time_doc = cli_json(cli, ["time", path, "--format", "json"])
    units = time_doc.get("units")
    if units in ("si", "shop") or tolerance is not None:
        # Feeds of all three in the system the file's speeds show; the curves the file gives
        # in chords as fine as the G-code's.
        scene = cli_json(cli, ["scene", path, "--format", "json"] + (["--units", units] if units in ("si", "shop") else [])
                         + (["--tolerance", str(tolerance)] if tolerance is not None else []))
    problems = []
    for dialect in dialects:
        label = "%s [%s]" % (name, dialect)
        out = os.path.join(folder, "%s.%s.ngc" % (name, dialect))
        map_path = out + ".json"
        extra = ["--tolerance", str(tolerance)] if tolerance is not None else []
        done = subprocess.run([cli, "gcode", path, out, "--allow-partial", "--accept-implausible", "--dialect", dialect,
                               "--map", map_path] + extra, capture_output=True, timeout=300)
        stderr = done.stderr.decode("utf-8", "replace")
        if done.returncode != 0 or not os.path.exists(out):
            problems.append("%s: gcode exit status %d\n%s" % (label, done.returncode, stderr[-2000:]))
            continue
        text = open(out, encoding="utf-8").read()
        add_spindles(scene, path, map_path, units)
        said = re.search(r"^\(units (\w+)", text, re.M)
        if said and said.group(1) != units:
            problems.append("%s: the G-code reads feeds and speeds as %s, time as %s" % (label, said.group(1), units))
        if dialect == "fanuc":
            problems += fanuc_structure(label, text)
        commands, errors = run_rs274(rs274, fanuc_for_linuxcnc(text) if dialect == "fanuc" else text,
                                     folder, "%s.%s.rs274" % (name, dialect))
        problems += compare(label, text, commands, scene, time_doc, stderr, errors,
                            chord_tol=(tolerance if tolerance is not None else TOLERANCE) + POINT_TOL)
        if dialect == "linuxcnc" and len(dialects) > 1:
            problems += tool_table_variant(cli, rs274, path, text, scene, time_doc, folder, name)
        if dialect == "linuxcnc":
            problems += implausible_refusal(cli, path, text, time_doc, folder, label, extra)
    return problems


def implausible_refusal(cli, path, accepted, time_doc, folder, label, extra=()):
    """Without --accept-implausible the program is refused, naming the workingsteps, exactly
    where time marks a workingstep it runs as implausible, and written as with it otherwise."""
    marked = [t for t in time_doc.get("workingsteps", []) if t.get("run", True) and t.get("implausible")]
    out = os.path.join(folder, "refused.ngc")
    done = subprocess.run([cli, "gcode", path, out, "--allow-partial"] + list(extra), capture_output=True, timeout=300)
    stderr = done.stderr.decode("utf-8", "replace")
    problems = []
    if marked:
        if done.returncode != 1 or os.path.exists(out):
            problems.append("%s: without --accept-implausible exit status %d%s, where time marks %d workingsteps "
                            "implausible" % (label, done.returncode, " and a program" if os.path.exists(out) else "",
                                             len(marked)))
        for t in marked:
            if not re.search(r"implausible: workingstep #%s\b" % t["instance"], stderr):
                problems.append("%s: #%s is implausible by time (%s), the refusal does not name it" % (
                    label, t["instance"], t.get("implausible_reason")))
    elif done.returncode != 0 or not os.path.exists(out):
        problems.append("%s: without --accept-implausible exit status %d, where time marks nothing implausible\n%s"
                        % (label, done.returncode, stderr[-1000:]))
    elif open(out, encoding="utf-8").read().split("\n")[1:] != accepted.split("\n")[1:]:
        problems.append("%s: the program differs without --accept-implausible, where nothing is implausible" % label)
    return problems


def files_of(source, corpus):
    files = sorted(os.path.join(source, "samples", f) for f in os.listdir(os.path.join(source, "samples")) if f.endswith(".stp"))
    folder = os.path.join(source, "tests", "data")
    fixtures = sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".stp")) if os.path.isdir(folder) else []
    corpus_files = []
    if corpus and os.path.isdir(corpus):
        corpus_files = sorted(os.path.join(corpus, f) for f in os.listdir(corpus)
                              if f != "README.md" and os.path.isfile(os.path.join(corpus, f)))
    return files, fixtures, corpus_files


# The samples' arcs all lie in the XY plane; a copy of the toolpath sample with the circle of
# its pocket's right corner turned about another axis makes G18 and G19 arcs, arcs about a
# negative axis, and one in no principal plane (chords, here also with a coarser tolerance).
PLANE_VARIANTS = [("tilted", "0.0,-0.6,0.8", "1.0,0.0,0.0", None), ("tilted-coarse", "0.0,-0.6,0.8", "1.0,0.0,0.0", 0.05),
                  ("xz", "0.0,1.0,0.0", "1.0,0.0,0.0", None), ("yz", "1.0,0.0,0.0", "0.0,1.0,0.0", None),
                  ("minus-x", "-1.0,0.0,0.0", "0.0,0.0,1.0", None), ("minus-z", "0.0,0.0,-1.0", "1.0,0.0,0.0", None)]


def plane_variants(source, folder):
    """[(path, tolerance)] of the variants, written into `folder`; a note where the sample no
    longer has the circle."""
    text = open(os.path.join(source, "samples", "toolpath_project.stp"), encoding="latin-1").read()
    m = re.search(r"CIRCLE\('right end',#(\d+),", text)
    placement = m and re.search(r"^#%s=AXIS2_PLACEMENT_3D\(('[^']*'),(#\d+),#\d+,#\d+\);$" % m.group(1), text, re.M)
    if not placement:
        print("note: toolpath_project.stp has no circle 'right end' with a placement: no variants in other planes")
        return []
    out = []
    for name, axis, ref, tolerance in PLANE_VARIANTS:
        changed = text.replace(placement.group(0), "#%s=AXIS2_PLACEMENT_3D(%s,%s,#901,#902);\n#901=DIRECTION('',(%s));\n"
                               "#902=DIRECTION('',(%s));" % (m.group(1), placement.group(1), placement.group(2), axis, ref))
        path = os.path.join(folder, "toolpath_project.%s.stp" % name)
        with open(path, "w", encoding="latin-1") as f:
            f.write(changed)
        out.append((path, tolerance))
    return out


def main_compare(cli, source, corpus):
    rs274 = rs274_path()
    if not rs274:
        print("rs274 (LinuxCNC's linuxcnc-uspace) is not installed: skipped")
        return SKIP
    samples, fixtures, corpus_files = files_of(source, corpus)
    if not corpus_files:
        print("no corpus at %s: only the samples are checked" % corpus)
    with tempfile.TemporaryDirectory(prefix="rs274_compare_") as folder:
        jobs = ([(p, ("linuxcnc", "fanuc"), None) for p in samples] + [(p, ("linuxcnc",), None) for p in fixtures + corpus_files]
                + [(p, ("linuxcnc",), t) for p, t in plane_variants(source, folder)])

        def one(job):
            sub_folder = tempfile.mkdtemp(dir=folder)
            try:
                return job[0], check_file(cli, rs274, job[0], job[1], sub_folder, job[2])
            except Exception as e:  # a run that fails is a finding, not the end of the test
                return job[0], ["%s: %s" % (os.path.basename(job[0]), e)]
        with ThreadPoolExecutor(max_workers=2) as pool:
            results = list(pool.map(one, jobs))
    failures, checked = [], 0
    for path, problems in results:
        if problems is None:
            if path in samples:
                failures.append("%s: the sample has no moves" % os.path.basename(path))
            continue
        checked += 1
        failures += problems
        print("%-60s %s" % (os.path.basename(path), "ok" if not problems else "%d differences" % len(problems)))
    for f in failures:
        print(f)
    print("%d files checked, %d differences" % (checked, len(failures)))
    return 1 if failures else 0


# ---------------------------------------------------------------- self-test

def chord_points(start, center, normal, end_angle, tol):
    """Points on the arc from `start` about `center` (counter-clockwise about `normal`) over
    `end_angle`, so far apart that the chords between them stay within `tol` of it."""
    u = sub(start, center)
    r = norm(u)
    v = cross(normal, u)
    steps = max(1, int(math.ceil(end_angle / (2 * math.acos(1 - tol / r)))))
    return [[center[i] + math.cos(end_angle * k / steps) * u[i] + math.sin(end_angle * k / steps) * v[i] for i in range(3)]
            for k in range(1, steps + 1)]


def hand_written():
    """A small program in two setups, three tools, arcs in the three planes and out of them,
    a dwell: the scene, the time document and the G-code that does exactly that."""
    s2 = math.sqrt(0.5)
    tilted = [0.0, -s2, s2]
    chords = chord_points([20.0, 0.0, 0.0], [0.0, 0.0, 0.0], tilted, math.pi / 2, 0.0005)
    ws300 = {"instance": 300, "its_id": "face", "tool": {"instance": 40}, "spindle": -1000, "moves": [
        {"kind": "rapid", "to": [0, 0, 10], "feed": None},
        {"kind": "rapid", "to": [0, 0, 2], "feed": None},
        {"kind": "feed", "to": [0, 0, -1], "feed": 300},
        {"kind": "feed", "to": [10, 0, -1], "feed": 300},
        {"kind": "arc", "to": [20, 0, -1], "feed": 300, "center": [15, 0, -1], "normal": [0, 0, 1], "clockwise": True},
        {"kind": "arc", "to": [10, 0, -2], "feed": 300, "center": [15, 0, -1], "normal": [0, 0, 1], "clockwise": False},
        {"kind": "feed", "to": [10, 0, -3], "feed": 150.5},
        {"kind": "dwell", "to": [10, 0, -3], "feed": None, "seconds": 0.5},
        {"kind": "rapid", "to": [10, 0, 10], "feed": None}]}
    ws310 = {"instance": 310, "its_id": "side", "tool": {"instance": 41}, "spindle": 2000, "moves": [
        {"kind": "rapid", "to": [0, 0, 10], "feed": None},
        {"kind": "rapid", "to": [0, 0, 0], "feed": None},
        {"kind": "feed", "to": [0, 0, -1], "feed": 200},
        {"kind": "arc", "to": [5, 0, -6], "feed": 200, "center": [5, 0, -1], "normal": [0, 1, 0], "clockwise": True},
        {"kind": "arc", "to": [5, 5, -1], "feed": 200, "center": [5, 0, -1], "normal": [-1, 0, 0], "clockwise": True},
        {"kind": "rapid", "to": [5, 5, 10], "feed": None}]}
    ws320 = {"instance": 320, "its_id": "tilted", "tool": {"instance": 40}, "spindle": -1000, "moves": [
        {"kind": "rapid", "to": [20, 0, 10], "feed": None},
        {"kind": "rapid", "to": [20, 0, 0], "feed": None},
        {"kind": "arc", "to": chords[-1], "feed": 600, "center": [0, 0, 0], "normal": tilted, "clockwise": False},
        {"kind": "rapid", "to": [chords[-1][0], chords[-1][1], 20], "feed": None}]}
    scene = {"unit": "mm", "project": True, "setups": [
        {"instance": 10, "its_id": "top", "workingsteps": [ws300, ws310]},
        {"instance": 11, "its_id": "side", "workingsteps": [ws320]}]}
    helix = math.hypot(5 * math.pi, 1)
    quarter = 5 * math.pi / 2
    lengths = {300: (3 + 10 + 5 * math.pi + helix, [(3 + 10 + 5 * math.pi + helix) / 300 * 60, 1 / 150.5 * 60]),
               310: (1 + 2 * quarter, [(1 + 2 * quarter) / 200 * 60]),
               320: (20 * math.pi / 2, [20 * math.pi / 2 / 600 * 60])}
    steps = []
    for ws, dwell, change in ((ws300, 0.5, 5), (ws310, 0, 5), (ws320, 0, 5)):
        length, parts = lengths[ws["instance"]]
        if ws["instance"] == 300:
            length += 1
        steps.append({"instance": ws["instance"], "its_id": ws["its_id"], "run": True, "cutting_length": length,
                      "feeds": sorted({m["feed"] for m in ws["moves"] if m["feed"]}, key=lambda f: [m["feed"] for m in ws["moves"]].index(f)),
                      "cutting_seconds": sum(parts), "dwell_seconds": dwell, "tool_change_seconds": change})
    time_doc = {"units": "shop", "workingsteps": steps,
                "total": {"cutting_seconds": sum(t["cutting_seconds"] for t in steps), "tool_change_seconds": 15}}
    chord_lines = "\n".join("G1 X%.4f Y%.4f Z%.4f" % tuple(p) for p in chords)
    gcode = """(hand-written)
(T1 #40 'face mill' diameter 10 mm)
(T7 #41 'end mill' diameter 6 mm)
G21 G90 G91.1
G54
(#300 machining_workingstep 'face')
G53 G0 Z0
T1 M6
G43 H1
S1000 M3
M8
G0 X0 Y0
G0 X0 Y0 Z10
G0 Z2
F300
G1 Z-1
G1 X10
G17 G2 X20 Y0 I5 J0
G3 X10 Y0 Z-2 I-5 J0
G1 Z-3 F150.5
G4 P0.5
G0 Z10
(#310 machining_workingstep 'side')
M5 M9
G53 G0 Z0
T7 M6
G43 H7
S2000 M4
G0 X0 Y0
G0 X0 Y0 Z10
G0 Z0
G1 Z-1 F200
G18 G2 X5 Z-6 I5 K0
G19 G3 Y5 Z-1 J0 K5
G0 Z10
G17
G55
(#320 machining_workingstep 'tilted')
M5
G53 G0 Z0
T1 M6
G43 H1
S1000 M3
G0 X20 Y0
G0 X20 Y0 Z10
G0 Z0
F600
%s
G0 Z20
M5 M9
G53 G0 Z0
M30
""" % chord_lines
    return scene, time_doc, gcode, chords


def replace_line(text, old, new, nth=1):
    """`text` with the nth line that starts with `old` changed to `new` (None drops it)."""
    lines = text.split("\n")
    seen = 0
    for i, l in enumerate(lines):
        if l.startswith(old):
            seen += 1
            if seen == nth:
                if new is None:
                    del lines[i]
                else:
                    lines[i] = new
                return "\n".join(lines)
    raise AssertionError("no line %d starting %r" % (nth, old))


def reports_for(module, rs274, folder, name, gcode, scene, time_doc, stderr=""):
    commands, errors = module.run_rs274(rs274, gcode, folder, name)
    return module.compare(name, gcode, commands, scene, time_doc, stderr, errors)


def self_test(cli, source):
    rs274 = rs274_path()
    if not rs274:
        print("rs274 (LinuxCNC's linuxcnc-uspace) is not installed: skipped")
        return SKIP
    module = sys.modules[__name__]
    failures = []

    def expect(folder, name, gcode, scene, time_doc, wanted, stderr=""):
        found = reports_for(module, rs274, folder, name, gcode, scene, time_doc, stderr)
        if wanted is None:
            if found:
                failures.append("%s: expected no differences, got:\n  %s" % (name, "\n  ".join(found)))
        elif not any(wanted in f for f in found):
            failures.append("%s: expected a report with %r, got:\n  %s" % (name, wanted, "\n  ".join(found) or "nothing"))
        elif not all(name in f for f in found):
            failures.append("%s: a report does not name the file" % name)
        return found

    with tempfile.TemporaryDirectory(prefix="rs274_selftest_") as folder:
        scene, time_doc, good, chords = hand_written()
        expect(folder, "agrees", good, scene, time_doc, None)
        # Each line a fault of the G-code and what the report must say.
        faults = [
            ("shifted", replace_line(good, "G1 X10", "G1 X10.001"), "ends at"),
            ("rapid-shifted", replace_line(good, "G0 Z2", "G0 Z2.001"), "rapid ends at"),
            ("feed", replace_line(good, "F300", "F310"), "feed rate 310"),
            ("feed-word", replace_line(good, "G1 Z-3 F150.5", "G1 Z-3 F150"), "feed rate 150"),
            ("g2-g3", replace_line(good, "G17 G2 X20", "G17 G3 X20 Y0 I5 J0"), "turns counter-clockwise"),
            ("g18-g3", replace_line(good, "G18 G2", "G18 G3 X5 Z-6 I5 K0"), "arc"),
            ("centre", replace_line(good, "G3 X10 Y0 Z-2", "G3 X10 Y0 Z-2 I-5 J0.001"), "centre"),
            ("plane", replace_line(good, "G19 G3", "G18 G3 Y5 Z-1 I0 K5"), "arc"),
            ("no-tool-change", replace_line(replace_line(good, "T7 M6", None), "G43 H7", None), "the tool changes"),
            ("length-offset", replace_line(good, "G43 H7", "G43 H1"), "G43 H1 after the change to T7"),
            ("no-length-offset", replace_line(good, "G43 H7", "(none)"), "no tool length offset"),
            ("tool-number", replace_line(replace_line(good, "T1 M6", "T7 M6", 2), "G43 H1", "G43 H7", 2), "runs as T7"),
            ("tool-not-listed", replace_line(good, "(T7 #41", None), "T7 is not among the tools"),
            ("tool-listed-wrong", replace_line(good, "(T7 #41", "(T7 #42 'drill' diameter 6 mm)"), "T7 is tool #42"),
            ("spindle", replace_line(good, "S2000 M4", "S2100 M4"), "spindle speed 2100"),
            ("spindle-direction", replace_line(good, "S2000 M4", "S2000 M3"), "the spindle turns clockwise"),
            ("spindle-off", replace_line(good, "S1000 M3", "S1000"), "the spindle is not turning"),
            ("work-offset", replace_line(good, "G55", "G54"), "work offset G54"),
            ("dropped-move", replace_line(good, "G0 Z2", None), "move 2: expected rapid"),
            ("extra-move", replace_line(good, "G0 Z10", "G0 Z10\nG0 X1", 2), "not in the scene"),
            ("dwell", replace_line(good, "G4 P0.5", "G4 P0.6"), "dwell of 0.6000"),
            ("chord-far", replace_line(good, "G1 X", "G1 X14.15 Y-10 Z10", 2), "off the arc"),
            # One vertex 0.01 mm outside the arc, where the writer's tolerance is 0.001.
            ("chord-off", replace_line(good, "G1 X", "G1 X%.4f Y%.4f Z%.4f" % tuple(scale(chords[4], 1 + 0.01 / 20)), 6), "off the arc"),
            ("chord-skipped", replace_line(good, "G1 X", None, 8), "its chord"),
            ("chord-missing-end", replace_line(good, "G0 Z20", "G1 X1 Y1 Z1\nG0 Z20"), "not in the scene"),
            ("interpreter", replace_line(good, "G1 Z-1", "G1 Z-1 Q5"), "rs274 exit status 1"),
            ("radius", replace_line(good, "G17 G2 X20", "G17 G2 X20 Y0 I5.1 J0"), "rs274 exit status 1"),
            ("left-out", replace_line(good, "G1 Z-1 F200", "G1 Z-1 F200"), None),
            # Safe tool changes: up to the machine's top before each and at the end, across at
            # that height after a change, then down.
            ("no-retract", replace_line(good, "G53 G0 Z0", None, 2), "changes without a retract"),
            ("no-end-retract", replace_line(good, "G53 G0 Z0", None, 4), "ends without a retract"),
            ("down-and-across", replace_line(good, "G0 X0 Y0", None, 3), "down and across in one G0"),
            ("retract-across", replace_line(good, "G53 G0 Z0", "G53 G0 X1 Z0", 2), "moves across too"),
            ("fanuc-retract", good.replace("G53 G0 Z0", "G91 G28 Z0\nG90"), None),
        ]
        for name, gcode, wanted in faults:
            expect(folder, name, gcode, scene, time_doc, wanted)
        # A full circle: the arc ends where it starts, which rs274 reads as one whole turn.
        circle = {"setups": [{"instance": None, "workingsteps": [{"instance": 700, "its_id": "circle", "tool": None, "moves": [
            {"kind": "rapid", "to": [10, 0, 5], "feed": None}, {"kind": "rapid", "to": [10, 0, 0], "feed": None},
            {"kind": "arc", "to": [10, 0, 0], "feed": 100, "center": [0, 0, 0], "normal": [0, 0, 1], "clockwise": False},
            {"kind": "rapid", "to": [10, 0, 5], "feed": None}]}]}]}
        whole = ("(#700 machining_workingstep 'circle')\nG21 G90 G91.1\nS1000 M3\nG0 X10 Y0 Z5\nG0 Z0\n"
                 "G3 X10 Y0 I-10 J0 F100\nG0 Z5\nG53 G0 Z0\nM30\n")
        expect(folder, "circle", whole, circle, None, None)
        expect(folder, "circle-twice", whole.replace("J0 F100", "J0 P2 F100"), circle, None, "arc of 2 turns")
        expect(folder, "circle-half", whole.replace("G3 X10 Y0 I-10 J0", "G3 X-10 Y0 I-10 J0"), circle, None, "arc ends at")
        # A workingstep missing from the G-code is a difference unless the G-code (or its
        # writer's standard error) names it as left out.
        start = good.index("(#310")
        stop = good.index("G55")
        missing = good[:start] + good[stop:]
        expect(folder, "missing-step", missing, scene, time_doc, "#310 'side': has 6 moves in the scene but is not in the G-code")
        # The time of a program without #310 lists it as not run, counting nothing.
        untimed = json.loads(json.dumps(time_doc))
        untimed["workingsteps"][1] = {"instance": 310, "its_id": "side", "run": False, "reason": "left out: five axes",
                                      "tool_change": False, "cutting_length": 0, "feeds": [], "cutting_seconds": 0,
                                      "dwell_seconds": 0, "tool_change_seconds": 0, "total_seconds": 0}
        untimed["total"]["cutting_seconds"] -= time_doc["workingsteps"][1]["cutting_seconds"]
        untimed["total"]["tool_change_seconds"] = 10
        expect(folder, "left-out-comment", missing.replace("G55", "(#310 left out: not in three axes)\nG55"), scene, untimed, None)
        expect(folder, "left-out-stderr", missing, scene, untimed, None,
               stderr="workingstep #310 'side': left out: its tool direction needs five axes")
        # A time that counts what the G-code leaves out.
        expect(folder, "left-out-timed", missing, scene, time_doc, "#310 'side': time runs it, the G-code does not",
               stderr="workingstep #310 'side': left out: its tool direction needs five axes")
        counted = json.loads(json.dumps(untimed))
        counted["workingsteps"][1]["tool_change"], counted["workingsteps"][1]["total_seconds"] = True, 5
        expect(folder, "left-out-tool-change", missing, scene, counted, "#310 'side': time counts 5.0000 s (tool change True)",
               stderr="workingstep #310 'side': left out: its tool direction needs five axes")
        whole_total = json.loads(json.dumps(untimed))
        whole_total["total"]["cutting_seconds"] = time_doc["total"]["cutting_seconds"]
        expect(folder, "left-out-in-total", missing, scene, whole_total, "total: cutting time",
               stderr="workingstep #310 'side': left out: its tool direction needs five axes")
        # The spindle turns as the tool cuts: a right-hand tool clockwise (M3) whatever the sign.
        handed = json.loads(json.dumps(scene))
        handed["setups"][0]["workingsteps"][1]["_hand"] = "right"
        expect(folder, "hand-right", good, handed, time_doc, "the spindle turns counter-clockwise (M4), expected clockwise (M3)")
        expect(folder, "hand-right-m3", replace_line(good, "S2000 M4", "S2000 M3"), handed, time_doc, None)
        handed["setups"][0]["workingsteps"][0]["_hand"] = "left"
        expect(folder, "hand-left", replace_line(good, "S2000 M4", "S2000 M3"), handed, time_doc,
               "the spindle turns clockwise (M3), expected counter-clockwise (M4)")
        # The time document, not the G-code, is wrong.
        slow = json.loads(json.dumps(time_doc))
        slow["workingsteps"][1]["cutting_seconds"] *= 1.01
        slow["total"]["cutting_seconds"] += slow["workingsteps"][1]["cutting_seconds"] / 101
        expect(folder, "time-step", good, scene, slow, "cutting time")
        total = json.loads(json.dumps(time_doc))
        total["total"]["cutting_seconds"] *= 1.002
        expect(folder, "time-total", good, scene, total, "total: cutting time")
        changes = json.loads(json.dumps(time_doc))
        changes["workingsteps"][2]["tool_change_seconds"] = 0
        expect(folder, "time-tool-changes", good, scene, changes, "tool changes")
        expect(folder, "fanuc-like", "%\nO1000\n" + good.replace("G91.1", "") + "%\n", scene, time_doc, None)
        for name, text, wanted in (("fanuc-percent", "O1000\nG21\nM30\n%\n", "% line"),
                                   ("fanuc-o", "%\nG21\nM30\n%\n", "O number"),
                                   ("fanuc-g91.1", "%\nO1000\nG21 G90 G91.1\nM30\n%\n", "G91.1"),
                                   ("fanuc-dwell", "%\nO1000\nG4 P0.5\nM30\n%\n", "a dwell is")):
            found = fanuc_structure(name, text)
            if not any(wanted in f for f in found):
                failures.append("%s: expected a report with %r, got %s" % (name, wanted, found))
        for fanuc, linuxcnc in (("G4 X0.5", "G4 P0.5"), ("G4 P500", "G4 P0.5"), ("G04 U2", "G04 P2"), ("G1 X5", "G1 X5")):
            if fanuc_for_linuxcnc(fanuc) != linuxcnc:
                failures.append("fanuc dwell: %r reads as %r, expected %r" % (fanuc, fanuc_for_linuxcnc(fanuc), linuxcnc))
        if fanuc_structure("fanuc-good", "%\nO1000 (x)\nG21 G90\nG4 X0.5\nG4 P500\nM30\n%\n"):
            failures.append("fanuc-good: a good fanuc program is reported")

        failures += mutate_sample(module, cli, source, rs274, folder, expect)

    for f in failures:
        print(f)
    print("self-test: %d failures" % len(failures))
    return 1 if failures else 0


def mutate_sample(module, cli, source, rs274, folder, expect):
    """Faults put by hand into what `gcode` writes for a sample: each must be reported."""
    path = os.path.join(source, "samples", "bracket_project.stp")
    out = os.path.join(folder, "bracket.ngc")
    done = subprocess.run([cli, "gcode", path, out, "--allow-partial"], capture_output=True, timeout=300)
    if done.returncode != 0 or not os.path.exists(out):
        return ["bracket_project.stp: gcode exit status %d: %s" % (done.returncode, done.stderr.decode()[-500:])]
    text = open(out, encoding="utf-8").read()
    stderr = done.stderr.decode("utf-8", "replace")
    time_doc = cli_json(cli, ["time", path, "--format", "json"])
    scene = cli_json(cli, ["scene", path, "--format", "json", "--units", time_doc["units"]])
    failures = []
    found = reports_for(module, rs274, folder, "bracket", text, scene, time_doc, stderr)
    if found:
        # The unchanged output must agree, or the faults below prove nothing.
        return ["bracket: the unchanged G-code differs already:\n  " + "\n  ".join(found[:10])]
    lines = text.split("\n")

    def first(pattern, after=0):
        rx = re.compile(pattern)
        return next(i for i, l in enumerate(lines) if i >= after and rx.search(l))

    def changed(i, new):
        copy = list(lines)
        if new is None:
            del copy[i]
        else:
            copy[i] = new
        return "\n".join(copy)

    i = first(r"^G1\b.*X-?\d")
    shift = re.sub(r"X(-?\d+(?:\.\d+)?)", lambda m: "X%.4f" % (float(m.group(1)) + 0.001), lines[i], count=1)
    f = first(r"\bF\d")
    feed = re.sub(r"F(\d+(?:\.\d+)?)", lambda m: "F%g" % (float(m.group(1)) * 1.1), lines[f], count=1)
    a = first(r"^G[23]\b|\sG[23]\s")
    swapped = re.sub(r"\bG([23])\b", lambda m: "G%d" % (5 - int(m.group(1))), lines[a], count=1)
    changes = [i for i, l in enumerate(lines) if re.search(r"\bM0?6\b", strip_comments(l))]
    cases = [("bracket-shifted", changed(i, shift), "ends at"),
             ("bracket-feed", changed(f, feed), "feed rate"),
             ("bracket-g2-g3", changed(a, swapped), "arc")]
    if len(changes) >= 2:
        cases.append(("bracket-no-tool-change", changed(changes[1], None), "the tool changes"))
    else:
        failures.append("bracket: fewer than two tool changes to drop one of")
    retracts = [i for i, l in enumerate(lines) if strip_comments(l).strip() == "G53 G0 Z0"]
    if len(retracts) >= 2 and len(changes) >= 2:
        cases.append(("bracket-no-retract", changed(retracts[1], None), "changes without a retract"))
        cases.append(("bracket-no-end-retract", changed(retracts[-1], None), "ends without a retract"))
        across = next(i for i in range(changes[1], len(lines)) if re.match(r"^G0 X-?[\d.]+ Y-?[\d.]+$", lines[i]))
        cases.append(("bracket-down-and-across", changed(across, None), "down and across in one G0"))
    else:
        failures.append("bracket: fewer than two retracts to the machine's top to drop one of")
    flood = [i for i, l in enumerate(lines) if strip_comments(l).strip() == "M8"]
    if flood:
        cases.append(("bracket-no-coolant", changed(flood[0], None), "coolant off for the first cut"))
    else:
        failures.append("bracket: no M8 to drop")
    for name, gcode, wanted in cases:
        expect(folder, name, gcode, scene, time_doc, wanted, stderr)
    return failures


def main():
    args = sys.argv[1:]
    if args and args[0] == "--self-test":
        sys.exit(self_test(*args[1:3]))
    if len(args) != 3:
        sys.exit("usage: rs274_compare.py CLI SOURCE CORPUS | --self-test CLI SOURCE")
    sys.exit(main_compare(*args))


if __name__ == "__main__":
    main()
