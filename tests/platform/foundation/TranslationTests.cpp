#include "platform/foundation/Translation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace tx {
namespace {

// Each test starts with no language set and leaves the environment as it found it.
class TranslationTest : public testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* value = std::getenv(name);
            saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : saved) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST_F(TranslationTest, WordsFollowTheFirstLanguageWithACatalogueEvenWithoutItsLocale) {
    struct Case {
        const char* language;
        const char* lang;
        std::string on;
    };
    const std::vector<Case> cases = {
        {nullptr, nullptr, "ON"},
        {nullptr, "C.UTF-8", "ON"},
        // No catalogue for Portuguese: the next language in the list answers.
        {"pt_BR:fr", nullptr, "OUI"},
        // The locale need not be installed; its name is enough.
        {nullptr, "ko_KR.UTF-8", "켬"},
        {"ja", "de_DE.UTF-8", "オン"},
        {nullptr, "de_DE.UTF-8", "EIN"},
        {"en:de", nullptr, "ON"},
    };
    for (const Case& c : cases) {
        c.language ? setenv("LANGUAGE", c.language, 1) : unsetenv("LANGUAGE");
        c.lang ? setenv("LANG", c.lang, 1) : unsetenv("LANG");
        EXPECT_EQ(_("ON"), c.on) << (c.language ? c.language : "") << " " << (c.lang ? c.lang : "");
    }
    setenv("LANGUAGE", "de", 1);
    EXPECT_EQ(_("Words nobody translated"), "Words nobody translated");
    EXPECT_EQ(_(""), "");
}

TEST_F(TranslationTest, PluralsCountAsTheLanguageDoes) {
    EXPECT_EQ(translatedPlural("%n movie", "%n movies", 1), "1 movie");
    EXPECT_EQ(translatedPlural("%n movie", "%n movies", 0), "0 movies");
    EXPECT_EQ(translatedPlural("%n movie", "%n movies", 12), "12 movies");
    setenv("LANGUAGE", "de", 1);
    EXPECT_EQ(translatedPlural("%n song", "%n songs", 1), "1 Lied");
    EXPECT_EQ(translatedPlural("%n song", "%n songs", 6), "6 Lieder");
}

TEST_F(TranslationTest, TheSameWordsTranslateByWhereTheyStand) {
    setenv("LANGUAGE", "de", 1);
    EXPECT_EQ(_("Cancel"), "Abbrechen");
    EXPECT_EQ(translatedIn("picker bar", "Cancel"), "Zurück");
    unsetenv("LANGUAGE");
    EXPECT_EQ(translatedIn("picker bar", "Cancel"), "Cancel");
}

TEST(WithArguments, FillsNumberedPlacesInAnyOrderAndLeavesValuesAlone) {
    struct Case {
        std::string pattern;
        std::string want;
    };
    const std::vector<Case> cases = {
        {"%1 of %2", "a of 100%2"},
        {"%2 von %1", "100%2 von a"},
        {"%1%%1", "a%a"},
        {"%3 stays", "%3 stays"},
        {"trailing %", "trailing %"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(withArguments(c.pattern, {"a", "100%2"}), c.want) << c.pattern;
    }
}

} // namespace
} // namespace tx
