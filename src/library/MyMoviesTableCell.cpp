#include "library/MyMoviesTableCell.h"

#include "platform/ui/Image.h"

namespace tx {

std::shared_ptr<MyMoviesTableCell> MyMoviesTableCell::loadFromLayout() {
    return std::make_shared<MyMoviesTableCell>();
}

MyMoviesTableCell::MyMoviesTableCell() : TableViewCell(kReuseIdentifier) {
    setFrame(Rect(0, 0, 320, kRowHeight));
    setSelectionStyle(TableViewCellSelectionStyle::None);
    const ViewPtr& content = contentView();
    _background = std::make_shared<ImageView>(Rect(0, 0, 320, kRowHeight));
    _background->setImage(Image::imageNamed("movie_cell_bg_640_156"));
    _background->setHighlightedImage(Image::imageNamed("movie_cell_bg_P_640_156"));
    content->addSubview(_background);

    auto frame = std::make_shared<View>(Rect(10, 8, 84, 62));
    frame->setBackgroundColor(Color::black());
    frame->setCornerRadius(6);
    frame->setClipsToBounds(true);
    content->addSubview(frame);
    _thumbnailView = std::make_shared<ImageView>(Rect(0, 0, 84, 62));
    _thumbnailView->setContentMode(ContentMode::ScaleAspectFill);
    frame->addSubview(_thumbnailView);

    _titleView = std::make_shared<Label>(Rect(108, 14, 170, 24));
    _titleView->setFont(Font::boldSystemFont(17));
    _titleView->setTextColor(theme::text());
    content->addSubview(_titleView);
    _timeView = std::make_shared<Label>(Rect(108, 42, 170, 20));
    _timeView->setFont(Font::systemFont(14));
    _timeView->setTextColor(theme::secondaryText());
    content->addSubview(_timeView);
}

void MyMoviesTableCell::setSelected(bool selected, bool animated) {
    TableViewCell::setSelected(selected, animated);
    showPressed(selected || isHighlighted());
}

void MyMoviesTableCell::setHighlighted(bool highlighted, bool animated) {
    TableViewCell::setHighlighted(highlighted, animated);
    showPressed(highlighted || isSelected());
}

void MyMoviesTableCell::showPressed(bool pressed) {
    _background->setHighlighted(pressed);
}

} // namespace tx
