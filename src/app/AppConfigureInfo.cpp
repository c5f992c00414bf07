#include "app/AppConfigureInfo.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/Translation.h"

#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

namespace tx {

namespace {

const char* const kKeyQuality = "quality";
const char* const kKeyVideoSpeed = "videoSpeed";
const char* const kKeyAppRunCount = "appRunCount";
const char* const kKeyCheckRate = "checkRate";
const char* const kKeyDateRate = "dateRate";
const char* const kKeyMoviesTabIndex = "moviesTabIndex";
const char* const kKeySoundtrackNotice = "soundtrackNotice";
const char* const kKeyEncodeCount = "encodeCount";
const char* const kKeyRate = "rate";

const char* const kDecodeDomain = "AppConfigureInfo";
constexpr long long kMaxSettingsBytes = 1 << 20;

double unixSeconds(AppConfigureInfo::Date date) {
    return std::chrono::duration<double>(date.time_since_epoch()).count();
}

AppConfigureInfo::Date dateFromUnixSeconds(double seconds) {
    return AppConfigureInfo::Date(std::chrono::duration_cast<AppConfigureInfo::Date::duration>(
        std::chrono::duration<double>(seconds)));
}

// Reads the archive's keys; the first problem is kept for the caller.
class Decoder {
public:
    explicit Decoder(const PlistValue& archive) : _archive(archive) {}

    std::int32_t decodeInt32(const char* key) {
        const PlistValue* value = find(key, PlistValue::Type::Integer);
        if (value == nullptr) {
            return 0;
        }
        const std::int64_t number = value->asInteger();
        if (number < std::numeric_limits<std::int32_t>::min() ||
            number > std::numeric_limits<std::int32_t>::max()) {
            fail(withArguments(_("\"%1\" does not fit in 32 bits"), {key}));
            return 0;
        }
        return static_cast<std::int32_t>(number);
    }

    bool decodeBool(const char* key) {
        const PlistValue* value = find(key, PlistValue::Type::Boolean);
        return value != nullptr && value->asBool();
    }

    const PlistValue* decodeObject(const char* key, PlistValue::Type type) {
        return find(key, type);
    }

    const std::string& problem() const { return _problem; }

private:
    const PlistValue* find(const char* key, PlistValue::Type type) {
        const PlistValue* value = _archive.find(key);
        if (value != nullptr && value->type() != type) {
            fail(withArguments(_("\"%1\" has the wrong type"), {key}));
            return nullptr;
        }
        return value;
    }

    void fail(std::string problem) {
        if (_problem.empty()) {
            _problem = std::move(problem);
        }
    }

