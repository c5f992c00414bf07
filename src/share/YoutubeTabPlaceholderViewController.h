// The library's YouTube tab until the channel's videos can be listed: the tab header with its
// My Movies and camera buttons over an empty list.
#pragma once

#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"
#include "share/LibraryTabHeader.h"

namespace tx {

class YoutubeTabPlaceholderViewController : public ViewController {
public:
    void loadView() override;
    bool keyPressed(const KeyEvent& event) override;

    // Asks the library for the My Movies tab.
    void onMyMovies();
    void onCameraButton();

    const LibraryTabHeader& header() const { return _header; }

private:
    LibraryTabHeader _header;
    std::shared_ptr<TableView> _tableView;
};

} // namespace tx
