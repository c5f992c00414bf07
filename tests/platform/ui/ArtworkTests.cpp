// Every picture the screens ask for by name must be in the generated artwork, at the pixel size
// its name carries.
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>

using namespace tx;

namespace {

// The pictures the screens name, whether or not their code is written yet.
const char* const kNamedPictures[] = {"Default",
                                      "converting_bg_640_960",
                                      "loading_bar_bg_304_36",
                                      "loading_bar_loading_304_36",
                                      "cancel_btn_116_56",
                                      "cancel_btn_P_116_56",
                                      "btn_slider_off.png",
                                      "btn_slider_on.png",
                                      "btn_slider_track.png",
                                      "btn_slider_track_pressed.png",
                                      "btn_slider_thumb.png",
                                      "btn_slider_thumb_pressed.png",
                                      "btn_slider_international_on",
                                      "btn_slider_international_off",
                                      "sending_video_bg_640_960",
                                      "sending_bar_bg_304_36",
                                      "sending_bar_loading_304_36",
                                      "from_ipod_588_90",
                                      "from_ipod_P_588_90",
                                      "from_video_588_90",
                                      "from_video_P_588_90",
                                      "mute_588_90",
                                      "mute_P_588_90",
                                      "track1_588_90",
                                      "track1_P_588_90",
                                      "track2_588_90",
                                      "track2_P_588_90",
                                      "track3_588_90",
                                      "track3_P_588_90",
                                      "track4_588_90",
                                      "track4_P_588_90",
                                      "track5_588_90",
                                      "track5_P_588_90",
                                      "track6_588_90",
                                      "track6_P_588_90",
                                      "M_b_320_112",
                                      "edit_b_140_80",
                                      "edit_b_P_140_80",
                                      "done_b_140_80",
                                      "done_b_P_140_80",
                                      "U_bg_320_112",
                                      "n_P_184_62",
                                      "m_P_184_62",
                                      "f_P_184_62",
                                      "utube_loadmore_576_114",
                                      "utube_loadmore_P_576_114",
                                      "bw_facebook_picture_frame_self",
                                      "contest_bg_640_864@2x.png",
                                      "sound_bg_640_864@2x.png"};

// The pixel size a name carries ("cancel_btn_116_56" → 116 x 56), if any.
std::optional<std::pair<int, int>> sizeInName(const std::string& name) {
    static const std::regex pattern(R"(_(\d+)_(\d+)(@2x)?(\.png)?$)");
    std::smatch m;
    if (!std::regex_search(name, m, pattern))
        return {};
    return std::make_pair(std::stoi(m[1]), std::stoi(m[2]));
}

void expectPicture(const std::string& name, const std::string& where) {
    ImagePtr image = Image::imageNamed(name);
    ASSERT_TRUE(image) << "missing picture \"" << name << "\" (" << where << ")";
    EXPECT_EQ(image->scale(), 2);
    if (auto size = sizeInName(name)) {
        EXPECT_EQ(image->pixels().width(), size->first) << name;
        EXPECT_EQ(image->pixels().height(), size->second) << name;
    }
}

} // namespace

TEST(Artwork, EveryNamedPictureExistsAtItsSize) {
    for (const char* name : kNamedPictures)
        expectPicture(name, "named by the screens");
    EXPECT_EQ(Image::imageNamed("cancel_btn_116_56")->size(), (Size{58, 28}));
    EXPECT_EQ(Image::imageNamed("contest_bg_640_864@2x")->size(), (Size{320, 432}));
    EXPECT_FALSE(Image::imageNamed("no_such_picture_10_10"));
}

TEST(Artwork, TheTallScreenGetsItsOwnLaunchPicture) {
    EXPECT_EQ(Image::imageNamed("Default")->size(), (Size{320, 480}));
    Screen::mainScreen().setHeight(568);
    ImagePtr tall = Image::imageNamed("Default");
    Screen::mainScreen().setHeight(480);
    ASSERT_TRUE(tall);
    EXPECT_EQ(tall->size(), (Size{320, 568}));
}

TEST(Artwork, EveryPictureNameInTheSourcesExists) {
    // Picture names in code: arguments of imageNamed, and string literals shaped like picture
    // names.
    static const std::regex call(R"re(imageNamed\(\s*"([^"]+)"\s*\))re");
    static const std::regex literal(
        R"re("([A-Za-z][A-Za-z0-9_]*_\d+_\d+(?:@2x)?(?:\.png)?|[A-Za-z0-9_@]+\.png)")re");
    std::set<std::pair<std::string, std::string>> names;
    for (auto& entry : std::filesystem::recursive_directory_iterator(TALUVEX_SOURCE_DIR)) {
        if (!entry.is_regular_file())
            continue;
        std::string ext = entry.path().extension().string();
        if (ext != ".cpp" && ext != ".h")
            continue;
        std::ifstream in(entry.path());
        std::stringstream content;
        content << in.rdbuf();
        std::string text = content.str();
        for (const auto* re : {&call, &literal})
            for (std::sregex_iterator it(text.begin(), text.end(), *re), end; it != end; ++it)
                names.insert({(*it)[1].str(), entry.path().filename().string()});
    }
    EXPECT_GT(names.size(), 10u);
    for (auto& [name, file] : names)
        expectPicture(name, file);
}
