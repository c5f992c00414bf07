#include "app/AppConfigureInfo.h"

#include "AppTestSupport.h"
#include "platform/foundation/PropertyList.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tx {
namespace {

using Clock = std::chrono::system_clock;

class AppConfigureInfoTest : public test::DocumentsTest {
protected:
    std::string settingsPath() const {
        return pathByAppending(documents, AppConfigureInfo::kFileName);
    }

    PlistValue readSettingsFile() const {
        ErrorPtr error;
        auto root = readPropertyList(settingsPath(), &error);
        EXPECT_TRUE(root.has_value()) << (error ? error->localizedDescription() : "");
        return root.value_or(PlistValue());
    }

    void writeText(const std::string& path, const std::string& text) const {
        std::ofstream(path, std::ios::binary) << text;
    }

    std::string readText(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

double secondsFromNow(AppConfigureInfo::Date date) {
    return std::chrono::duration<double>(date - Clock::now()).count();
}

TEST_F(AppConfigureInfoTest, FirstRunWritesTheDefaultsInKeyOrder) {
    ASSERT_FALSE(fileExists(settingsPath()));
    auto info = AppConfigureInfo::loadAppConfigureInfo(AppConfigureInfo::kFileName);
    ASSERT_TRUE(info);
    ASSERT_TRUE(fileExists(settingsPath()));

    const PlistValue root = readSettingsFile();
    ASSERT_EQ(root.type(), PlistValue::Type::Dictionary);
    const std::vector<std::string> wantKeys = {"quality",          "videoSpeed",  "appRunCount",
                                               "checkRate",        "dateRate",    "moviesTabIndex",
                                               "soundtrackNotice", "encodeCount", "rate"};
    std::vector<std::string> keys;
    for (const auto& [key, value] : root.asDictionary()) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys, wantKeys);
    EXPECT_EQ(*root.find("quality"), PlistValue::integer(1));
    EXPECT_EQ(*root.find("videoSpeed"), PlistValue::integer(100));
    EXPECT_EQ(*root.find("appRunCount"), PlistValue::integer(0));
    EXPECT_EQ(*root.find("checkRate"), PlistValue::string(""));
    ASSERT_EQ(root.find("dateRate")->type(), PlistValue::Type::Date);
    const double nowSeconds =
        std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
    EXPECT_NEAR(root.find("dateRate")->asDate(), nowSeconds, 5.0);
    EXPECT_EQ(*root.find("moviesTabIndex"), PlistValue::integer(0));
    EXPECT_EQ(*root.find("soundtrackNotice"), PlistValue::boolean(false));
    EXPECT_EQ(*root.find("encodeCount"), PlistValue::integer(0));
    EXPECT_EQ(*root.find("rate"), PlistValue::boolean(false));
}

TEST_F(AppConfigureInfoTest, SharedInstanceIsMadeOnceAndSavedAtOnce) {
    auto first = AppConfigureInfo::shareAppConfigureInfo();
    ASSERT_TRUE(first);
    EXPECT_TRUE(fileExists(settingsPath()));
    EXPECT_EQ(AppConfigureInfo::shareAppConfigureInfo(), first);

    first->setVideoSpeed(130);
    first->save();
    EXPECT_EQ(*readSettingsFile().find("videoSpeed"), PlistValue::integer(130));
}

TEST_F(AppConfigureInfoTest, ReadingAnExistingFileSavesItBackWithEveryKey) {
    // A file with only some keys: missing integers are 0 (not the defaults), booleans NO.
    writeText(settingsPath(), R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>quality</key><integer>0</integer>
  <key>rate</key><true/>
  <key>checkRate</key><string>asked</string>
</dict></plist>
)");
    auto info = AppConfigureInfo::loadAppConfigureInfo(AppConfigureInfo::kFileName);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->quality(), 0);
    EXPECT_EQ(info->videoSpeed(), 0);
    EXPECT_EQ(info->appRunCount(), 0);
    EXPECT_EQ(info->checkRate(), "asked");
    EXPECT_NEAR(secondsFromNow(info->dateRate()), 0.0, 5.0);
    EXPECT_EQ(info->moviesTabIndex(), 0);
    EXPECT_FALSE(info->soundtrackNotice());
    EXPECT_EQ(info->encodeCount(), 0);
    EXPECT_TRUE(info->rate());

    const PlistValue root = readSettingsFile();
    EXPECT_EQ(root.asDictionary().size(), 9u);
    EXPECT_EQ(*root.find("videoSpeed"), PlistValue::integer(0));
    EXPECT_EQ(*root.find("rate"), PlistValue::boolean(true));
}

TEST_F(AppConfigureInfoTest, AbsentCheckRateDecodesAsEmpty) {
    auto info = AppConfigureInfo::initWithCoder(PlistValue::dictionary());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->checkRate(), "");
    EXPECT_EQ(info->quality(), 0);
}

