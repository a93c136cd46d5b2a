// pointfile.cpp -- point files in, and the host command POINTFILE.
//
//   pointfile FILE [ORDER] [layers] [skipbad]   (options end with Enter)
//
// Each row becomes a POINT at easting, northing, elevation.  Point numbers and
// descriptions are kept as a TEXT label beside the point ("12 TREE") on layer
// POINT-LABEL: a DXF POINT has no field for either, and a label is what a
// survey drawing shows and every DXF version and CAD program keeps.  With
// `layers` each point also goes on a layer named after its description.
// A file with rows that cannot be read draws nothing, unless `skipbad` asks
// for the good rows.
#include "pointfile.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "polylines.h"
#include "text.h"

namespace velmora {
namespace {

const char *LABEL_LAYER = "POINT-LABEL";
const double MAX_COORDINATE = 1e12;
const size_t BAD_ROWS_SHOWN = 20;

// The column a header field names: P, N, E, Z, D, or 0 for none.  Units or
// notes in brackets ("Northing (m)") and marks such as '#', '.', '_' do not
// count.
char header_column(const std::string &field)
{
    std::string k;
    int depth = 0;
    for (unsigned char c : field) {
        if (c == '(' || c == '[')
            depth++;
        else if ((c == ')' || c == ']') && depth > 0)
            depth--;
        else if (depth == 0 && std::isalnum(c))
            k += (char)std::tolower(c);
    }
    static const std::map<std::string, char> names = {
        {"p", 'P'}, {"pt", 'P'}, {"pnt", 'P'}, {"pno", 'P'}, {"ptno", 'P'}, {"point", 'P'},
        {"pointno", 'P'}, {"pointnumber", 'P'}, {"pointnum", 'P'}, {"pointid", 'P'}, {"pointname", 'P'},
        {"number", 'P'}, {"num", 'P'}, {"no", 'P'}, {"id", 'P'}, {"name", 'P'},
        {"n", 'N'}, {"y", 'N'}, {"north", 'N'}, {"northing", 'N'}, {"northings", 'N'},
        {"e", 'E'}, {"x", 'E'}, {"east", 'E'}, {"easting", 'E'}, {"eastings", 'E'},
        {"z", 'Z'}, {"h", 'Z'}, {"el", 'Z'}, {"elev", 'Z'}, {"elevation", 'Z'}, {"height", 'Z'},
        {"ht", 'Z'}, {"rl", 'Z'}, {"alt", 'Z'}, {"altitude", 'Z'},
        {"d", 'D'}, {"desc", 'D'}, {"descr", 'D'}, {"description", 'D'}, {"code", 'D'},
        {"pointcode", 'D'}, {"featurecode", 'D'}, {"feature", 'D'}, {"remark", 'D'}, {"remarks", 'D'},
    };
    auto it = names.find(k);
    return it == names.end() ? 0 : it->second;
}

// A row split into fields, with where each field starts (for a description
// that runs to the end of a blank-separated row).
struct Fields {
    std::vector<std::string> text;
    std::vector<size_t> at;
};

Fields split(const std::string &line, char sep)
{
    Fields f;
    size_t i = 0, n = line.size();
    if (sep == ' ') {
        while (i < n) {
            while (i < n && (line[i] == ' ' || line[i] == '\t'))
                i++;
            if (i == n)
                break;
            size_t b = i;
            while (i < n && line[i] != ' ' && line[i] != '\t')
                i++;
            f.text.push_back(line.substr(b, i - b));
            f.at.push_back(b);
        }
        return f;
    }
    for (;;) {
        size_t b = i;
        std::string v;
        while (i < n && (line[i] == ' ' || line[i] == '\t') && line[i] != sep)
            i++;
        if (i < n && line[i] == '"') {
            // "quoted, with "" for a quote"
            for (i++; i < n; i++) {
                if (line[i] == '"') {
                    if (i + 1 < n && line[i + 1] == '"')
                        i++;
                    else {
                        i++;
                        break;
                    }
                }
                v += line[i];
            }
            while (i < n && line[i] != sep)
                i++;
        } else {
            while (i < n && line[i] != sep)
                v += line[i++];
            v = trim(v);
        }
        f.text.push_back(v);
        f.at.push_back(b);
        if (i >= n)
            break;
        i++;                                   // the separator
    }
    return f;
}

char separator_of(const std::string &line)
{
    size_t tabs = std::count(line.begin(), line.end(), '\t');
    size_t commas = std::count(line.begin(), line.end(), ',');
    size_t semis = std::count(line.begin(), line.end(), ';');
    if (tabs == 0 && commas == 0 && semis == 0)
        return ' ';
    if (tabs >= commas && tabs >= semis)
        return '\t';
    return commas >= semis ? ',' : ';';
}

const char *column_name(char c)
{
    switch (c) {
    case 'N': return "northing";
    case 'E': return "easting";
    default: return "elevation";
    }
}

}  // namespace

bool point_order(const std::string &order)
{
    std::string o = upper(order);
    std::set<char> seen;
    for (char c : o) {
        if (!std::strchr("PNEXYZD", c) || !seen.insert(c).second)
            return false;
    }
    bool n = seen.count('N') || seen.count('Y'), e = seen.count('E') || seen.count('X');
    bool mixed = (seen.count('N') && seen.count('Y')) || (seen.count('E') && seen.count('X'));
    return !o.empty() && n && e && seen.count('Z') && !mixed;
}

namespace {

// The rows of the text worth reading, with their line numbers: no byte order
// mark, no CR line ends, no blank lines or lines starting with '#'.
std::vector<std::pair<int, std::string>> rows_of(const std::string &text)
{
    std::vector<std::pair<int, std::string>> rows;
    std::istringstream in(text);
    std::string line;
    int no = 0;
    while (std::getline(in, line)) {
        no++;
        if (no == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string t = trim(line);
        if (t.empty() || t[0] == '#')
            continue;
        rows.push_back({no, line});
    }
    return rows;
}

// The separator most of the first rows use (a delimiter rather than blanks
// when as many use each): a title line does not decide it.
char vote_separator(const std::vector<std::pair<int, std::string>> &rows)
{
    std::map<char, int> votes;
    for (size_t i = 0; i < rows.size() && i < 20; i++)
        votes[separator_of(rows[i].second)]++;
    char sep = ',';
    int best = 0;
    for (char c : {'\t', ',', ';', ' '})
        if (votes[c] > best) {
            best = votes[c];
            sep = c;
        }
    return sep;
}

// The columns a header line names ('P', 'N', 'E', 'Z', 'D', or 0 for one
// not read), or none when the line is no header: it holds a number, or does
// not name northing, easting and elevation once each.
std::vector<char> header_columns(const std::string &line, char sep)
{
    std::vector<char> named;
    std::map<char, int> count;
    bool any_number = false;
    for (const auto &f : split(line, sep).text) {
        double v;
        any_number |= parse_real(f, v);
        named.push_back(header_column(f));
        count[named.back()]++;
    }
    if (any_number || count['N'] != 1 || count['E'] != 1 || count['Z'] != 1 || count['P'] > 1 || count['D'] > 1)
        named.clear();
    return named;
}

// One row into a point, or its reason into r.bad.
void read_row(const std::pair<int, std::string> &row, const std::vector<char> &columns, size_t needed,
              PointFileRows &r)
{
    const std::string &line = row.second;
    std::string where = "line " + std::to_string(row.first) + ": ";
    Fields f = split(line, r.separator);
    if (f.text.size() < needed) {
        r.bad.push_back(where + std::to_string(f.text.size()) + " column(s) where " + r.order + " needs " +
                        std::to_string(needed));
        return;
    }
    SurveyPoint p;
    p.line = row.first;
    std::string why;
    for (size_t i = 0; i < columns.size() && i < f.text.size() && why.empty(); i++) {
        const std::string &v = f.text[i];
        char c = columns[i];
        if (c == 'P') {
            p.number = v;
        } else if (c == 'D') {
            // In a blank-separated row the description is the rest of it.
            p.description = r.separator == ' ' && i + 1 == columns.size() ? trim(line.substr(f.at[i])) : v;
        } else if (c) {
            double x;
            if (!parse_real(v, x))
                why = std::string(column_name(c)) + " \"" + v + "\" is not a number";
            else if (std::fabs(x) > MAX_COORDINATE)
                why = std::string(column_name(c)) + " " + v + " is beyond 1e12";
            else
                (c == 'N' ? p.northing : c == 'E' ? p.easting : p.elevation) = x;
        }
    }
    if (!why.empty())
        r.bad.push_back(where + why);
    else
        r.points.push_back(p);
}

}  // namespace

PointFileRows read_point_rows(const std::string &text, const std::string &order)
{
    PointFileRows r;
    std::vector<std::pair<int, std::string>> rows = rows_of(text);
    if (rows.empty())
        return r;
    r.separator = vote_separator(rows);
    // Which column holds what: from a header line, or from the order.
    std::vector<char> columns = header_columns(rows[0].second, r.separator);
    size_t first = 0;
    if (!columns.empty()) {
        first = 1;
        r.from_header = true;
        for (char c : columns)
            if (c)
                r.order += c;
    } else {
        r.order = order.empty() ? "PNEZD" : upper(order);
        for (char c : r.order)
            columns.push_back(c == 'X' ? 'E' : c == 'Y' ? 'N' : c);
    }
    // Rows must reach the last coordinate column; the point number and the
    // description may be missing at the end.
    size_t needed = 0;
    for (size_t i = 0; i < columns.size(); i++)
        if (columns[i] == 'N' || columns[i] == 'E' || columns[i] == 'Z')
            needed = i + 1;
    for (size_t k = first; k < rows.size(); k++)
        read_row(rows[k], columns, needed, r);
    return r;
}

namespace {

// Label text any DXF version reads the same: control characters become
// blanks, and characters beyond ASCII are written as \U+XXXX (bytes that are
// not UTF-8, and characters beyond U+FFFF, which the escape cannot hold, as
// '?').
std::string label_text(const std::string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = (unsigned char)s[i];
        if (c < 0x80) {
            out += c < 32 ? ' ' : (char)c;
            i++;
            continue;
        }
        int len = c >= 0xF0 && c < 0xF8 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        unsigned cp = len == 4 ? c & 0x07u : len == 3 ? c & 0x0Fu : c & 0x1Fu;
        bool ok = len > 0 && i + (size_t)len <= s.size();
        for (int k = 1; ok && k < len; k++) {
            unsigned char d = (unsigned char)s[i + (size_t)k];
            ok = (d & 0xC0) == 0x80;
            cp = (cp << 6) | (d & 0x3Fu);
        }
        if (!ok || (len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000)))) {
            out += '?';
            i++;
            continue;
        }
        if (len == 4) {
            out += '?';
            i += 4;
            continue;
        }
        char buf[16];
        std::snprintf(buf, sizeof buf, "\\U+%04X", cp);
        out += buf;
        i += (size_t)len;
    }
    return out;
}

