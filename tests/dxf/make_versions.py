"""Writes, with an independent library, one small drawing per DXF version
into the folder given: ASCII and binary, with a tagged polyline (R2000 and
later), a polyline, text, a block with an attribute and non-ASCII names."""
import sys

import ezdxf

folder = sys.argv[1]
for version in ["R12", "R2000", "R2004", "R2007", "R2010", "R2013", "R2018"]:
    doc = ezdxf.new(version)
    doc.appids.new("TEV")
    msp = doc.modelspace()
    doc.layers.add("Straße_Profile", color=3)
    if version != "R12":
        line = msp.add_lwpolyline([(0, 0, 0, 0, 0.5), (10, 0), (10, 5)],
                                  dxfattribs={"layer": "Straße_Profile", "elevation": 2.0})
        line.set_xdata("TEV", [(1000, "SECTION"), (1000, "12"), (1000, "4"), (1040, 1250.5),
                               (1040, 87.125), (1000, "Weir"), (1000, "XS12"),
                               (1000, "2012-06-30"), (1070, -1)])
        msp.add_mtext("Line one\\PLine two", dxfattribs={"layer": "Notes"})
    msp.add_line((0, 0), (5, 5), dxfattribs={"layer": "Straße_Profile"})
    msp.add_point((1, 2, 3), dxfattribs={"layer": "12_SectionCenter"})
    block = doc.blocks.new("XS12")
    block.add_attdef("XS_ID", (0, 0), dxfattribs={"prompt": "Identifier", "height": 1.5})
    ref = msp.add_blockref("XS12", (3, 4))
    ref.add_auto_attribs({"XS_ID": "XS12"})
    doc.saveas(f"{folder}/{version}.dxf")
    doc.saveas(f"{folder}/{version}_binary.dxf", fmt="bin")
