#include "platform/foundation/Error.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Paths.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <set>
#include <sys/stat.h>
#include <vector>

using namespace tx;

TEST(Error, DescribesItselfInThePlatformsWordsWhenNoTextIsGiven) {
    Error plain("\uBE44\uB514\uC5B4 \uBCC0\uD658 \uC2E4\uD328", 0);
    EXPECT_EQ(plain.localizedDescription(),
              "The operation couldn\u2019t be completed. (비디어 변환 실패 error 0.)");
    Error told("x", 7, "Disk full");
    EXPECT_EQ(told.localizedDescription(), "Disk full");
}

TEST(NotificationCenter, DeliversByNameAndSenderAndSurvivesRemovalDuringDelivery) {
    NotificationCenter center;
    auto senderA = std::make_shared<StringObject>("a");
    auto senderB = std::make_shared<StringObject>("b");
    std::vector<std::string> heard;
    int first = 0;
    int second = 0;
    int third = 0;
    center.addObserver(&first, "ping", [&](const Notification& n) {
        heard.push_back("first");
        // Removes itself and the third observer while the post is under way.
        center.removeObserver(&first);
        center.removeObserver(&third);
        EXPECT_EQ(n.name, "ping");
    });
    center.addObserver(
        &second, "ping", [&](const Notification&) { heard.push_back("second"); }, senderA.get());
    center.addObserver(&third, "ping", [&](const Notification&) { heard.push_back("third"); });
    center.addObserver(&third, "other", [&](const Notification&) { heard.push_back("other"); });

    center.post("ping", senderB);
    EXPECT_EQ(heard, (std::vector<std::string>{"first"}));
    heard.clear();
    center.post("ping", senderA);
    EXPECT_EQ(heard, (std::vector<std::string>{"second"}));
    heard.clear();
    center.post("other");
    EXPECT_TRUE(heard.empty());
    EXPECT_EQ(center.observerCount("ping"), 1u);
}

TEST(Paths, UniqueStringsAreFreshAndPathsAreBuiltAsExpected) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        seen.insert(uniqueString());
    }
    EXPECT_EQ(seen.size(), 100u);
    EXPECT_EQ(pathByReplacingExtension("/d/a.mov", "jpg"), "/d/a.jpg");
    EXPECT_EQ(pathByAppending("/d/", "x.mov"), "/d/x.mov");
    EXPECT_EQ(lastPathComponent("/d/x.mov"), "x.mov");
    EXPECT_EQ(pathExtension("/d/x.mov"), "mov");
}

TEST(Paths, DocumentsLiveUnderXdgDataHome) {
    const std::string dir = ::testing::TempDir() + "xdg-" + uniqueString();
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
    EXPECT_EQ(documentsDirectory(), dir + "/taluvex/Documents");
    EXPECT_TRUE(fileExists(dir + "/taluvex/Documents"));
    unsetenv("XDG_DATA_HOME");
}

