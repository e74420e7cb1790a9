#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "UIKit/NSIndexPath.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UITableViewCell.h"

class UITableView;

// Plain only: section headers and footers stay at the edges while their section passes.
enum UITableViewStyle {
    UITableViewStylePlain = 0,
};

enum UITableViewCellSeparatorStyle {
    UITableViewCellSeparatorStyleNone = 0,
    UITableViewCellSeparatorStyleSingleLine = 1,
};

enum UITableViewScrollPosition {
    UITableViewScrollPositionNone = 0,
    UITableViewScrollPositionTop = 1,
    UITableViewScrollPositionMiddle = 2,
    UITableViewScrollPositionBottom = 3,
};

enum UITableViewRowAnimation {
    UITableViewRowAnimationFade = 0,
    UITableViewRowAnimationNone = 5,
    UITableViewRowAnimationAutomatic = 100,
};

class UITableViewDataSource {
  public:
    virtual ~UITableViewDataSource() = default;
    virtual int numberOfSectionsInTableView(const std::shared_ptr<UITableView>&) { return 1; }
    virtual int tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&,
                                               int section) = 0;
    virtual std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(
        const std::shared_ptr<UITableView>&, const NSIndexPath&) = 0;
};

// Optional callbacks; an empty answer means "not answered", and the table's own value holds.
class UITableViewDelegate : public UIScrollViewDelegate {
  public:
    virtual std::optional<CGFloat> tableViewHeightForRowAtIndexPath(
        const std::shared_ptr<UITableView>&, const NSIndexPath&) {
        return std::nullopt;
    }
    virtual std::optional<CGFloat> tableViewHeightForHeaderInSection(
        const std::shared_ptr<UITableView>&, int /*section*/) {
        return std::nullopt;
    }
    virtual std::optional<CGFloat> tableViewHeightForFooterInSection(
        const std::shared_ptr<UITableView>&, int /*section*/) {
        return std::nullopt;
    }
    virtual std::shared_ptr<UIView> tableViewViewForHeaderInSection(
        const std::shared_ptr<UITableView>&, int /*section*/) {
        return nullptr;
    }
    virtual std::shared_ptr<UIView> tableViewViewForFooterInSection(
        const std::shared_ptr<UITableView>&, int /*section*/) {
        return nullptr;
    }
    virtual void tableViewWillDisplayCell(const std::shared_ptr<UITableView>&,
                                          const std::shared_ptr<UITableViewCell>&,
                                          const NSIndexPath&) {}
    virtual void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                  const NSIndexPath&) {}
    virtual void tableViewDidDeselectRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                    const NSIndexPath&) {}
    virtual std::optional<UITableViewCellEditingStyle> tableViewEditingStyleForRowAtIndexPath(
        const std::shared_ptr<UITableView>&, const NSIndexPath&) {
        return std::nullopt;
    }
};

// A vertical list of sections of rows. Heights are asked for every row when the data is
// (re)loaded; cells only for the rows on screen. A cell that scrolls out goes to a pool by its
// reuse identifier, where dequeueReusableCellWithIdentifier finds it. Section header and footer
// views are asked for only when their height is above zero.
class UITableView : public UIScrollView {
  public:
    static std::shared_ptr<UITableView> create(CGRect frame,
                                               UITableViewStyle style = UITableViewStylePlain);
    static constexpr CGFloat kDefaultRowHeight = 44;

    UITableViewStyle style() const { return style_; }
    std::shared_ptr<UITableViewDataSource> dataSource() const { return dataSource_.lock(); }
    void setDataSource(std::weak_ptr<UITableViewDataSource> dataSource);
    std::shared_ptr<UITableViewDelegate> delegate() const { return tableDelegate_.lock(); }
    void setDelegate(std::weak_ptr<UITableViewDelegate> delegate);

    CGFloat rowHeight() const { return rowHeight_; }
    void setRowHeight(CGFloat h);
    CGFloat sectionHeaderHeight() const { return sectionHeaderHeight_; }
    void setSectionHeaderHeight(CGFloat h);
    CGFloat sectionFooterHeight() const { return sectionFooterHeight_; }
    void setSectionFooterHeight(CGFloat h);
    const std::shared_ptr<UIView>& tableHeaderView() const { return tableHeaderView_; }
    void setTableHeaderView(std::shared_ptr<UIView> view);
    const std::shared_ptr<UIView>& tableFooterView() const { return tableFooterView_; }
    void setTableFooterView(std::shared_ptr<UIView> view);
    UITableViewCellSeparatorStyle separatorStyle() const { return separatorStyle_; }
    void setSeparatorStyle(UITableViewCellSeparatorStyle s);
    const UIColorRef& separatorColor() const { return separatorColor_; }
    void setSeparatorColor(UIColorRef color);

