#!/usr/bin/env python3
"""Runs the leak canary under LeakSanitizer with the options and suppressions of the toolkit
tests (LSAN_OPTIONS from CTest) and fails unless the report holds exactly the canary's own leaks:
each one reported, nothing else left over, and the toolkit's constant leaks suppressed by the file
rather than missing from the stacks.
Usage: lsan_canary.py CANARY"""
import os
import re
import subprocess
import sys
import tempfile

OURS = ['leakToolkitString', 'leakCanvasString', 'leakStringBuffer', 'leakPlainCopy', 'leakInCallback']
# Toolkit leaks that every window makes; the others in the file depend on the icon service's timing.
ALWAYS_SUPPRESSED = ['efl_constructor', 'evas_render_method_lookup']

with tempfile.TemporaryDirectory() as home:
    env = dict(os.environ, HOME=home, ELM_ENGINE='buffer', ECORE_NO_SYSTEM_MODULES='1',
               ASAN_OPTIONS='detect_leaks=1', LSAN_OPTIONS=os.environ['LSAN_OPTIONS'] + ':print_suppressions=1')
    run = subprocess.run([sys.argv[1]], env=env, capture_output=True, text=True, timeout=120)
report = run.stderr
blocks = re.split(r'\n(?=(?:Direct|Indirect) leak of)', report)[1:]
failures = []
if run.returncode == 0:
    failures.append('the canary exited 0: LeakSanitizer reported nothing')
for block in blocks:
    block = block.split('\n\n')[0]
    names = [n for n in OURS if re.search(r'\b%s\b' % n, block)]
    if len(names) != 1:
        failures.append('a leak that is not one of the canary\'s (or not found in its stack):\n' + block)
for name in OURS:
    if not any(b.startswith('Direct') and re.search(r'\b%s\b' % name, b) for b in blocks):
        failures.append(name + ' was not reported: a suppression hides it')
used = report.split('Suppressions used:')[-1] if 'Suppressions used:' in report else ''
for frame in ALWAYS_SUPPRESSED:
    if frame not in used:
        failures.append('suppression "%s" was not used: the stacks no longer reach it or the leak is gone' % frame)
if failures:
    print('\n'.join(failures))
    print('--- canary output\n' + report[-6000:])
    sys.exit(1)
print('PASS: %d leaks of ours reported, the toolkit\'s own suppressed' % len(OURS))
