// The library's second tab: the videos of the application's channel, newest, best rated or most
// viewed first, ten at a time with a row that loads more. Each row plays its video in the browser
// and can share the video's link (copied, or mailed). The tab also leads back to the camera, to
// My Movies and to the contest notice.
#pragma once

#include "platform/foundation/Translation.h"
#include "platform/system/MailComposer.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"
#include "services/youtube/GDataServiceGoogleYouTube.h"
#include "share/LibraryTabHeader.h"
#include "share/YoutubeTableCell.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tx {

class YoutubeViewController : public ViewController,
                              public TableViewDataSource,
                              public TableViewDelegate,
                              public ActionSheetDelegate,
                              public MailComposeDelegate,
                              public YoutubeTableCellDelegate {
public:
    static constexpr int kPageSize = 10;
    static constexpr int kRequestedPerPage = 11;
    static constexpr double kLoadMoreRowHeight = 57;
    static constexpr const char* kLoadMoreIdentifier = "YoutubeLastTableIdentifier";
    static constexpr const char* kFirstPageFailedText = N_("Could not load videos");

    YoutubeViewController();
    ~YoutubeViewController() override;

    void loadView() override;
    void viewDidLoad() override;
    void addKeyBindings(KeyTable& table) override;

    // Actions of the tab's buttons.
    void onViewTypeChanged(Button& sender);
    void onCameraButton();
    void onMyMovies();
    void onContest();

    // The order a view-type button's tag stands for: "updated", "rating" or "viewCount".
    static std::string orderForTag(int tag);
    // The link to a video on the web site, made from its player address; empty without one.
    static std::string watchLink(const GDataEntryYouTubeVideo& entry);
    // The one line shown when no channel is configured.
    static std::string notConfiguredText();

    // Table
    int tableViewNumberOfRowsInSection(TableView& tableView, int section) override;
    TableViewCellPtr tableViewCellForRowAtIndexPath(TableView& tableView,
                                                    const IndexPath& indexPath) override;
    bool tableViewCanEditRowAtIndexPath(TableView&, const IndexPath&) override { return false; }
    std::optional<double> tableViewHeightForRowAtIndexPath(TableView& tableView,
                                                           const IndexPath& indexPath) override;
    void tableViewDidSelectRowAtIndexPath(TableView& tableView,
                                          const IndexPath& indexPath) override;

    // Sharing a video
    void onShare(YoutubeTableCell& cell, const IndexPath& indexPath) override;
    void actionSheetClickedButtonAtIndex(ActionSheet& actionSheet, int buttonIndex) override;
    void mailComposeControllerDidFinish(MailComposer& composer, MailComposeResult result,
                                        const ErrorPtr& error) override;
    void copyLink(int row);
    void mailLink(int row);

    // State, for tests and the tour.
    const std::shared_ptr<GDataServiceGoogleYouTube>& service() const { return _service; }
    const GDataFeedYouTubeVideoPtr& mEntriesFeed() const { return _mEntriesFeed; }
    const GDataServiceTicketPtr& mEntriesFetchTicket() const { return _mEntriesFetchTicket; }
    const ErrorPtr& mEntriesFetchError() const { return _mEntriesFetchError; }
    const std::vector<GDataEntryYouTubeVideoPtr>& entryStorage() const { return _entryStorage; }
    std::int32_t idxBase() const { return _idxBase; }
    bool moreNextPage() const { return _moreNextPage; }
    const IndexPath& currentIndexPath() const { return _currentIndexPath; }
    const std::shared_ptr<TableView>& tableView() const { return _tableView; }
    const std::shared_ptr<View>& loadingView() const { return _loadingView; }
    const std::shared_ptr<ActivityIndicator>& loadingIndicator() const { return _loadingIndicator; }
    const std::shared_ptr<Label>& messageLabel() const { return _messageLabel; }
    Button* toolBarSelected() const { return _toolBarSelected; }
    const std::shared_ptr<Button>& buttonYoutube() const { return _header.youtube; }
    const std::shared_ptr<Button>& buttonNew() const { return _buttonNew; }
    const std::shared_ptr<Button>& buttonMostRated() const { return _buttonMostRated; }
    const std::shared_ptr<Button>& buttonFeatured() const { return _buttonFeatured; }
    const std::shared_ptr<Button>& contestButton() const { return _contest; }
    const LibraryTabHeader& header() const { return _header; }

private:
    void fetchAllEntries(const std::string& order);
    void entryListFetchTicketFinished(std::uint64_t generation, const GDataServiceTicketPtr& ticket,
                                      const GDataFeedYouTubeVideoPtr& feed, const ErrorPtr& error);
    void showMessage(const std::string& text);
    // The entry of `row` when it can be shared (it has a player address).
    GDataEntryYouTubeVideoPtr shareableEntry(int row) const;

    std::shared_ptr<GDataServiceGoogleYouTube> _service;
    GDataFeedYouTubeVideoPtr _mEntriesFeed;
    GDataServiceTicketPtr _mEntriesFetchTicket;
    ErrorPtr _mEntriesFetchError;
    std::shared_ptr<TableView> _tableView;
    LibraryTabHeader _header;
    Button* _toolBarSelected = nullptr;
    std::shared_ptr<Button> _buttonNew;
    std::shared_ptr<Button> _buttonMostRated;
    std::shared_ptr<Button> _buttonFeatured;
    std::shared_ptr<Button> _contest;
    std::shared_ptr<View> _loadingView;
    std::shared_ptr<ActivityIndicator> _loadingIndicator;
    std::shared_ptr<Label> _messageLabel;
    std::int32_t _idxBase = 1;
    bool _moreNextPage = false;
    std::vector<GDataEntryYouTubeVideoPtr> _entryStorage;
    IndexPath _currentIndexPath;
    // Counts fetches, so that the answer to one given up is recognised and dropped.
    std::uint64_t _fetchGeneration = 0;
};

} // namespace tx
