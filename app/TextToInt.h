#pragma once

#include <string>

namespace cx {

// Reads a number the way the camera database and addresses are read:
// leading blanks, optional sign, leading digits; 0 when there are none.
// Saturates instead of overflowing.
int textToInt(const std::string& text);

}  // namespace cx
