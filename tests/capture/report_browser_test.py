#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The HTML report in a real browser: headless chromium runs the page's script once, and the
page it leaves is checked against what the tool itself says about the same capture (the
decodings of `rizorod decode`, the pairs of `rizorod pairs`). A screenshot is kept in WORK.

usage: report_browser_test.py TOOL EXAMPLES WORK
Exits 77 (skipped) where chromium is missing: scripts/install-deps.sh browser installs it.
"""
import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
from html.parser import HTMLParser

VOID = {'meta', 'link', 'br', 'hr', 'img', 'input', 'source', 'wbr', 'col', 'area', 'base'}


class Node:
    def __init__(self, tag, attrs, parent):
        self.tag, self.attrs, self.parent, self.children, self.text = tag, dict(attrs), parent, [], ''

    def classes(self):
        return set(self.attrs.get('class', '').split())

    def walk(self):
        yield self
        for c in self.children:
            yield from c.walk()

    def all_text(self):
        return self.text + ''.join(c.all_text() for c in self.children)


class Tree(HTMLParser):
    """The page as a tree of elements, enough to find them by tag, class and attribute."""

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.root = self.open = Node('#document', {}, None)
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        node = Node(tag, attrs, self.open)
        self.open.children.append(node)
        if tag not in VOID:
            self.open = node

    def handle_startendtag(self, tag, attrs):
        self.open.children.append(Node(tag, attrs, self.open))

    def handle_endtag(self, tag):
        node = self.open
        while node is not self.root and node.tag != tag:
            node = node.parent
        if node is not self.root:
            self.open = node.parent

    def handle_data(self, data):
        self.open.text += data


failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def main():
    tool, examples, work = sys.argv[1:4]
    browser = shutil.which('chromium') or shutil.which('chromium-browser')
    if browser is None:
        print('SKIP: chromium is not installed (scripts/install-deps.sh browser installs it)')
        return 77
    os.makedirs(work, exist_ok=True)
    # The example session, then one more DM_ACL_CONNECT_CFM_T with status 5 that no request
    # waits for: a failed status and an answer that answers nothing.
    capture = os.path.join(work, 'session-plus.cap')
    with open(os.path.join(examples, 'session.cap')) as f:
        text = f.read()
    with open(capture, 'w') as f:
        f.write(text + '09:41:26.000 dm 04 20 01 00 05 00 2a 00 20 1f 6a 00 7c 00 12 00 00\n')
    page = os.path.join(work, 'report.html')
    subprocess.run([tool, 'report', capture, '-o', page], check=True)

    # What the tool says of the capture: every entry's name and decoding, in order, and the pairs.
    entries = [json.loads(line) for line in subprocess.run([tool, 'decode', '-f', 'json', capture], check=True,
                                                          capture_output=True, text=True).stdout.splitlines()]
    decoded = subprocess.run([tool, 'decode', capture], check=True, capture_output=True, text=True).stdout
    texts = re.split(r'(?m)^(?=---- \d\d:\d\d:\d\d\.\d{3} -+$)', decoded)[1:]
    pairs = [json.loads(line) for line in subprocess.run([tool, 'pairs', '-f', 'json', capture], check=True,
                                                        capture_output=True, text=True).stdout.splitlines()]
    ordinal_of = {e['line']: i for i, e in enumerate(entries)}
    connect_req = next(i for i, e in enumerate(entries) if e['name'] == 'DM_ACL_CONNECT_REQ_T')
    connect_cfm = next(i for i, e in enumerate(entries) if e['name'] == 'DM_ACL_CONNECT_CFM_T')

    # One launch: the page's script runs, then the page is dumped and a screenshot taken; the
    # "#entry=N" address clicks the arrow of entry N once the charts are drawn.
    profile = tempfile.mkdtemp(prefix='chromium-')
    try:
        run = subprocess.run([browser, '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                              '--disable-background-networking', '--disable-component-update', '--disable-sync',
                              '--user-data-dir=' + profile, '--enable-logging=stderr', '--v=0',
                              '--virtual-time-budget=5000', '--window-size=1400,2000',
                              '--screenshot=' + os.path.join(work, 'report.png'), '--dump-dom',
                              'file://' + os.path.abspath(page) + '#entry=%d' % connect_cfm],
                             capture_output=True, text=True, timeout=120)
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    check(run.returncode == 0, 'chromium exited with %d' % run.returncode)
    console = [l for l in run.stderr.splitlines() if 'CONSOLE' in l or 'Uncaught' in l]
    check(not console, 'console messages: %s' % console)
    dom = Tree(run.stdout)
    root = next(n for n in dom.root.walk() if n.tag == 'html')
    check(root.attrs.get('data-rendered') == 'yes', 'the script did not finish')
    check('data-errors' not in root.attrs, 'script errors: %s' % root.attrs.get('data-errors'))

    # The session's chart: one arrow per entry, in entry order, each down or up.
    charts = {n.attrs.get('data-title'): n for n in dom.root.walk() if 'chart' in n.classes() and n.tag == 'section'}
    session = charts.get('whole session')
    check(session is not None, 'no chart of the whole session')
    arrows = [n for n in session.walk() if 'arrow' in n.classes()] if session else []
    check([a.attrs.get('data-name') for a in arrows] == [e['name'] for e in entries],
          'the session chart\'s arrows are not the entries: %d arrows, %d entries' % (len(arrows), len(entries)))
    check([a.attrs.get('data-entry') for a in arrows] == [str(i) for i in range(len(entries))], 'arrows out of order')
    for a in arrows:
        name = a.attrs.get('data-name', '')
        want = 'down' if re.search(r'_(REQ|RES|RSP)_T$', name) else 'up' if re.search(r'_(CFM|IND|COMPLETE)_T$', name) else None
        if want and name != 'BNEP_HCI_SWITCH_ROLE_RSP_T':
            check(want in a.classes(), '%s arrow %s is not %s' % (name, a.attrs.get('data-entry'), want))

    # The known pair, linked with its latency (09:41:15.406 - 09:41:11.250).
    kind = 'DM_ACL_CONNECT_REQ_T -> DM_ACL_CONNECT_CFM_T'
    links = [n for n in session.walk() if 'link' in n.classes() and n.attrs.get('data-kind') == kind] if session else []
    check([(l.attrs.get('data-from'), l.attrs.get('data-to')) for l in links] == [(str(connect_req), str(connect_cfm))],
          'the pair %s is not linked once from %d to %d' % (kind, connect_req, connect_cfm))
    latencies = [n.all_text() for n in session.walk() if 'latency' in n.classes() and n.attrs.get('data-kind') == kind]
    check(latencies == ['4156.000 ms'], 'latency of %s: %s' % (kind, latencies))
    # Every pair of `rizorod pairs` is linked, and nothing else.
    got = sorted((int(n.attrs['data-from']), int(n.attrs['data-to'])) for n in session.walk() if 'link' in n.classes())
    want = sorted((ordinal_of[p['request']['line']], ordinal_of[p['answer']['line']]) for p in pairs if p['type'] == 'pair')
    check(got == want, 'links %s, pairs %s' % (got, want))

    # Marks: the requests still unanswered, the answer to nothing, the failed status.
    marked = {int(a.attrs['data-entry']) for a in arrows if 'unanswered' in a.classes()}
    waiting = {ordinal_of[p['request']['line']] for p in pairs if p['type'] == 'unanswered'}
    check(marked == waiting and ordinal_of[10] in marked, 'unanswered arrows %s, unanswered requests %s' % (marked, waiting))
    last = arrows[-1] if arrows else None
    check(last is not None and {'failed', 'unmatched'} <= last.classes(), 'the last CFM is not marked failed and unmatched')

    # A chart of the connection, holding its entries.
    connection = charts.get('00:12:7C:6A:1F:20')
    check(connection is not None, 'no chart of the connection 00:12:7C:6A:1F:20: %s' % list(charts))
    if connection is not None:
        inside = {int(a.attrs['data-entry']) for a in connection.walk() if 'arrow' in a.classes()}
        check({connect_req, connect_cfm} <= inside, 'the connection chart lacks the connect request or confirm')

    # The click shows the entry's decoding.
    detail = next((n for n in dom.root.walk() if n.attrs.get('id') == 'detail'), None)
    shown = html.unescape(detail.all_text()) if detail else ''
    check(texts[connect_cfm] in shown, 'the detail panel does not show the decoding of entry %d: %r' % (connect_cfm, shown[:300]))
    check('answers %s:%d after 4156.000 ms' % (capture, entries[connect_req]['line']) in shown, 'the detail panel does not name the request')

    for f in failures:
        print('FAIL:', f)
    print('%d checks failed; page %s, screenshot %s' % (len(failures), page, os.path.join(work, 'report.png')))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
