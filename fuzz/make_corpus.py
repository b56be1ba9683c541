#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs under fuzz/corpus/<target>/: the
replies, records, files and packets the tests use, each prefixed with the
control bytes its target reads first (see the target's source)."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def reply(code, status=0, print_status=0, swath_state=1):
    length = {1: 18, 9: 18, 2: 432}.get(code, 14)
    r = bytearray(length)
    r[0], r[2] = code, status
    struct.pack_into("<HH", r, 4, print_status, swath_state)
    return r


def job_create_reply(newer):
    r = reply(2)
    if newer:
        r[1] = 1
        r[14], r[95], r[94] = 0xEF, 0xC9, 0xB8
        struct.pack_into("<H", r, 84, 700)
    else:
        r[14], r[95], r[94] = 15, 29, 29
        struct.pack_into("<H", r, 84, 300)
    return bytes(r)


# receive_stream: [mode, last command, reply ok, markers, receive cut] + stream
for newer in (False, True):
    tag = "newer" if newer else "older"
    write("receive_stream", "job_create_" + tag, bytes([0, 1, 0, 0, 3]) + job_create_reply(newer))
    write("receive_stream", "decode_" + tag, bytes([1, 1 if newer else 0]) + job_create_reply(newer))
write("receive_stream", "swaths_and_status",
      bytes([0, 3, 1, 0, 2]) + reply(9) + reply(9, 0, 1) + reply(9, 8) + reply(1, 0, 2) + reply(9, 0, 0, 3))
write("receive_stream", "print_start_then_end", bytes([0, 2, 0, 0, 0]) + reply(8) + reply(18) + reply(8, 1))

# status_record: [how] + the status file
ACTIVE = bytes([0x63, 0x26, 0x04, 0x1C, 0x03, 0x05, 0x09, 0x2D, 0x04, 0x20, 0x09, 0x04, 0x03, 0x5E, 0x02, 0x03])
for name, req, arg1, arg2 in (("pause", 20, 0, 0), ("stop", 22, 0, 0), ("alignment", 9, 3, 2)):
    rec = bytearray(288)
    rec[0:16] = ACTIVE
    struct.pack_into("<H", rec, 16, 0x1234)
    struct.pack_into("<HBBHH", rec, 86, 1, req, 0, arg1, arg2)
    struct.pack_into("<III", rec, 156, 0xA6CF9968, 0x7F000001, 0x7F0000C8)
    write("status_record", name, bytes([1]) + rec)
write("status_record", "short", bytes([2]) + ACTIVE)

# parameter_files: [how] + the file (how: 1 = exact size, 2 = dot-size size, 4 = sealed)
for size in (1, 2, 3):
    write("parameter_files", "dot_size_%d" % size, bytes([7, size, 0, 0, 0, 0, 0]))
write("parameter_files", "saved_block", bytes([5]) + bytes(428))
write("parameter_files", "unsealed", bytes([0, 2, 0, 0, 0, 0x12, 0x34]))

# board_packet: one 64-byte packet per command the library sends
for code, name in ((1, "debug"), (2, "job_create"), (8, "print_start"), (9, "swath"), (18, "print_end")):
    p = bytearray(64)
    p[0] = code
    struct.pack_into("<H", p, 4, 0x1234 if code != 9 else 0)
    if code == 9:
        struct.pack_into("<I", p, 4, 4096)
        struct.pack_into("<I", p, 52, 1)
    write("board_packet", name, bytes(p))


# image_input: tiny PNGs (grey, RGB, palette, 16-bit) and TIFFs (grey, CMYK, bilevel)
def png(width, height, depth, color, rows, palette=None):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, color, 0, 0, 0))
    if palette:
        out += chunk(b"PLTE", palette)
    return out + chunk(b"IDAT", zlib.compress(b"".join(b"\x00" + r for r in rows))) + chunk(b"IEND", b"")


write("image_input", "grey8-png", png(3, 2, 8, 0, [b"\x00\x80\xff", b"\xff\x80\x00"]))
write("image_input", "rgb16-png", png(2, 1, 16, 2, [bytes(range(12))]))
write("image_input", "palette-png", png(2, 2, 1, 3, [b"\x80", b"\x40"], b"\x00\x00\x00\xff\xff\xff"))
write("image_input", "grey_alpha-png", png(1, 1, 8, 4, [b"\x40\x80"]))


def tiff(width, height, samples, bits, photometric, data):
    entries = [(256, 3, 1, width), (257, 3, 1, height), (258, 3, 1, bits), (259, 3, 1, 1),
               (262, 3, 1, photometric), (273, 4, 1, 0), (277, 3, 1, samples), (278, 3, 1, height),
               (279, 4, 1, len(data))]
    ifd_at = 8
    data_at = ifd_at + 2 + 12 * len(entries) + 4
    out = b"II*\x00" + struct.pack("<I", ifd_at) + struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        if tag == 273:
            value = data_at
        out += struct.pack("<HHII", tag, kind, count, value) if kind == 4 else struct.pack("<HHIHH", tag, kind, count, value, 0)
    return out + b"\x00\x00\x00\x00" + data


write("image_input", "grey-tif", tiff(2, 2, 1, 8, 1, b"\x00\x40\x80\xff"))
write("image_input", "cmyk-tif", tiff(1, 2, 4, 8, 5, b"\x10\x20\x30\x40\x50\x60\x70\x80"))
write("image_input", "bilevel-tif", tiff(8, 1, 1, 1, 0, b"\xa5"))
