#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
# rizorod export and the generated dissector in tshark: tshark_test.py CHECK TOOL ALL_CODES WORK DATA EXAMPLES
#   tree     every code of every interface, twice: each packet's tshark -V tree is its text decoding
#   filter   filters by label (any depth) and by name select exactly the entries holding that line
#   framing  an export read back by a small pcapng reader decodes to the same text, with the dates
# tree and filter exit 77 (ctest: skipped) where tshark is missing.
import datetime, os, shutil, struct, subprocess, sys

check, tool, all_codes, work, data, examples = sys.argv[1:7]
work = os.path.join(work, check)
os.makedirs(work, exist_ok=True)


def run(args, status=0):
    r = subprocess.run(args, capture_output=True)
    if r.returncode != status:
        sys.exit(f"{' '.join(args)}: exit status {r.returncode}, expected {status}\n{r.stderr.decode()}")
    return r.stdout.decode(), r.stderr.decode()


def item(line):  # (label, value), or (value,) for a line without a label
    return tuple(part.strip() for part in (line.strip() + " ").split(" = ", 1))


def decodings(text):  # each decoding's lines as (depth, label, value), without the header
    entries = []
    for line in text.split("\n"):
        if line.startswith("---- "):
            entries.append([])
        elif line.strip():
            entries[-1].append((len(line) - len(line.lstrip("\t")), *item(line)))
    return entries


def trees(text):  # each packet's tree in the same form, without the items before the decoding
    packets, inside, skip = [], False, False
    for line in text.split("\n"):
        if line.startswith("RizOrodOzido primitive"):
            packets.append([])
            inside = True
        elif not line.startswith("    "):
            inside = False
        elif inside:
            depth = (len(line) - len(line.lstrip(" "))) // 4 - 1
            if depth == 0:
                skip = line.strip().startswith(("Interface: ", "Code: ", "Timestamp: ", "Memory blocks: "))
            if not skip:
                packets[-1].append((depth, *item(line)))
    return packets


def packets(path):
    """The entries of an export: (timestamp kind, stamp as capture text, [entry line without
    stamp, memory lines...]), checking the framing of each packet on the way."""
    b, at, out = open(path, "rb").read(), 0, []
    while at < len(b):
        kind, size = struct.unpack_from("<II", b, at)
        if kind == 1 and struct.unpack_from("<H", b, at + 8)[0] != 150:
            sys.exit("the interface is not of link type 150")
        if kind == 6:
            high, low, n = struct.unpack_from("<III", b, at + 12)
            p = b[at + 28:at + 28 + n]
            version, iface, code, given, size_r = struct.unpack_from("<BBHB3xI", p)
            t = datetime.datetime(1970, 1, 1) + datetime.timedelta(milliseconds=high << 32 | low)
            stamp = t.strftime("%Y-%m-%d %H:%M:%S.%f")[:-3] if given == 2 else t.strftime("%H:%M:%S.%f")[:-3]
            entry = [f"{['dm', 'l2cap', 'rfcomm', 'sdp'][iface]} 0x{code:04x} {p[12:12 + size_r].hex()}"]
            q = 16 + size_r
            for _ in range(struct.unpack_from("<I", p, q - 4)[0]):
                address, length = struct.unpack_from("<II", p, q)
                entry.append(f"@{address:08x} {p[q + 8:q + 8 + length].hex()}")
                q += 8 + length
            if version != 1 or q != n:
                sys.exit(f"packet {len(out) + 1}: framing version {version}, {q} of {n} bytes used")
            out.append((given, stamp, entry))
        at += size
    return out

