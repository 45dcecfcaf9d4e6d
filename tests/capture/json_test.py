#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The JSON Lines of every code against the text decoding: a capture holding every code of every
interface (twice, with random records and their memory) decoded both ways; each object must parse
with Python's json, hold no key twice, and show the text's values in the text's order under the
text's labels: field lines, elements, block walks, byte runs and names. The forms a user knows
("label.text": addresses, names) and the record names ("record") have no line of their own; the
elements of a whole block past its count ("label.uncounted": their bytes) are read back by the
element's layout from `rizorod list --fields`.

usage: json_test.py RIZOROD ALL_CODES WORK"""
import json, os, re, subprocess, sys

tool, all_codes, work = sys.argv[1:4]
os.makedirs(work, exist_ok=True)
capture = os.path.join(work, "all.cap")
with open(capture, "wb") as f:
    f.write(subprocess.run([all_codes], check=True, capture_output=True).stdout)
text = subprocess.run([tool, "decode", capture], check=True, capture_output=True).stdout.decode("latin-1")
lines = subprocess.run([tool, "decode", "--format", "json", capture], check=True, capture_output=True).stdout.decode("latin-1").splitlines()

# Per primitive name, its block walks' elements: label -> (stride, element fields).
walks = {}
for line in subprocess.run([tool, "list", "--fields", "--format", "json"], check=True, capture_output=True).stdout.splitlines():
    prim = json.loads(line)
    walks[prim["name"]] = {f["label"]: (f["stride"], f["element"]) for f in prim["fields"] if f["kind"] == "blocks"}

def uncounted(name, label, data):  # the text's tokens of the elements in `data`
    stride, element = walks[name][label]
    out = []
    for at in range(0, len(data) - element["size"] + 1, stride):
        for f in element["fields"]:
            v = int.from_bytes(data[at + f["offset"]:at + f["offset"] + f["width"]], "little")
            out.append((f["label"] if element["name"] else None, v))
    return out

# The text's entries, each as (name, tokens); a token is (label, value), label None where the line
# has none (a word of a block walk); a byte run or a name is one token of its bytes in hex.
entries = []
for line in text.splitlines():
    if line.startswith("---- ") or line.startswith("ERROR: none of the prim types matched"):
        entries.append([None, []])
        continue
    body = line.lstrip("\t")
    if entries[-1][0] is None and not line.startswith("\t"):
        entries[-1][0] = line
    elif body.startswith("name_part = "):
        entries[-1][1].append(("name_part", body[12:].encode("latin-1").hex()))
    elif body == "Unknown customDebug Primitive type":
        entries[-1][1].append(("custom", body))
    elif body.startswith(" "):
        if line.startswith("\t"):  # a word of a block walk, printed without a label
            entries[-1][1].append((None, int(body, 16)))
        else:
            entries[-1][1].append(("run", "".join(line.split())))
    elif " = " in body:
        label, values = body.split(" = ", 1)
        for v in values.split():
            entries[-1][1].append((re.sub(r" \[c\]$", "", label), int(v, 16)))
    # other lines: a nested record's name line, or an empty line

def no_twice(pairs):
    keys = [k for k, _ in pairs]
    if len(keys) != len(set(keys)):
        sys.exit(f"a key twice: {keys}")
    return dict(pairs)

def tokens(key, value, out, name=None):
    if isinstance(value, dict):
        for k, v in value.items():
            if k == "record" or k.endswith(".text"):
                continue
            if k.endswith(".uncounted"):
                out += uncounted(name, k[:-len(".uncounted")], bytes.fromhex(v))
                continue
            tokens(k, v, out, name)
    elif isinstance(value, list):
        for v in value:
            tokens(key, v, out, name)
    elif isinstance(value, int):
        out.append((key, value))
    elif value != "" or key == "name_part":  # a byte run, a name, or the custom rendering's complaint
        out.append((key, value))  # (an empty run is an empty line in the text)

if len(lines) != len(entries):
    sys.exit(f"{len(lines)} JSON objects for {len(entries)} decodings")
for n, (line, (name, want)) in enumerate(zip(lines, entries)):
    obj = json.loads(line, object_pairs_hook=no_twice)
    if obj["name"] != name and not (obj["name"] is None and name is None):
        sys.exit(f"object {n}: name {obj['name']}, text {name}")
    got = []
    if obj["schema"] != 2:
        sys.exit(f"object {n}: schema {obj['schema']}")
    tokens(None, obj["fields"] or {}, got, obj["name"])
    # The text names a byte run by nothing and a word of a block walk by nothing.
    got = [(None if w[0] is None else (k if w[0] != "run" else "run"), v) for (k, v), w in zip(got, want)] + got[len(want):]
    if got != want:
        bad = next(i for i, (a, b) in enumerate(zip(got + [None], want + [None])) if a != b)
        sys.exit(f"object {n} ({name}), token {bad}: JSON {got[bad:bad + 3]}, text {want[bad:bad + 3]}\n{line}")
print(f"{len(lines)} objects agree with the text")