// Draws each point, on a layer of its description with `layers`, with its
// number and description as a label a fraction of the points' extent high
// beside it; notes point numbers used twice.  Returns how many description
// layers were used.
int draw_points(Session &s, const std::vector<SurveyPoint> &points, bool layers)
{
    double x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
    for (const auto &p : points) {
        x0 = std::min(x0, p.easting); x1 = std::max(x1, p.easting);
        y0 = std::min(y0, p.northing); y1 = std::max(y1, p.northing);
    }
    double height = std::max(x1 - x0, y1 - y0) / 400;
    if (!(height > 0))
        height = 1;
    std::set<std::string> layer_names;
    std::map<std::string, int> numbers;
    std::vector<std::string> repeated;
    for (const auto &p : points) {
        Entity pt;
        pt.type = "POINT";
        pt.pts = {Vec3{p.easting, p.northing, p.elevation}};
        if (layers && !p.description.empty()) {
            std::string name = safe_layer_name(p.description, "0");
            layer_names.insert(name);
            add_on_layer(s, std::move(pt), name);
        } else {
            s.add_entity(std::move(pt));
        }
        std::string label = trim(p.number + " " + p.description);
        if (!label.empty()) {
            Entity t;
            t.type = "TEXT";
            t.pts = {Vec3{p.easting + height / 2, p.northing + height / 2, p.elevation}};
            t.label = std::make_shared<const TextLabel>(TextLabel{label_text(label), height, 0, false});
            add_on_layer(s, std::move(t), LABEL_LAYER);
        }
        if (!p.number.empty() && numbers[p.number]++ == 1)
            repeated.push_back(p.number);
    }
    if (!repeated.empty())
        s.print("\nPOINTFILE: " + std::to_string(repeated.size()) +
                " point number(s) used more than once, the first " + repeated[0]);
    return (int)layer_names.size();
}

