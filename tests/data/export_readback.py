#!/usr/bin/env python3
"""Reads a point export back with readers that share nothing with the program:
GDAL/OGR (ogr2ogr) for CSV, GeoJSON and KML, xml.etree for LandXML, Python's
csv module for the code page 936 CSV. Prints one line per point:
hex(name) hex(code) x y z, where x y are longitude/latitude or easting/northing
and names are the bytes the reader gave (UTF-8, or code page 936 as written)."""
import csv, io, json, subprocess, sys
import xml.etree.ElementTree as ET

kind, path = sys.argv[1], sys.argv[2]


def out(name, code, x, y, z):
    print(name.hex() or "-", code.hex() or "-", repr(float(x)), repr(float(y)), repr(float(z)))


def ogr(path, *options):
    text = subprocess.run(["ogr2ogr", "-f", "GeoJSON", "/vsistdout/", path, *options],
                          check=True, capture_output=True).stdout
    return json.loads(text)["features"]


if kind == "csv":
    for f in ogr(path, "-oo", "AUTODETECT_TYPE=NO"):
        p = f["properties"]
        out(p["点名"].encode(), (p["编码"] or "").encode(), p["E"], p["N"], p["Z"])
elif kind == "csv-gbk":
    raw = open(path, "rb").read()
    rows = list(csv.reader(io.StringIO(raw.decode("latin-1"), newline="")))
    assert rows[0] == [c.encode("gbk").decode("latin-1") for c in ["点名", "编码", "E", "N", "Z"]], rows[0]
    for r in rows[1:]:
        out(r[0].encode("latin-1"), r[1].encode("latin-1"), r[2], r[3], r[4])
elif kind in ("geojson", "kml"):
    for f in ogr(path):
        p, c = f["properties"], f["geometry"]["coordinates"]
        name = p.get("name", p.get("Name")) or ""
        out(name.encode(), (p.get("code") or "").encode(), c[0], c[1], c[2])
elif kind == "landxml":
    ns = {"lx": "http://www.landxml.org/schema/LandXML-1.2"}
    root = ET.parse(path).getroot()
    assert root.tag == "{http://www.landxml.org/schema/LandXML-1.2}LandXML" and root.get("version") == "1.2"
    for p in root.iterfind("lx:CgPoints/lx:CgPoint", ns):
        n, e, z = p.text.split()
        out(p.get("name", "").encode(), p.get("code", "").encode(), e, n, z)
else:
    sys.exit("unknown kind " + kind)
