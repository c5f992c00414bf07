#include "platform/system/FileDialog.h"
#include "platform/system/MediaPickerController.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/media/SoundFileInfo.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace tx {
namespace {

namespace fs = std::filesystem;

// A song made with the ffmpeg tool; empty title and artist leave the tags out.
std::string makeSong(const fs::path& path, const std::string& title, const std::string& artist,
                     double seconds) {
    fs::create_directories(path.parent_path());
    std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=440:"
                          "duration=" +
                          std::to_string(seconds) + " -ac 2";
    if (!title.empty())
        command += " -metadata title=\"" + title + "\"";
    if (!artist.empty())
        command += " -metadata artist=\"" + artist + "\"";
    if (path.extension() == ".m4a")
        command += " -c:a aac -movflags +faststart";
    command += " \"" + path.string() + "\"";
    return test::run(command) == 0 ? path.string() : std::string();
}

// A song whose header reads well but whose sound data is cut off.
std::string makeCutSong(const fs::path& path) {
    const std::string whole = makeSong(path.string() + ".whole.m4a", "Cut", "", 1.0);
    std::ifstream in(whole, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t mdat = bytes.find("mdat");
    if (mdat == std::string::npos)
        return {};
    std::ofstream(path, std::ios::binary) << bytes.substr(0, mdat + 4);
    fs::remove(whole);
    return path.string();
}

class Answers : public MediaPickerControllerDelegate {
public:
    void mediaPickerDidPickMediaItems(MediaPickerController&,
                                      const std::vector<MediaItem>& items) override {
        picked.insert(picked.end(), items.begin(), items.end());
    }
    void mediaPickerDidCancel(MediaPickerController&) override { cancels++; }
    std::vector<MediaItem> picked;
    int cancels = 0;
};

class MusicLibraryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new fs::path(fs::temp_directory_path() / ("taluvex-music-" + uniqueString()));
        makeSong(*folder / "b.m4a", "beta", "Band", 1.3);
        makeSong(*folder / "Albums" / "First" / "a.m4a", "Alpha", "", 2.6);
        makeSong(*folder / "zeta.wav", "", "", 0.4);
        std::ofstream(*folder / "notes.txt") << "not a song";
        std::ofstream(*folder / "broken.mp3") << "not a song either";
        makeCutSong(*folder / "cut.m4a");
        // Hidden files and folders are left out.
        fs::create_directories(*folder / ".cache");
        fs::copy_file(*folder / "zeta.wav", *folder / ".cache" / "hidden.wav");
        fs::copy_file(*folder / "zeta.wav", *folder / ".hidden.wav");
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(*folder, ec);
        delete folder;
    }
    void SetUp() override {
        window = std::make_shared<Window>(Screen::mainScreen().bounds());
        window->makeKeyAndVisible();
        window->setRootViewController(root);
        FileDialog::setHandler(
            [this](const FileDialogRequest& request, FileDialog::Completion completion) {
                dialogs.push_back(request);
                completion(dialogAnswer);
            });
    }
    void TearDown() override { FileDialog::setHandler({}); }

    std::shared_ptr<MediaPickerController> openLibrary() {
        auto picker = std::make_shared<MediaPickerController>();
        picker->setMusicDirectory(folder->string());
        picker->setDelegate(answers);
        root->presentViewController(picker, false);
        EXPECT_TRUE(RunLoop::runUntil([&] { return !picker->isScanning(); }, 10));
        picker->tableView()->layoutIfNeeded();
        return picker;
    }
    static std::vector<std::string> titles(const std::vector<MediaItem>& items) {
        std::vector<std::string> out;
        for (const MediaItem& item : items)
            out.push_back(item.title);
        return out;
    }
    static KeyEvent key(KeyEvent::Key k) {
        KeyEvent event;
        event.key = k;
        return event;
    }

    static fs::path* folder;
    std::shared_ptr<Window> window;
    std::shared_ptr<ViewController> root = std::make_shared<ViewController>();
    std::shared_ptr<Answers> answers = std::make_shared<Answers>();
    std::vector<FileDialogRequest> dialogs;
    std::string dialogAnswer;
};

fs::path* MusicLibraryTest::folder = nullptr;

TEST_F(MusicLibraryTest, ListsTheFolderSortedByTitleWithTagsOrFileNames) {
    auto picker = openLibrary();
    // The cut song has a readable header, so it is listed; it is refused when chosen.
    EXPECT_EQ(titles(picker->items()), (std::vector<std::string>{"Alpha", "beta", "Cut", "zeta"}));
    const MediaItem& beta = picker->items()[1];
    EXPECT_EQ(beta.artist, "Band");
    EXPECT_NEAR(beta.durationSeconds, 1.3, 0.1);
    EXPECT_EQ(beta.assetURL, (*folder / "b.m4a").string());
    EXPECT_NEAR(picker->items()[3].durationSeconds, 0.4, 0.05);
    // "Other…" and the songs.
    EXPECT_EQ(picker->tableView()->numberOfRowsInSection(0), 5);
    EXPECT_EQ(picker->statusLabel()->text(), "4 songs");
}

