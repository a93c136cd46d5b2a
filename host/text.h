// text.h -- the host's text utilities: one case fold, one trim, numbers
// read from text and written as text.  Everything here is ASCII: names,
// commands and DXF groups are compared without regard to case only in the
// ASCII letters.
#pragma once

#include <string>

namespace velmora {

std::string lower(std::string s);
std::string upper(std::string s);
// Equal but for the case of ASCII letters ("Ground" and "GROUND").
bool same_name(const std::string &a, const std::string &b);
// Without the blanks and tabs at both ends.
std::string trim(const std::string &s);

// A number in a file's field (DXF, point file, LandXML) or a prompt's answer:
// the whole text, blanks around it allowed, is one finite decimal number
// ("1e3", "-2.5", "+7"); anything else (empty, trailing letters, NaN,
// infinity, out of range) is refused.
bool parse_real(const std::string &text, double &out);
// A word typed on the command line read as a number the way the C library
// reads one (strtod): the whole word, nothing before it, finite.
bool parse_number(const std::string &word, double &v);
// A word of at most 18 digits, with an optional sign.
bool parse_int(const std::string &word, long long &v);

// The shortest decimal text that reads back as the same double ("0.1",
// "1e+20", "250").
std::string number_text(double v);

}  // namespace velmora
