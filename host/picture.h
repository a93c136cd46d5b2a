// picture.h -- the drawing seen from above as a PNG image (picture.cpp):
// faces and lines in their colours, hidden face edges left out, the
// session's temporary vectors drawn on top.
#pragma once

#include <string>
#include <vector>

#include "drawing.h"

namespace velmora {

std::string png_image(const Drawing &d, const std::vector<Overlay> &overlay);
// png_image written to a file the way the drawing is saved (files.h).
void draw_png(const Drawing &d, const std::vector<Overlay> &overlay, const std::string &path);

}  // namespace velmora
