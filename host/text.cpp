// text.cpp -- case, blanks and numbers in text.
#include "text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace velmora {

// ASCII letters only, whatever the locale (an interactive session's line
// editor sets it from the environment), and without a library call per
// character: commands and names are folded millions of times.
static char fold(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

std::string lower(std::string s)
{
    for (auto &c : s)
        c = fold(c);
    return s;
}

std::string upper(std::string s)
{
    for (auto &c : s)
        c = c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
    return s;
}

bool same_name(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); i++)
        if (fold(a[i]) != fold(b[i]))
            return false;
    return true;
}

std::string trim(std::string_view s)
{
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos)
        return std::string();
    return std::string(s.substr(b, s.find_last_not_of(" \t") - b + 1));
}

bool parse_real(std::string_view text, double &out)
{
    const char *b = text.data(), *e = b + text.size();
    while (b < e && (*b == ' ' || *b == '\t'))
        b++;
    while (e > b && (e[-1] == ' ' || e[-1] == '\t'))
        e--;
    // from_chars takes no leading '+'; a second sign after it stays wrong.
    if (b < e && *b == '+' && e - b > 1 && b[1] != '-' && b[1] != '+')
        b++;
    if (b == e)
        return false;
    double v = 0;
    auto r = std::from_chars(b, e, v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != e || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

bool parse_number(const std::string &w, double &v)
{
    if (w.empty() || std::isspace((unsigned char)w[0]))
        return false;
    char *end = nullptr;
    v = std::strtod(w.c_str(), &end);
    return end && *end == '\0' && std::isfinite(v);
}

bool parse_int(const std::string &w, long long &v)
{
    std::size_t i = 0;
    if (i < w.size() && (w[i] == '-' || w[i] == '+'))
        i++;
    if (i == w.size() || w.size() - i > 18)
        return false;
    for (std::size_t k = i; k < w.size(); k++)
        if (!std::isdigit((unsigned char)w[k]))
            return false;
    v = std::strtoll(w.c_str(), nullptr, 10);
    return true;
}

std::string number_text(double v)
{
    char buf[400];   // room for any double in fixed notation
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

}  // namespace velmora
