#!/usr/bin/env python3
"""simulate --format json of the samples validates against docs/simulate.schema.json, finds no
error in them, and its STL and --fail-on, --until and bad input behave as the help says."""
import glob
import json
import os
import struct
import subprocess
import sys
import tempfile

import jsonschema


def run(cli, *args):
    return subprocess.run([cli, "simulate", *args], capture_output=True, timeout=600)


def main():
    cli, source = sys.argv[1], sys.argv[2]
    validator = jsonschema.Draft202012Validator(json.load(open(source + "/docs/simulate.schema.json")))
    checked = 0
    for path in sorted(glob.glob(source + "/samples/*.stp")):
        # At the resolution a user gets: a coarser one passes over gouges smaller than its cells.
        done = run(cli, path, "--format", "json")
        if done.returncode != 0:
            sys.exit("%s: exit status %d\n%s" % (path, done.returncode, done.stderr.decode()))
        document = json.loads(done.stdout.decode("utf-8"))
        errors = sorted(validator.iter_errors(document), key=str)
        if errors:
            sys.exit("%s: does not validate: %s" % (path, errors[0]))
        bad = [f for f in document["findings"] if f["severity"] == "error"]
        if bad:
            sys.exit("%s: an error finding: %s" % (path, bad[0]))
        checked += 1
    if checked < 3:
        sys.exit("too few files checked")

    sample = source + "/samples/milling_project.stp"
    with tempfile.TemporaryDirectory() as folder:
        stl = os.path.join(folder, "after.stl")
        done = run(cli, sample, "--format", "json", "--resolution", "0.5", "--until", "#90", "--stl", stl)
        if done.returncode != 0:
            sys.exit("--until/--stl: exit status %d\n%s" % (done.returncode, done.stderr.decode()))
        document = json.loads(done.stdout.decode("utf-8"))
        if document["workingsteps"][-1]["instance"] != 90:
            sys.exit("--until #90 did not stop after #90")
        data = open(stl, "rb").read()
        count = struct.unpack("<I", data[80:84])[0]
        if len(data) != 84 + 50 * count or count == 0:
            sys.exit("the STL's size does not match its triangle count")
        volume = 0.0
        for k in range(count):
            f = struct.unpack("<12f", data[84 + 50 * k:84 + 50 * k + 48])
            a, b, c = f[3:6], f[6:9], f[9:12]
            volume += (a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                       a[2] * (b[0] * c[1] - b[1] * c[0])) / 6
        after = document["stock"]["volume_after"]
        if abs(volume - after) > 0.01 * after:
            sys.exit("the STL encloses %g mm3, the stock after is %g" % (volume, after))
    # Material left is a warning: --fail-on warning fails with status 3, --fail-on error not.
    if run(cli, sample, "--resolution", "0.5", "--fail-on", "warning").returncode != 3:
        sys.exit("--fail-on warning did not give status 3")
    if run(cli, source + "/samples/bracket_project.stp", "--resolution", "0.5", "--fail-on", "error").returncode != 0:
        sys.exit("--fail-on error gave a status on a file without errors")
    for args, status in ((["--resolution", "0"], 2), (["--until", "#999999"], 1), (["--format", "xml"], 2)):
        done = run(cli, sample, *args)
        if done.returncode != status or not done.stderr:
            sys.exit("%s: status %d, expected %d with a message" % (args, done.returncode, status))
    done = run(cli, sample, "--resolution", "0.001")
    if done.returncode != 1 or b"MiB" not in done.stderr:
        sys.exit("too fine a resolution was not refused before allocating")


if __name__ == "__main__":
    main()
