#include "AppTestSupport.h"

#include "app/FileInfo.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace tx;

namespace {

void touch(const std::string& path, fs::file_time_type when) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "x";
    fs::last_write_time(path, when);
}

} // namespace

using FileInfoWalk = test::DocumentsTest;

TEST_F(FileInfoWalk, ListsEveryMovBelowDocumentsNewestFirst) {
    const auto now = fs::file_time_type::clock::now();
    touch(documents + "/old.mov", now - std::chrono::hours(24));
    touch(documents + "/sub/deeper/new.mov", now);
    touch(documents + "/clip.MOV", now); // the extension is matched exactly
    touch(documents + "/new.jpg", now);

    std::vector<std::string> seen;
    auto movies =
        FileInfo::moviesBelow(documents, [&](const std::string& p) { seen.push_back(p); });
    ASSERT_EQ(movies.size(), 2u);
    EXPECT_EQ(movies[0]->path(), documents + "/sub/deeper/new.mov");
    EXPECT_EQ(movies[0]->thumbPath(), documents + "/sub/deeper/new.jpg");
    EXPECT_EQ(movies[1]->path(), documents + "/old.mov");
    EXPECT_GT(movies[0]->date(), movies[1]->date());
    EXPECT_EQ(seen.size(), 2u);

    EXPECT_TRUE(FileInfo::moviesBelow(documents + "/missing").empty());
}
