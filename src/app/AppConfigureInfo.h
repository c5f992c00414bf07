// The application's persistent settings: capture quality, movie speed, the library tab opened
// last, the sound-track notice flag and the counters behind the rating prompt. One shared
// instance, kept in "appConfigureInfo.plist" in the Documents folder.
#pragma once

#include "platform/foundation/Object.h"
#include "platform/foundation/PropertyList.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace tx {

class AppConfigureInfo;
using AppConfigureInfoPtr = std::shared_ptr<AppConfigureInfo>;

class AppConfigureInfo : public Object {
public:
    using Date = std::chrono::system_clock::time_point;

    static inline const std::string kFileName = "appConfigureInfo.plist";

    // A new object with the defaults: quality 1 (medium), speed 100, no runs, checkRate "",
    // dateRate now, the local movie list, the notice still shown, no renders, not rated.
    AppConfigureInfo();

    // The process-wide settings: decoded from the Documents folder on first use (or made with
    // the defaults) and saved back at once.
    static AppConfigureInfoPtr shareAppConfigureInfo();
    // The object decoded from Documents/<fileName>; nothing when there is no such file or it
    // cannot be decoded (then `error`, if given, says why; it stays empty for a missing file).
    static AppConfigureInfoPtr appConfigureInfoWithPath(const std::string& fileName,
                                                        ErrorPtr* error = nullptr);
    // Writes `info` as Documents/<fileName>, atomically; false for no object or a failed write.
    static bool saveAppConfigureInfo(const AppConfigureInfoPtr& info, const std::string& fileName);
    // What the shared instance does on first use, for any file name: decode or create, keep an
    // undecodable file aside as "<fileName>.corrupt", then save.
    static AppConfigureInfoPtr loadAppConfigureInfo(const std::string& fileName);

    // Saves this object under kFileName; the result of the write is not reported.
    void save();

    // After a successful render: raises encodeCount in memory (nothing is saved) and tells
    // whether to ask for a rating, which happens only at the 3rd and 6th render and never once
    // the user has rated.
    bool countFinishedRender();

    // The nine keys in their order. A key the archive lacks decodes as 0, NO, "" or now; a key
    // of the wrong type (or an integer beyond 32 bits) makes the archive undecodable.
    static AppConfigureInfoPtr initWithCoder(const PlistValue& archive, ErrorPtr* error = nullptr);
    PlistValue encodeWithCoder() const;

    std::int32_t quality() const { return _quality; }
    void setQuality(std::int32_t quality) { _quality = quality; }
    std::int32_t videoSpeed() const { return _videoSpeed; }
    void setVideoSpeed(std::int32_t videoSpeed) { _videoSpeed = videoSpeed; }
    std::int32_t appRunCount() const { return _appRunCount; }
    void setAppRunCount(std::int32_t appRunCount) { _appRunCount = appRunCount; }
    const std::string& checkRate() const { return _checkRate; }
    void setCheckRate(std::string checkRate) { _checkRate = std::move(checkRate); }
    Date dateRate() const { return _dateRate; }
    void setDateRate(Date dateRate) { _dateRate = dateRate; }
    std::int32_t moviesTabIndex() const { return _moviesTabIndex; }
    void setMoviesTabIndex(std::int32_t moviesTabIndex) { _moviesTabIndex = moviesTabIndex; }
    bool soundtrackNotice() const { return _soundtrackNotice; }
    void setSoundtrackNotice(bool soundtrackNotice) { _soundtrackNotice = soundtrackNotice; }
    std::int32_t encodeCount() const { return _encodeCount; }
    void setEncodeCount(std::int32_t encodeCount) { _encodeCount = encodeCount; }
    bool rate() const { return _rate; }
    void setRate(bool rate) { _rate = rate; }

private:
    bool writeTo(const std::string& fileName) const;

    std::int32_t _quality = 1;
    std::int32_t _videoSpeed = 100;
    std::int32_t _appRunCount = 0;
    std::string _checkRate;
    Date _dateRate;
    std::int32_t _moviesTabIndex = 0;
    bool _soundtrackNotice = false;
    std::int32_t _encodeCount = 0;
    bool _rate = false;
};

} // namespace tx
