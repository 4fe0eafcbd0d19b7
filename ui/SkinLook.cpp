#include "SkinLook.h"

#include "ActiveSkin.h"
#include "SkinArt.h"
#include "Settings.h"

namespace cx {

SkinLook& SkinLook::instance()
{
    static SkinLook look;
    return look;
}

void SkinLook::attach(const ActiveSkin* skin, Settings* settings)
{
    skin_ = skin;
    settings_ = settings;
}

const InterfaceInfo& SkinLook::info() const
{
    static const InterfaceInfo none;
    return skin_ ? skin_->info() : none;
}

QImage SkinLook::bitmap(const std::string& entry) const
{
    return skin_ ? skin_->bitmap(entry) : QImage();
}

bool SkinLook::backgroundImageEnabled() const
{
    return settings_ && settings_->backgroundImageEnabled.load() != 0;
}

QColor SkinLook::backgroundColour() const
{
    return art::fromSkinColour(settings_ ? settings_->backgroundColour.load() : defaultBackgroundColour);
}

}  // namespace cx
