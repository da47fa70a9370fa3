#!/usr/bin/env python3
"""Writes the pseudo-language catalog "qps" from the English one (argv[1] -> argv[2]).

Every text comes out at least 40% longer, its letters accented and a run of wide characters
added, inside brackets: a text cut off or spilling out of its place shows at a glance, and the
layout test checks that none is. Message ids and the header stay as they are.
"""
import math
import re
import sys

ACCENTED = dict(zip(
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ",
    "åƀçðéƒĝĥîĵķļɱñöþǫŕšţûṽŵẋýžÅƁÇÐÉƑĜĤÎĴĶĻṀÑÖÞǪŔŠŢÛṼŴẊÝŽ"))
WIDE = "語ｗ"


def pseudo(text):
    pad = max(1, math.ceil(len(text) * 0.4) - 1)
    wide = "".join(WIDE[i % len(WIDE)] for i in range(pad))
    return "[" + "".join(ACCENTED.get(c, c) for c in text) + " " + wide + "]"


def main(source, target):
    out = []
    msgid = None
    for line in open(source, encoding="utf-8"):
        m = re.match(r'msgid "(.*)"$', line)
        if m:
            msgid = m.group(1)
        m = re.match(r'msgstr "(.*)"$', line)
        if m and msgid:
            line = 'msgstr "%s"\n' % pseudo(m.group(1).replace('\\"', '"')).replace('"', '\\"')
        out.append(line.replace("Language: en", "Language: qps"))
    with open(target, "w", encoding="utf-8") as f:
        f.writelines(out)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
