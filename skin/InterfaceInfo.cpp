#include "InterfaceInfo.h"

#include <sstream>
#include <vector>

#include "TextToInt.h"

namespace cx {

namespace {

std::vector<std::string> splitFields(const std::string& text)
{
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        fields.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

int fieldValue(const std::vector<std::string>& fields, size_t i)
{
    return i < fields.size() ? textToInt(fields[i]) : 0;
}

// Lines as a text-mode reader sees them: without "\n" or "\r\n".
class LineReader {
public:
    explicit LineReader(const std::string& text) : in_(text) {}
    bool next(std::string& line)
    {
        if (!std::getline(in_, line)) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }

private:
    std::istringstream in_;
};

}  // namespace

std::string descriptionValueText(const std::string& line)
{
    const size_t marker = line.find("//");
    if (marker == std::string::npos) return line;
    return line.substr(0, marker == 0 ? 0 : marker - 1);
}

SkinRect parseSkinRect(const std::string& valueText)
{
    const auto f = splitFields(valueText);
    return {fieldValue(f, 0), fieldValue(f, 1), fieldValue(f, 2), fieldValue(f, 3)};
}

uint32_t parseSkinColour(const std::string& valueText)
{
    const auto f = splitFields(valueText);
    const auto channel = [&](size_t i) { return static_cast<uint32_t>(fieldValue(f, i)) & 0xFFu; };
    return channel(0) | (channel(1) << 8) | (channel(2) << 16);
}

SkinPoint parseSkinPoint(const std::string& valueText)
{
    const size_t comma = valueText.find(',');
    if (comma == std::string::npos) return {textToInt(valueText), 0};
    return {textToInt(valueText.substr(0, comma)), textToInt(valueText.substr(comma + 1))};
}

void parseInterfaceInfo(const std::string& text, InterfaceInfo& info)
{
    LineReader reader(text);
    std::string line;
    info.pointCount = reader.next(line) ? textToInt(line) : 0;

    auto value = [&]() { return reader.next(line) ? descriptionValueText(line) : std::string(); };
    info.dateRect = parseSkinRect(value());
    info.clockRect = parseSkinRect(value());
    info.statusRect = parseSkinRect(value());
    info.clockBackground = parseSkinColour(value());
    info.clockText = parseSkinColour(value());
    info.statusBackground = parseSkinColour(value());
    info.lineText = parseSkinColour(value());
    info.labelText = parseSkinColour(value());
    info.viewArea = parseSkinRect(value());
    info.gradientFirst = parseSkinColour(value());
    info.gradientSecond = parseSkinColour(value());

    info.buttonPoints.reset(info.pointCount);
    // The count comes from the file: it bounds the loop, never an allocation.
    for (int32_t i = 0; i < info.pointCount; ++i) {
        if (!reader.next(line) || line.empty()) break;
        info.buttonPoints.append(parseSkinPoint(descriptionValueText(line)));
    }
}

}  // namespace cx
