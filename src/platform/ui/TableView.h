// Lists of rows: a scroll view that asks its data source for cells, reuses cells by identifier,
// selects rows, and in edit mode deletes them through the data source.
#pragma once

#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"

#include <compare>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tx {

struct IndexPath {
    int section = 0;
    int row = 0;
    static IndexPath forRow(int row, int section = 0) { return {section, row}; }
    auto operator<=>(const IndexPath&) const = default;
};

enum class TableViewCellEditingStyle { None, Delete, Insert };
enum class TableViewRowAnimation { None, Fade };
enum class TableViewCellSelectionStyle { None, Default };
enum class TableViewSeparatorStyle { None, SingleLine };

class TableView;

class TableViewCell : public View {
public:
    explicit TableViewCell(const std::string& reuseIdentifier = {});

    const std::string& reuseIdentifier() const { return _reuseIdentifier; }
    // Subviews of a cell go into its content view, which moves aside in edit mode.
    const ViewPtr& contentView() const { return _contentView; }
    // A label and a picture on the left, made on first use.
    std::shared_ptr<Label> textLabel();
    std::shared_ptr<ImageView> imageView();

    const ViewPtr& backgroundView() const { return _backgroundView; }
    void setBackgroundView(ViewPtr view);
    const ViewPtr& selectedBackgroundView() const { return _selectedBackgroundView; }
    void setSelectedBackgroundView(ViewPtr view);
    TableViewCellSelectionStyle selectionStyle() const { return _selectionStyle; }
    void setSelectionStyle(TableViewCellSelectionStyle style) { _selectionStyle = style; }

    bool isSelected() const { return _selected; }
    virtual void setSelected(bool selected, bool animated);
    bool isHighlighted() const { return _highlighted; }
    virtual void setHighlighted(bool highlighted, bool animated);
    bool isEditing() const { return _editing; }
    virtual void setEditing(bool editing, bool animated);
    bool isShowingDeleteConfirmation() const { return _confirming; }

    // A row is read as the words of its labels ("2026-12-09, 00:00:07"); pressed, it is chosen
    // as by a tap.
    AccessibleRole accessibilityRole() const override;
    std::string accessibilityLabel() const override;
    AccessibleStates accessibilityStates() const override;
    std::vector<AccessibleAction> accessibilityActions() const override;
    bool performAccessibilityAction(AccessibleAction action) override;

    // Called before a reused cell is handed out again.
    virtual void prepareForReuse() {}
    void layoutSubviews() override;

    // The edit-mode controls (for tests and the screenshot tour).
    const std::shared_ptr<Button>& deleteControl() const { return _deleteControl; }
    const std::shared_ptr<Button>& deleteButton() const { return _deleteButton; }
    void showDeleteConfirmation(bool show);

private:
    friend class TableView;
    void updateSelectionDisplay(bool animated);

    std::string _reuseIdentifier;
    ViewPtr _contentView;
    ViewPtr _backgroundView;
    ViewPtr _selectedBackgroundView;
    ViewPtr _defaultSelectedBackground;
    ViewPtr _separator;
    std::shared_ptr<Label> _textLabel;
    std::shared_ptr<ImageView> _imageView;
    std::shared_ptr<Button> _deleteControl;
    std::shared_ptr<Button> _deleteButton;
    TableView* _table = nullptr;
    TableViewCellSelectionStyle _selectionStyle = TableViewCellSelectionStyle::Default;
    bool _selected = false;
    bool _highlighted = false;
    bool _editing = false;
    bool _confirming = false;
};

using TableViewCellPtr = std::shared_ptr<TableViewCell>;

class TableViewDataSource {
public:
    virtual ~TableViewDataSource() = default;
    virtual int numberOfSectionsInTableView(TableView&) { return 1; }
    virtual int tableViewNumberOfRowsInSection(TableView& tableView, int section) = 0;
    virtual TableViewCellPtr tableViewCellForRowAtIndexPath(TableView& tableView,
                                                            const IndexPath& indexPath) = 0;
    virtual bool tableViewCanEditRowAtIndexPath(TableView&, const IndexPath&) { return true; }
    virtual void tableViewCommitEditingStyle(TableView&, TableViewCellEditingStyle,
                                             const IndexPath&) {}
};

