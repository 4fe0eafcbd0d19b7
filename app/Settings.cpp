#include "Settings.h"

namespace cx {

void CompressOptions::reset()
{
    *this = CompressOptions{};
    streamType = fourCC('v', 'i', 'd', 's');
}

Settings::Settings()
{
    setDefaults();
}

void Settings::setDefaults()
{
    backgroundColour = defaultBackgroundColour;
    textColour = defaultTextColour;
    backgroundImageEnabled = 0;
    scheduleMode = 0;
    fixedImageSize = 0;
    segmentMinutes = defaultSegmentMinutes;
    compressOptions = CompressOptions{};
    for (auto& v : scheduleRecord) v = 0;
    for (auto& v : monitorEnabled) v = 1;
}

}  // namespace cx
