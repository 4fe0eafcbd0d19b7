#pragma once
// What the skinned controls draw with: the package in use and its
// description, the user's colour and background-image settings, the
// dialog tile (bitmap 154) and the transparent colour shared by every
// skinned button. One per process, on the UI thread.

#include <string>

#include <QColor>
#include <QImage>
#include <QMetaObject>

#include "InterfaceInfo.h"
#include "Settings.h"

namespace cx {

class ActiveSkin;
class Engine;

class SkinLook {
public:
    static SkinLook& instance();

    // The skin in use and the engine whose published options the controls
    // draw with, kept up to date with every snapshot. Either may be null (no
    // skin yet; default options); both must outlive their use here.
    void attach(const ActiveSkin* skin, Engine* engine);
    // Options to draw with when no engine is attached (previews, tests); the
    // next snapshot of an attached engine replaces them.
    void setSettings(const SettingsValues& values) { settings_ = values; }
    const SettingsValues& settings() const { return settings_; }
    void setTile(QImage tile) { tile_ = std::move(tile); }

    const InterfaceInfo& info() const;
    QImage bitmap(const std::string& entry) const;
    const QImage& tile() const { return tile_; }

    bool backgroundImageEnabled() const;
    QColor backgroundColour() const;

    // Key colour of the button bitmap loaded last; all skinned buttons
    // leave this colour out when they draw.
    QRgb sharedTransparentColour() const { return sharedKey_; }
    void setSharedTransparentColour(QRgb key) { sharedKey_ = key | 0xFF000000u; }

private:
    SkinLook() = default;
    const ActiveSkin* skin_ = nullptr;
    SettingsValues settings_;
    QMetaObject::Connection following_;
    QImage tile_;
    QRgb sharedKey_ = 0xFFFF00FFu;
};

}  // namespace cx
