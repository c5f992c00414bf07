// Pages of the library's YouTube tab against the loopback feed (the first page, the end of the
// list with its load-more row, the share sheet, the loading cover, a failed first page), and of
// the contest: the entry form and the notice.
#include "Gallery.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "services/http/ServiceConfig.h"
#include "share/ShareViewController.h"
#include "share/SubmitToContestNoticeViewController.h"
#include "share/SubmitToContestViewController.h"
#include "share/YoutubeViewController.h"
#include "support/FakeServices.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tx::gallery {
namespace {

// One feed for the whole tour, and a configuration pointing at it.
fakes::FakeYouTube& feed() {
    static auto* youtube = [] {
        auto* fake = new fakes::FakeYouTube();
        static const std::string config =
            temporaryDirectory() + "taluvex-gallery-config-" + uniqueString();
        std::filesystem::create_directories(config + "/taluvex");
        std::ofstream(config + "/taluvex/services.ini")
            << "[youtube]\nfeed_url=" << fake->pagedFeedURL() << "\nchannel=maker\n"
            << "[contest]\naddress=contest@example.org\n";
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        ServiceConfig::reload();
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(config, ec);
        });
        return fake;
    }();
    return *youtube;
}

std::shared_ptr<YoutubeViewController> presentTab(Window& window, bool wait = true) {
    feed();
    auto root = std::make_shared<ViewController>();
    window.setRootViewController(root);
    auto tab = std::make_shared<YoutubeViewController>();
    root->presentViewController(tab, false);
    if (wait) {
        RunLoop::runUntil([&] { return !tab->mEntriesFetchTicket(); }, 10);
    }
    return tab;
}

void reset(fakes::FakeYouTube& youtube) {
    youtube.videoCount = 23;
    youtube.fault = fakes::FakeYouTube::Fault::None;
    youtube.delaySeconds = 0;
    youtube.entryOfAnHour = 3;
}

GalleryRegistration tab({"youtube-tab", [](Window& window) {
                             reset(feed());
                             presentTab(window);
                         }});

GalleryRegistration loadMore({"youtube-load-more", [](Window& window) {
                                  reset(feed());
                                  auto tab = presentTab(window);
                                  auto& table = *tab->tableView();
                                  table.layoutIfNeeded();
                                  table.setContentOffset(Point(0, table.contentSize().height -
                                                                      table.bounds().height()));
                              }});

GalleryRegistration shareSheet({"youtube-share-sheet", [](Window& window) {
                                    reset(feed());
                                    auto tab = presentTab(window);
                                    tab->tableView()->layoutIfNeeded();
                                    auto cell = std::dynamic_pointer_cast<YoutubeTableCell>(
                                        tab->tableView()->cellForRowAtIndexPath(
                                            IndexPath::forRow(1)));
                                    if (cell) {
                                        cell->onShare();
                                    }
                                }});

GalleryRegistration loading({"youtube-loading", [](Window& window) {
                                 reset(feed());
                                 feed().delaySeconds = 2;
                                 presentTab(window, false);
                             }});

GalleryRegistration failed({"youtube-failed", [](Window& window) {
                                reset(feed());
                                feed().fault = fakes::FakeYouTube::Fault::Status500Always;
                                presentTab(window);
                                feed().fault = fakes::FakeYouTube::Fault::None;
                            }});

GalleryRegistration contestForm({"contest-form", [](Window& window) {
                                     feed();
                                     auto root = std::make_shared<ViewController>();
                                     window.setRootViewController(root);
                                     auto share = std::make_shared<ShareViewController>();
                                     root->presentViewController(share, false);
                                     auto form = std::make_shared<SubmitToContestViewController>();
                                     form->show();
                                     form->titleField()->setText("My backwards day");
                                     form->nameField()->setText("Ilse Varn");
                                 }});

GalleryRegistration contestNotice({"contest-notice", [](Window& window) {
                                       reset(feed());
                                       auto tab = presentTab(window);
                                       tab->onContest();
                                   }});

} // namespace
} // namespace tx::gallery