    const PlistValue& _archive;
    std::string _problem;
};

} // namespace

AppConfigureInfo::AppConfigureInfo() : _dateRate(std::chrono::system_clock::now()) {}

AppConfigureInfoPtr AppConfigureInfo::shareAppConfigureInfo() {
    // Made on first use and never destroyed.
    static AppConfigureInfoPtr* shared = new AppConfigureInfoPtr(loadAppConfigureInfo(kFileName));
    return *shared;
}

AppConfigureInfoPtr AppConfigureInfo::loadAppConfigureInfo(const std::string& fileName) {
    ErrorPtr error;
    AppConfigureInfoPtr info = appConfigureInfoWithPath(fileName, &error);
    if (!info) {
        if (error) {
            // The file is there but unreadable: keep it for the user instead of overwriting it.
            const std::string path = pathByAppending(documentsDirectory(), fileName);
            std::string why;
            const std::string aside = setFileAside(path, &why);
            const std::string message =
                aside.empty()
                    ? withArguments(_("taluvex: cannot read the settings (%1); it stays where it "
                                      "is (%2) and the defaults are used"),
                                    {error->localizedDescription(), why})
                    : withArguments(_("taluvex: cannot read the settings (%1); it is kept as %2 "
                                      "and the defaults are used"),
                                    {error->localizedDescription(), aside});
            std::fprintf(stderr, "%s\n", message.c_str());
            if (aside.empty()) {
                // Never overwrite what could not be moved aside: run on unsaved defaults.
                return std::make_shared<AppConfigureInfo>();
            }
        }
        info = std::make_shared<AppConfigureInfo>();
    }
    saveAppConfigureInfo(info, fileName);
    return info;
}

AppConfigureInfoPtr AppConfigureInfo::appConfigureInfoWithPath(const std::string& fileName,
                                                               ErrorPtr* error) {
    const std::string path = pathByAppending(documentsDirectory(), fileName);
    if (!fileExists(path)) {
        return nullptr;
    }
    // The settings are a few hundred bytes; anything far larger is not ours to parse whole.
    if (const long long bytes = fileSize(path); bytes > kMaxSettingsBytes) {
        if (error != nullptr) {
            *error = Error::make(kDecodeDomain, 0,
                                 "the settings file holds " + std::to_string(bytes) +
                                     " bytes, far more than any settings");
        }
        return nullptr;
    }
    std::optional<PlistValue> archive = readPropertyList(path, error);
    if (!archive) {
        return nullptr;
    }
    return initWithCoder(*archive, error);
}

bool AppConfigureInfo::saveAppConfigureInfo(const AppConfigureInfoPtr& info,
                                            const std::string& fileName) {
    return info && info->writeTo(fileName);
}

void AppConfigureInfo::save() {
    writeTo(kFileName);
}

bool AppConfigureInfo::writeTo(const std::string& fileName) const {
    return writePropertyList(encodeWithCoder(), pathByAppending(documentsDirectory(), fileName));
}

bool AppConfigureInfo::countFinishedRender() {
    _encodeCount += 1;
    return !_rate && (_encodeCount == 3 || _encodeCount == 6);
}

AppConfigureInfoPtr AppConfigureInfo::initWithCoder(const PlistValue& archive, ErrorPtr* error) {
    if (archive.type() != PlistValue::Type::Dictionary) {
        if (error != nullptr) {
            *error = Error::make(kDecodeDomain, 0, "the settings are not a dictionary");
        }
        return nullptr;
    }
    Decoder coder(archive);
    auto info = std::make_shared<AppConfigureInfo>();
    info->_quality = coder.decodeInt32(kKeyQuality);
    info->_videoSpeed = coder.decodeInt32(kKeyVideoSpeed);
    info->_appRunCount = coder.decodeInt32(kKeyAppRunCount);
    const PlistValue* checkRate = coder.decodeObject(kKeyCheckRate, PlistValue::Type::String);
    info->_checkRate = checkRate != nullptr ? checkRate->asString() : std::string();
    const PlistValue* dateRate = coder.decodeObject(kKeyDateRate, PlistValue::Type::Date);
    info->_dateRate = dateRate != nullptr ? dateFromUnixSeconds(dateRate->asDate())
                                          : std::chrono::system_clock::now();
    info->_moviesTabIndex = coder.decodeInt32(kKeyMoviesTabIndex);
    info->_soundtrackNotice = coder.decodeBool(kKeySoundtrackNotice);
    info->_encodeCount = coder.decodeInt32(kKeyEncodeCount);
    info->_rate = coder.decodeBool(kKeyRate);
    if (!coder.problem().empty()) {
        if (error != nullptr) {
            *error = Error::make(kDecodeDomain, 0, coder.problem());
        }
        return nullptr;
    }
    return info;
}

PlistValue AppConfigureInfo::encodeWithCoder() const {
    PlistValue archive = PlistValue::dictionary();
    archive.set(kKeyQuality, PlistValue::integer(_quality));
    archive.set(kKeyVideoSpeed, PlistValue::integer(_videoSpeed));
    archive.set(kKeyAppRunCount, PlistValue::integer(_appRunCount));
    archive.set(kKeyCheckRate, PlistValue::string(_checkRate));
    archive.set(kKeyDateRate, PlistValue::date(unixSeconds(_dateRate)));
    archive.set(kKeyMoviesTabIndex, PlistValue::integer(_moviesTabIndex));
    archive.set(kKeySoundtrackNotice, PlistValue::boolean(_soundtrackNotice));
    archive.set(kKeyEncodeCount, PlistValue::integer(_encodeCount));
    archive.set(kKeyRate, PlistValue::boolean(_rate));
    return archive;
}

} // namespace tx
