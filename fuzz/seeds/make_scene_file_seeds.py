#!/usr/bin/env python3
"""Writes the seed files of scene_file_fuzzer: tiny scene files (".scn") of the shapes the reader must handle.
Takes the folder to write the seeds into; scripts/fuzz runs it."""
import os
import sys
import struct


def header(path, count):
    return (bytes([0x63, 0x26, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x03, 0x00, 0x0A, 0x00])
            + b'SourceTape' + bytes([len(path)]) + path + bytes(8) + struct.pack('<H', count)
            + bytes([0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00]) + b'ClipP' + bytes(3)
            + bytes([0xFF, 0xFF, 0x01, 0x00, 0x05, 0x00]) + b'Scene' + bytes(5))


def first_record(path, end):
    return (struct.pack('<I', end) + bytes([0, 0, 0, 0, 0x01, 0x80]) + bytes([len(path)]) + path + bytes(8)
            + struct.pack('<I', end))


def record(start, end):
    d = end - start
    return (bytes([0x03, 0x80, 0xF0, 0x00, 0x00, 0x00, 0x05, 0x80, 0x00]) + struct.pack('<II', start, d)
            + bytes([0, 0, 0, 0, 0x07, 0x00]) + struct.pack('<III', start, d, start))


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else sys.exit('usage: ' + sys.argv[0] + ' OUTPUT-FOLDER')
    folder = os.path.join(root, 'scene_file_fuzzer')
    os.makedirs(folder, exist_ok=True)
    path = b'clip01.avi'
    seeds = {
        'two_scenes.scn': header(path, 2) + first_record(path, 150) + record(150, 400),
        'header_only.scn': header(path, 0),
        'four_scenes.scn': header(b'/videos/holiday.avi', 4) + first_record(b'/videos/holiday.avi', 25)
        + record(25, 100) + record(100, 180) + record(180, 300),
        'count_too_large.scn': header(path, 9) + first_record(path, 10) + record(10, 20),
    }
    for name, data in seeds.items():
        with open(os.path.join(folder, name), 'wb') as out:
            out.write(data)


if __name__ == '__main__':
    main()