bool pointfile_command(Session &s)
{
    std::string path = ask_word(s, "\nPoint file: "), order;
    if (path.empty())
        return s.error("POINTFILE: no file named");
    bool layers = false, skipbad = false;
    for (;;) {
        std::string word = ask_word(s, "\nOrder (PNEZD, PENZD, PXYZD, NEZ, XYZ), layers, skipbad or Enter: ");
        std::string w = upper(word);
        if (w.empty())
            break;
        if (w == "LAYERS")
            layers = true;
        else if (w == "SKIPBAD")
            skipbad = true;
        else if (point_order(w))
            order = w;
        else
            return s.error("POINTFILE: \"" + word + "\" is not a column order (such as PNEZD), layers or skipbad");
    }

    std::string text, why;
    if (!read_text_file(path, text, why))
        return s.error("POINTFILE: cannot read " + path + ": " + why);
    PointFileRows r = read_point_rows(text, order);

    for (size_t i = 0; i < r.bad.size() && i < BAD_ROWS_SHOWN; i++)
        s.print("\nPOINTFILE: " + path + ": " + r.bad[i]);
    if (r.bad.size() > BAD_ROWS_SHOWN)
        s.print("\nPOINTFILE: " + path + ": ... and " + std::to_string(r.bad.size() - BAD_ROWS_SHOWN) +
                " more rows that cannot be read");
    if (!r.bad.empty() && !skipbad)
        return s.error("POINTFILE: " + path + ": " + std::to_string(r.bad.size()) +
                       " row(s) cannot be read; nothing drawn (answer skipbad to draw the others)");
    if (r.points.empty())
        return s.error("POINTFILE: " + path + " holds no points; nothing drawn");
    std::string asked = order;
    std::replace(asked.begin(), asked.end(), 'X', 'E');
    std::replace(asked.begin(), asked.end(), 'Y', 'N');
    if (r.from_header && !order.empty() && asked != r.order)
        s.print("\nPOINTFILE: the header line names the columns: " + r.order + " is used, not " + order);

    int description_layers = draw_points(s, r.points, layers);
    std::string how = r.from_header ? " from its header" : order.empty() ? ", the default" : "";
    s.print("\nPOINTFILE: " + path + ": " + std::to_string(r.points.size()) + " points (" + r.order + how + ")" +
            (r.bad.empty() ? "" : ", " + std::to_string(r.bad.size()) + " row(s) skipped") +
            (layers ? ", " + std::to_string(description_layers) + " description layer(s)" : "") + "\n");
    return true;
}

const bool registered = (register_host_command("POINTFILE", pointfile_command,
                                               "draws the points of a survey point file",
                                               "A point file, then an order (PNEZD, PENZD, PXYZD, NEZ, XYZ), layers, skipbad;\nEnter ends."), true);

}  // namespace
}  // namespace velmora
