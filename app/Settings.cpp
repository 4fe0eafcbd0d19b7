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

SettingsValues Settings::values() const
{
    SettingsValues v;
    v.backgroundColour = backgroundColour.load();
    v.textColour = textColour.load();
    v.backgroundImageEnabled = backgroundImageEnabled.load();
    v.scheduleMode = scheduleMode.load();
    v.fixedImageSize = fixedImageSize.load();
    v.segmentMinutes = segmentMinutes.load();
    for (size_t i = 0; i < v.scheduleRecord.size(); ++i) {
        v.scheduleRecord[i] = scheduleRecord[i].load();
        v.monitorEnabled[i] = monitorEnabled[i].load();
    }
    return v;
}

void Settings::assign(const SettingsValues& v)
{
    backgroundColour = v.backgroundColour;
    textColour = v.textColour;
    backgroundImageEnabled = v.backgroundImageEnabled;
    scheduleMode = v.scheduleMode;
    fixedImageSize = v.fixedImageSize;
    segmentMinutes = v.segmentMinutes;
    for (size_t i = 0; i < v.scheduleRecord.size(); ++i) {
        scheduleRecord[i] = v.scheduleRecord[i];
        monitorEnabled[i] = v.monitorEnabled[i];
    }
}

}  // namespace cx
