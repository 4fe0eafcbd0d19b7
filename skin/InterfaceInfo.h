#pragma once
// The values of a skin's "info.txt": where the main window's texts and
// camera grid lie, the skin's colours, and the button points.
//
// Line 1 is the point count N; lines 2 to 12 are one value each (rectangle
// or colour) followed by a blank and a "//" comment; then N point lines.
// Colours are 0x00BBGGRR.

#include <cstdint>
#include <string>

#include "ButtonPoints.h"

namespace cx {

struct SkinRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const SkinRect&, const SkinRect&) = default;
};

struct InterfaceInfo {
    int32_t pointCount = 0;          // line 1
    SkinRect dateRect;               // line 2
    SkinRect clockRect;              // line 3
    SkinRect statusRect;             // line 4
    uint32_t clockBackground = 0;    // line 5, colour 5
    uint32_t clockText = 0;          // line 6, colour 6
    uint32_t statusBackground = 0;   // line 7, colour 7
    uint32_t lineText = 0;           // line 8, colour 8: date, status line, hover buttons
    uint32_t labelText = 0;          // line 9, colour 9: other labels, skinned buttons
    SkinRect viewArea;               // line 10: the camera grid
    uint32_t gradientFirst = 0;      // line 11, colour 11
    uint32_t gradientSecond = 0;     // line 12, colour 12
    ButtonPoints buttonPoints;       // lines 13 to 12 + N
};

// The part of a value line that holds the value: everything before the
// character that precedes the first "//" (so "10,20,300,40 //clock" gives
// "10,20,300,40"). A line without "//" is taken whole.
std::string descriptionValueText(const std::string& line);

SkinRect parseSkinRect(const std::string& valueText);
// red + 256 × green + 65536 × blue, each channel cut to its low 8 bits.
uint32_t parseSkinColour(const std::string& valueText);
// x before the first ",", y after it.
SkinPoint parseSkinPoint(const std::string& valueText);

// Fills `info` from the description text. Value lines missing at the end
// read as 0; the point list stops at the end of the text or at an empty line.
void parseInterfaceInfo(const std::string& text, InterfaceInfo& info);

inline int colourRed(uint32_t c) { return static_cast<int>(c & 0xFF); }
inline int colourGreen(uint32_t c) { return static_cast<int>((c >> 8) & 0xFF); }
inline int colourBlue(uint32_t c) { return static_cast<int>((c >> 16) & 0xFF); }

}  // namespace cx
