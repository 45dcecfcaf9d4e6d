#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
# rizorod export and the generated dissector in tshark: tshark_test.py CHECK TOOL ALL_CODES WORK DATA EXAMPLES
#   tree       every code of every interface, twice: each packet's tshark -V tree is its text
#              decoding, with the address forms after BD_ADDR_T, ETHER_ADDR and IP lines
#   filter     filters by label (any depth, numbers of every width, addresses) and by name select
#              exactly the entries holding that line
#   fields     every field's type fits its bytes (a u8 shows 0x29, not 0x00000029) and its line;
#              every field has a description; the plugin's version
#   packets    hand-made packets: short records and framing that runs past the packet flagged, the
#              IPv6 texts, the link type preference
#   framing    an export read back by a small pcapng reader decodes to the same text, with the dates
# All but framing exit 77 (ctest: skipped) where tshark is missing.
import datetime, ipaddress, os, re, shutil, struct, subprocess, sys
import xml.etree.ElementTree as ET

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


def ipv6(raw):  # RFC 5952 text of 16 bytes, IPv4 in IPv6 form as ::ffff:a.b.c.d
    if raw[:12] == bytes(10) + b"\xff\xff":
        return "::ffff:" + ".".join(str(b) for b in raw[12:])
    return ipaddress.IPv6Address(raw).compressed


def forms(entry):  # a decoding's lines as the tree shows them: address lines carry their text
    out = []
    for i, (depth, *item) in enumerate(entry):
        if item == ["BD_ADDR_T"]:
            lap, uap, nap = (int(entry[i + k][2], 16) for k in (1, 2, 3))
            text = ":".join(f"{b:02X}" for b in (nap >> 8, nap & 255, uap, lap >> 16 & 255, lap >> 8 & 255, lap & 255))
            item = [f"BD_ADDR_T ({text})"]
        elif item == ["ETHER_ADDR"]:
            words = (int(entry[i + k][2], 16) for k in (1, 2, 3))
            item = [f"ETHER_ADDR ({':'.join(f'{w >> s & 255:02x}' for w in words for s in (0, 8))})"]
        elif len(item) == 2 and re.fullmatch(r"([0-9a-f]{4} ){7}[0-9a-f]{4}", item[1]):
            item[1] += f" ({ipv6(b''.join(struct.pack('<H', int(w, 16)) for w in item[1].split()))})"
        out.append((depth, *item))
    return out


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


def pcapng(path, linktype, frames):  # a pcapng file of the given packet data
    with open(path, "wb") as f:
        f.write(struct.pack("<IIIHHqI", 0x0A0D0D0A, 28, 0x1A2B3C4D, 1, 0, -1, 28))
        f.write(struct.pack("<IIHHII", 1, 20, linktype, 0, 0, 20))
        for data in frames:
            pad = data + bytes(-len(data) % 4)
            f.write(struct.pack("<IIIIIII", 6, 32 + len(pad), 0, 0, 0, len(data), len(data)) + pad +
                    struct.pack("<I", 32 + len(pad)))


def frame(iface, code, record, blocks=(), record_length=None):  # one packet's data, as export frames it
    data = struct.pack("<BBHB3xI", 1, iface, code, 1, len(record) if record_length is None else record_length) + record
    data += struct.pack("<I", len(blocks))
    for address, block in blocks:
        data += struct.pack("<II", address, len(block)) + block
    return data

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


FIXED = {f"rizorod.{n}" for n in ("interface", "code", "stamp", "blocks", "block", "address", "name", "record")}


def tshark(*args):
    out, err = run(["tshark", "-r", exported, "-X", "lua_script:" + plugin, *args])
    if "Lua" in err:
        sys.exit(err)
    return out


want = [forms(w) for w in want]

if check == "tree":
    got = trees(tshark("-V"))
    if len(got) != len(want):
        sys.exit(f"{len(got)} packets shown, {len(want)} entries decoded")
    for number, (w, g) in enumerate(zip(want, got), 1):
        if w != g:
            first = next(i for i, (a, b) in enumerate(zip(w + [None], g + [None])) if a != b)
            sys.exit(f"packet {number} ({w[0][1]}), line {first + 1}: "
                     f"decoding {w[first:first + 1]}, tree {g[first:first + 1]}")

