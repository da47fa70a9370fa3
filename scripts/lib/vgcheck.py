#!/usr/bin/env python3
"""Reads valgrind memcheck's XML output (--xml=yes) and decides whether a run is clean.

    vgcheck.py RUN.xml --root REPO [--supp FILE] [--expect-leaks f1,f2,...] [--suggest OUT]

Every error valgrind reported (suppressed ones are not in the file) is printed with its stack;
frames of our own code (source or binary under --root) are marked with '*', and the innermost of
them is named, since that is where a fix starts. The run fails when there is any error. With
--expect-leaks it must instead report exactly one leak per named function (found as a frame of
the leak's stack) and nothing else: the check of the suppression file against a program that
leaks on purpose. --supp checks the suppression file's rules (comment before every entry, frames
listed one by one without "...", no frame naming our code). --suggest writes valgrind's generated
suppression of every reported error to a file, as a starting point for a reviewed entry.
"""
import argparse
import os
import re
import sys
import xml.etree.ElementTree as ET



class Frame:
    def __init__(self, node, root):
        self.fn = node.findtext('fn') or '???'
        self.obj = node.findtext('obj') or ''
        self.file = node.findtext('file')
        self.line = node.findtext('line')
        directory = node.findtext('dir')
        if self.file:
            path = os.path.normpath(os.path.join(directory or '', self.file))
            self.ours = path.startswith(root)
            self.where = (os.path.relpath(path, root) if self.ours else self.file) + ':' + (self.line or '?')
        else:
            # No line information: our binaries still count as our code.
            self.ours = bool(self.obj) and os.path.normpath(self.obj).startswith(root)
            self.where = os.path.basename(self.obj)

    def __str__(self):
        return ('  * ' if self.ours else '    ') + self.fn + '  (' + self.where + ')'


class Error:
    def __init__(self, node, root):
        self.kind = node.findtext('kind')
        self.what = node.findtext('what') or node.findtext('xwhat/text') or ''
        self.stacks = [[Frame(f, root) for f in s.findall('frame')] for s in node.findall('stack')]
        self.aux = [a.text or '' for a in node.findall('auxwhat')] + \
                   [a.findtext('text') or '' for a in node.findall('xauxwhat')]
        supp = node.find('suppression/rawtext')
        self.suppression = supp.text if supp is not None else ''
        frames = self.stacks[0] if self.stacks else []
        self.own = next((f for f in frames if f.ours), None)

    def functions(self):
        return {f.fn for stack in self.stacks for f in stack}

    def report(self, out):
        where = 'innermost frame of ours: %s %s' % (self.own.fn, self.own.where) if self.own \
            else 'no frame of ours'
        out.write('--- %s: %s\n    [%s]\n' % (self.kind, self.what, where))
        for i, stack in enumerate(self.stacks):
            if i > 0 and i - 1 < len(self.aux):
                out.write('  %s\n' % self.aux[i - 1])
            # Long runs of library frames are cut in the middle: their first frames say what
            # allocated, their last ones which call of our code led there.
            run = []
            for frame in stack + [None]:
                if frame is not None and not frame.ours:
                    run.append(frame)
                    continue
                tail = 2 if frame is not None else 0
                if len(run) > 10:
                    run = run[:7] + ['    ... %d frames' % (len(run) - 7 - tail)] + (run[-tail:] if tail else [])
                for f in run:
                    out.write(str(f) + '\n')
                run = []
                if frame is not None:
                    out.write(str(frame) + '\n')


def lint_suppressions(path):
    """Problems of the suppression file, one string each."""
    problems = []
    commented = False
    entry = None
    for number, raw in enumerate(open(path), 1):
        line = raw.strip()
        if entry is None:
            if line.startswith('#'):
                commented = True
            elif line == '{':
                if not commented:
                    problems.append('%s:%d: entry without a comment before it' % (path, number))
                entry = []
                start = number
            elif line:
                problems.append('%s:%d: unexpected line %r' % (path, number, line))
            continue
        if line != '}':
            entry.append(line)
            continue
        name, frames = (entry[0] if entry else '?'), [l for l in entry[2:] if not l.startswith('match-leak-kinds')]
        if len(entry) < 2 or not entry[1].startswith('Memcheck:'):
            problems.append('%s:%d: entry %s is not a memcheck entry' % (path, start, name))
        for frame in frames:
            if frame == '...':
                problems.append('%s:%d: entry %s uses "...": list the frames one by one' % (path, start, name))
            elif re.fullmatch(r'(fun|obj|src):\**', frame):
                problems.append('%s:%d: entry %s has a frame that matches anything: %s' % (path, start, name, frame))
            elif re.search(r'tav|survey|travix|openapi|deviceinfo|canary|/work/|^fun:main$|ui_app_main|^src:', frame, re.I):
                problems.append('%s:%d: entry %s names our code: %s' % (path, start, name, frame))
        if len(frames) < 4:
            problems.append('%s:%d: entry %s has fewer than 4 frames' % (path, start, name))
        entry = None
        commented = False
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('xml')
    parser.add_argument('--root', required=True)
    parser.add_argument('--supp')
    parser.add_argument('--expect-leaks', default='')
    parser.add_argument('--suggest')
    args = parser.parse_args()
    root = os.path.normpath(os.path.abspath(args.root)) + os.sep

    failed = False
    if args.supp:
        problems = lint_suppressions(args.supp)
        for p in problems:
            print('suppression rule broken: ' + p)
        failed = bool(problems)

    try:
        doc = ET.parse(args.xml).getroot()
    except (OSError, ET.ParseError) as e:
        print('no usable valgrind output in %s: %s' % (args.xml, e))
        return 1
    errors = [Error(e, root) for e in doc.findall('error')]
    used = {p.findtext('name'): int(p.findtext('count')) for p in doc.findall('suppcounts/pair')}
    if args.suggest:
        with open(args.suggest, 'w') as out:
            out.write(''.join(e.suppression for e in errors))

    expected = [f for f in args.expect_leaks.split(',') if f]
    if expected:
        leaks = [e for e in errors if e.kind in ('Leak_DefinitelyLost', 'Leak_IndirectlyLost')]
        for name in expected:
            hits = [e for e in leaks if any(re.search(r'(^|::)%s\(' % re.escape(name), fn) for fn in e.functions())]
            # A leak of one block may come with blocks it points to (indirectly lost).
            direct = [e for e in hits if e.kind == 'Leak_DefinitelyLost']
            if len(direct) != 1:
                print('expected one definite leak in %s, valgrind reported %d' % (name, len(direct)))
                failed = True
            errors = [e for e in errors if e not in hits]
        if errors:
            print('%d error(s) besides the expected leaks:' % len(errors))
    elif errors:
        print('%d error(s), %d with frames of our code:' % (len(errors), sum(1 for e in errors if e.own)))
    for e in errors:
        e.report(sys.stdout)
    failed = failed or bool(errors)
    print('suppressed: ' + (', '.join('%s x%d' % kv for kv in sorted(used.items())) or 'nothing'))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