if check == "framing":
    # A pcapng reader: the entries of an export as capture lines, the dated timestamps apart.
    dates = os.path.join(work, "dates.cap")
    with open(dates, "w") as f:
        f.write("2000-02-29T23:59:59.999 l2cap 01 00 03 00 02 00\n2100-03-01 00:00:00.000 sdp 0b00a002\n")
    bad = os.path.join(work, "bad.cap")
    with open(bad, "w") as f:  # a bad line, a bad memory line, a record too short, a pointer unmet
        f.write("hci 00\ndm 04 20\n@zz 00\ndm 0x2004 0420\nl2cap 0b0041000300000000003000\n@00300000 01 02\n")
    inputs = [os.path.join(examples, "session.cap"), bad, dates]
    text, errors = run([tool, "decode", *inputs], 1)
    exported = os.path.join(work, "export.pcapng")
    _, export_errors = run([tool, "export", "--linktype", "150", exported, *inputs], 1)
    if export_errors != errors:
        sys.exit(f"export reports\n{export_errors}\ndecode reports\n{errors}")
    lines, dated = [], []
    for given, stamp, entry in packets(exported):
        if given == 2:
            dated.append(stamp)
        lines += [f"{stamp} {entry[0]}", *entry[1:]]
    again = os.path.join(work, "again.cap")
    with open(again, "w") as f:
        f.write("\n".join(lines) + "\n")
    if run([tool, "decode", again])[0] != text:
        sys.exit(f"{again} does not decode as the exported captures do")
    # The example's first date carries to all of its entries.
    if len(dated) != 38 or any(not d.startswith("2024-05-14 09:41:") for d in dated[:36]) or \
            dated[36:] != ["2000-02-29 23:59:59.999", "2100-03-01 00:00:00.000"]:
        sys.exit(f"dates: {dated}")
    # The timestamp kind: none, time of day only, date and time.
    kinds = os.path.join(work, "kinds.cap")
    with open(kinds, "w") as f:
        f.write("sdp 0b00a002\n09:41:07.112 sdp 0b00a002\n2024-05-14 09:41:07.112 sdp 0b00a002\n")
    run([tool, "export", "--linktype", "150", exported, kinds])
    if [given for given, _, _ in packets(exported)] != [0, 1, 2]:
        sys.exit(f"timestamp kinds: {[given for given, _, _ in packets(exported)]}")
    sys.exit(0)

if not shutil.which("tshark"):
    print("SKIPPED: tshark is not installed (scripts/install-deps.sh installs Debian's tshark)")
    sys.exit(77)

capture, exported, plugin = (os.path.join(work, n) for n in ("all.cap", "all.pcapng", "rizorod.lua"))
with open(capture, "w") as f:
    f.write(run([all_codes])[0])
want = decodings(run([tool, "decode", capture])[0])
run([tool, "export", exported, capture])
with open(plugin, "w") as f:
    f.write(run([tool, "dissector"])[0])
codes = len(run([tool, "list"])[0].splitlines())
if len(want) != 2 * codes:
    sys.exit(f"{len(want)} decodings of {codes} codes")


def tshark(*args):
    out, err = run(["tshark", "-r", exported, "-X", "lua_script:" + plugin, *args])
    if "Lua" in err:
        sys.exit(err)
    return out


if check == "tree":
    got = trees(tshark("-V"))
    if len(got) != len(want):
        sys.exit(f"{len(got)} packets shown, {len(want)} entries decoded")
    for number, (w, g) in enumerate(zip(want, got), 1):
        if w != g:
            first = next(i for i, (a, b) in enumerate(zip(w + [None], g + [None])) if a != b)
            sys.exit(f"packet {number} ({w[0][1]}), line {first + 1}: decoding {w[first:first + 1]}, tree {g[first:first + 1]}")

if check == "filter":
    names = [w[0][1] for w in want]
    if tshark("-T", "fields", "-e", "_ws.col.Info").split("\n")[:-1] != names:
        sys.exit("the Info column is not the primitive's name")

    def holding(label, value):
        return {n for n, w in enumerate(want, 1) if any(x[1:2] == (label,) and int(x[2], 16) == value for x in w)}

    shared = max(set(names), key=names.count)  # a decoder that serves several codes
    for expression, expected in (("rizorod.handle == 0x29", holding("handle", 0x29)),
                                 ("rizorod.uap == 0x29", holding("uap", 0x29)),
                                 (f'rizorod.name == "{shared}"', {n for n, x in enumerate(names, 1) if x == shared})):
        got = {int(n) for n in tshark("-Y", expression, "-T", "fields", "-e", "frame.number").split()}
        if got != expected or len(expected) < 3:  # entries of two codes at least
            sys.exit(f"{expression}: packets {sorted(got)}, expected {sorted(expected)}")
