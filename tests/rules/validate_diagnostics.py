#!/usr/bin/env python3
"""check --format json of the samples and the test fixtures validates against
docs/diagnostics.schema.json, and --format sarif has the shape SARIF 2.1.0 readers need."""
import glob
import json
import subprocess
import sys

import jsonschema


def run(cli, args):
    done = subprocess.run([cli] + args, capture_output=True, timeout=300)
    if done.returncode not in (0, 1):
        sys.exit("%s %s: exit status %d\n%s" % (cli, " ".join(args), done.returncode, done.stderr.decode()))
    return json.loads(done.stdout.decode("utf-8"))


def main():
    cli, source = sys.argv[1], sys.argv[2]
    files = sorted(glob.glob(source + "/samples/*.stp")) + sorted(glob.glob(source + "/tests/data/*.stp"))
    files.append(source + "/no-such-file.stp")
    schema = json.load(open(source + "/docs/diagnostics.schema.json"))
    validator = jsonschema.Draft202012Validator(schema)
    for options in (["--rules"], []):
        document = run(cli, ["check"] + options + ["--format", "json"] + files)
        errors = sorted(validator.iter_errors(document), key=str)
        if errors:
            sys.exit("JSON does not validate: %s" % errors[0])
        if len(document["files"]) != len(files):
            sys.exit("one entry per file expected")
        if [f["path"] for f in document["files"]] != files:
            sys.exit("files out of order")

    sarif = run(cli, ["check", "--rules", "--format", "sarif"] + files)
    if sarif.get("version") != "2.1.0" or len(sarif.get("runs", [])) != 1:
        sys.exit("SARIF: version 2.1.0 and one run expected")
    run_ = sarif["runs"][0]
    rules = run_["tool"]["driver"]["rules"]
    ids = [r["id"] for r in rules]
    if len(set(ids)) != len(ids):
        sys.exit("SARIF: rule ids repeat")
    for r in rules:
        if not r["shortDescription"]["text"] or r["defaultConfiguration"]["level"] not in ("error", "warning"):
            sys.exit("SARIF: rule without description or level: %s" % r["id"])
    if not run_["results"]:
        sys.exit("SARIF: the fixtures give results")
    for result in run_["results"]:
        if result["ruleId"] != ids[result["ruleIndex"]]:
            sys.exit("SARIF: ruleIndex does not match ruleId")
        if result["level"] not in ("error", "warning") or not result["message"]["text"]:
            sys.exit("SARIF: result without level or text")
        location = result["locations"][0]["physicalLocation"]
        if not location["artifactLocation"]["uri"]:
            sys.exit("SARIF: result without file")
        if "region" in location and location["region"]["startLine"] < 1:
            sys.exit("SARIF: lines count from 1")


if __name__ == "__main__":
    main()
