#include "share/YoutubeViewController.h"

#include "platform/ui/KeyTable.h"
#include "platform/foundation/Translation.h"
#include "share/ServicesHint.h"

#include "app/CustomEffectSound.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Screen.h"
#include "services/http/ServiceConfig.h"
#include "services/http/Url.h"
#include "share/SubmitToContestNoticeViewController.h"

#include <algorithm>
#include <typeinfo>

namespace tx {

namespace {

constexpr double kSegmentTop = LibraryTabHeader::kHeight + 2;
constexpr double kListTop = kSegmentTop + 34;

std::shared_ptr<Button> viewTypeButton(View& parent, const std::string& key, double x, int tag) {
    auto button = std::make_shared<Button>(Rect(x, kSegmentTop, 92, 31));
    button->setImage(Image::imageNamed(key + "_184_62"), ControlStateNormal);
    button->setImage(Image::imageNamed(key + "_P_184_62"), ControlStateHighlighted);
    button->setImage(Image::imageNamed(key + "_P_184_62"), ControlStateSelected);
    button->setTag(tag);
    parent.addSubview(button);
    return button;
}

// The first button in `view`'s tree, depth first, counting only plain buttons.
Button* firstButton(View& view) {
    for (const ViewPtr& sub : view.subviews()) {
        if (typeid(*sub) == typeid(Button)) {
            return static_cast<Button*>(sub.get());
        }
        if (Button* found = firstButton(*sub)) {
            return found;
        }
    }
    return nullptr;
}

} // namespace

YoutubeViewController::YoutubeViewController()
    : _service(std::make_shared<GDataServiceGoogleYouTube>()) {
    _service->setShouldCacheResponseData(false);
    _service->setServiceShouldFollowNextLinks(false);
    _service->setIsServiceRetryEnabled(true);
}

YoutubeViewController::~YoutubeViewController() {
    if (_mEntriesFetchTicket) {
        _mEntriesFetchTicket->cancelTicket();
    }
}

void YoutubeViewController::loadView() {
    const Rect bounds = Screen::mainScreen().bounds();
    auto root = std::make_shared<View>(bounds);
    root->setBackgroundColor(theme::background());
    auto background = std::make_shared<ImageView>(bounds);
    background->setImage(Image::imageNamed("movies_bg_640_1136"));
    background->setContentMode(ContentMode::ScaleAspectFill);
    root->addSubview(background);

    const Rect listFrame(0, kListTop, 320, bounds.size.height - kListTop);
    _tableView = std::make_shared<TableView>(listFrame);
    _tableView->setBackgroundColor(Color::clear());
    _tableView->setSeparatorStyle(TableViewSeparatorStyle::None);
    root->addSubview(_tableView);

    _loadingView = std::make_shared<View>(listFrame);
    _loadingView->setBackgroundColor(Color::clear());
    _loadingView->setHidden(true);
    _loadingIndicator = std::make_shared<ActivityIndicator>(ActivityIndicatorStyle::WhiteLarge);
    _loadingIndicator->setFrame(Rect(142, 60, 36, 36));
    _loadingView->addSubview(_loadingIndicator);
    root->addSubview(_loadingView);

    _messageLabel = std::make_shared<Label>(Rect(16, kListTop + 40, 288, 60));
    _messageLabel->setFont(Font::systemFont(14));
    _messageLabel->setTextColor(theme::secondaryText());
    _messageLabel->setTextAlignment(TextAlignment::Center);
    _messageLabel->setNumberOfLines(3);
    _messageLabel->setHidden(true);
    root->addSubview(_messageLabel);

    _header = LibraryTabHeader::addTo(*root, 1);
    _header.myMovies->addTarget(this, ControlEventTouchUpInside,
                                [this](Control&) { onMyMovies(); });
    _header.camera->addTarget(this, ControlEventTouchUpInside,
                              [this](Control&) { onCameraButton(); });
    _contest = std::make_shared<Button>(Rect(254, 62, 60, 30));
    _contest->setAccessibilityLabel(_("Contest"));
    _contest->setImage(Image::imageNamed("contest_btn_120_60"), ControlStateNormal);
    _contest->setImage(Image::imageNamed("contest_btn_P_120_60"), ControlStateHighlighted);
    _contest->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onContest(); });
    root->addSubview(_contest);

    _buttonNew = viewTypeButton(*root, "n", 22, 0);
    _buttonMostRated = viewTypeButton(*root, "m", 114, 1);
    _buttonFeatured = viewTypeButton(*root, "f", 206, 2);
    _buttonNew->setAccessibilityLabel(_("Newest"));
    _buttonMostRated->setAccessibilityLabel(_("Most rated"));
    _buttonFeatured->setAccessibilityLabel(_("Featured"));
    for (const auto& button : {_buttonNew, _buttonMostRated, _buttonFeatured}) {
        button->addTarget(this, ControlEventTouchUpInside, [this](Control& sender) {
            onViewTypeChanged(static_cast<Button&>(sender));
        });
    }
    setView(root);
}

