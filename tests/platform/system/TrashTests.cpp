#include "DesktopHome.h"

#include "platform/system/Trash.h"

using namespace tx;

namespace {

using TrashTest = test::DesktopHomeTest;

TEST_F(TrashTest, FilesGoToTheDesktopTrashWhereTheyCanBeRestoredFrom) {
    const std::string movie = makeFile(home + "/.local/share/taluvex/Documents/a.mov", 300);
    ErrorPtr error;
    ASSERT_TRUE(Trash::moveToTrash(movie, &error)) << (error ? error->localizedDescription() : "");
    EXPECT_FALSE(fileExists(movie));
    const std::string trash = home + "/.local/share/Trash";
    EXPECT_EQ(contents(trash + "/files/a.mov").size(), 300u);
    const std::string info = contents(trash + "/info/a.mov.trashinfo");
    EXPECT_NE(info.find("Path="), std::string::npos) << info;

    // A second file of the same name does not replace the first in the trash.
    makeFile(movie, 10);
    ASSERT_TRUE(Trash::moveToTrash(movie));
    EXPECT_EQ(contents(trash + "/files/a.mov").size(), 300u);
    EXPECT_EQ(namesIn(trash + "/files").size(), 2u);
}

TEST_F(TrashTest, AFileThatIsGoneAlreadyCountsAsDeleted) {
    EXPECT_TRUE(Trash::moveToTrash(home + "/nothing-here.mov"));
}

TEST_F(TrashTest, AStandInDecidesWhenOneIsInstalled) {
    const std::string movie = makeFile(home + "/a.mov", 3);
    Trash::setHandler([](const std::string& path, ErrorPtr* error) {
        *error = Error::make("Trash", 1, "cannot delete " + lastPathComponent(path));
        return false;
    });
    ErrorPtr error;
    EXPECT_FALSE(Trash::moveToTrash(movie, &error));
    Trash::setHandler(nullptr);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->localizedDescription(), "cannot delete a.mov");
    EXPECT_TRUE(fileExists(movie));
    EXPECT_TRUE(Trash::moveToTrash(movie));
    EXPECT_FALSE(fileExists(movie));
}

} // namespace
