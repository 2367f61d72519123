#!/usr/bin/env python3
"""scene --format json of the samples and the test fixtures validates against
docs/scene.schema.json."""
import glob
import json
import subprocess
import sys

import jsonschema


def main():
    cli, source = sys.argv[1], sys.argv[2]
    files = sorted(glob.glob(source + "/samples/*.stp")) + sorted(glob.glob(source + "/tests/data/*.stp"))
    validator = jsonschema.Draft202012Validator(json.load(open(source + "/docs/scene.schema.json")))
    checked = 0
    for path in files:
        done = subprocess.run([cli, "scene", path, "--format", "json"], capture_output=True, timeout=300)
        if done.returncode == 1 and not done.stdout:
            continue  # a fixture that does not open
        if done.returncode != 0:
            sys.exit("%s: exit status %d\n%s" % (path, done.returncode, done.stderr.decode()))
        errors = sorted(validator.iter_errors(json.loads(done.stdout.decode("utf-8"))), key=str)
        if errors:
            sys.exit("%s: does not validate: %s" % (path, errors[0]))
        checked += 1
    if checked < 3:
        sys.exit("too few files checked")


if __name__ == "__main__":
    main()