TEST(Paths, ConfigAndCacheFollowXdgAndThePrivateFolderIsOursAlone) {
    const std::string dir = ::testing::TempDir() + "xdg-" + uniqueString();
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    setenv("XDG_CACHE_HOME", "relative/is/ignored", 1);
    setenv("HOME", dir.c_str(), 1);
    EXPECT_EQ(configDirectory(), dir + "/config/taluvex");
    EXPECT_TRUE(fileExists(dir + "/config/taluvex"));
    EXPECT_EQ(cacheDirectory(), dir + "/.cache/taluvex");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_CACHE_HOME");

    const std::string priv = privateTemporaryDirectory();
    EXPECT_EQ(priv, privateTemporaryDirectory()); // one per process
    EXPECT_NE(priv, temporaryDirectory());
    EXPECT_EQ(priv.back(), '/');
    struct stat st {};
    ASSERT_EQ(::stat(priv.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

// Private folders left by processes that ended without tidying up go at the next start; a
// folder whose process still holds its lock stays, and so does anything else in the folder.
TEST(Paths, FoldersOfEndedProcessesAreRemovedAndLiveOnesKept) {
    const std::string own = privateTemporaryDirectory();
    // The running process holds the lock on its own folder.
    const int probe = ::open(own.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    EXPECT_NE(::flock(probe, LOCK_EX | LOCK_NB), 0);
    ::close(probe);

    char pattern[] = "/tmp/taluvex-scan-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string scan = pattern;
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous ? previous : "";
    setenv("TMPDIR", scan.c_str(), 1);
    auto makeFolder = [&](const std::string& name) {
        const std::string folder = scan + "/" + name;
        ::mkdir(folder.c_str(), 0700);
        std::fclose(std::fopen((folder + "/capture.mov").c_str(), "w"));
        return folder;
    };
    const std::string ended = makeFolder("taluvex-Ab12Cd");
    const std::string living = makeFolder("taluvex-Zz98Yy");
    const std::string other = makeFolder("taluvex-render-output");
    const int hold = ::open(living.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(hold, LOCK_EX | LOCK_NB), 0);

    removeAbandonedTemporaryDirectories(0);
    EXPECT_FALSE(fileExists(ended));
    EXPECT_TRUE(fileExists(living + "/capture.mov"));
    EXPECT_TRUE(fileExists(other + "/capture.mov"));
    EXPECT_TRUE(fileExists(own));

    ::close(hold);
    if (previous) {
        setenv("TMPDIR", saved.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
    std::error_code ec;
    std::filesystem::remove_all(scan, ec);
}

// A movie being written beside its final name carries a hold; what a killed writer left has none.
TEST(Paths, WorkingFilesOfKilledWritersAreRemovedAndHeldOnesKept) {
    char pattern[] = "/tmp/taluvex-working-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    auto make = [&](const std::string& name) {
        const std::string path = folder + "/" + name;
        std::fclose(std::fopen(path.c_str(), "w"));
        return path;
    };
    const std::string abandoned = make(".a.mov.1F.partial");
    const std::string held = make(".b.mov.2E.partial");
    const std::string byChild = make(".c.mov.3D.partial");
    const std::string visible = make("d.partial");            // not a working name
    const std::string otherSuffix = make(".e.mov.4C.mov");
    ::mkdir((folder + "/.f.partial").c_str(), 0700);          // a folder, not a file
    ::symlink(otherSuffix.c_str(), (folder + "/.g.partial").c_str());
    WorkingFileHold hold(held);
    ASSERT_TRUE(hold.isHeld());

    // Another process holds one, as a render in a second instance would.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        WorkingFileHold childHold(byChild);
        const char held = childHold.isHeld() ? 'y' : 'n';
        (void)!::write(ready[1], &held, 1);
        ::pause();
        ::_exit(0);
    }
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');
    EXPECT_EQ(removeAbandonedWorkingFiles(folder, ".partial", 0), 1);
    EXPECT_FALSE(fileExists(abandoned));
    EXPECT_TRUE(fileExists(held));
    EXPECT_TRUE(fileExists(byChild));
    EXPECT_TRUE(fileExists(visible));
    EXPECT_TRUE(fileExists(otherSuffix));
    EXPECT_TRUE(fileExists(folder + "/.f.partial"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder + "/.g.partial"));
    // A fresh file is left alone for a moment: its writer may not have taken its hold yet.
    const std::string fresh = make(".h.mov.5B.partial");
    EXPECT_EQ(removeAbandonedWorkingFiles(folder, ".partial", 60), 0);
    EXPECT_TRUE(fileExists(fresh));

    // Killed, the child's hold goes with it; a released hold is no hold either.
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    hold.release();
    EXPECT_EQ(removeAbandonedWorkingFiles(folder, ".partial", 0), 3);
    EXPECT_FALSE(fileExists(byChild));
    EXPECT_FALSE(fileExists(held));
    ::close(ready[0]);
    ::close(ready[1]);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

TEST(Paths, ThePrivateTemporaryFolderGoesWithWhatItHoldsWhenTheProcessEnds) {
    // A child process makes the folder, leaves a file in it and exits normally.
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeEnds[0]);
        const std::string folder = privateTemporaryDirectory();
        FILE* file = std::fopen((folder + "capture.mov").c_str(), "w");
        if (file != nullptr) {
            std::fputs("movie", file);
            std::fclose(file);
        }
        const ssize_t written = ::write(pipeEnds[1], folder.data(), folder.size());
        ::close(pipeEnds[1]);
        std::exit(written == static_cast<ssize_t>(folder.size()) ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    char buffer[4096];
    std::string folder;
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        folder.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_FALSE(folder.empty());
    EXPECT_FALSE(fileExists(folder + "capture.mov"));
    EXPECT_FALSE(fileExists(folder));
}
