// One row of the movie list, 78 points high: the movie's thumbnail, its date and its length.
#pragma once

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableView.h"

#include <memory>
#include <string>

namespace tx {

class MyMoviesTableCell : public TableViewCell {
public:
    static inline const std::string kReuseIdentifier = "MyMoviesTableIdentifier";
    static constexpr double kRowHeight = 78;

    // The cell as its layout has it, at the list's width.
    static std::shared_ptr<MyMoviesTableCell> loadFromLayout();
    MyMoviesTableCell();

    const std::shared_ptr<ImageView>& thumbnailView() const { return _thumbnailView; }
    const std::shared_ptr<Label>& titleView() const { return _titleView; }
    const std::shared_ptr<Label>& timeView() const { return _timeView; }

    void setSelected(bool selected, bool animated) override;
    void setHighlighted(bool highlighted, bool animated) override;

private:
    void showPressed(bool pressed);

    std::shared_ptr<ImageView> _background;
    std::shared_ptr<ImageView> _thumbnailView;
    std::shared_ptr<Label> _titleView;
    std::shared_ptr<Label> _timeView;
};

using MyMoviesTableCellPtr = std::shared_ptr<MyMoviesTableCell>;

} // namespace tx
