// landxml.h -- TIN surfaces as LandXML 1.2, out and in, and the host command
// LANDXML (landxml.cpp).
#pragma once

#include <string>
#include <vector>

#include "surfaces.h"

namespace velmora {

struct TinSurface {
    std::string name;
    std::vector<Triangle> faces;
};

// What a written document says beyond its faces.
struct LandXmlHeader {
    std::string project;          // the drawing's name: Project and Surface name
    int insunits = -1;            // the drawing's $INSUNITS; -1 when it has none
    std::string date, time;       // "2024-05-17", "14:03:00"
};

// The LandXML document of one TIN surface: each corner once in <Pnts> (ids
// from 1, in the order the faces first use them), each face in <Faces>.
// Faces with two corners at one point are left out; `note` says so, and
// says when the units are assumed.
std::string landxml_document(const std::vector<Triangle> &faces, const LandXmlHeader &head, std::string &note);

// The TIN surfaces of a LandXML document (any version's namespace), their
// faces as triangles of easting, northing, elevation.  Invisible faces
// (i="1") are left out.  False, with a message in `why`, for a file that is
// not XML or not LandXML, holds no TIN surface with faces, or has a point or
// face that does not read.
bool read_landxml(const std::string &text, std::vector<TinSurface> &out, std::string &why);

}  // namespace velmora