if check in ("filter", "fields"):
    pdml = ET.fromstring(tshark("-T", "pdml"))
    items = [[f for f in packet.iter("field") if f.get("name", "").startswith("rizorod.") and f.get("hide") != "yes"]
             for packet in pdml.iter("packet")]
    if len(items) != len(want):
        sys.exit(f"{len(items)} packets in PDML, {len(want)} entries decoded")

if check == "filter":
    names = [w[0][1] for w in want]
    if tshark("-T", "fields", "-e", "_ws.col.Info").split("\n")[:-1] != names:
        sys.exit("the Info column is not the primitive's name")

    def holding(label, value):
        return {n for n, w in enumerate(want, 1) if any(x[1:2] == (label,) and int(x[2], 16) == value for x in w)}

    def holding_line(line):
        return {n for n, w in enumerate(want, 1) if any(line in x for x in w)}

    # For each width, the label of only that width whose most frequent value needs the width, and
    # a label of several widths with its most frequent value above 0xff: a filter parses its
    # number for every width that the label has.
    widths, counts = {}, {}
    for n, packet in enumerate(items, 1):
        for f in packet:
            if f.get("show").startswith("0x") and f.get("name") not in FIXED:
                widths.setdefault(f.get("name")[8:], set()).add(int(f.get("size")))
                counts.setdefault((f.get("name")[8:], int(f.get("show"), 16)), set()).add(n)
    def commonest(wanted, least):
        return max(((len(p), label, v) for (label, v), p in counts.items() if wanted(widths[label]) and v >= least),
                   default=(0, "?", 0))[1:]
    rows = [("handle", 0x29), commonest(lambda w: w == {1}, 0), commonest(lambda w: w == {2}, 0x100),
            commonest(lambda w: w == {4}, 0x10000), commonest(lambda w: len(w) > 1, 0x100)]
    table = [(f"rizorod.{label} == 0x{value:x}", holding(label, value), 2) for label, value in rows]
    table[-1] = (*table[-1][:2], 1)
    # An address and an IP field by their text, a name.
    bd_addr = max((x[1] for w in want for x in w if x[1].startswith("BD_ADDR_T (")), key=lambda a: len(holding_line(a)))
    ip = next(x[2] for w in want for x in w if x[1] == "rem_addr")
    shared = max(set(names), key=names.count)  # a decoder that serves several codes
    table += [(f"rizorod.bd_addr == {bd_addr[11:-1]}", holding_line(bd_addr), 2),
              (f"rizorod.rem_addr == {ip.split('(')[1][:-1]}", holding_line(ip), 1),
              (f'rizorod.name == "{shared}"', {n for n, x in enumerate(names, 1) if x == shared}, 3)]
    for expression, expected, least in table:
        got = {int(n) for n in tshark("-Y", expression, "-T", "fields", "-e", "frame.number").split()}
        if got != expected or len(expected) < least:
            sys.exit(f"{expression}: packets {sorted(got)}, expected {sorted(expected)}")

if check == "fields":
    # A number's field shows its bytes' width (a u8 0x29, not 0x00000029) and its line's value;
    # an address its line's text; a device name its text; a byte run its bytes.
    def fits(line, show, size, raw):
        if line[1].startswith(("BD_ADDR_T (", "ETHER_ADDR (")):
            return show == line[1].split("(")[1][:-1].lower()
        if line[1] == "name_part":
            return show == line[2]
        if show.startswith("0x"):
            return show == f"0x{int.from_bytes(raw, 'little'):0{2 * size}x}" and re.fullmatch(
                r"[0-9a-f]+", line[-1]) and int(show, 16) == int(line[-1], 16)
        if line[-1].endswith(")"):
            return size == 16 and show == ipv6(raw) == line[-1].split("(")[1][:-1]
        return show == raw.hex(":") and line[-1] == raw.hex(" ")

    for number, (w, packet) in enumerate(zip(want, items), 1):
        lines = [x for x in w if len(x) > 2 or " (" in x[1] or re.fullmatch(r"[0-9a-f ]+", x[1])]
        shown = [f for f in packet if f.get("name") not in FIXED]
        if len(shown) != len(lines):
            sys.exit(f"packet {number}: {len(shown)} fields for {len(lines)} lines")
        for line, f in zip(lines, shown):
            show, size = f.get("show"), int(f.get("size"))
            if not fits(line, show, size, bytes.fromhex(f.get("value"))):
                sys.exit(f"packet {number}: {f.get('name')} shows {show} ({size} bytes) for the line {line}")
    described = [d.split("\t") for d in run(["tshark", "-G", "fields", "-X", "lua_script:" + plugin])[0].splitlines()]
    mine = [d for d in described if d[0] == "F" and d[2].startswith("rizorod.") and d[2] != "rizorod.malformed"]
    if not mine or any(not d[7] for d in mine):
        sys.exit(f"fields without a description: {[d[2] for d in mine if not d[7]]} of {len(mine)}")
    version = run([tool, "--version"])[0].split()[1]
    if f"rizorod.lua\t{version}\t" not in run(["tshark", "-G", "plugins", "-X", "lua_script:" + plugin])[0]:
        sys.exit(f"tshark -G plugins does not show version {version}")

