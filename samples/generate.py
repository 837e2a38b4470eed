#!/usr/bin/env python3
"""Writes the example survey data in every input format, and what each conversion
should turn it into, byte for byte (code page 936, CR LF). Run from anywhere:
    python3 samples/generate.py
The expected results are built from the survey data itself, not by running the
program, so they check the program."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
CRLF = b"\r\n"
STX, ETX, EOT = b"\x02", b"\x03", b"\x04"


def gbk(text):
    return text.encode("gbk")


# A small site on a local grid: two control points and seven detail points.
# (name, code, east, north, height) in metres.
POINTS = [
    ("KZ1", "KZ", 1000.000, 5000.000, 45.123),
    ("KZ2", "KZ", 1250.456, 5000.789, 45.678),
    ("P1", "TREE", 1010.250, 5020.125, 44.900),
    ("P2", "POLE", 1030.005, 5040.500, 45.012),
    ("P3", "电杆", 1050.120, 5060.875, 45.300),
    ("P4", "WALL", 1070.333, 5080.010, 44.870),
    ("P5", "", 1090.999, 5099.001, 44.555),
    ("P6", "FENCE", 998.760, 4990.250, 45.005),
    ("P7", "HYD", -5.125, 4980.000, -0.750),
]

CODES = [(1, "TREE"), (2, "POLE"), (3, "WALL"), (4, "FENCE"), (5, "HYD"), (6, "电杆"),
         (7, "LAMP"), (8, "KZ"), (9, "MANHOLE"), (10, "KERB"), (11, "DITCH"), (12, "BRIDGE"),
         (13, "GATE"), (14, "SIGN"), (15, "BUSH"), (16, "ROCK"), (17, "WELL"), (18, "HEDGE"),
         (19, "PIPE"), (20, "围墙"), (101, "CULVERT"), (102, "TOWER")]


def mm(value):
    return int(round(value * 1000))


def metres(millimetres):
    sign = "-" if millimetres < 0 else ""
    return "%s%d.%03d" % (sign, abs(millimetres) // 1000, abs(millimetres) % 1000)


def pad(data, width):
    return data + b" " * (width - len(data))


def checksum(block, number):
    value = 0
    for byte in block:
        value ^= byte
    value ^= number
    if value >= 128:
        value -= 256
    return (b"%03d" % value)[:3]


def frame(payload):
    """The QMX210 framing: 128-byte blocks, numbered 0-9 again and again."""
    out = b""
    blocks = [payload[i:i + 128] for i in range(0, len(payload), 128)] or [b""]
    for index, block in enumerate(blocks):
        if len(block) < 128:
            block = block + b"_" + b" " * (127 - len(block))
        number = ord("0") + index % 10
        out += STX + block + bytes([number]) + checksum(block, number) + ETX + CRLF
    return out + STX + EOT + ETX + CRLF


def signed_mm(value):
    return ("+" if value >= 0 else "-") + "%09d" % abs(mm(value))


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def terv_line(name, code, east, north, height):
    return b",".join([name, code, metres(mm(east)).encode(), metres(mm(north)).encode(),
                      metres(mm(height)).encode()]) + CRLF


def main():
    # TERV210 coordinate list, and the blocks an upload sends (east as x, north as y).
    terv = b"".join(terv_line(gbk(n), gbk(c), e, no, h) for n, c, e, no, h in POINTS)
    write("terv210.txt", terv)
    payload = b"".join(b"_+" + pad(gbk(n), 10) + b"_ x" + signed_mm(e).encode() + b"_ y" +
                       signed_mm(no).encode() + b"_ z" + signed_mm(h).encode()
                       for n, c, e, no, h in POINTS)
    write("expected/terv210.blocks210.txt", frame(payload))

    # A QMX210 coordinate download: the instrument's x is north, y is east.
    payload = b"".join(b"_+" + pad(gbk(n), 10) + b"_ x" + signed_mm(no).encode() + b"_ y" +
                       signed_mm(e).encode() + b"_ z" + signed_mm(h).encode()
                       for n, c, e, no, h in POINTS)
    write("qmx210-coords.txt", frame(payload))
    # The code column repeats the padded point name.
    write("expected/qmx210-coords.terv210.txt",
          b"".join(terv_line(pad(gbk(n), 10), pad(gbk(n), 10), e, no, h)
                   for n, c, e, no, h in POINTS))

    # JVS measurement data: a station record (no coordinates), then one record per point.
    payload = b"_+KZ1_ I1.550_ H45.123_ B0.0000_*KZ_,"
    for n, c, e, no, h in POINTS[1:]:
        payload += (b"_+" + gbk(n) + b"_ U" + b"%+d%+d%+d" % (mm(no), mm(e), mm(h)) +
                    b"_ H1.600_*" + gbk(c) + b"_,")
    write("jvs-measure.txt", frame(payload))
    write("expected/jvs-measure.measure210.txt",
          b"".join(terv_line(gbk(n), gbk(c), e, no, h) for n, c, e, no, h in POINTS[1:]))

    # Raw code blocks from the instrument (22 codes, so one "_:" straddles two blocks),
    # and the code list they become.
    payload = b"".join(b"_:" + b"%03d" % num + pad(gbk(code), 10) for num, code in CODES)
    write("raw-codes.txt", frame(payload))
    write("expected/raw-codes.pcode-list.txt",
          b"".join(b"%03d," % num + pad(gbk(code), 10) + CRLF for num, code in CODES))

    # A code list as a surveyor types it, and the blocks the PCODE upload sends.
    write("codes.txt", b"".join(b"%d," % num + gbk(code) + CRLF for num, code in CODES[:8]))
    write("expected/codes.pcode-blocks.txt",
          frame(b"".join(b"_:" + b"%03d" % num + pad(gbk(code), 10) for num, code in CODES[:8])))

    # QMX610/710 coordinate records: known points (08KI), measured points with the
    # extra field (02TP) and stored points (08TP), as downloaded, up to the ETX.
    def fixed(tag, name, north, east, height, code, extra=None):
        line = tag + b"  " + pad(name, 14) + pad(north, 16) + pad(east, 16) + pad(height, 16)
        if extra is not None:
            line += pad(extra, 16)
        return line + pad(code, 16) + CRLF

    def fields(p):
        n, c, e, no, h = p
        return (gbk(n), metres(mm(no)).encode(), metres(mm(e)).encode(),
                metres(mm(h)).encode(), gbk(c) if c else b"0")

    text = (fixed(b"02TP", *fields(POINTS[2]), extra=b"1.600") +
            fixed(b"08TP", *fields(POINTS[6])) +
            fixed(b"08KI", *fields(POINTS[0])) +
            fixed(b"02TP", *fields(POINTS[3]), extra=b"1.600") +
            fixed(b"08KI", *fields(POINTS[1])) +
            fixed(b"08TP", *fields(POINTS[7])) + ETX)
    write("qmx610-coords.txt", text)
    order = [POINTS[0], POINTS[1], POINTS[2], POINTS[3], POINTS[6], POINTS[7]]
    write("expected/qmx610-coords.terv610.txt",
          b"".join(terv_line(gbk(n), gbk(c), e, no, h) for n, c, e, no, h in order))

    # QMX610/710 angle-and-distance records; 09F2 lines come after all 09F1 lines.
    observations = [
        (b"09F1", b"P1", b"123.4512", b"89.5930", b"25.432", b"1.600", b"TREE"),
        (b"09F2", b"P2", b"130.0005", b"90.0100", b"45.120", b"1.600", b""),
        (b"09F1", b"P3", b"141.2233", b"88.1200", b"65.015", b"1.600", gbk("电杆")),
        (b"09F2", b"P4", b"150.5959", b"91.3030", b"85.444", b"1.800", b"WALL"),
    ]
    write("qmx610-angles.txt", b"".join(
        tag + b"  " + pad(name, 14) + b"".join(pad(f, 16) for f in (a, b, c, d, code)) + CRLF
        for tag, name, a, b, c, d, code in observations) + ETX)

    def angle_line(a, b, c, d, code):
        line = b",".join(f + b" " for f in (a, b, c, d))
        return line + (b"," + code + b" " if code else b" ") + CRLF

    ordered = [o for o in observations if o[0] == b"09F1"] + \
              [o for o in observations if o[0] == b"09F2"]
    write("expected/qmx610-angles.edgeangle610.txt",
          b"".join(angle_line(*o[2:]) for o in ordered))

    # Road alignment for the alignment upload: sent line by line, unchanged.
    write("alignment.txt", gbk(
        "道路中线 K0+000 - K0+600\r\n"
        "JD0,0.000,5000.000,1000.000,0\r\n"
        "JD1,212.132,5150.000,1150.000,60.000\r\n"
        "JD2,412.132,5150.000,1350.000,80.000\r\n"
        "JD3,600.000,5017.157,1482.843,0\r\n"))


if __name__ == "__main__":
    main()
