// One video of the channel in the YouTube tab: its player (a web view whose play button opens the
// video in the browser), title, duration and a share button that asks the tab for the share menu.
#pragma once

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableView.h"
#include "platform/ui/WebView.h"
#include "services/youtube/GDataServiceGoogleYouTube.h"

#include <memory>
#include <optional>
#include <string>

namespace tx {

class YoutubeTableCell;

// The tab, told when a row's share button is pressed.
class YoutubeTableCellDelegate {
public:
    virtual ~YoutubeTableCellDelegate() = default;
    virtual void onShare(YoutubeTableCell& cell, const IndexPath& indexPath) = 0;
};

class YoutubeTableCell : public TableViewCell {
public:
    static constexpr double kRowHeight = 78;

    // A fresh cell as the layout describes it (rows are never reused).
    static std::shared_ptr<YoutubeTableCell> loadFromLayout();
    YoutubeTableCell();

    const std::shared_ptr<WebView>& thumbnailView() const { return _thumbnailView; }
    const std::shared_ptr<Label>& titleView() const { return _titleView; }
    const std::shared_ptr<Label>& timeView() const { return _timeView; }
    const std::shared_ptr<Button>& shareButton() const { return _shareButton; }
    void setDelegate(std::weak_ptr<YoutubeTableCellDelegate> delegate) {
        _delegate = std::move(delegate);
    }

    // Shows `entry`: title always; duration and player only when it has a media group.
    void showEntry(const GDataEntryYouTubeVideo& entry);
    // The keyboard's row shows pressed, like a row of the movie list.
    void setSelected(bool selected, bool animated) override;
    bool showsPressed() const;
    void onShare();

    // "mm:ss" under an hour, "h:mm:ss" from an hour up, empty without a duration.
    static std::string durationText(std::optional<long> seconds);
    // The page that embeds the player at `address` in a `width` x `height` area; the address is
    // escaped for the attribute it stands in.
    static std::string embedHTML(const std::string& address, double width, double height);

private:
    std::shared_ptr<ImageView> _background;
    std::shared_ptr<WebView> _thumbnailView;
    std::shared_ptr<Label> _titleView;
    std::shared_ptr<Label> _timeView;
    std::shared_ptr<Button> _shareButton;
    std::weak_ptr<YoutubeTableCellDelegate> _delegate;
};

} // namespace tx
