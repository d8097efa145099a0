#!/usr/bin/env python3
"""The Chicago year with its office room (examples/chicago_year.json) at
1-minute steps (525,600 steps) on bdf, against the same model with the
room's states replaced by constants: the room's statespace block and the
two integrators become constant sources of their initial values, so the
second run has no continuous state, no solver and no located event, and
everything else (the weather file, the five planes, the sky, the relays,
sashflow, the sinks) is the same. The difference is the cost of the
continuous part and its events. Goal: the full model at most 2x the other.

    bench/runner/room_year.py build/bin/simrun [runs]

Prints the processor time of each (the best of `runs`, default 2, of the
simrun process and its children), their ratio, and the solver's steps,
right-hand-side evaluations and events (simrun --solver-stats). Not a test:
cmake --build build --target bench_room_year.
"""
import json
import os
import resource
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "..", "examples")


def strip_comments(text):
    """The model file without its // and /* */ comments (strings kept)."""
    out, i, n, in_str = [], 0, len(text), False
    while i < n:
        c = text[i]
        if in_str:
            out.append(c)
            if c == "\\":
                out.append(text[i + 1])
                i += 1
            elif c == '"':
                in_str = False
        elif c == '"':
            in_str = True
            out.append(c)
        elif text.startswith("//", i):
            while i < n and text[i] != "\n":
                i += 1
            continue
        elif text.startswith("/*", i):
            i = text.index("*/", i) + 2
            continue
        else:
            out.append(c)
        i += 1
    return "".join(out)


def constants_variant(model):
    """The model with its continuous blocks replaced by constant sources."""
    blocks = []
    for b in model["blocks"]:
        if b["type"] == "statespace":
            x0 = b["parameters"][4]
            model["sources"].append({"name": b["name"], "type": "constant", "value": x0})
        elif b["type"] == "integrator":
            model["sources"].append({"name": b["name"], "type": "constant", "value": b["parameters"][0]})
        else:
            blocks.append(b)
    model["blocks"] = blocks
    return model


def run(simrun, model_path, workdir, stats=False):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    args = [simrun, "--no-progress", "--quiet", "-o", workdir, "--set", "step=60"]
    if stats:
        args.append("--solver-stats")
    r = subprocess.run(args + [model_path], capture_output=True, text=True, cwd=EXAMPLES)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if r.returncode != 0:
        sys.exit(f"simrun failed on {model_path}: {r.stderr}")
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu, r.stdout + r.stderr


def main():
    simrun = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 2
    with open(os.path.join(EXAMPLES, "chicago_year.json")) as f:
        model = json.loads(strip_comments(f.read()))
    with tempfile.TemporaryDirectory() as d:
        full = os.path.join(EXAMPLES, "chicago_year.json")
        # The variant lives in the examples folder's terms (its weather file
        # is relative to the model): written beside the copy, read from there.
        variant = os.path.join(d, "chicago_year_constants.json")
        v = constants_variant(json.loads(json.dumps(model)))
        for s in v["sources"]:
            if "file" in s:
                s["file"] = os.path.join(EXAMPLES, s["file"])
        with open(variant, "w") as f:
            json.dump(v, f)
        t_full = min(run(simrun, full, d)[0] for _ in range(runs))
        t_const = min(run(simrun, variant, d)[0] for _ in range(runs))
        _, text = run(simrun, full, d, stats=True)
    print("The Chicago year with the office room, 525,600 steps of 60 s (processor time, best of %d):" % runs)
    print(f"  room on bdf             {t_full:8.2f} s")
    print(f"  room states constant    {t_const:8.2f} s")
    ratio = t_full / t_const
    print(f"  ratio {ratio:.2f} (goal: <= 2) {'MET' if ratio <= 2 else 'NOT MET'}")
    stats = [line for line in text.splitlines() if "solver" in line.lower() or "event" in line.lower()]
    print("  " + "\n  ".join(stats) if stats else "  (simrun printed no solver statistics)")


if __name__ == "__main__":
    main()
