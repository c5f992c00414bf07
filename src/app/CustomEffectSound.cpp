#include "app/CustomEffectSound.h"

#include "platform/foundation/Paths.h"

#include <array>

namespace tx {

namespace {

struct Effect {
    const std::string& name;
    const char* fileName;
    float volume;
};

// The navigation swish plays at a twentieth of full volume: it comes with every slide.
const std::array<Effect, 4> kEffects = {{
    {kSoundEffect_OpenDoor, "Default_door_open", 1.0f},
    {kSoundEffect_Navi, "Navigation3", 0.05f},
    {kSoundEffect_BtnClick, "Button_click", 1.0f},
    {kSoundEffect_Recording, "recording", 1.0f},
}};

const char* const kEffectFileType = "caf";

} // namespace

std::shared_ptr<CustomEffectSound> CustomEffectSound::share() {
    static auto* shared =
        new std::shared_ptr<CustomEffectSound>(std::make_shared<CustomEffectSound>());
    return *shared;
}

void CustomEffectSound::playEffectSound(const std::string& effectName) {
    for (const Effect& effect : kEffects) {
        if (effect.name != effectName) {
            continue;
        }
        const std::string path = resourcePath(effect.fileName, kEffectFileType);
        if (path.empty()) {
            return;
        }
        ErrorPtr error;
        AudioPlayerPtr player = AudioPlayer::create(path, &error);
        if (!player) {
            return;
        }
        player->setVolume(effect.volume);
        player->prepareToPlay();
        player->play();
        _player = std::move(player);
        return;
    }
}

} // namespace tx
