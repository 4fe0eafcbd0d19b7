#pragma once

#include <string_view>

namespace cx {

// Reads a number the way the camera database and addresses are read:
// leading blanks, optional sign, leading digits; 0 when there are none.
// Saturates instead of overflowing.
int textToInt(std::string_view text);

}  // namespace cx
