#pragma once

#include <algorithm>
#include <cctype>
#include <string>

namespace cx {

// `text` with ASCII letters in lower case (names, header labels, extensions).
inline std::string asciiLower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace cx
