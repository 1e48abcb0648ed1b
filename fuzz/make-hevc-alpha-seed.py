#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Turns the first video track of a QuickTime movie into an input of
HEVCAlphaMovieCheckFuzzer: the sample entry box, then every sample as a
4-byte big-endian length and its bytes.

    fuzz/make-hevc-alpha-seed.py MOVIE.mov SEED.hvca [MAX_SAMPLES]
"""
import struct
import sys


def boxes(data, start, end):
    while start + 8 <= end:
        size, kind = struct.unpack('>I4s', data[start:start + 8])
        header = 8
        if size == 1:
            size = struct.unpack('>Q', data[start + 8:start + 16])[0]
            header = 16
        elif size == 0:
            size = end - start
        yield kind.decode('latin-1'), start + header, start + size
        start += size


def child(data, parent, kind):
    for name, payload, end in boxes(data, parent[0], parent[1]):
        if name == kind:
            return payload, end
    raise SystemExit('missing box ' + kind)


def main():
    movie, seed = sys.argv[1], sys.argv[2]
    limit = int(sys.argv[3]) if len(sys.argv) > 3 else 1 << 30
    data = open(movie, 'rb').read()
    stbl = (0, len(data))
    for kind in ('moov', 'trak', 'mdia', 'minf', 'stbl'):
        stbl = child(data, stbl, kind)
    stsd = child(data, stbl, 'stsd')
    entry_size = struct.unpack('>I', data[stsd[0] + 8:stsd[0] + 12])[0]
    out = bytearray(data[stsd[0] + 8:stsd[0] + 8 + entry_size])
    stsz, stco, stsc = child(data, stbl, 'stsz'), child(data, stbl, 'stco'), child(data, stbl, 'stsc')
    fixed, count = struct.unpack('>II', data[stsz[0] + 4:stsz[0] + 12])
    sizes = [fixed or struct.unpack('>I', data[stsz[0] + 12 + 4 * i:stsz[0] + 16 + 4 * i])[0] for i in range(count)]
    chunks = struct.unpack('>I', data[stco[0] + 4:stco[0] + 8])[0]
    offsets = [struct.unpack('>I', data[stco[0] + 8 + 4 * i:stco[0] + 12 + 4 * i])[0] for i in range(chunks)]
    runs = struct.unpack('>I', data[stsc[0] + 4:stsc[0] + 8])[0]
    table = [struct.unpack('>III', data[stsc[0] + 8 + 12 * r:stsc[0] + 20 + 12 * r]) for r in range(runs)]
    sample = 0
    for chunk, offset in enumerate(offsets):
        per_chunk = [n for first, n, _ in table if first <= chunk + 1][-1]
        for _ in range(per_chunk):
            if sample >= min(count, limit):
                break
            out += struct.pack('>I', sizes[sample]) + data[offset:offset + sizes[sample]]
            offset += sizes[sample]
            sample += 1
    open(seed, 'wb').write(out)


main()
