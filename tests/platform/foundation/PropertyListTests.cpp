#include "platform/foundation/Paths.h"
#include "platform/foundation/PropertyList.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace tx;

TEST(PropertyList, RoundTripsEveryTypeAndKeepsKeyOrder) {
    PlistValue root = PlistValue::dictionary();
    root.set("zeta", PlistValue::integer(-42));
    root.set("alpha", PlistValue::boolean(true));
    root.set("no", PlistValue::boolean(false));
    root.set("real", PlistValue::real(0.1));
    root.set("text", PlistValue::string("a < b & \"c\" 한국어"));
    root.set("when", PlistValue::date(1765000000.0));
    root.set("blob", PlistValue::data({0, 1, 2, 255}));
    root.set("list", PlistValue::array({PlistValue::string("Track1.m4a"), PlistValue::integer(3)}));

    const std::string path = ::testing::TempDir() + uniqueString() + ".plist";
    ErrorPtr error;
    ASSERT_TRUE(writePropertyList(root, path, &error));
    auto back = readPropertyList(path, &error);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, root);
    EXPECT_EQ(back->asDictionary().front().first, "zeta");
    removeFile(path);
}

TEST(PropertyList, CorruptOrForeignFilesFailWithWhatAndWhere) {
    struct Case {
        const char* text;
        const char* mention;
    };
    const Case cases[] = {
        {"<plist><dict><key>a</key><integer>x1</integer></dict></plist>", "line 1"},
        {"<plist><dict><key>a</key>", "line"},
        {"<html/>", "not <plist>"},
        {"<plist><dict><string>orphan</string></dict></plist>", "expected <key>"},
    };
    for (const Case& c : cases) {
        ErrorPtr error;
        EXPECT_FALSE(parsePropertyList(c.text, &error).has_value()) << c.text;
        ASSERT_TRUE(error) << c.text;
        EXPECT_NE(error->localizedDescription().find(c.mention), std::string::npos)
            << error->localizedDescription();
    }
    ErrorPtr error;
    EXPECT_FALSE(readPropertyList("/nonexistent/x.plist", &error));
    EXPECT_NE(error->localizedDescription().find("/nonexistent/x.plist"), std::string::npos);
}

TEST(PropertyList, FailedAtomicWriteLeavesTheOldFileAlone) {
    const std::string dir = ::testing::TempDir();
    const std::string path = dir + uniqueString() + ".plist";
    ASSERT_TRUE(writePropertyList(PlistValue::string("old"), path));
    ErrorPtr error;
    EXPECT_FALSE(writePropertyList(PlistValue::string("new"), "/nonexistent-dir/x.plist", &error));
    EXPECT_TRUE(error);
    EXPECT_EQ(readPropertyList(path)->asString(), "old");
    removeFile(path);
}