void YoutubeViewController::viewDidLoad() {
    _tableView->setDataSource(sharedAs<TableViewDataSource>());
    _tableView->setDelegate(sharedAs<TableViewDelegate>());
    _header.youtube->setImage(Image::imageNamed("U_bg_320_112"),
                              ControlStateHighlighted | ControlStateSelected);
    _buttonNew->setImage(Image::imageNamed("n_P_184_62"),
                         ControlStateHighlighted | ControlStateSelected);
    _buttonMostRated->setImage(Image::imageNamed("m_P_184_62"),
                               ControlStateHighlighted | ControlStateSelected);
    _buttonFeatured->setImage(Image::imageNamed("f_P_184_62"),
                              ControlStateHighlighted | ControlStateSelected);
    onViewTypeChanged(*_buttonNew);
}

std::string YoutubeViewController::orderForTag(int tag) {
    switch (tag) {
    case 0:
        return "updated";
    case 1:
        return "rating";
    default:
        return "viewCount";
    }
}

std::string YoutubeViewController::notConfiguredText() {
    return withArguments(_("To list videos here, set channel= under [youtube] in %1."),
                         {servicesFileForDisplay()});
}

void YoutubeViewController::onViewTypeChanged(Button& sender) {
    if (_toolBarSelected != nullptr && _toolBarSelected->tag() == sender.tag()) {
        return;
    }
    RunLoop::post([] { CustomEffectSound::share()->playEffectSound(kSoundEffect_BtnClick); });
    if (_mEntriesFetchTicket) {
        _mEntriesFetchTicket->cancelTicket();
        _mEntriesFetchTicket.reset();
    }
    ++_fetchGeneration;
    if (_toolBarSelected != nullptr) {
        _toolBarSelected->setSelected(false);
    }
    _toolBarSelected = &sender;
    sender.setSelected(true);
    _idxBase = 1;
    _moreNextPage = false;
    _entryStorage.clear();
    // A new order starts at its top, not where the old one was scrolled to.
    if (_tableView) {
        _tableView->reloadData();
        _tableView->setContentOffset(Point(0, 0));
    }
    fetchAllEntries(orderForTag(sender.tag()));
}

void YoutubeViewController::fetchAllEntries(const std::string& order) {
    _messageLabel->setHidden(true);
    const ServiceConfig& config = ServiceConfig::current();
    const std::string feedURL =
        config.youtubeConfigured()
            ? GDataServiceGoogleYouTube::youTubeURLForUserID(config.youtubeChannel, "uploads")
            : std::string();
    if (feedURL.empty()) {
        // Nothing to ask: say how to name a channel instead of failing quietly.
        _tableView->reloadData();
        showMessage(notConfiguredText());
        return;
    }
    if (_idxBase == 1) {
        _loadingView->setHidden(false);
        _loadingIndicator->startAnimating();
        _tableView->setHidden(true);
    }
    _mEntriesFeed.reset();
    _mEntriesFetchError.reset();
    _mEntriesFetchTicket.reset();

    GDataQueryYouTube query = GDataQueryYouTube::youTubeQueryWithFeedURL(feedURL);
    query.setIsAscendingOrder(true);
    query.setStartIndex(_idxBase);
    query.setMaxResults(kRequestedPerPage);
    query.setShouldShowDeleted(false);
    if (order != "updated") {
        query.setOrderBy(order);
    }
    _service->clearResponseDataCache();
    std::weak_ptr<YoutubeViewController> weak = sharedAs<YoutubeViewController>();
    const std::uint64_t generation = ++_fetchGeneration;
    auto ticket = _service->fetchFeedWithQuery(
        query, [weak, generation](const GDataServiceTicketPtr& answered,
                                  const GDataFeedYouTubeVideoPtr& feed, const ErrorPtr& error) {
            if (auto self = weak.lock()) {
                self->entryListFetchTicketFinished(generation, answered, feed, error);
            }
        });
    // Unless the answer came at once, the fetch is now the one in progress.
    if (generation == _fetchGeneration) {
        _mEntriesFetchTicket = std::move(ticket);
    }
}

