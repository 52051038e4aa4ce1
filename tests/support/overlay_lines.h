// The overlay store as the preview would draw it, as text: one
// "x1,y1-x2,y2 colour" (colour 0xBBGGRR in hex) per line, in drawing order.
#ifndef VANTREL_TESTS_OVERLAY_LINES_H
#define VANTREL_TESTS_OVERLAY_LINES_H

#include <string>
#include <vector>

namespace vantrel::test {

std::vector<std::string> OverlayLines();

}  // namespace vantrel::test

#endif