    // Asks the data source again; clears the selection.
    void reloadData();
    void reloadRowsAtIndexPaths(const std::vector<NSIndexPath>& indexPaths,
                                UITableViewRowAnimation animation);
    std::shared_ptr<UITableViewCell> dequeueReusableCellWithIdentifier(
        const std::string& identifier);

    int numberOfSections() const { return static_cast<int>(sections_.size()); }
    int numberOfRowsInSection(int section) const;
    CGRect rectForRowAtIndexPath(const NSIndexPath& indexPath) const;
    CGRect rectForHeaderInSection(int section) const;
    CGRect rectForFooterInSection(int section) const;
    std::optional<NSIndexPath> indexPathForRowAtPoint(CGPoint point) const;
    std::optional<NSIndexPath> indexPathForCell(const UITableViewCell* cell) const;
    // Only rows on screen have cells; others give null.
    std::shared_ptr<UITableViewCell> cellForRowAtIndexPath(const NSIndexPath& indexPath) const;
    // In row order.
    std::vector<std::shared_ptr<UITableViewCell>> visibleCells() const;
    std::vector<NSIndexPath> indexPathsForVisibleRows() const;
    std::shared_ptr<UIView> headerViewForSection(int section) const;
    std::shared_ptr<UIView> footerViewForSection(int section) const;
    void scrollToRowAtIndexPath(const NSIndexPath& indexPath, UITableViewScrollPosition position,
                                bool animated);

    // Selection. The programmatic calls do not tell the delegate.
    std::optional<NSIndexPath> indexPathForSelectedRow() const;
    std::vector<NSIndexPath> indexPathsForSelectedRows() const;
    void selectRowAtIndexPath(const NSIndexPath& indexPath, bool animated,
                              UITableViewScrollPosition position);
    void deselectRowAtIndexPath(const NSIndexPath& indexPath, bool animated);

    bool isEditing() const { return editing_; }
    void setEditing(bool editing, bool animated);
    void setEditing(bool editing) { setEditing(editing, false); }
    bool allowsMultipleSelectionDuringEditing() const { return multiSelectDuringEditing_; }
    void setAllowsMultipleSelectionDuringEditing(bool a);

    void layoutSubviews() override;

  protected:
    UITableView() = default;
    void initWithFrame(CGRect frame) override;
    void contentOffsetDidChange() override;
    void trackingBeganWithTouch(UITouch& touch) override;
    void trackingTappedWithTouch(UITouch& touch) override;
    void trackingCancelled() override;

  private:
    struct Section {
        CGFloat top = 0;
        CGFloat headerHeight = 0;
        CGFloat footerHeight = 0;
        std::vector<CGFloat> rowTops;  // one more than the rows: the end of the last
        CGFloat bottom() const { return rowTops.back() + footerHeight; }
    };

    void computeGeometry();
    // New heights for the rows shown, keeping cells and selection.
    void relayoutRows();
    void layoutTableViews();
    void tile();
    void tileSectionViews(CGFloat top, CGFloat bottom);
    void configureCell(UITableViewCell& cell, const NSIndexPath& path);
    void enqueue(const std::shared_ptr<UITableViewCell>& cell);
    bool isValid(const NSIndexPath& path) const;
    bool usesSelectionMarks(const NSIndexPath& path);
    bool touchIsOnControl(UITouch& touch) const;
    void clearSelection();
    void highlight(const std::optional<NSIndexPath>& path);

    UITableViewStyle style_ = UITableViewStylePlain;
    std::weak_ptr<UITableViewDataSource> dataSource_;
    std::weak_ptr<UITableViewDelegate> tableDelegate_;
    CGFloat rowHeight_ = kDefaultRowHeight;
    CGFloat sectionHeaderHeight_ = 0;
    CGFloat sectionFooterHeight_ = 0;
    std::shared_ptr<UIView> tableHeaderView_;
    std::shared_ptr<UIView> tableFooterView_;
    UITableViewCellSeparatorStyle separatorStyle_ = UITableViewCellSeparatorStyleSingleLine;
    UIColorRef separatorColor_;

    bool loaded_ = false;
    std::vector<Section> sections_;
    std::map<NSIndexPath, std::shared_ptr<UITableViewCell>> visible_;
    std::map<int, std::shared_ptr<UIView>> headerViews_;
    std::map<int, std::shared_ptr<UIView>> footerViews_;
    std::map<std::string, std::vector<std::shared_ptr<UITableViewCell>>> reusePool_;
    std::set<NSIndexPath> selected_;
    std::optional<NSIndexPath> highlighted_;
    bool editing_ = false;
    bool multiSelectDuringEditing_ = false;
    bool tiling_ = false;
};
