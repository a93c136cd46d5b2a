// fuzz_dxf.cpp -- the host's DXF reader and writer.
//
// A file either is refused with a DxfError, or it reads; a file that reads
// must save, the saved file must read back to the same drawing (entities,
// layers, groups as read), and saving that again must give the same bytes.
#include <cstdint>

#include "drawing.h"
#include "files.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fz::Input input;
    std::string in = fz::path_of("in.dxf"), out = fz::path_of("out.dxf"),
                again = fz::path_of("again.dxf");
    fz::write_file(in, data, size);

    velmora::Drawing first;
    try {
        first = velmora::load_dxf(in);
    } catch (const velmora::DxfError &) {
        return 0;                       // refused with a message: fine
    }
    velmora::Drawing second;
    try {
        velmora::write_file_atomically(out, velmora::dxf_text(first));
        second = velmora::load_dxf(out);
    } catch (const velmora::DxfError &e) {
        fz::fail("a drawing that read does not save and read back: " + e.message);
    }
    std::string diff = fz::compare_drawings(first, second, true);
    if (!diff.empty())
        fz::fail("the saved drawing reads back different: " + diff);
    try {
        velmora::write_file_atomically(again, velmora::dxf_text(second));
    } catch (const velmora::DxfError &e) {
        fz::fail("the saved drawing does not save again: " + e.message);
    }
    if (vt::read_file(out) != vt::read_file(again))
        fz::fail("saving the saved drawing again changes its bytes");
    return 0;
}
