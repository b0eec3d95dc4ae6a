#!/usr/bin/env python3
"""Draws a survey into the sample river, in place: for each section a 3D
polyline of the survey as taken on N_3d (a channel between two banks at a
quarter and three quarters of its line), every other point of it on
N_3d_LPSO, and two bank lines on Bank_Lines through the sections' banks.

The rest of the file stays byte for byte: the new entities go before the end
of the ENTITIES section with handles from $HANDSEED up, and the layer table
gains Bank_Lines. Run once, on a sample that has no survey yet:
    python3 scripts/add-sample-survey.py examples/river.dxf
"""
import math
import sys

import ezdxf

POINTS = 24


def survey_across(length, seed):
    """Stations along the line and elevations, as the generator draws them."""
    bed, top = 8.5 + (seed % 7) * 0.2, 12.2 + (seed % 3) * 0.2
    out = []
    for k in range(POINTS):
        t = k / (POINTS - 1)
        station = length * t
        u = abs(t - 0.5)
        z = bed + (top - bed) * (u / 0.25) ** 2 if u < 0.25 else top + (u - 0.25) * 4
        out.append((station, round(z + 0.03 * math.sin(7 * k + seed), 3)))
    return out


def along(points, distance):
    for (ax, ay), (bx, by) in zip(points, points[1:]):
        piece = math.hypot(bx - ax, by - ay)
        if distance <= piece:
            t = distance / piece if piece else 0
            return ax + t * (bx - ax), ay + t * (by - ay)
        distance -= piece
    return points[-1]


def tags(*pairs):
    return "".join(f"{code:>3}\n{value}\n" for code, value in pairs)


def main(path):
    doc = ezdxf.readfile(path)
    msp = doc.modelspace()
    text = open(path, newline="").read()
    if "_3d\n100\nAcDb3dPolyline" in text:
        sys.exit("the sample has a survey already")
    seed = int(doc.header["$HANDSEED"], 16)
    owner = msp.block_record_handle

    def handle():
        nonlocal seed
        seed += 1
        return f"{seed - 1:X}"

    profiles = {}
    for line in msp.query("LWPOLYLINE"):
        layer = line.dxf.layer
        if layer.endswith("_Profile"):
            profiles.setdefault(int(layer[: -len("_Profile")]), [(p[0], p[1]) for p in line])
    entities, banks = [], ([], [])
    for number in sorted(profiles):
        points = profiles[number]
        length = sum(math.hypot(b[0] - a[0], b[1] - a[1]) for a, b in zip(points, points[1:]))
        taken = survey_across(length, number)
        processed = [p for k, p in enumerate(taken) if k % 2 == 0 or k == len(taken) - 1]
        for layer, survey in ((f"{number}_3d", taken), (f"{number}_3d_LPSO", processed)):
            poly = handle()
            entities.append("  0\nPOLYLINE\n" + tags((5, poly), (330, owner), (100, "AcDbEntity"),
                                                     (8, layer), (100, "AcDb3dPolyline"), (66, 1),
                                                     (10, "0.0"), (20, "0.0"), (30, "0.0"), (70, 8)))
            for station, z in survey:
                x, y = along(points, station)
                entities.append("  0\nVERTEX\n" + tags(
                    (5, handle()), (330, poly), (100, "AcDbEntity"), (8, layer), (100, "AcDbVertex"),
                    (100, "AcDb3dPolylineVertex"), (10, repr(x)), (20, repr(y)), (30, repr(z)),
                    (70, 32)))
            entities.append("  0\nSEQEND\n" + tags((5, handle()), (330, poly),
                                                   (100, "AcDbEntity"), (8, layer)))
        for side, fraction in enumerate((0.25, 0.75)):
            banks[side].append(along(points, fraction * length))
    for bank in banks:
        body = [(5, handle()), (330, owner), (100, "AcDbEntity"), (8, "Bank_Lines"),
                (100, "AcDbPolyline"), (90, len(bank)), (70, 0)]
        for x, y in bank:
            body += [(10, repr(x)), (20, repr(y))]
        entities.append("  0\nLWPOLYLINE\n" + tags(*body))

    layer_table = doc.layers.head.dxf.handle
    layer = "  0\nLAYER\n" + tags((5, handle()), (330, layer_table), (100, "AcDbSymbolTableRecord"),
                                  (100, "AcDbLayerTableRecord"), (2, "Bank_Lines"), (70, 0),
                                  (62, 3), (6, "Continuous"), (370, -3))
    end_of_layers = text.index("  0\nENDTAB\n", text.index("  2\nLAYER\n"))
    text = text[:end_of_layers] + layer + text[end_of_layers:]
    end_of_entities = text.index("  0\nENDSEC\n", text.index("  2\nENTITIES\n"))
    text = text[:end_of_entities] + "".join(entities) + text[end_of_entities:]
    old_seed = f"$HANDSEED\n  5\n{doc.header['$HANDSEED']}\n"
    text = text.replace(old_seed, f"$HANDSEED\n  5\n{seed:X}\n", 1)
    open(path, "w", newline="").write(text)


if __name__ == "__main__":
    main(sys.argv[1])
