"""Picks a few inputs that cover the most, from a libFuzzer merge control file.

    python3 pick-seeds.py <control file> <dest folder> <at most> <target name>

The control file lists the inputs, then for each one the coverage features it
reaches ("FT <index> <features...>"). Inputs are taken greedily, each time the
one adding the most features not yet covered, and copied to the destination
under the SHA-1 of their content.
"""
import hashlib
import sys

control, dest, cap, target = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
lines = open(control, encoding="utf-8", errors="replace").read().splitlines()
count = int(lines[0])
files = lines[2:2 + count]
features = {}
for line in lines[2 + count:]:
    parts = line.split()
    if parts and parts[0] == "FT":
        features[int(parts[1])] = set(parts[2:])

seen, picked = set(), []
while len(picked) < cap and features:
    best = max(features, key=lambda i: len(features[i] - seen))
    if not features[best] - seen:
        break
    seen |= features.pop(best)
    picked.append(files[best])

for path in picked:
    with open(path, "rb") as f:
        data = f.read()
    with open(f"{dest}/{hashlib.sha1(data).hexdigest()}", "wb") as out:
        out.write(data)
print(f"{target}: {len(picked)} seeds, {len(seen)} features")
