#!/usr/bin/env python3
"""Writes the seed files of dv_audio_fuzzer: the four bytes of an AAUX source pack (samples in the frame,
channels, 50/60 flag, rate and quantisation) followed by a few sample bytes, which the fuzzer plants in a PAL
and an NTSC frame. Takes the folder to write the seeds into; scripts/fuzz runs it."""
import os
import sys


def pack(af_size, chn, fifty, rate_code, quantisation, locked=False):
    return bytes([(0x00 if locked else 0x80) | 0x40 | af_size, chn << 5, 0xC0 | (0x20 if fifty else 0),
                  0x80 | (rate_code << 3) | quantisation])


SAMPLES = bytes(range(0, 256, 7)) + bytes([0x80, 0x00, 0x80, 0x00, 0x7F, 0xFF])


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else sys.exit('usage: ' + sys.argv[0] + ' OUTPUT-FOLDER')
    folder = os.path.join(root, 'dv_audio_fuzzer')
    os.makedirs(folder, exist_ok=True)
    seeds = {
        'pal_48k_16bit': pack(24, 0, True, 0, 0) + SAMPLES,
        'pal_44k_16bit': pack(22, 0, True, 1, 0) + SAMPLES,
        'pal_32k_12bit_four_channels': pack(16, 1, True, 2, 1) + SAMPLES,
        'ntsc_48k_16bit_locked': pack(20, 0, False, 0, 0, locked=True) + SAMPLES,
        'ntsc_32k_12bit_two_channels': pack(14, 0, False, 2, 1) + SAMPLES,
        'pal_48k_af_size_too_large': pack(63, 0, True, 0, 0) + SAMPLES,
        'reserved_rate': pack(0, 0, True, 3, 0),
    }
    for name, data in seeds.items():
        with open(os.path.join(folder, name), 'wb') as out:
            out.write(data)


if __name__ == '__main__':
    main()