TEST_F(AppConfigureInfoTest, EveryPropertySurvivesSaveAndRead) {
    auto info = std::make_shared<AppConfigureInfo>();
    info->setQuality(0);
    info->setVideoSpeed(70);
    info->setAppRunCount(-4);
    info->setCheckRate("한국어 text");
    const auto when = Clock::time_point(std::chrono::seconds(1700000000));
    info->setDateRate(when);
    info->setMoviesTabIndex(1);
    info->setSoundtrackNotice(true);
    info->setEncodeCount(2147483647);
    info->setRate(true);
    ASSERT_TRUE(AppConfigureInfo::saveAppConfigureInfo(info, "other.plist"));

    ErrorPtr error;
    auto back = AppConfigureInfo::appConfigureInfoWithPath("other.plist", &error);
    ASSERT_TRUE(back) << (error ? error->localizedDescription() : "");
    EXPECT_EQ(back->quality(), 0);
    EXPECT_EQ(back->videoSpeed(), 70);
    EXPECT_EQ(back->appRunCount(), -4);
    EXPECT_EQ(back->checkRate(), "한국어 text");
    EXPECT_EQ(back->dateRate(), when);
    EXPECT_EQ(back->moviesTabIndex(), 1);
    EXPECT_TRUE(back->soundtrackNotice());
    EXPECT_EQ(back->encodeCount(), 2147483647);
    EXPECT_TRUE(back->rate());
}

TEST_F(AppConfigureInfoTest, SaveWritesTheReceiverUnderTheSettingsName) {
    AppConfigureInfo info;
    info.setMoviesTabIndex(1);
    info.save();
    EXPECT_EQ(*readSettingsFile().find("moviesTabIndex"), PlistValue::integer(1));
}

TEST_F(AppConfigureInfoTest, MissingFileAndMissingObject) {
    ErrorPtr error;
    EXPECT_FALSE(AppConfigureInfo::appConfigureInfoWithPath("absent.plist", &error));
    EXPECT_FALSE(error) << "a missing file is not an error";
    EXPECT_FALSE(AppConfigureInfo::saveAppConfigureInfo(nullptr, "nothing.plist"));
    EXPECT_FALSE(fileExists(pathByAppending(documents, "nothing.plist")));
}

TEST_F(AppConfigureInfoTest, UndecodableFileIsKeptAsideAndDefaultsAreUsed) {
    struct Case {
        const char* what;
        std::string contents;
    };
    const std::vector<Case> cases = {
        {"not XML", "this is not a property list"},
        {"truncated", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>quality</key>"},
        {"array root", "<plist version=\"1.0\"><array/></plist>"},
        {"wrong type", "<plist version=\"1.0\"><dict><key>videoSpeed</key><string>fast</string>"
                       "</dict></plist>"},
        {"beyond 32 bits", "<plist version=\"1.0\"><dict><key>encodeCount</key>"
                           "<integer>4294967296</integer></dict></plist>"},
        // Well formed, but far larger than settings ever are: reading it whole would take
        // minutes and gigabytes at the sizes a damaged disk can produce.
        {"far too large", "<plist version=\"1.0\"><dict><key>checkRate</key><string>" +
                              std::string(2 << 20, 'x') + "</string></dict></plist>"},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeText(settingsPath(), c.contents);
        auto info = AppConfigureInfo::loadAppConfigureInfo(AppConfigureInfo::kFileName);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->videoSpeed(), 100);
        EXPECT_EQ(info->quality(), 1);

        // Earlier kept files are never replaced.
        const std::string aside = settingsPath() + ".corrupt" +
                                  (round == 0 ? std::string() : "." + std::to_string(round + 1));
        EXPECT_EQ(readText(aside), c.contents);
        EXPECT_EQ(*readSettingsFile().find("videoSpeed"), PlistValue::integer(100));
        ++round;
    }
}

TEST_F(AppConfigureInfoTest, RatingIsAskedAtTheThirdAndSixthRenderOnly) {
    struct Case {
        bool rated;
        std::vector<int> wantPromptAt;
    };
    for (const Case& c : {Case{false, {3, 6}}, Case{true, {}}}) {
        SCOPED_TRACE(c.rated ? "rated" : "not rated");
        AppConfigureInfo info;
        info.setRate(c.rated);
        std::vector<int> promptedAt;
        for (int render = 1; render <= 9; ++render) {
            if (info.countFinishedRender()) {
                promptedAt.push_back(render);
            }
        }
        EXPECT_EQ(promptedAt, c.wantPromptAt);
        EXPECT_EQ(info.encodeCount(), 9);
    }
}

TEST_F(AppConfigureInfoTest, RendersAloneLeaveTheStoredCountUnchanged) {
    auto info = AppConfigureInfo::loadAppConfigureInfo(AppConfigureInfo::kFileName);
    info->countFinishedRender();
    info->countFinishedRender();
    EXPECT_EQ(*readSettingsFile().find("encodeCount"), PlistValue::integer(0));
    ASSERT_TRUE(AppConfigureInfo::saveAppConfigureInfo(info, AppConfigureInfo::kFileName));
    EXPECT_EQ(*readSettingsFile().find("encodeCount"), PlistValue::integer(2));
}

} // namespace
} // namespace tx
