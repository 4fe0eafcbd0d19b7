#include "SkinLook.h"

#include "ActiveSkin.h"
#include "Engine.h"
#include "SkinArt.h"

namespace cx {

SkinLook& SkinLook::instance()
{
    static SkinLook look;
    return look;
}

void SkinLook::attach(const ActiveSkin* skin, Engine* engine)
{
    skin_ = skin;
    QObject::disconnect(following_);
    following_ = {};
    settings_ = engine != nullptr ? engine->snapshot()->settings : SettingsValues{};
    if (engine == nullptr) return;
    // Emitted synchronously on this thread: a control repainted right after
    // an options change already draws with the new values.
    following_ = QObject::connect(engine, &Engine::snapshotChanged, engine,
                                  [engine] { instance().settings_ = engine->snapshot()->settings; });
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
    return settings_.backgroundImageEnabled != 0;
}

QColor SkinLook::backgroundColour() const
{
    return art::fromSkinColour(settings_.backgroundColour);
}

}  // namespace cx
