#!/usr/bin/python3
"""What the Python module costs over the command line: opening a file from Python against
`varnholt-cli check`, each a process of its own, in alternating rounds; and walking every
instance's number and type.

    bench/python_bench.py BUILD_DIR FILE [ROUNDS]

BUILD_DIR holds cli/varnholt-cli and python/varnholt*.so; FILE is best made with
`BUILD_DIR/bench/varnholt-gen --realistic 1530000 FILE` (100 MB, 1.5 million instances).
"""
import os
import statistics
import subprocess
import sys
import time


def timed(command, env=None):
    start = time.perf_counter()
    subprocess.run(command, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    return time.perf_counter() - start


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    build, path = sys.argv[1], sys.argv[2]
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    env = dict(os.environ, PYTHONPATH=os.path.join(build, "python"))
    cli = [os.path.join(build, "cli", "varnholt-cli"), "check", path]
    python = [sys.executable, "-c", "import sys, varnholt; doc = varnholt.open(sys.argv[1])", path]
    bare = [sys.executable, "-c", "import varnholt"]
    checks, opens, starts = [], [], []
    for _ in range(rounds):
        checks.append(timed(cli))
        opens.append(timed(python, env))
        starts.append(timed(bare, env))
    check, opened, start = (statistics.median(x) for x in (checks, opens, starts))
    print("varnholt-cli check    %.3f s (median of %d)" % (check, rounds))
    print("python varnholt.open  %.3f s, %+.1f %%" % (opened, 100 * (opened / check - 1)))
    print("  of which the interpreter and the import %.3f s" % start)

    sys.path.insert(0, os.path.join(build, "python"))
    import varnholt
    doc = varnholt.open(path)
    walks = []
    for _ in range(rounds):
        start = time.perf_counter()
        count = sum(1 for i in doc.instances() if i.id and i.type)
        walks.append(time.perf_counter() - start)
    print("ids and types of %d instances  %.3f s (median)" % (count, statistics.median(walks)))


if __name__ == "__main__":
    main()