void YoutubeViewController::entryListFetchTicketFinished(std::uint64_t generation,
                                                         const GDataServiceTicketPtr&,
                                                         const GDataFeedYouTubeVideoPtr& feed,
                                                         const ErrorPtr& error) {
    // A page of an order given up never reaches the list.
    if (generation != _fetchGeneration) {
        return;
    }
    ++_fetchGeneration;
    const bool firstPage = _tableView->isHidden();
    if (firstPage) {
        _loadingView->setHidden(true);
        _loadingIndicator->stopAnimating();
        _tableView->setHidden(false);
    }
    const int n = feed ? static_cast<int>(feed->entries.size()) : 0;
    if (n > kPageSize) {
        _idxBase += kPageSize;
        _moreNextPage = true;
    } else {
        _idxBase = -1;
        _moreNextPage = false;
    }
    if (feed) {
        const auto shown = feed->entries.begin() + std::min(n, kPageSize);
        _entryStorage.insert(_entryStorage.end(), feed->entries.begin(), shown);
    }
    _mEntriesFeed = feed;
    _mEntriesFetchError = error;
    _mEntriesFetchTicket.reset();
    if (error && _entryStorage.empty()) {
        showMessage(_(kFirstPageFailedText));
    }
    _tableView->reloadData();
}

void YoutubeViewController::showMessage(const std::string& text) {
    _messageLabel->setText(text);
    _messageLabel->setHidden(false);
}

int YoutubeViewController::tableViewNumberOfRowsInSection(TableView&, int) {
    return static_cast<int>(_entryStorage.size()) + (_moreNextPage ? 1 : 0);
}

std::optional<double>
YoutubeViewController::tableViewHeightForRowAtIndexPath(TableView&, const IndexPath& indexPath) {
    return indexPath.row < static_cast<int>(_entryStorage.size()) ? YoutubeTableCell::kRowHeight
                                                                  : kLoadMoreRowHeight;
}

TableViewCellPtr YoutubeViewController::tableViewCellForRowAtIndexPath(TableView& tableView,
                                                                       const IndexPath& indexPath) {
    const int row = indexPath.row;
    if (row < static_cast<int>(_entryStorage.size())) {
        auto cell = YoutubeTableCell::loadFromLayout();
        cell->thumbnailView()->setBackgroundColor(Color::whiteColor());
        cell->setTag(row);
        cell->setDelegate(sharedAs<YoutubeTableCellDelegate>());
        if (const auto& entry = _entryStorage[static_cast<std::size_t>(row)]) {
            cell->showEntry(*entry);
        }
        return cell;
    }
    TableViewCellPtr cell = tableView.dequeueReusableCellWithIdentifier(kLoadMoreIdentifier);
    if (!cell) {
        cell = std::make_shared<TableViewCell>(kLoadMoreIdentifier);
        cell->setFrame(Rect(0, 0, 320, kLoadMoreRowHeight));
        auto background = std::make_shared<ImageView>(Rect(0, 0, 320, kLoadMoreRowHeight));
        background->setImage(Image::imageNamed("utube_loadmore_576_114"));
        background->setContentMode(ContentMode::Center);
        cell->setBackgroundView(background);
        auto selected = std::make_shared<ImageView>(Rect(0, 0, 320, kLoadMoreRowHeight));
        selected->setImage(Image::imageNamed("utube_loadmore_P_576_114"));
        selected->setContentMode(ContentMode::Center);
        cell->setSelectedBackgroundView(selected);
        cell->setAccessibilityLabel(_("Load more"));
    }
    return cell;
}

void YoutubeViewController::tableViewDidSelectRowAtIndexPath(TableView& tableView,
                                                             const IndexPath& indexPath) {
    if (indexPath.row < static_cast<int>(_entryStorage.size())) {
        auto cell =
            std::dynamic_pointer_cast<YoutubeTableCell>(tableView.cellForRowAtIndexPath(indexPath));
        if (cell) {
            if (Button* play = firstButton(*cell->thumbnailView())) {
                play->sendActionsForControlEvents(ControlEventTouchUpInside);
            }
        }
    } else if (_moreNextPage && _toolBarSelected != nullptr && !_mEntriesFetchTicket) {
        fetchAllEntries(orderForTag(_toolBarSelected->tag()));
        tableView.reloadData();
    }
    tableView.deselectRowAtIndexPath(indexPath, true);
}

void YoutubeViewController::onCameraButton() {
    CustomEffectSound::share()->playEffectSound(kSoundEffect_BtnClick);
    closeLibrary(*this);
}

void YoutubeViewController::onMyMovies() {
    NotificationCenter::defaultCenter().post("MoviesTabSelected", shared_from_this());
}

void YoutubeViewController::onContest() {
    CustomEffectSound::share()->playEffectSound(kSoundEffect_BtnClick);
    auto notice = std::make_shared<SubmitToContestNoticeViewController>();
    notice->show();
}

