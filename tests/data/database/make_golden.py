#!/usr/bin/env python3
"""Writes the golden database images and what parse + rebuild must make of them.

Independent of the program: the layout is spelled out here, and the expected
order of the records is written down by hand, not computed by a collation.
Run from this folder: python3 make_golden.py
"""
import struct

RECORD = struct.pack('<I', 123456789)
CLOSING = struct.pack('<I', 987654321)


def page(seed, kind):
    body = bytearray((seed * 31 + i * 7) & 0xFF for i in range(528))
    body[520:524] = kind
    return bytes(body)


def head(pages, group, subgroup, ts, seed):
    p = bytearray(page(seed, RECORD))
    p[0:4] = struct.pack('<i', pages)
    for off, width, name in ((4, 21, group), (25, 21, subgroup), (46, 31, ts)):
        raw = name.encode('cp1251')
        p[off:off + width] = b'\0' * width
        p[off:off + len(raw)] = raw
    return bytes(p)


def image(pages):
    return b'VirBDTS' + b'%3d' % len(pages) + b''.join(pages)


def write(name, data):
    with open(name, 'wb') as f:
        f.write(data)


# Mixed: a repeat, a page of another kind, a head counting 0 pages, multi-page records.
r1 = [head(2, 'Hepatitis', 'HBV', 'HBsAg', 1), page(2, RECORD)]
r2 = [head(1, 'HIV', 'Ab', 'ELISA', 3)]
other = [page(4, b'\x01\x02\x03\x04')]
r3 = [head(1, 'Hepatitis', 'HBV', 'HBsAg', 5)]
r4 = [head(3, 'Гормоны', 'ТТГ', 'ТТГ-ИФА', 6), page(7, RECORD), page(8, RECORD)]
r5 = [head(1, 'hepatitis', 'HCV', 'anti-HCV', 9)]
r6 = [head(0, 'HIV', 'Ag', 'p24', 10)]
closing = [page(11, CLOSING)]
write('mixed.bdt', image(r1 + r2 + other + r3 + r4 + r5 + r6 + closing))
# Lower case before upper, Latin before Cyrillic; the repeat and the other page gone.
write('mixed.rebuilt.bdt', image(r5 + r1 + r2 + r6 + r4 + closing))

write('closing-only.bdt', image(closing))
write('closing-only.rebuilt.bdt', image(closing))

# Hyphen and apostrophe nearly ignored: ab, a-c, a'd.
h1 = [head(1, 'G', 'S', "a'd", 12)]
h2 = [head(1, 'G', 'S', 'a-c', 13)]
h3 = [head(1, 'G', 'S', 'ab', 14)]
write('punctuation.bdt', image(h1 + h2 + h3 + closing))
write('punctuation.rebuilt.bdt', image(h3 + h2 + h1 + closing))
