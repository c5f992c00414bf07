// The interface sounds (door, navigation swish, button click, recording beep), played by name.
#pragma once

#include "platform/foundation/Object.h"
#include "platform/media/AudioPlayer.h"

#include <memory>
#include <string>

namespace tx {

inline const std::string kSoundEffect_OpenDoor = "kSoundEffect_OpenDoor";
inline const std::string kSoundEffect_Navi = "kSoundEffect_Navi";
inline const std::string kSoundEffect_BtnClick = "kSoundEffect_BtnClick";
inline const std::string kSoundEffect_Recording = "kSoundEffect_Recording";

class CustomEffectSound : public Object {
public:
    // The process-wide player, made on first use.
    static std::shared_ptr<CustomEffectSound> share();

    // Plays the effect at its volume and keeps its player, letting go of (and so silencing) the
    // one before. An unknown name, or a sound file that cannot be opened, plays nothing.
    void playEffectSound(const std::string& effectName);

    const AudioPlayerPtr& player() const { return _player; }
    void setPlayer(AudioPlayerPtr player) { _player = std::move(player); }

private:
    AudioPlayerPtr _player;
};

} // namespace tx