std::string YoutubeViewController::watchLink(const GDataEntryYouTubeVideo& entry) {
    if (!entry.mediaGroup) {
        return {};
    }
    auto player = entry.mediaGroup->mediaContentWithFormatNumber(5);
    if (!player) {
        return {};
    }
    std::string address = player->URLString;
    address = address.substr(0, address.find_first_of("?#"));
    while (!address.empty() && address.back() == '/') {
        address.pop_back();
    }
    const std::size_t slash = address.rfind('/');
    const std::string videoID = slash == std::string::npos ? address : address.substr(slash + 1);
    if (videoID.empty() || address.find("://") == std::string::npos ||
        slash <= address.find("://") + 2) {
        return {};
    }
    return "https://" + ServiceConfig::current().youtubeWatchHost +
           "/watch?v=" + Url::percentEncode(videoID) + "&feature=youtube_gdata_player";
}

GDataEntryYouTubeVideoPtr YoutubeViewController::shareableEntry(int row) const {
    if (row < 0 || row >= static_cast<int>(_entryStorage.size())) {
        return nullptr;
    }
    const auto& entry = _entryStorage[static_cast<std::size_t>(row)];
    return entry && !watchLink(*entry).empty() ? entry : nullptr;
}

void YoutubeViewController::onShare(YoutubeTableCell&, const IndexPath& indexPath) {
    _currentIndexPath = indexPath;
    auto sheet =
        std::make_shared<ActionSheet>("", sharedAs<ActionSheetDelegate>(), _("Cancel"), "",
                                      std::vector<std::string>{_("Copy Link"), _("Send via Email")});
    sheet->showInView(view().get());
}

void YoutubeViewController::actionSheetClickedButtonAtIndex(ActionSheet&, int buttonIndex) {
    if (buttonIndex == 0) {
        copyLink(_currentIndexPath.row);
    } else if (buttonIndex == 1) {
        mailLink(_currentIndexPath.row);
    }
}

void YoutubeViewController::copyLink(int row) {
    if (auto entry = shareableEntry(row)) {
        Pasteboard::generalPasteboard().setString(watchLink(*entry));
    }
}

void YoutubeViewController::mailLink(int row) {
    auto entry = shareableEntry(row);
    if (!entry) {
        return;
    }
    auto composer = std::make_shared<MailComposer>();
    composer->setMailComposeDelegate(sharedAs<MailComposeDelegate>());
    composer->setSubject("");
    composer->setMessageBody(watchLink(*entry), false);
    composer->present();
}

void YoutubeViewController::mailComposeControllerDidFinish(MailComposer&, MailComposeResult,
                                                           const ErrorPtr&) {}

void YoutubeViewController::addKeyBindings(KeyTable& table) {
    using Key = KeyEvent::Key;
    const auto selected = _tableView ? _tableView->indexPathForSelectedRow() : std::nullopt;
    const bool hasRows = _tableView && tableViewNumberOfRowsInSection(*_tableView, 0) > 0;
    table.add({KeyChord::special(Key::Up)}, _("Select the movie above"),
              [this] { _tableView->moveSelection(-1); }, hasRows);
    table.add({KeyChord::special(Key::Down)}, _("Select the movie below"),
              [this] { _tableView->moveSelection(1); }, hasRows);
    table.add({KeyChord::special(Key::Return)}, _("Watch the selected movie"),
              [this, selected] {
                  tableViewDidSelectRowAtIndexPath(*_tableView, *selected);
                  // Keep the keyboard's place in the list.
                  if (_tableView && selected->row < tableViewNumberOfRowsInSection(*_tableView, 0)) {
                      _tableView->selectRowAtIndexPath(*selected, false);
                  }
              },
              selected.has_value());
    table.add({KeyChord::character("c")}, _("Copy the selected movie's link"),
              [this, selected] { copyLink(selected->row); }, selected.has_value());
    table.add({KeyChord::character("m")}, _("Mail the selected movie's link"),
              [this, selected] { mailLink(selected->row); }, selected.has_value());
    table.press({KeyChord::character("1")}, _("Show the newest movies"), _buttonNew.get(),
                [this] { onViewTypeChanged(*_buttonNew); });
    table.press({KeyChord::character("2")}, _("Show the most rated movies"), _buttonMostRated.get(),
                [this] { onViewTypeChanged(*_buttonMostRated); });
    table.press({KeyChord::character("3")}, _("Show the featured movies"), _buttonFeatured.get(),
                [this] { onViewTypeChanged(*_buttonFeatured); });
    table.press({KeyChord::special(Key::Tab, true)}, _("Show my movies"), _header.myMovies.get(),
                [this] { onMyMovies(); });
    table.press({KeyChord::special(Key::Escape)}, _("Back to the camera"), _header.camera.get(),
                [this] { onCameraButton(); });
}

} // namespace tx