if check == "packets":
    # Packets of our own: each flagged with its message and no field of the record, or not.
    acl = bytes(range(0x41, 0x52))  # DM_ACL_CONNECT_CFM_T reads 17 bytes
    cases = [(frame(0, 0x2004, acl), None),
             (frame(0, 0x2004, acl[:2]), "record needs 17 bytes; it has 2"),
             (frame(0, 0x2004, acl[:16]), "record needs 17 bytes; it has 16"),
             (frame(0, 0x0c13, b"\x29\x04" + bytes(34)), "record needs 48 bytes; it has 36"),  # a name at 16
             (frame(0, 0x2004, acl, record_length=18), "the record's length 18 runs past the packet's 33 bytes"),
             (frame(0, 0x2009, acl, [(0x1000, b"\x29\x2a")])[:-1], "memory block 1 runs past the packet's end"),
             (b"\x02" + frame(0, 0x2004, acl)[1:], "not framing version 1")]
    pcapng(exported, 147, [data for data, _ in cases])
    got = [line.split("\t") for line in tshark("-T", "fields", "-E", "occurrence=f", "-e", "_ws.expert.message",
                                                "-e", "rizorod.type").splitlines()]
    if len(got) != len(cases):
        sys.exit(f"{len(got)} packets shown for {len(cases)}")
    for number, ((_, message), (expert, first)) in enumerate(zip(cases, got), 1):
        if (expert or None) != message or (first == "") != (message is not None):
            sys.exit(f"packet {number}: message {expert!r} with type {first!r}, expected {message!r}")
    flagged = tshark("-Y", "rizorod.malformed", "-T", "fields", "-e", "frame.number").split()
    if flagged != [str(n) for n, (_, m) in enumerate(cases, 1) if m]:
        sys.exit(f"rizorod.malformed selects {flagged}")

    # IP fields hold the bytes as an IPv6 address; the tree shows its text.
    ips = [("00000000000000000000ffffc0a80001", "::ffff:192.168.0.1"), ("00" * 16, "::"), ("00" * 15 + "01", "::1"),
           ("20010db8000000000001000000000001", "2001:db8::1:0:0:1"),  # the first of equal runs
           ("20010db8000000010000000000000001", "2001:db8:0:1::1"),    # the longest run
           ("fe80" + "00" * 14, "fe80::"), ("20010db8000000010001000100010001", "2001:db8:0:1:1:1:1:1"),
           ("ab12cd34ef5612789abcdef013572468", "ab12:cd34:ef56:1278:9abc:def0:1357:2468")]
    pcapng(exported, 147, [frame(1, 0x0201, b"\x01\x02\x03\x04\x05\x06" + bytes.fromhex(raw) + bytes(8))
                           for raw, _ in ips])
    shown = tshark("-T", "fields", "-e", "rizorod.rem_addr").split()
    tree = re.findall(r"rem_addr = .* \((.*)\)", tshark("-V"))
    if shown != [text for _, text in ips] or tree != shown:
        sys.exit(f"IP fields {shown}, in the tree {tree}")

    # One plugin for every user link type: the preference chooses, the plugin's own is the default.
    run([tool, "export", "--linktype", "150", exported, os.path.join(examples, "session.cap")])
    for linktype, options, count in ((147, [], 0), (147, ["-o", "rizorod.linktype:150"], 36), (150, [], 36),
                                     (150, ["-o", "rizorod.linktype:151"], 0)):
        with open(plugin, "w") as f:
            f.write(run([tool, "dissector", "--linktype", str(linktype)])[0])
        got = len(tshark(*options, "-Y", "rizorod").split("\n")) - 1
        if got != count:
            sys.exit(f"a plugin for {linktype} with {options}: {got} packets shown, expected {count}")