TEST_F(MusicLibraryTest, SearchFiltersAsTheUserTypes) {
    auto picker = openLibrary();
    picker->searchField()->becomeFirstResponder();
    picker->searchField()->insertText("AL");
    EXPECT_EQ(titles(picker->filteredItems()), std::vector<std::string>{"Alpha"});
    picker->searchField()->deleteBackward();
    picker->searchField()->deleteBackward();
    picker->searchField()->insertText("band");
    EXPECT_EQ(titles(picker->filteredItems()), std::vector<std::string>{"beta"});
    EXPECT_EQ(picker->tableView()->numberOfRowsInSection(0), 2);
    picker->setSearchText("");
    EXPECT_EQ(picker->filteredItems().size(), 4u);
}

TEST_F(MusicLibraryTest, AFolderIsReadInBatchesThatStartSmall) {
    const fs::path many = fs::temp_directory_path() / ("taluvex-many-" + uniqueString());
    fs::create_directories(many);
    for (int i = 0; i < 60; i++)
        fs::copy_file(*folder / "zeta.wav", many / ("song" + std::to_string(i) + ".wav"));
    std::vector<std::size_t> batches;
    std::atomic<bool> cancelled{false};
    MediaPickerController::scanDirectory(
        many.string(), cancelled,
        [&](std::vector<MediaItem> batch) { batches.push_back(batch.size()); });
    ASSERT_GE(batches.size(), 2u);
    EXPECT_LE(batches.front(), 16u);
    std::size_t total = 0;
    for (std::size_t n : batches)
        total += n;
    EXPECT_EQ(total, 60u);

    // A cancelled scan stops.
    cancelled = true;
    batches.clear();
    MediaPickerController::scanDirectory(
        many.string(), cancelled,
        [&](std::vector<MediaItem> batch) { batches.push_back(batch.size()); });
    EXPECT_TRUE(batches.empty());
    fs::remove_all(many);
}

TEST_F(MusicLibraryTest, AChosenSongAnswersWithItsTitleAndPath) {
    auto picker = openLibrary();
    // "Other…", then the songs.
    for (int i = 0; i < 3; i++)
        picker->keyPressed(key(KeyEvent::Key::Down));
    EXPECT_EQ(picker->cursorRow(), 2);
    picker->keyPressed(key(KeyEvent::Key::Return));
    ASSERT_EQ(answers->picked.size(), 1u);
    EXPECT_EQ(answers->picked[0].title, "beta");
    EXPECT_EQ(answers->picked[0].assetURL, (*folder / "b.m4a").string());
}

TEST_F(MusicLibraryTest, AFileThatDoesNotDecodeIsRefusedByName) {
    auto picker = openLibrary();
    MediaItem cut = picker->items()[2];
    ASSERT_EQ(cut.title, "Cut");
    EXPECT_FALSE(canDecodeSound(cut.assetURL));
    picker->chooseItem(cut);
    EXPECT_TRUE(answers->picked.empty());
    // The alert names the file.
    bool named = false;
    for (const ViewPtr& view : window->subviews())
        if (auto alert = std::dynamic_pointer_cast<AlertView>(view))
            named = alert->message().find("cut.m4a") != std::string::npos;
    EXPECT_TRUE(named);
}

TEST_F(MusicLibraryTest, OtherOpensTheFileDialogForSoundFiles) {
    auto picker = openLibrary();
    // Cancelled: the library stays, nothing is answered.
    picker->onOther();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].directory, folder->string());
    EXPECT_FALSE(dialogs[0].save);
    ASSERT_FALSE(dialogs[0].nameFilters.empty());
    EXPECT_NE(dialogs[0].nameFilters[0].find("*.mp3"), std::string::npos);
    EXPECT_TRUE(answers->picked.empty());
    EXPECT_EQ(answers->cancels, 0);

    dialogAnswer = test::makeSound(1.2);
    picker->onOther();
    ASSERT_EQ(answers->picked.size(), 1u);
    EXPECT_EQ(answers->picked[0].assetURL, dialogAnswer);
    EXPECT_EQ(answers->picked[0].title, fs::path(dialogAnswer).stem().string());

    // A file that is no sound is refused.
    dialogAnswer = (*folder / "notes.txt").string();
    picker->onOther();
    EXPECT_EQ(answers->picked.size(), 1u);
}

TEST_F(MusicLibraryTest, AMissingFolderSaysSoAndOffersOther) {
    auto picker = std::make_shared<MediaPickerController>();
    picker->setMusicDirectory((*folder / "no such folder").string());
    root->presentViewController(picker, false);
    EXPECT_TRUE(RunLoop::runUntil([&] { return !picker->isScanning(); }, 10));
    EXPECT_TRUE(picker->items().empty());
    EXPECT_EQ(picker->tableView()->numberOfRowsInSection(0), 1);
    EXPECT_NE(picker->statusLabel()->text().find("No songs in"), std::string::npos);
}

TEST_F(MusicLibraryTest, EscapeCancels) {
    auto picker = openLibrary();
    EXPECT_TRUE(picker->keyPressed(key(KeyEvent::Key::Escape)));
    EXPECT_EQ(answers->cancels, 1);
}

} // namespace
} // namespace tx
