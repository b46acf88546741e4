#!/usr/bin/env python3
"""Writes the hostile-by-construction inputs of this folder (run from this folder).

Each file aims at one check a reader must make: sizes that overflow, offsets past the end,
loops, truncation, codes that reference entries not yet defined. The JPEG files start from a
small image written by ImageMagick (convert), which must be installed.
"""
import os
import struct
import subprocess
import tempfile


def put(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- FITS: 80-byte cards in 2880-byte blocks
def card(text):
    return text.ljust(80).encode()


def value(key, v):
    return card(key.ljust(8) + "=" + str(v).rjust(21))


def fits(cards, data=b"", pad=True):
    h = b"".join(cards)
    if pad:
        h += b" " * (-len(h) % 2880)
    return h + data


std = lambda bp, w, h: [value("SIMPLE", "T"), value("BITPIX", bp), value("NAXIS", 2),
                        value("NAXIS1", w), value("NAXIS2", h), card("END")]
put("fits", "huge_axes_no_data.fit", fits(std(16, 2147483647, 2147483647)))
put("fits", "negative_axes.fit", fits(std(16, -5, -7), b"\0" * 2880))
put("fits", "zero_width.fit", fits(std(32, 0, 100), b"\0" * 2880))
put("fits", "wide_rows_truncated.fit", fits(std(16, 5000, 3), b"\x7f" * 1000))
put("fits", "bitpix_minus_64.fit", fits(std(-64, 4, 4), b"\0" * 2880))
put("fits", "no_end_card.fit", b"".join(std(16, 4, 4)[:-1]) + card("COMMENT") * 400)
put("fits", "header_cut_mid_card.fit", b"".join(std(16, 4, 4)[:3]) + b"NAXIS1  =   ")
put("fits", "bzero_not_a_number.fit",
    fits(std(16, 2, 2)[:-1] + [card("BZERO   =                 1e999"), card("END")], b"\0" * 2880))
put("fits", "empty.fit", b"")

# ---- LZW streams: two bytes (little-endian output limit), then the code stream
def codes(seq, width=9):
    bits, n, out = 0, 0, bytearray()
    for c in seq:
        bits = (bits << width) | c
        n += width
        while n >= 8:
            n -= 8
            out.append((bits >> n) & 0xFF)
    if n:
        out.append((bits << (8 - n)) & 0xFF)
    return bytes(out)


put("lzw", "code_beyond_table.bin", struct.pack("<H", 64) + codes([256, 65, 300, 301, 511, 257]))
put("lzw", "no_clear_code.bin", struct.pack("<H", 64) + codes([65, 66, 258, 259, 260]))
put("lzw", "runs_past_limit.bin", struct.pack("<H", 5) + codes([256, 65, 258, 259, 260, 261, 262, 263, 257]))
put("lzw", "all_ones.bin", struct.pack("<H", 4096) + b"\xff" * 3000)
put("lzw", "limit_zero.bin", struct.pack("<H", 0) + codes([256, 65, 66, 257]))
put("lzw", "table_full_without_clear.bin",
    struct.pack("<H", 65535) + codes([256] + [65 + (i % 3) for i in range(5000)], 12))

# ---- TIFF (little-endian): header, then IFDs of 12-byte entries
def ifd(entries, next_ifd=0):
    out = struct.pack("<H", len(entries))
    for tag, typ, count, val in sorted(entries):
        out += struct.pack("<HHII", tag, typ, count, val)
    return out + struct.pack("<I", next_ifd)


def tiff(entries, tail=b"", next_ifd=0, first=8):
    return b"II*\0" + struct.pack("<I", first) + ifd(entries, next_ifd) + tail


def basic(w, h, bps=8, spp=1, comp=1, offs=200, counts=None, photometric=1):
    return [(256, 4, 1, w), (257, 4, 1, h), (258, 3, 1, bps), (259, 3, 1, comp), (262, 3, 1, photometric),
            (273, 4, 1, offs), (277, 3, 1, spp), (278, 4, 1, h), (279, 4, 1, counts if counts is not None else w * h)]


put("tiff", "ifd_past_end.tif", b"II*\0" + struct.pack("<I", 0x7FFFFFF0))
put("tiff", "ifd_loop.tif", tiff(basic(2, 2), b"\0" * 300, next_ifd=8))
put("tiff", "strip_past_end.tif", tiff(basic(16, 16, offs=100000), b"\0" * 64))
put("tiff", "huge_size.tif", tiff(basic(4000000, 4000000, counts=16), b"\0" * 300))
put("tiff", "zero_size.tif", tiff(basic(0, 0), b"\0" * 300))
put("tiff", "count_overflow.tif", tiff([(256, 4, 1, 4), (257, 4, 1, 4), (258, 3, 1, 8),
                                        (273, 4, 0x40000001, 100), (279, 4, 0x40000001, 100)], b"\0" * 200))
put("tiff", "lzw_garbage_strip.tif", tiff(basic(8, 8, comp=5, offs=200, counts=64), b"\xa5" * 300))
put("tiff", "bits_48_one_sample.tif", tiff(basic(4, 4, bps=48), b"\0" * 400))
put("tiff", "entry_count_past_end.tif", b"II*\0" + struct.pack("<IH", 8, 65535) + b"\0" * 40)
put("tiff", "big_endian_cut.tif", b"MM\0*\0\0\0\x08\0\x05\x01\x00")

# ---- BMP: file header, info header, palette, pixels
def bmp(w, h, bpp, comp=0, colours=0, pixels=b"", header=40, offset=None, size_field=None, written=None):
    written = colours if written is None else written
    pal = 4 * written
    off = offset if offset is not None else 14 + header + pal
    info = struct.pack("<IiiHHIIiiII", header, w, h, 1, bpp, comp, len(pixels), 2835, 2835, colours, 0)
    info += b"\0" * (header - len(info))
    body = info + b"\x10\x20\x30\0" * written + pixels
    size = size_field if size_field is not None else 14 + len(body)
    return b"BM" + struct.pack("<IHHI", size, 0, 0, off) + body


put("bmp", "huge_dimensions.bmp", bmp(0x7FFFFFFF, 0x7FFFFFFF, 24, pixels=b"\0" * 16))
put("bmp", "height_int_min.bmp", bmp(4, -2147483648, 24, pixels=b"\0" * 48))
put("bmp", "rle8_run_past_row.bmp", bmp(4, 2, 8, comp=1, colours=2, pixels=b"\xff\x01" * 8 + b"\0\1"))
put("bmp", "rle8_delta_past_end.bmp", bmp(4, 2, 8, comp=1, colours=2, pixels=b"\0\2\xff\xff\x02\x01\0\1"))
put("bmp", "rle4_absolute_cut.bmp", bmp(8, 2, 4, comp=2, colours=16, pixels=b"\0\xff\x12"))
put("bmp", "palette_index_past_palette.bmp", bmp(2, 1, 8, colours=1, pixels=b"\x09\x07\0\0"))
put("bmp", "palette_count_huge.bmp", bmp(2, 1, 8, colours=0x40000000, pixels=b"", written=2))
put("bmp", "pixel_offset_past_end.bmp", bmp(2, 2, 24, pixels=b"\0" * 16, offset=0x7FFFFFF0))
put("bmp", "header_size_huge.bmp", b"BM" + struct.pack("<IHHII", 100, 0, 0, 54, 0xFFFFFFF0) + b"\0" * 40)
put("bmp", "bitfields_zero_masks.bmp", bmp(2, 2, 32, comp=3, header=56, pixels=b"\xff" * 16))
put("bmp", "truncated_rows.bmp", bmp(100, 100, 24, pixels=b"\x80" * 500))

# ---- JPEG: a small picture from ImageMagick, then broken in chosen places
def magick(args):
    with tempfile.TemporaryDirectory() as d:
        out = os.path.join(d, "o.jpg")
        subprocess.run(["convert", "-size", "24x16", "gradient:red-blue"] + args + [out], check=True)
        with open(out, "rb") as f:
            return f.read()


base = magick(["-quality", "80"])
prog = magick(["-interlace", "Plane", "-quality", "80"])


def marker(data, m):
    i = data.index(bytes([0xFF, m]))
    return i


sof = marker(base, 0xC0)
put("jpeg", "cut_in_scan.jpg", base[: len(base) * 2 // 3])
put("jpeg", "cut_in_header.jpg", base[: sof + 6])
put("jpeg", "size_65500.jpg", base[: sof + 5] + struct.pack(">HH", 65500, 65500) + base[sof + 9:])
put("jpeg", "size_zero.jpg", base[: sof + 5] + struct.pack(">HH", 0, 0) + base[sof + 9:])
put("jpeg", "components_nine.jpg", base[: sof + 9] + b"\x09" + base[sof + 10:])
dht = marker(base, 0xC4)
put("jpeg", "huffman_table_zeroed.jpg", base[: dht + 5] + b"\0" * 16 + base[dht + 21:])
sos = max(i for i in range(len(prog) - 1) if prog[i] == 0xFF and prog[i + 1] == 0xDA)
put("jpeg", "progressive_3000_scans.jpg", prog[:sos] + prog[sos:-2] * 3000 + b"\xff\xd9")
put("jpeg", "only_soi.jpg", b"\xff\xd8")
