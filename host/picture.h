// picture.h -- the drawing seen from above as a PNG image (picture.cpp):
// faces and lines in their colours, hidden face edges left out, the
// session's temporary vectors drawn on top.
#pragma once

#include <string>
#include <vector>

#include "drawing.h"

namespace velmora {

std::string png_image(const Drawing &d, const std::vector<Overlay> &overlay);

}  // namespace velmora
