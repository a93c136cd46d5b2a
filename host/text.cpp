// text.cpp -- case, blanks and numbers in text.
#include "text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace velmora {

static char fold(char c) { return (char)std::tolower((unsigned char)c); }

std::string lower(std::string s)
{
    for (auto &c : s)
        c = fold(c);
    return s;
}

std::string upper(std::string s)
{
    for (auto &c : s)
        c = (char)std::toupper((unsigned char)c);
    return s;
}

bool same_name(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); i++)
        if (fold(a[i]) != fold(b[i]))
            return false;
    return true;
}

std::string trim(const std::string &s)
{
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return std::string();
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool parse_real(const std::string &text, double &out)
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
