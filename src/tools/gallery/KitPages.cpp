// Pages of the tour built only from interface-kit views: every control in its states, lists,
// alerts, sheets, text entry and animations caught half-way.
#include "Gallery.h"

#include "platform/ui/ActionSheet.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "platform/ui/WebView.h"

#include <cmath>

namespace tx::gallery {
namespace {

double screenHeight() {
    return Screen::mainScreen().bounds().height();
}

// A full-window view with a background picture, added to the window.
ViewPtr pageRoot(Window& window, const std::string& background) {
    auto root = std::make_shared<View>(window.bounds());
    window.addSubview(root);
    addPicture(*root, background, root->bounds());
    return root;
}

GalleryRegistration buttons(
    {"buttons-in-each-state", [](Window& window) {
         auto root = std::make_shared<View>(window.bounds());
         window.addSubview(root);
         addPicture(*root, "screen_bg_640_1136", root->bounds());
         addLabel(*root, "Buttons", Rect(20, 14, 280, 30), Font::boldSystemFont(22), theme::text());
         struct Sample {
             const char* caption;
             unsigned state;
             bool enabled;
         };
         const Sample samples[] = {
             {"normal", ControlStateNormal, true},
             {"highlighted", ControlStateHighlighted, true},
             {"selected", ControlStateSelected, true},
             {"highlighted + selected", ControlStateHighlighted | ControlStateSelected, true},
             {"disabled", ControlStateNormal, false}};
         double y = 56;
         for (const Sample& s : samples) {
             addLabel(*root, s.caption, Rect(20, y, 280, 16), Font::systemFont(12),
                      theme::secondaryText());
             auto record = addButton(*root, "record_btn_140_140", "record_btn_P_140_140",
                                     Rect(20, y + 18, 50, 50));
             record->setImage(Image::imageNamed("record_btn_S_140_140"), ControlStateSelected);
             auto tabButton = addButton(*root, "M_320_112", "", Rect(80, y + 18, 120, 42));
             tabButton->setImage(Image::imageNamed("M_b_320_112"), ControlStateSelected);
             tabButton->setImage(Image::imageNamed("M_b_320_112"),
                                 ControlStateHighlighted | ControlStateSelected);
             tabButton->setImageContentMode(ContentMode::ScaleToFill);
             auto cancel = addButton(*root, "cancel_btn_116_56", "cancel_btn_P_116_56",
                                     Rect(210, y + 18, 58, 28));
             auto order = addButton(*root, "n_184_62", "", Rect(210, y + 48, 92, 31));
             order->setImage(Image::imageNamed("n_P_184_62"), ControlStateSelected);
             for (Button* b : {record.get(), tabButton.get(), cancel.get(), order.get()}) {
                 b->setSelected(s.state & ControlStateSelected);
                 b->setHighlighted(s.state & ControlStateHighlighted);
                 b->setEnabled(s.enabled);
             }
             y += 84;
         }
     }});

class SoundRows : public TableViewDataSource, public TableViewDelegate {
public:
    int tableViewNumberOfRowsInSection(TableView&, int) override { return 9; }
    TableViewCellPtr tableViewCellForRowAtIndexPath(TableView&, const IndexPath& ip) override {
        static const char* names[] = {"from_ipod", "from_video", "mute",   "track1", "track2",
                                      "track3",    "track4",     "track5", "track6"};
        auto cell = std::make_shared<TableViewCell>();
        cell->setAccessibilityLabel(names[ip.row]);
        cell->setBackgroundView(
            std::make_shared<ImageView>(Image::imageNamed(std::string(names[ip.row]) + "_588_90")));
        cell->setSelectedBackgroundView(std::make_shared<ImageView>(
            Image::imageNamed(std::string(names[ip.row]) + "_P_588_90")));
        if (ip.row == 4) {
            auto check = std::make_shared<ImageView>(Image::imageNamed("check_44_44"));
            check->setFrame(Rect(256, 11, 22, 22));
            cell->contentView()->addSubview(check);
            auto play = std::make_shared<Button>(Rect(212, 6, 32, 32));
            play->setImage(Image::imageNamed("play_btn_64_64"), ControlStateNormal);
            play->setImage(Image::imageNamed("stop_btn_64_64"), ControlStateSelected);
            play->setSelected(true);
            play->setAccessibilityLabel("Listen");
            cell->contentView()->addSubview(play);
        }
        return cell;
    }
    std::optional<double> tableViewHeightForRowAtIndexPath(TableView&, const IndexPath&) override {
        return 45.0;
    }
};

GalleryRegistration
    soundTable({"table-sound-tracks", [](Window& window) {
                    double h = screenHeight();
                    auto root = pageRoot(window, h <= 480 ? "sound_bg_640_864@2x.png"
                                                          : "sound_bg_640_1040");
                    addButton(*root, "back_btn_120_60", "back_btn_P_120_60", Rect(6, 6, 60, 30));
                    auto table = std::make_shared<TableView>(Rect(13, 56, 294, h - 66));
                    table->setBackgroundColor(Color::clear());
                    table->setSeparatorStyle(TableViewSeparatorStyle::None);
                    static auto rows = std::make_shared<SoundRows>();
                    table->setDelegate(rows);
                    table->setDataSource(rows);
                    root->addSubview(table);
                    table->layoutIfNeeded();
                    table->cellForRowAtIndexPath(IndexPath::forRow(6))->setHighlighted(true, false);
                }});

class MovieRows : public TableViewDataSource, public TableViewDelegate {
public:
    int tableViewNumberOfRowsInSection(TableView&, int) override { return 5; }
    TableViewCellPtr tableViewCellForRowAtIndexPath(TableView& table,
                                                    const IndexPath& ip) override {
        auto cell = table.dequeueReusableCellWithIdentifier("MyMoviesTableIdentifier");
        if (!cell)
            cell = std::make_shared<TableViewCell>("MyMoviesTableIdentifier");
        cell->setBackgroundView(
            std::make_shared<ImageView>(Image::imageNamed("movie_cell_bg_640_156")));
        cell->setSelectedBackgroundView(
            std::make_shared<ImageView>(Image::imageNamed("movie_cell_bg_P_640_156")));
        auto thumb = std::make_shared<ImageView>(Rect(8, 7, 86, 64));
        thumb->setImage(cameraPicture({86, 64}, 0.1 + 0.17 * ip.row));
        thumb->setContentMode(ContentMode::ScaleAspectFill);
        thumb->setClipsToBounds(true);
        cell->contentView()->addSubview(thumb);
        static const char* dates[] = {"2026-12-08", "2026-12-07", "2026-11-30", "2026-11-02",
                                      "2026-10-21"};
        static const char* times[] = {"00:00:12", "00:00:48", "00:01:15", "00:00:07", "01:02:05"};
        addLabel(*cell->contentView(), dates[ip.row], Rect(106, 16, 170, 24),
                 Font::boldSystemFont(17), theme::text());
        addLabel(*cell->contentView(), times[ip.row], Rect(106, 42, 170, 20), Font::systemFont(14),
                 theme::secondaryText());
        return cell;
    }
    std::optional<double> tableViewHeightForRowAtIndexPath(TableView&, const IndexPath&) override {
        return 78.0;
    }
};

ViewPtr libraryHeader(bool myMovies) {
    auto header = std::make_shared<View>(Rect(0, 0, 320, 56));
    auto mine = addButton(*header, "M_320_112", "", Rect(0, 0, 160, 56));
    mine->setImage(Image::imageNamed("M_b_320_112"), ControlStateSelected);
    mine->setImageContentMode(ContentMode::ScaleToFill);
    mine->setSelected(myMovies);
    auto tube = addButton(*header, "U_320_112", "", Rect(160, 0, 160, 56));
    tube->setImage(Image::imageNamed("U_bg_320_112"), ControlStateSelected);
    tube->setImageContentMode(ContentMode::ScaleToFill);
    tube->setSelected(!myMovies);
    return header;
}

GalleryRegistration
    library({"table-movies-edit-mode", [](Window& window) {
                 double h = screenHeight();
                 auto root = pageRoot(window, "movies_bg_640_1136");
                 root->addSubview(libraryHeader(true));
                 auto table = std::make_shared<TableView>(Rect(0, 56, 320, h - 56 - 44));
                 static auto rows = std::make_shared<MovieRows>();
                 table->setDelegate(rows);
                 table->setDataSource(rows);
                 table->setBackgroundColor(Color::clear());
                 root->addSubview(table);
                 table->layoutIfNeeded();
                 table->setEditing(true, false);
                 table->cellForRowAtIndexPath(IndexPath::forRow(1))->showDeleteConfirmation(true);
                 auto bar = std::make_shared<View>(Rect(0, h - 44, 320, 44));
                 bar->setBackgroundColor(theme::panel());
                 root->addSubview(bar);
                 addButton(*bar, "camera_btn_120_60", "camera_btn_P_120_60", Rect(8, 7, 60, 30));
                 addButton(*bar, "done_b_140_80", "done_b_P_140_80", Rect(242, 4, 70, 40));
             }});

GalleryRegistration sheet(
    {"action-sheet-over-youtube-list", [](Window& window) {
         auto root = pageRoot(window, "movies_bg_640_1136");
         root->addSubview(libraryHeader(false));
         const char* orders[][2] = {
             {"n_184_62", "n_P_184_62"}, {"m_184_62", "m_P_184_62"}, {"f_184_62", "f_P_184_62"}};
         for (int i = 0; i < 3; i++) {
             auto b = addButton(*root, orders[i][0], "", Rect(10 + i * 100, 62, 92, 31));
             b->setImage(Image::imageNamed(orders[i][1]), ControlStateSelected);
             b->setSelected(i == 0);
         }
         static const char* titles[] = {"Backwards waterfall", "Un-breaking a glass",
                                        "Skateboard rewind"};
         static const char* lengths[] = {"00:42", "01:07", "00:19"};
         for (int r = 0; r < 3; r++) {
             double y = 100 + r * 78;
             addPicture(*root, "movie_cell_bg_640_156", Rect(0, y, 320, 78));
             auto web = std::make_shared<WebView>(Rect(8, y + 7, 100, 64));
             web->loadHTMLString("<embed src=\"http://example.com/v/" + std::to_string(r) + "\">",
                                 "");
             root->addSubview(web);
             addLabel(*root, titles[r], Rect(116, y + 14, 150, 22), Font::boldSystemFont(15),
                      theme::text());
             addLabel(*root, lengths[r], Rect(116, y + 40, 80, 18), Font::systemFont(13),
                      theme::secondaryText());
             addButton(*root, "share_small_btn_88_60", "share_small_btn_P_88_60",
                       Rect(272, y + 24, 44, 30));
         }
         addPicture(*root, "utube_loadmore_576_114", Rect(16, 100 + 3 * 78 + 6, 288, 57));
         auto actions =
             std::make_shared<ActionSheet>("", std::weak_ptr<ActionSheetDelegate>(), "Cancel", "",
                                           std::vector<std::string>{"Copy Link", "Send via Email"});
         actions->showInView(root.get());
     }});

GalleryRegistration
    form({"text-fields-contest-form", [](Window& window) {
              double h = screenHeight();
              auto root =
                  pageRoot(window, h <= 480 ? "contest_bg_640_864@2x.png" : "contest_bg_640_1040");
              addButton(*root, "back_btn_120_60", "back_btn_P_120_60", Rect(6, 6, 60, 30));
              addLabel(*root, "Enter your movie in the contest", Rect(20, 60, 280, 24),
                       Font::boldSystemFont(14), theme::text());
              const char* captions[] = {"Title", "Your name", "E-mail"};
              const char* values[] = {"Sunset in reverse", "Mina Park", "mina@exam"};
              std::shared_ptr<TextField> last;
              for (int i = 0; i < 3; i++) {
                  double y = 100 + i * 62;
                  addLabel(*root, captions[i], Rect(24, y, 272, 18), Font::systemFont(13),
                           theme::secondaryText());
                  auto field = std::make_shared<TextField>(Rect(20, y + 20, 280, 34));
                  field->setBorderStyle(TextBorderStyle::RoundedRect);
                  field->setText(values[i]);
                  field->setAccessibilityLabel(captions[i]);
                  root->addSubview(field);
                  last = field;
              }
              auto empty = std::make_shared<TextField>(Rect(20, 290, 280, 34));
              empty->setBorderStyle(TextBorderStyle::RoundedRect);
              empty->setPlaceholder("Placeholder text");
              root->addSubview(empty);
              last->becomeFirstResponder();
              auto submit = addButton(*root, "submit_btn_240_80", "submit_btn_P_240_80",
                                      Rect(100, 340, 120, 40));
              submit->setEnabled(false);
          }});

GalleryRegistration facebook(
    {"facebook-panel-mask-and-text-view", [](Window& window) {
         auto root = pageRoot(window, "facebook_panel_bg_640_1136");
         ImagePtr still = cameraPicture({200, 150}, 0.9)
                              ->cropped(Rect(25, 0, 150, 150))
                              ->rotated(-10 * M_PI / 180);
         auto picture = std::make_shared<ImageView>(Rect(85, 60, 150, 150));
         picture->setImage(still);
         picture->setMaskImage(Image::imageNamed("bw_facebook_picture_frame_self"));
         picture->setClipsToBounds(true);
         root->addSubview(picture);
         auto message = std::make_shared<TextView>(Rect(20, 226, 280, 96));
         message->setAccessibilityLabel("Message");
         message->setText("Look what happens when the sunset runs backwards! Made with Taluvex.");
         message->setCornerRadius(8);
         message->setClipsToBounds(true);
         root->addSubview(message);
         addButton(*root, "facebook_share_btn_240_80", "facebook_share_btn_P_240_80",
                   Rect(170, 334, 120, 40));
         addButton(*root, "close_btn_80_80", "close_btn_P_80_80", Rect(276, 6, 40, 40));
     }});

GalleryRegistration loading({"activity-indicator-loading-cover", [](Window& window) {
                                 double h = screenHeight();
                                 auto root = pageRoot(window, "movies_bg_640_1136");
                                 root->addSubview(libraryHeader(false));
                                 auto cover = std::make_shared<View>(Rect(0, 56, 320, h - 56));
                                 cover->setBackgroundColor(Color::black().withAlpha(0.6));
                                 root->addSubview(cover);
                                 auto spinner = std::make_shared<ActivityIndicator>(
                                     ActivityIndicatorStyle::WhiteLarge);
                                 spinner->setCenter({160, (h - 56) / 2 - 10});
                                 cover->addSubview(spinner);
                                 spinner->startAnimating();
                                 addLabel(*cover, "Loading videos…",
                                          Rect(0, (h - 56) / 2 + 20, 320, 24), Font::systemFont(15),
                                          theme::secondaryText(), TextAlignment::Center);
                             }});

GalleryRegistration
    sending({"sending-overlay", [](Window& window) {
                 double h = screenHeight();
                 auto root = pageRoot(window, "share_bg_640_1136");
                 auto overlay = std::make_shared<View>(Rect(0, 0, 320, h));
                 addPicture(*overlay, "sending_video_bg_640_960", Rect(0, 0, 320, h));
                 addPicture(*overlay, "sending_bar_bg_304_36", Rect(84, 231, 152, 18));
                 auto fill = addPicture(*overlay, "sending_bar_loading_304_36",
                                        Rect(84, 231, 0.7 * 152, 18));
                 fill->setContentMode(ContentMode::Left);
                 fill->setClipsToBounds(true);
                 root->addSubview(overlay);
             }});

GalleryRegistration
    share({"share-tiles", [](Window& window) {
               auto root = pageRoot(window, "share_bg_640_1136");
               addButton(*root, "back_btn_120_60", "back_btn_P_120_60", Rect(6, 6, 60, 30));
               auto thumbnail = std::make_shared<Button>(Rect(20, 56, 280, 210));
               thumbnail->setImage(cameraPicture({280, 158}, 0.08), ControlStateNormal);
               thumbnail->setImageContentMode(ContentMode::ScaleAspectFit);
               thumbnail->setAccessibilityLabel("Play the movie");
               thumbnail->setBackgroundColor(Color::black());
               thumbnail->setCornerRadius(10);
               thumbnail->setClipsToBounds(true);
               root->addSubview(thumbnail);
               addPicture(*root, "share_play_overlay_120_120", Rect(130, 131, 60, 60));
               const char* tiles[][2] = {
                   {"share_camera_roll_btn_280_96", "share_camera_roll_btn_P_280_96"},
                   {"share_email_btn_280_96", "share_email_btn_P_280_96"},
                   {"share_twitter_btn_280_96", "share_twitter_btn_P_280_96"},
                   {"share_facebook_btn_280_96", "share_facebook_btn_P_280_96"}};
               for (int i = 0; i < 4; i++)
                   addButton(*root, tiles[i][0], tiles[i][1],
                             Rect(20 + (i % 2) * 142, 282 + (i / 2) * 56, 140, 48));
               addButton(*root, "share_contest_btn_576_96", "share_contest_btn_P_576_96",
                         Rect(16, 398, 288, 48));
           }});

} // namespace
} // namespace tx::gallery
