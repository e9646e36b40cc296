#!/usr/bin/env python3
"""Writes the seed files of the AVI header fuzzers (aviinfo_fuzzer, fpsunit_fuzzer, riff_report_fuzzer): tiny
AVI files of the shapes the reader, the patcher and the RIFF report tell apart. Takes the folder to write
the seed folders into; scripts/fuzz runs it."""
import os
import sys
import struct


def chunk(cid, data):
    body = cid.encode() + struct.pack('<I', len(data)) + data
    return body + (b'\0' if len(data) % 2 else b'')


def lst(kind, ltype, children):
    return chunk(kind, ltype.encode() + b''.join(children))


def strh(stype, handler):
    # fccType, fccHandler, flags, priority+language, initial frames, scale, rate, start, length,
    # buffer size, quality, sample size, frame rectangle
    return chunk('strh', stype.encode() + handler + struct.pack('<IIIIIIIIII4h', 0, 0, 0, 1, 25, 0, 2, 144000,
                                                                   0xFFFFFFFF, 0, 0, 0, 720, 576))


def bitmap(compression):
    return chunk('strf', struct.pack('<IiiHH4sIiiII', 40, 720, 576, 1, 24, compression, 144000, 0, 0, 0, 0))


def dvinfo():
    return chunk('strf', struct.pack('<8I', 0xC8C0D0C0, 0x01800000, 0xD0C0, 0, 0xFF20FFFF, 0xFFFE3F00, 0, 0))


def wave():
    return chunk('strf', struct.pack('<HHIIHHH', 1, 2, 48000, 192000, 4, 16, 0))


def avih(streams):
    return chunk('avih', struct.pack('<14I', 40000, 3600000, 0, 0x910, 2, 0, streams, 144008, 720, 576, 0, 0, 0, 0))


def superindex(cid):
    return chunk('indx', struct.pack('<HBBI4s3IQII', 4, 0, 0, 1, cid.encode(), 0, 0, 0, 0x400, 32, 2))


def movi(ids):
    return lst('LIST', 'movi', [chunk(i, bytes(16)) for i in ids])


def avi(strls, ids, extra=()):
    header = lst('LIST', 'hdrl', [avih(len(strls))] + list(strls) + list(extra))
    return lst('RIFF', 'AVI ', [header, movi(ids), chunk('idx1', bytes(16))])


VIDEO = lst('LIST', 'strl', [strh('vids', b'dvsd'), bitmap(b'dvsd'), dvinfo()])
AUDIO = lst('LIST', 'strl', [strh('auds', bytes(4)), wave()])
IAVS = lst('LIST', 'strl', [strh('iavs', b'dvsd'), dvinfo()])

SEEDS = {
    'type1.avi': avi([IAVS], ['00db', '00db']),
    'type2.avi': avi([VIDEO, AUDIO], ['00dc', '01wb']),
    'audio-only.avi': avi([AUDIO], ['00wb']),
    'two-video.avi': avi([VIDEO, lst('LIST', 'strl', [strh('vids', b'CDVC'), bitmap(b'CDVC')])], ['00dc', '01dc']),
    'opendml.avi': avi([lst('LIST', 'strl', [strh('vids', b'dvsd'), bitmap(b'dvsd'), superindex('00dc')])],
                       ['00dc'], [lst('LIST', 'odml', [chunk('dmlh', struct.pack('<I', 4) + bytes(244))])])
                   + lst('RIFF', 'AVIX', [movi(['00dc', 'ix00'])]),
}
SEEDS['cut-short.avi'] = SEEDS['type2.avi'][:200]
SEEDS['trailing.avi'] = SEEDS['type2.avi'] + b'trailing bytes'

here = sys.argv[1] if len(sys.argv) > 1 else sys.exit('usage: ' + sys.argv[0] + ' OUTPUT-FOLDER')
for fuzzer in ('aviinfo_fuzzer', 'fpsunit_fuzzer', 'riff_report_fuzzer'):
    folder = os.path.join(here, fuzzer)
    os.makedirs(folder, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(folder, name), 'wb') as out:
            out.write(data)
