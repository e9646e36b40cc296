#!/usr/bin/env python3
"""Writes the seed files of avi_demuxer_fuzzer: tiny AVI files whose samples come from each source the demuxer
knows (idx1 with relative or absolute offsets, OpenDML indx and ix## over two RIFF forms, a walk of the movi
list through "rec " lists), with odd-sized chunks. Takes the folder to write the seeds into; scripts/fuzz runs it."""
import os
import sys
import struct


def chunk(cid, data):
    return cid.encode() + struct.pack('<I', len(data)) + data + (b'\0' if len(data) % 2 else b'')


def lst(kind, ltype, children):
    return chunk(kind, ltype.encode() + b''.join(children))


def strh(stype, handler, scale, rate, sample_size):
    return chunk('strh', stype.encode() + handler + struct.pack('<IIIIIIIIII4h', 0, 0, 0, scale, rate, 0, 2,
                                                                   144000, 0xFFFFFFFF, sample_size, 0, 0, 720, 576))


def avih(streams):
    return chunk('avih', struct.pack('<14I', 40000, 3600000, 0, 0x910, 2, 0, streams, 144008, 720, 576, 0, 0, 0, 0))


BITMAP = chunk('strf', struct.pack('<IiiHH4sIiiII', 40, 720, 576, 1, 24, b'dvsd', 144000, 0, 0, 0, 0))
DVINFO = chunk('strf', struct.pack('<8I', 0xC8C0D0C0, 0x01800000, 0xD0C0, 0, 0xFF20FFFF, 0xFFFE3F00, 0, 0))
WAVE = chunk('strf', struct.pack('<HHIIHHH', 1, 2, 48000, 192000, 4, 16, 0))
VIDEO = [strh('vids', b'dvsd', 1, 25, 0), BITMAP]
AUDIO = [strh('auds', bytes(4), 4, 192000, 4), WAVE]


def with_idx1(strls, samples, absolute):
    """samples: (id, data) in movi order; idx1 offsets from the "movi" type, or from the file start."""
    header = lst('LIST', 'hdrl', [avih(len(strls))] + [lst('LIST', 'strl', s) for s in strls])
    movi_type = 12 + len(header) + 8
    entries, pos = b'', movi_type + 4
    for cid, data in samples:
        entries += cid.encode() + struct.pack('<III', 0x10, pos if absolute else pos - movi_type, len(data))
        pos += len(chunk(cid, data))
    movi = lst('LIST', 'movi', [chunk(c, d) for c, d in samples])
    return lst('RIFF', 'AVI ', [header, movi, chunk('idx1', entries)])


def opendml():
    """Two frames of "00dc" in the "AVI " form and one in an "AVIX" form, each movi list ended by its ix00."""
    frames = [[bytes([0]) * 15, bytes([1]) * 15], [bytes([2]) * 15]]
    super_size = 24 + 16 * len(frames)

    def indx(entries):
        body = struct.pack('<HBBI4s3I', 4, 0, 0, len(entries), b'00dc', 0, 0, 0)
        body += b''.join(struct.pack('<QII', *e) for e in entries)
        return chunk('indx', body + bytes(super_size - len(body)))

    def form(kind, children):
        return lst('RIFF', kind, children)

    def movi_and_ix(start, datas):
        # start: file position of this form's "LIST" "movi"; ix00 base offset = start.
        pos, offsets = start + 12, []
        for d in datas:
            offsets.append(pos + 8 - start)
            pos += len(chunk('00dc', d))
        ix = struct.pack('<HBBI4sQI', 2, 0, 1, len(datas), b'00dc', start, 0)
        ix += b''.join(struct.pack('<II', o, len(d)) for o, d in zip(offsets, datas))
        return lst('LIST', 'movi', [chunk('00dc', d) for d in datas] + [chunk('ix00', ix)]), pos, len(ix) + 8

    def header(entries):
        strl = lst('LIST', 'strl', VIDEO + [indx(entries)])
        odml = lst('LIST', 'odml', [chunk('dmlh', struct.pack('<I', 3))])
        return lst('LIST', 'hdrl', [avih(1), strl, odml])

    first_movi = 12 + len(header([]))
    movi0, ix0, ix0_size = movi_and_ix(first_movi, frames[0])
    avi = form('AVI ', [header([]), movi0])
    movi1, ix1, ix1_size = movi_and_ix(len(avi) + 12, frames[1])
    entries = [(ix0, ix0_size, 2), (ix1, ix1_size, 1)]
    return form('AVI ', [header(entries), movi0]) + form('AVIX', [movi1])


def rec_walk():
    recs = [lst('LIST', 'rec ', [chunk('00dc', bytes([i]) * 9), chunk('01wb', bytes([0x80 + i]) * 4)]) for i in range(2)]
    movi = lst('LIST', 'movi', [recs[0], chunk('JUNK', bytes(3)), recs[1], chunk('00pc', bytes(4))])
    return lst('RIFF', 'AVI ', [lst('LIST', 'hdrl', [avih(2), lst('LIST', 'strl', VIDEO),
                                                     lst('LIST', 'strl', AUDIO)]), movi])


TYPE2 = [('00dc', bytes([0]) * 15), ('01wb', bytes([0x80]) * 8), ('00dc', bytes([1]) * 15), ('01wb', bytes([0x81]) * 8)]
SEEDS = {
    'type1_idx1': with_idx1([[strh('iavs', b'dvsd', 1, 25, 0), DVINFO]], [('00db', bytes(16)), ('00db', bytes(16))],
                            False),
    'type2_idx1_odd_sizes': with_idx1([VIDEO, AUDIO], TYPE2, False),
    'type2_idx1_absolute': with_idx1([VIDEO, AUDIO], TYPE2, True),
    'opendml_two_forms': opendml(),
    'movi_walk_rec_lists': rec_walk(),
}

root = sys.argv[1] if len(sys.argv) > 1 else sys.exit('usage: ' + sys.argv[0] + ' OUTPUT-FOLDER')
folder = os.path.join(root, 'avi_demuxer_fuzzer')
os.makedirs(folder, exist_ok=True)
for old in os.listdir(folder):
    os.remove(os.path.join(folder, old))
for name, data in SEEDS.items():
    with open(os.path.join(folder, name), 'wb') as out:
        out.write(data)
