#include "platform/ui/TableView.h"
#include "platform/foundation/Translation.h"

#include "platform/ui/GraphicsContext.h"

#include <algorithm>
#include <cmath>

namespace tx {

namespace {

constexpr double kEditIndentPoints = 38;
constexpr double kDeleteButtonWidth = 66;
constexpr double kRowAnimationSeconds = 0.3;
constexpr double kDeselectSeconds = 0.3;

Color deleteRed() {
    return Color::hex(0xe5383b);
}

// The round minus sign of a row in edit mode.
ImagePtr minusImage() {
    static ImagePtr image = [] {
        ImageContext context({22, 22}, false, 2);
        context.context().fillEllipse(Rect(1, 1, 20, 20), deleteRed());
        context.context().fillRect(Rect(5.5, 10, 11, 2.2), Color::whiteColor());
        return context.image();
    }();
    return image;
}

ImagePtr deleteBackground() {
    static ImagePtr image = [] {
        ImageContext context({20, 30}, false, 2);
        context.context().fillRoundedRect(Rect(0, 0, 20, 30), 6, deleteRed());
        return context.image()->stretchableImage(9, 14);
    }();
    return image;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TableViewCell

TableViewCell::TableViewCell(const std::string& reuseIdentifier)
    : View(Rect(0, 0, 320, 44)), _reuseIdentifier(reuseIdentifier) {
    _contentView = std::make_shared<View>(bounds());
    addSubview(_contentView);
    _separator = std::make_shared<View>(Rect(0, 43, 320, 1));
    _separator->setUserInteractionEnabled(false);
    addSubview(_separator);
}

std::shared_ptr<Label> TableViewCell::textLabel() {
    if (!_textLabel) {
        _textLabel = std::make_shared<Label>();
        _textLabel->setFont(Font::boldSystemFont(17));
        _contentView->addSubview(_textLabel);
        setNeedsLayout();
    }
    return _textLabel;
}

std::shared_ptr<ImageView> TableViewCell::imageView() {
    if (!_imageView) {
        _imageView = std::make_shared<ImageView>();
        _imageView->setContentMode(ContentMode::ScaleAspectFit);
        _contentView->addSubview(_imageView);
        setNeedsLayout();
    }
    return _imageView;
}

void TableViewCell::setBackgroundView(ViewPtr view) {
    if (_backgroundView)
        _backgroundView->removeFromSuperview();
    _backgroundView = std::move(view);
    if (_backgroundView)
        insertSubview(_backgroundView, 0);
    setNeedsLayout();
}

void TableViewCell::setSelectedBackgroundView(ViewPtr view) {
    if (_selectedBackgroundView)
        _selectedBackgroundView->removeFromSuperview();
    _selectedBackgroundView = std::move(view);
    setNeedsLayout();
    updateSelectionDisplay(false);
}

void TableViewCell::setSelected(bool selected, bool animated) {
    _selected = selected;
    updateSelectionDisplay(animated);
}

void TableViewCell::setHighlighted(bool highlighted, bool animated) {
    _highlighted = highlighted;
    updateSelectionDisplay(animated);
}

void TableViewCell::updateSelectionDisplay(bool animated) {
    ViewPtr shown = _selectedBackgroundView;
    if (!shown && _selectionStyle != TableViewCellSelectionStyle::None) {
        if (!_defaultSelectedBackground) {
            _defaultSelectedBackground = std::make_shared<View>(bounds());
            _defaultSelectedBackground->setBackgroundColor(theme::accent().withAlpha(0.55));
        }
        shown = _defaultSelectedBackground;
    }
    if (!shown)
        return;
    bool on = _selected || _highlighted;
    if (on) {
        shown->setFrame(bounds());
        shown->setAlpha(1);
        shown->setHidden(false);
        if (shown->superview() != this)
            insertSubview(shown, _backgroundView ? 1 : 0);
        if (_backgroundView)
            _backgroundView->setHidden(true);
        return;
    }
    if (shown->superview() != this)
        return;
    auto weakCell = std::weak_ptr<Object>(weak_from_this());
    auto finish = [this, weakCell, shown](bool) {
        if (!weakCell.lock() || _selected || _highlighted)
            return;
        shown->removeFromSuperview();
        shown->setAlpha(1);
        if (_backgroundView)
            _backgroundView->setHidden(false);
    };
    if (animated) {
        if (_backgroundView)
            _backgroundView->setHidden(false);
        View::animate(
            kDeselectSeconds, [&] { shown->setAlpha(0); }, finish);
    } else {
        finish(true);
    }
}

void TableViewCell::setEditing(bool editing, bool animated) {
    if (_editing == editing)
        return;
    _editing = editing;
    if (!editing)
        showDeleteConfirmation(false);
    if (editing && !_deleteControl) {
        _deleteControl = std::make_shared<Button>(Rect(0, 0, kEditIndentPoints, bounds().height()));
        _deleteControl->setImage(minusImage(), ControlStateNormal);
        _deleteControl->setAccessibilityLabel(_("Delete…"));
        _deleteControl->addTarget(this, ControlEventTouchUpInside,
                                  [this](Control&) { showDeleteConfirmation(!_confirming); });
    }
    if (editing) {
        addSubview(_deleteControl);
        _deleteControl->setAlpha(animated ? 0 : 1);
    }
    auto move = [&] {
        Rect b = bounds();
        _contentView->setFrame(Rect(editing ? kEditIndentPoints : 0, 0, b.width(), b.height()));
        if (_deleteControl)
            _deleteControl->setAlpha(editing ? 1 : 0);
    };
    auto weakCell = std::weak_ptr<Object>(weak_from_this());
    auto done = [this, weakCell](bool) {
        if (weakCell.lock() && !_editing && _deleteControl)
            _deleteControl->removeFromSuperview();
    };
    if (animated)
        View::animate(kRowAnimationSeconds, move, done);
    else {
        move();
        done(true);
    }
}

void TableViewCell::showDeleteConfirmation(bool show) {
    if (_confirming == show)
        return;
    _confirming = show;
    if (show && !_deleteButton) {
        _deleteButton = std::make_shared<Button>();
        _deleteButton->setBackgroundImage(deleteBackground(), ControlStateNormal);
        _deleteButton->setTitle(_("Delete"), ControlStateNormal);
        _deleteButton->addTarget(this, ControlEventTouchUpInside, [this](Control&) {
            if (_table)
                _table->commitDelete(this);
        });
    }
    if (_deleteControl)
        View::animate(0.2, [&] {
            _deleteControl->setTransform(show ? AffineTransform::rotation(-M_PI / 2)
                                              : AffineTransform());
        });
    if (show) {
        Rect b = bounds();
        _deleteButton->setFrame(
            Rect(b.width() - kDeleteButtonWidth - 8, 7, kDeleteButtonWidth, b.height() - 14));
        addSubview(_deleteButton);
    } else if (_deleteButton) {
        _deleteButton->removeFromSuperview();
    }
}

void TableViewCell::layoutSubviews() {
    Rect b = bounds();
    _contentView->setFrame(Rect(_editing ? kEditIndentPoints : 0, 0, b.width(), b.height()));
    if (_backgroundView)
        _backgroundView->setFrame(b);
    if (_selectedBackgroundView)
        _selectedBackgroundView->setFrame(b);
    if (_deleteControl) {
        _deleteControl->setTransform(_confirming ? AffineTransform::rotation(-M_PI / 2)
                                                 : AffineTransform());
        _deleteControl->setCenter({kEditIndentPoints / 2, b.height() / 2});
        _deleteControl->setBounds(Rect(0, 0, kEditIndentPoints, b.height()));
    }
    double x = 10;
    if (_imageView && _imageView->image()) {
        _imageView->setFrame(Rect(4, 2, b.height() - 4, b.height() - 4));
        x = b.height() + 6;
    }
    if (_textLabel)
        _textLabel->setFrame(Rect(x, 0, b.width() - x - 10, b.height()));
    bool separators = _table && _table->separatorStyle() == TableViewSeparatorStyle::SingleLine;
    _separator->setHidden(!separators);
    if (_table)
        _separator->setBackgroundColor(_table->separatorColor());
    _separator->setFrame(Rect(0, b.height() - 0.5, b.width(), 0.5));
    bringSubviewToFront(_separator.get());
    if (_deleteButton && _confirming)
        bringSubviewToFront(_deleteButton.get());
}

// ---------------------------------------------------------------------------------------------
// TableView

TableView::TableView(const Rect& frame) : ScrollView(frame) {
    setBackgroundColor(theme::background());
}

void TableView::setDataSource(std::weak_ptr<TableViewDataSource> dataSource) {
    _dataSource = std::move(dataSource);
    reloadData();
}

void TableView::setRowHeight(double height) {
    _rowHeight = height;
    reloadData();
}

void TableView::setSeparatorStyle(TableViewSeparatorStyle style) {
    _separatorStyle = style;
    for (auto& [path, cell] : _visible)
        cell->setNeedsLayout();
}

void TableView::setSeparatorColor(const Color& color) {
    _separatorColor = color;
    for (auto& [path, cell] : _visible)
        cell->setNeedsLayout();
}

void TableView::measure() {
    _sections.clear();
    auto source = _dataSource.lock();
    if (!source) {
        setContentSize({bounds().width(), 0});
        return;
    }
    auto delegate = _delegate.lock();
    double y = 0;
    int sectionCount = source->numberOfSectionsInTableView(*this);
    for (int s = 0; s < sectionCount; s++) {
        Section section;
        int rows = source->tableViewNumberOfRowsInSection(*this, s);
        for (int r = 0; r < rows; r++) {
            std::optional<double> height;
            if (delegate)
                height = delegate->tableViewHeightForRowAtIndexPath(*this, IndexPath::forRow(r, s));
            section.offsets.push_back(y);
            section.heights.push_back(height.value_or(_rowHeight));
            y += section.heights.back();
        }
        _sections.push_back(std::move(section));
    }
    setContentSize({bounds().width(), y});
}

double TableView::contentHeight() const {
    for (auto it = _sections.rbegin(); it != _sections.rend(); ++it)
        if (!it->offsets.empty())
            return it->offsets.back() + it->heights.back();
    return 0;
}

void TableView::reloadData() {
    measure();
    if (_selectedRow && (_selectedRow->section >= numberOfSections() ||
                         _selectedRow->row >= numberOfRowsInSection(_selectedRow->section)))
        _selectedRow.reset();
    _needsReload = true;
    setNeedsLayout();
}

int TableView::numberOfRowsInSection(int section) const {
    if (section < 0 || section >= numberOfSections())
        return 0;
    return static_cast<int>(_sections[section].heights.size());
}

Rect TableView::rectForRowAtIndexPath(const IndexPath& ip) const {
    if (ip.row < 0 || ip.row >= numberOfRowsInSection(ip.section))
        return {};
    const Section& s = _sections[ip.section];
    return Rect(0, s.offsets[ip.row], bounds().width(), s.heights[ip.row]);
}

void TableView::scrollRowToVisible(const IndexPath& ip) {
    const Rect row = rectForRowAtIndexPath(ip);
    const double top = contentOffset().y;
    const double visible = bounds().height();
    if (row.minY() < top)
        setContentOffset(Point{0, row.minY()});
    else if (row.maxY() > top + visible)
        setContentOffset(Point{0, row.maxY() - visible});
}

void TableView::moveSelection(int step) {
    const int count = numberOfRowsInSection(0);
    if (count == 0)
        return;
    const auto selected = indexPathForSelectedRow();
    const int row =
        std::clamp(selected ? selected->row + step : (step > 0 ? 0 : count - 1), 0, count - 1);
    const IndexPath path = IndexPath::forRow(row);
    selectRowAtIndexPath(path, false);
    scrollRowToVisible(path);
}

TableViewCellPtr TableView::cellForRowAtIndexPath(const IndexPath& ip) const {
    auto it = _visible.find(ip);
    return it == _visible.end() ? nullptr : it->second;
}

std::vector<TableViewCellPtr> TableView::visibleCells() const {
    std::vector<TableViewCellPtr> cells;
    for (auto& [path, cell] : _visible)
        cells.push_back(cell);
    return cells;
}

std::optional<IndexPath> TableView::indexPathForCell(const TableViewCell* cell) const {
    for (auto& [path, c] : _visible)
        if (c.get() == cell)
            return path;
    return {};
}

std::optional<IndexPath> TableView::indexPathForRowAtPoint(Point p) const {
    for (int s = 0; s < numberOfSections(); s++) {
        const Section& section = _sections[s];
        for (std::size_t r = 0; r < section.offsets.size(); r++)
            if (p.y >= section.offsets[r] && p.y < section.offsets[r] + section.heights[r])
                return IndexPath::forRow(static_cast<int>(r), s);
    }
    return {};
}

TableViewCellPtr TableView::dequeueReusableCellWithIdentifier(const std::string& identifier) {
    auto it = _reusePool.find(identifier);
    if (it == _reusePool.end() || it->second.empty())
        return nullptr;
    TableViewCellPtr cell = it->second.back();
    it->second.pop_back();
    cell->prepareForReuse();
    return cell;
}

void TableView::recycle(const TableViewCellPtr& cell) {
    cell->removeFromSuperview();
    cell->removeAllAnimations();
    cell->setAlpha(1);
    cell->setUserInteractionEnabled(true);
    cell->setHighlighted(false, false);
    cell->setSelected(false, false);
    cell->showDeleteConfirmation(false);
    cell->_table = nullptr;
    if (!cell->reuseIdentifier().empty())
        _reusePool[cell->reuseIdentifier()].push_back(cell);
}

void TableView::configure(const TableViewCellPtr& cell, const IndexPath& ip) {
    cell->_table = this;
    cell->setFrame(rectForRowAtIndexPath(ip));
    cell->setEditing(_editing, false);
    cell->setSelected(_selectedRow == ip, false);
    cell->setNeedsLayout();
}

void TableView::layoutSubviews() {
    ScrollView::layoutSubviews();
    if (_needsReload) {
        _needsReload = false;
        auto visible = std::move(_visible);
        _visible.clear();
        for (auto& [path, cell] : visible)
            recycle(cell);
    }
    Rect b = bounds();
    double top = b.minY();
    double bottom = b.maxY();
    for (auto it = _visible.begin(); it != _visible.end();) {
        Rect r = rectForRowAtIndexPath(it->first);
        if (r.isEmpty() || r.maxY() <= top || r.minY() >= bottom) {
            recycle(it->second);
            it = _visible.erase(it);
        } else {
            if (!it->second->hasAnimations())
                it->second->setFrame(r);
            ++it;
        }
    }
    auto source = _dataSource.lock();
    if (!source)
        return;
    for (int s = 0; s < numberOfSections(); s++) {
        const Section& section = _sections[s];
        for (std::size_t r = 0; r < section.offsets.size(); r++) {
            double y0 = section.offsets[r];
            double y1 = y0 + section.heights[r];
            if (y1 <= top || y0 >= bottom)
                continue;
            IndexPath ip = IndexPath::forRow(static_cast<int>(r), s);
            if (_visible.count(ip))
                continue;
            TableViewCellPtr cell = source->tableViewCellForRowAtIndexPath(*this, ip);
            if (!cell)
                continue;
            configure(cell, ip);
            insertSubview(cell, 0);
            _visible[ip] = cell;
        }
    }
}

void TableView::selectRowAtIndexPath(const IndexPath& ip, bool animated) {
    if (_selectedRow && *_selectedRow != ip)
        if (auto old = cellForRowAtIndexPath(*_selectedRow)) {
            old->setSelected(false, false);
            accessibilityChanged(*old, AccessibleChange::Selection);
        }
    _selectedRow = ip;
    if (auto cell = cellForRowAtIndexPath(ip)) {
        cell->setSelected(true, animated);
        accessibilityChanged(*cell, AccessibleChange::Selection);
    }
}

void TableView::deselectRowAtIndexPath(const IndexPath& ip, bool animated) {
    if (_selectedRow == ip)
        _selectedRow.reset();
    if (auto cell = cellForRowAtIndexPath(ip)) {
        cell->setHighlighted(false, false);
        cell->setSelected(false, animated);
    }
}

void TableView::setEditing(bool editing, bool animated) {
    if (_editing == editing)
        return;
    _editing = editing;
    for (auto& [path, cell] : _visible)
        cell->setEditing(editing, animated);
}

void TableView::commitDelete(TableViewCell* cell) {
    auto ip = indexPathForCell(cell);
    auto source = _dataSource.lock();
    if (!ip || !source)
        return;
    auto delegate = _delegate.lock();
    TableViewCellEditingStyle style =
        delegate ? delegate->tableViewEditingStyleForRowAtIndexPath(*this, *ip)
                 : TableViewCellEditingStyle::Delete;
    source->tableViewCommitEditingStyle(*this, style, *ip);
}

void TableView::deleteRowsAtIndexPaths(const std::vector<IndexPath>& paths,
                                       TableViewRowAnimation animation) {
    bool animated = animation != TableViewRowAnimation::None;
    std::map<IndexPath, TableViewCellPtr> remaining;
    for (auto& [path, cell] : _visible) {
        if (std::find(paths.begin(), paths.end(), path) != paths.end()) {
            if (!animated) {
                recycle(cell);
                continue;
            }
            cell->setUserInteractionEnabled(false);
            std::weak_ptr<TableViewCell> weakCell = cell;
            View::animate(
                kRowAnimationSeconds, [&] { cell->setAlpha(0); },
                [this, weakCell](bool) {
                    if (auto c = weakCell.lock(); c && c->superview() == this)
                        recycle(c);
                });
            continue;
        }
        int shift = 0;
        for (const IndexPath& d : paths)
            if (d.section == path.section && d.row < path.row)
                shift++;
        remaining[IndexPath::forRow(path.row - shift, path.section)] = cell;
    }
    if (_selectedRow) {
        if (std::find(paths.begin(), paths.end(), *_selectedRow) != paths.end())
            _selectedRow.reset();
    }
    _visible = std::move(remaining);
    measure();
    for (auto& [path, cell] : _visible) {
        Rect target = rectForRowAtIndexPath(path);
        if (animated)
            View::animate(kRowAnimationSeconds, [&] { cell->setFrame(target); });
        else
            cell->setFrame(target);
    }
    setNeedsLayout();
}

void TableView::touchesBegan(const TouchSet& touches) {
    ScrollView::touchesBegan(touches);
    _touchedRow.reset();
    // A touch handed over by the window for scrolling never selects.
    if (touches.empty() || touches.front()->view() == this || _editing || !_allowsSelection)
        return;
    _touchStart = touches.front()->locationInView(superview());
    _touchedRow = indexPathForRowAtPoint(touches.front()->locationInView(this));
    if (_touchedRow)
        if (auto cell = cellForRowAtIndexPath(*_touchedRow))
            cell->setHighlighted(true, false);
}

void TableView::touchesMoved(const TouchSet& touches) {
    ScrollView::touchesMoved(touches);
    if (!_touchedRow || touches.empty())
        return;
    Point p = touches.front()->locationInView(superview());
    // A row that the finger drags away from is not selected.
    if (std::hypot(p.x - _touchStart.x, p.y - _touchStart.y) > 8)
        touchesCancelled({});
}

void TableView::touchesEnded(const TouchSet& touches) {
    ScrollView::touchesEnded(touches);
    if (!_touchedRow)
        return;
    IndexPath ip = *_touchedRow;
    _touchedRow.reset();
    auto cell = cellForRowAtIndexPath(ip);
    if (cell)
        cell->setHighlighted(false, false);
    selectRowAtIndexPath(ip, false);
    if (auto delegate = _delegate.lock())
        delegate->tableViewDidSelectRowAtIndexPath(*this, ip);
}

void TableView::touchesCancelled(const TouchSet& touches) {
    ScrollView::touchesCancelled(touches);
    if (_touchedRow)
        if (auto cell = cellForRowAtIndexPath(*_touchedRow))
            cell->setHighlighted(false, false);
    _touchedRow.reset();
}

} // namespace tx
