#!/usr/bin/env python3
"""Reads a DXF file with ezdxf, a reader that shares nothing with the program:
the audit's error count, then each entity's type, layer, place and text."""
import sys

import ezdxf

doc = ezdxf.readfile(sys.argv[1])
print("errors", len(doc.audit().errors))
for e in doc.modelspace():
    t = e.dxftype() == "TEXT"
    p = e.dxf.insert if t else e.dxf.location
    print(e.dxftype(), e.dxf.layer, "%.4f %.4f %.4f" % (p.x, p.y, p.z), e.dxf.text if t else "")
