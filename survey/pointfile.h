// pointfile.h -- survey point files (total station and GNSS exports), and the
// host command POINTFILE that draws them (pointfile.cpp).
#pragma once

#include <string>
#include <vector>

namespace velmora {

struct SurveyPoint {
    std::string number, description;
    double northing = 0, easting = 0, elevation = 0;
    int line = 0;                          // line of the file, from 1
};

struct PointFileRows {
    std::vector<SurveyPoint> points;       // the rows read, in file order
    std::vector<std::string> bad;          // one message per row not read: "line 7: ..."
    std::string order;                     // the column order used, e.g. "PNEZD"
    bool from_header = false;              // the order came from a header line
    char separator = ',';                  // ',', ';', '\t', or ' ' for blanks
};

// Whether `order` is a column order: the letters P (point number), N and E
// (or Y and X), Z and D (description), each at most once, N, E and Z among
// them; any case.
bool point_order(const std::string &order);

// Reads the rows of a point file.  The order is taken from a header line when
// the first line names the columns, else from `order` (already checked with
// point_order), else PNEZD.  Blank lines and lines starting with '#' are
// skipped.  Coordinates must be finite numbers within +-1e12.
PointFileRows read_point_rows(const std::string &text, const std::string &order);

}  // namespace velmora
