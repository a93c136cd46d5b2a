#!/usr/bin/python3
"""Makes samples/jacksboro_points.csv, the bundled survey as a point file.

The points of samples/jacksboro_survey.dxf (made by tools/make_sample.py) in
the order they stand there, as a surveyor's controller exports them: comma
separated, a header line naming the columns (point number, northing, easting,
elevation, description), numbers from 1001.  A point at a corner of the site
outline is described EDGE, of the reservoir POND, of the quarry QUARRY; the
others GROUND.  Coordinates keep the survey's millimetres and centimetres, so
the file reads back to the same numbers as the drawing.

    /usr/bin/python3 tools/make_point_file.py [SURVEY.dxf] [OUT.csv]
"""
import os
import sys

import ezdxf

OUTLINE_CODES = {1: "EDGE", 2: "POND", 3: "QUARRY"}


def main():
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    survey = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "samples", "jacksboro_survey.dxf")
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "samples", "jacksboro_points.csv")
    msp = ezdxf.readfile(survey).modelspace()
    code_at = {}
    for line in msp.query("LINE[layer=='OUTLINE']"):
        for end in (line.dxf.start, line.dxf.end):
            code_at[(end.x, end.y)] = OUTLINE_CODES[line.dxf.color]
    rows = ["Point,Northing,Easting,Elevation,Description"]
    for i, p in enumerate(msp.query("POINT[layer=='SURVEY']")):
        x, y, z = p.dxf.location
        rows.append("%d,%.3f,%.3f,%.2f,%s" % (1001 + i, y, x, z, code_at.get((x, y), "GROUND")))
    with open(out, "w", newline="\n") as f:
        f.write("\n".join(rows) + "\n")
    print("%s: %d points" % (out, len(rows) - 1))


if __name__ == "__main__":
    main()