class TableViewDelegate {
public:
    virtual ~TableViewDelegate() = default;
    // Without an answer the table's row height applies.
    virtual std::optional<double> tableViewHeightForRowAtIndexPath(TableView&, const IndexPath&) {
        return {};
    }
    virtual void tableViewDidSelectRowAtIndexPath(TableView&, const IndexPath&) {}
    virtual TableViewCellEditingStyle tableViewEditingStyleForRowAtIndexPath(TableView&,
                                                                             const IndexPath&) {
        return TableViewCellEditingStyle::Delete;
    }
};

class TableView : public ScrollView {
public:
    explicit TableView(const Rect& frame = {});

    void setDataSource(std::weak_ptr<TableViewDataSource> dataSource);
    void setDelegate(std::weak_ptr<TableViewDelegate> delegate) { _delegate = std::move(delegate); }
    double rowHeight() const { return _rowHeight; }
    void setRowHeight(double height);
    void setSeparatorStyle(TableViewSeparatorStyle style);
    TableViewSeparatorStyle separatorStyle() const { return _separatorStyle; }
    void setSeparatorColor(const Color& color);
    Color separatorColor() const { return _separatorColor; }
    void setAllowsSelection(bool allows) { _allowsSelection = allows; }

    // Asks the data source again; the rows are rebuilt at the next layout pass.
    void reloadData();
    TableViewCellPtr dequeueReusableCellWithIdentifier(const std::string& identifier);

    int numberOfSections() const { return static_cast<int>(_sections.size()); }
    int numberOfRowsInSection(int section) const;
    Rect rectForRowAtIndexPath(const IndexPath& indexPath) const;
    // The cell on screen for a row, or null.
    TableViewCellPtr cellForRowAtIndexPath(const IndexPath& indexPath) const;
    std::vector<TableViewCellPtr> visibleCells() const;
    std::optional<IndexPath> indexPathForCell(const TableViewCell* cell) const;
    std::optional<IndexPath> indexPathForRowAtPoint(Point point) const;
    std::optional<IndexPath> indexPathForSelectedRow() const { return _selectedRow; }

    void selectRowAtIndexPath(const IndexPath& indexPath, bool animated);
    // Scrolls as little as needed to show the whole row; nothing when it is already in sight
    // (the keyboard's place in a list stays on screen).
    void scrollRowToVisible(const IndexPath& indexPath);
    // The keyboard's move through a one-section list: selects the row `step` rows from the
    // selected one (the first or the last when none is), held within the list, and scrolls it
    // into sight. Nothing in an empty list.
    void moveSelection(int step);
    void deselectRowAtIndexPath(const IndexPath& indexPath, bool animated);

    bool isEditing() const { return _editing; }
    void setEditing(bool editing, bool animated);
    // The data source has already dropped the rows; their cells fade out and the rest close up.
    void deleteRowsAtIndexPaths(const std::vector<IndexPath>& indexPaths,
                                TableViewRowAnimation animation);

    void layoutSubviews() override;
    void touchesBegan(const TouchSet& touches) override;
    void touchesMoved(const TouchSet& touches) override;
    void touchesEnded(const TouchSet& touches) override;
    void touchesCancelled(const TouchSet& touches) override;

    AccessibleRole accessibilityRole() const override;

protected:
    void didScroll() override { setNeedsLayout(); }

private:
    friend class TableViewCell;
    struct Section {
        std::vector<double> heights;
        std::vector<double> offsets;
    };
    void measure();
    void recycle(const TableViewCellPtr& cell);
    void configure(const TableViewCellPtr& cell, const IndexPath& indexPath);
    void commitDelete(TableViewCell* cell);
    double contentHeight() const;

    std::weak_ptr<TableViewDataSource> _dataSource;
    std::weak_ptr<TableViewDelegate> _delegate;
    std::vector<Section> _sections;
    std::map<IndexPath, TableViewCellPtr> _visible;
    std::map<std::string, std::vector<TableViewCellPtr>> _reusePool;
    std::optional<IndexPath> _selectedRow;
    std::optional<IndexPath> _touchedRow;
    Point _touchStart;
    double _rowHeight = 44;
    TableViewSeparatorStyle _separatorStyle = TableViewSeparatorStyle::SingleLine;
    Color _separatorColor = theme::separator();
    bool _needsReload = true;
    bool _editing = false;
    bool _allowsSelection = true;
};

} // namespace tx
