// dxf_out.h -- what the DXF writers share (dxf_write.cpp): DXF text built
// group by group, and how new entities and layer records are written in the
// version at hand.  The saves (dxf_save.cpp) and the export (dxf_export.cpp)
// are built on it.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "drawing.h"
#include "files.h"

namespace velmora {

// DXF text, one group (a code line and a value line) at a time: kept in
// `text`, or, with a sink, passed on to it in pieces of about 64 KiB, so
// that a drawing of millions of groups is never held whole (the groups are
// then put together in a block of the Out's own, whatever was in `text`
// before the sink was set going first).  A dry run (`discard`) writes
// nothing: it only lets the Form take its handles.
struct Out {
    std::string text;
    bool crlf = false;
    bool padded = true;    // codes right-aligned in three columns ("  0")
    int decimals = -1;     // reals with this many decimals; -1: the shortest exact form
    ByteSink *sink = nullptr;
    bool discard = false;

    // The usual group -- a code below 1000, LF line ends, room in the block
    // -- goes straight in, here: the code and its line feed as four bytes
    // from the table (a short code's copy runs up to two bytes on, which the
    // value and its line feed then write over, or which stay past the end of
    // what the block holds).  Any other group takes pair_slow.
    void pair(int code, std::string_view value)
    {
        if (!pair_fast(code, value.data(), value.size(), value.size()))
            pair_slow(code, value);
    }
    void pair(const DxfPair &p) { pair(p.code, p.value()); }
    void num(int code, double v);
    // Has the place where num() looks `v` up fetched into the cache ahead:
    // the table is larger than the nearest caches, and a face's twelve
    // numbers looked up one after the other would wait for memory twelve
    // times rather than about once.
    void prefetch(double v) const
    {
        if (recent_)
            __builtin_prefetch(&recent_[recent_slot(v)]);
    }
    void integer(int code, long long v)
    {
        char buf[24];
        std::size_t n = (std::size_t)(std::to_chars(buf, buf + sizeof buf, v).ptr - buf);
        if (!pair_fast(code, buf, n, sizeof buf))   // the whole buffer: a copy without a call
            pair_slow(code, std::string_view(buf, n));
    }
    void point(int code, const Vec3 &p) { points(code, &p, 1); }
    // `count` points, the k-th under codes code + k, code + k + 10 and
    // code + k + 20 (a face's corners: 10/20/30 to 13/23/33), as point()
    // writes each.  The usual case goes straight into the block here, each
    // number's text copied from the recent ones: a save or an export writes
    // millions of them.
    void points(int code, const Vec3 *p, int count);
    // Text already written in this form (another Out's, or the bytes of
    // groups read that stand as this Out writes them).
    void put(std::string_view s);
    // What is still held, to the sink.
    void flush();
    // An empty copy that writes the same way, into its own text.
    Out like() const
    {
        Out o;
        o.crlf = crlf;
        o.padded = padded;
        o.decimals = decimals;
        return o;
    }

private:
    // The codes 0 to 999 as "%3d" writes them, each with a line feed after
    // it; "%d" and its line feed are the last bytes of the four.  Millions of
    // groups are written, and most codes are short.
    static const char (&code_columns)[1000][4];
    void pair_slow(int code, std::string_view value);
    // pair's usual group; false, nothing written, for any other.  `copied`
    // (at least `size`) bytes are copied from `value`: a number's text is
    // copied whole from its place in the table, a fixed size the compiler
    // copies without a call, and what runs past it is written over or past
    // the end of what the block holds.
    bool pair_fast(int code, const char *value, std::size_t size, std::size_t copied)
    {
        if (code < 0 || code >= 1000 || discard || crlf || !sink || !block_ || !text.empty())
            return false;
        std::size_t n = padded || code >= 100 ? 3 : code >= 10 ? 2 : 1;
        if (block_used_ + n + copied + 5 > block_size)
            return false;
        char *o = block_.get() + block_used_;
        std::memcpy(o, code_columns[code] + 3 - n, 4);
        o += n + 1;
        if (copied != 0)
            std::memcpy(o, value, copied);
        o[size] = '\n';
        block_used_ += n + size + 2;
        return true;
    }
    void spill()
    {
        if (sink && text.size() >= 65536)
            flush();
    }
    // Where a group of `size` bytes goes when there is a sink: the end of
    // the block (handed on first when full); null without a sink, or for a
    // group too large, which then goes through `text`.
    char *block_room(std::size_t size);
    static constexpr std::size_t block_size = 65536;
    std::shared_ptr<char[]> block_;
    std::size_t block_used_ = 0;
    // The numbers written last, by the bits of the double, in the form they
    // were written in (`decimals`): the corners of a surface come again in
    // the faces around them, and copying the text is several times faster
    // than making it.
    struct Recent {
        std::uint64_t bits = 0;
        unsigned char size = 0;
        signed char decimals = -2;  // -2: empty (-1: the shortest form)
        char text[24];
    };
    // The entry of `v` (its bits), its text made first when it is not there
    // (recent_made); null for a text longer than an entry holds.
    Recent *recent_entry(double v, std::uint64_t bits)
    {
        if (recent_) {
            Recent &r = recent_[recent_slot(v)];
            if (r.bits == bits && r.decimals == decimals)
                return &r;
        }
        return recent_made(v, bits);
    }
    Recent *recent_made(double v, std::uint64_t bits);
    std::shared_ptr<Recent[]> recent_;
    // 16,384 of them: a surface's faces come row by row, and the corners of
    // one row come back a row later, some thousands of numbers on.
    static constexpr int recent_bits = 14;
    static std::size_t recent_slot(double v)
    {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return (std::size_t)((bits * 0x9E3779B97F4A7C15ULL) >> (64 - recent_bits));
    }
};

// How new entities and records are written in the version at hand.
struct Form {
    int release = 12;
    bool handles = false;          // give new entities and records a handle
    std::uint64_t next_handle = 1;
    std::string model_space;       // owner of new entities (R2000 and later)

    bool r2000() const { return release >= 13; }
    std::string take_handle();
};

// `v` with `decimals` places (0 to 16) after the point, into `buf` (room for
// 400 characters), exactly as to_chars(fixed, decimals) writes it; returns
// the end.  The export writes millions of them.
char *fixed_chars(char *buf, double v, int decimals);
// `v` in the shortest form that reads back to it, into `buf` (room for 400
// characters), exactly as to_chars(v) writes it; returns the end.  A save
// writes millions of them.
char *shortest_chars(char *buf, double v);

// A handle as text ("2A") or as a number.
std::string handle_text(std::uint64_t h);
bool parse_handle(std::string_view s, std::uint64_t &out);

// Writes an entity from its fields.  Returns false for a type that has no
// written form here (nothing is written then).
bool write_entity(Out &o, const Entity &e, Form &f);

// The colour a layer record read from a file holds (7 without one).
int layer_colour_in(const DxfGroups &raw);

// All layer records of the drawing, plus layers that new entities use but the
// drawing does not list; `count` is how many were written.
void write_layers(Out &o, const Drawing &d, Form &f, std::size_t &count);

}  // namespace velmora
