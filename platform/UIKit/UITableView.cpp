#include "UITableView.h"

#include <algorithm>

#include "UIKit/UIControl.h"
#include "UIKit/UITouch.h"

std::shared_ptr<UITableView> UITableView::create(CGRect frame, UITableViewStyle style) {
    auto table = std::shared_ptr<UITableView>(new UITableView());
    table->style_ = style;
    return finishCreate(table, frame);
}

void UITableView::initWithFrame(CGRect frame) {
    UIScrollView::initWithFrame(frame);
    setAlwaysBounceVertical(true);
    setBackgroundColor(UIColor::whiteColor());
    separatorColor_ = UIColor::colorWithRed(0.78, 0.78, 0.8, 1);
}

void UITableView::setDataSource(std::weak_ptr<UITableViewDataSource> dataSource) {
    dataSource_ = std::move(dataSource);
    loaded_ = false;
    setNeedsLayout();
}

void UITableView::setDelegate(std::weak_ptr<UITableViewDelegate> delegate) {
    tableDelegate_ = delegate;
    UIScrollView::setDelegate(std::move(delegate));
    if (loaded_) {
        loaded_ = false;
        setNeedsLayout();
    }
}

void UITableView::setRowHeight(CGFloat h) {
    rowHeight_ = std::max<CGFloat>(0, h);
    relayoutRows();
}

void UITableView::setSectionHeaderHeight(CGFloat h) {
    sectionHeaderHeight_ = std::max<CGFloat>(0, h);
    relayoutRows();
}

void UITableView::setSectionFooterHeight(CGFloat h) {
    sectionFooterHeight_ = std::max<CGFloat>(0, h);
    relayoutRows();
}

void UITableView::setTableHeaderView(std::shared_ptr<UIView> view) {
    if (tableHeaderView_) tableHeaderView_->removeFromSuperview();
    tableHeaderView_ = std::move(view);
    if (tableHeaderView_) addSubview(tableHeaderView_);
    relayoutRows();
}

void UITableView::setTableFooterView(std::shared_ptr<UIView> view) {
    if (tableFooterView_) tableFooterView_->removeFromSuperview();
    tableFooterView_ = std::move(view);
    if (tableFooterView_) addSubview(tableFooterView_);
    relayoutRows();
}

void UITableView::setSeparatorStyle(UITableViewCellSeparatorStyle s) {
    separatorStyle_ = s;
    for (const auto& [path, cell] : visible_) configureCell(*cell, path);
}

void UITableView::setSeparatorColor(UIColorRef color) {
    separatorColor_ = std::move(color);
    for (const auto& [path, cell] : visible_) configureCell(*cell, path);
}

void UITableView::relayoutRows() {
    if (!loaded_) return;
    computeGeometry();
    tile();
}

void UITableView::computeGeometry() {
    auto self = sharedSelf<UITableView>();
    auto ds = dataSource();
    auto d = delegate();
    sections_.clear();
    CGFloat y = tableHeaderView_ ? tableHeaderView_->frame().size.height : 0;
    const int count = ds ? std::max(0, ds->numberOfSectionsInTableView(self)) : 0;
    for (int s = 0; s < count; ++s) {
        Section sec;
        sec.top = y;
        sec.headerHeight =
            std::max<CGFloat>(0, (d ? d->tableViewHeightForHeaderInSection(self, s) : std::nullopt)
                                     .value_or(sectionHeaderHeight_));
        const int rows = std::max(0, ds->tableViewNumberOfRowsInSection(self, s));
        sec.rowTops.reserve(static_cast<size_t>(rows) + 1);
        y += sec.headerHeight;
        for (int r = 0; r < rows; ++r) {
            sec.rowTops.push_back(y);
            const auto h = d ? d->tableViewHeightForRowAtIndexPath(self, {s, r}) : std::nullopt;
            y += std::max<CGFloat>(0, h.value_or(rowHeight_));
        }
        sec.rowTops.push_back(y);
        sec.footerHeight =
            std::max<CGFloat>(0, (d ? d->tableViewHeightForFooterInSection(self, s) : std::nullopt)
                                     .value_or(sectionFooterHeight_));
        y = sec.bottom();
        sections_.push_back(std::move(sec));
    }
    if (tableFooterView_) y += tableFooterView_->frame().size.height;
    setContentSize(CGSizeMake(bounds().size.width, y));
    layoutTableViews();
}

void UITableView::layoutTableViews() {
    const CGFloat w = bounds().size.width;
    if (tableHeaderView_) {
        tableHeaderView_->setFrame(CGRectMake(0, 0, w, tableHeaderView_->frame().size.height));
    }
    if (tableFooterView_) {
        const CGFloat top = sections_.empty()
                                ? (tableHeaderView_ ? tableHeaderView_->frame().size.height : 0)
                                : sections_.back().bottom();
        tableFooterView_->setFrame(CGRectMake(0, top, w, tableFooterView_->frame().size.height));
    }
}

void UITableView::reloadData() {
    auto self = sharedSelf<UITableView>();
    loaded_ = true;
    selected_.clear();
    highlighted_.reset();
    const auto cells = visible_;
    visible_.clear();
    // Last row first, so that the pool hands each row its own cell back and unchanged rows
    // keep what they drew.
    for (auto it = cells.rbegin(); it != cells.rend(); ++it) enqueue(it->second);
    for (auto* views : {&headerViews_, &footerViews_}) {
        for (const auto& [section, view] : *views)
            if (view) view->removeFromSuperview();
        views->clear();
    }
    computeGeometry();
    tile();
}

void UITableView::reloadRowsAtIndexPaths(const std::vector<NSIndexPath>& indexPaths,
                                         UITableViewRowAnimation) {
    auto self = sharedSelf<UITableView>();
    if (!loaded_) return;
    for (const auto& path : indexPaths) {
        auto it = visible_.find(path);
        if (it == visible_.end()) continue;
        auto cell = it->second;
        visible_.erase(it);
        enqueue(cell);
    }
    computeGeometry();
    tile();
}

std::shared_ptr<UITableViewCell> UITableView::dequeueReusableCellWithIdentifier(
    const std::string& identifier) {
    auto it = reusePool_.find(identifier);
    if (it == reusePool_.end() || it->second.empty()) return nullptr;
    auto cell = std::move(it->second.back());
    it->second.pop_back();
    cell->prepareForReuse();
    return cell;
}

void UITableView::enqueue(const std::shared_ptr<UITableViewCell>& cell) {
    cell->removeFromSuperview();
    // A cell without an identifier cannot be asked for again.
    if (!cell->reuseIdentifier().empty()) reusePool_[cell->reuseIdentifier()].push_back(cell);
}

bool UITableView::isValid(const NSIndexPath& p) const {
    return p.section >= 0 && p.section < numberOfSections() && p.row >= 0 &&
           p.row < numberOfRowsInSection(p.section);
}

int UITableView::numberOfRowsInSection(int section) const {
    if (section < 0 || section >= numberOfSections()) return 0;
    return static_cast<int>(sections_[static_cast<size_t>(section)].rowTops.size()) - 1;
}

CGRect UITableView::rectForRowAtIndexPath(const NSIndexPath& p) const {
    if (!isValid(p)) return CGRectZero;
    const auto& tops = sections_[static_cast<size_t>(p.section)].rowTops;
    const auto r = static_cast<size_t>(p.row);
    return CGRectMake(0, tops[r], bounds().size.width, tops[r + 1] - tops[r]);
}

CGRect UITableView::rectForHeaderInSection(int section) const {
    if (section < 0 || section >= numberOfSections()) return CGRectZero;
    const Section& s = sections_[static_cast<size_t>(section)];
    return CGRectMake(0, s.top, bounds().size.width, s.headerHeight);
}

CGRect UITableView::rectForFooterInSection(int section) const {
    if (section < 0 || section >= numberOfSections()) return CGRectZero;
    const Section& s = sections_[static_cast<size_t>(section)];
    return CGRectMake(0, s.rowTops.back(), bounds().size.width, s.footerHeight);
}

std::optional<NSIndexPath> UITableView::indexPathForRowAtPoint(CGPoint p) const {
    for (size_t s = 0; s < sections_.size(); ++s) {
        const auto& tops = sections_[s].rowTops;
        if (p.y < tops.front() || p.y >= tops.back()) continue;
        const auto it = std::upper_bound(tops.begin(), tops.end(), p.y);
        return NSIndexPath{static_cast<int>(s), static_cast<int>(it - tops.begin()) - 1};
    }
    return std::nullopt;
}

std::optional<NSIndexPath> UITableView::indexPathForCell(const UITableViewCell* cell) const {
    for (const auto& [path, c] : visible_)
        if (c.get() == cell) return path;
    return std::nullopt;
}

std::shared_ptr<UITableViewCell> UITableView::cellForRowAtIndexPath(const NSIndexPath& p) const {
    auto it = visible_.find(p);
    return it == visible_.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<UITableViewCell>> UITableView::visibleCells() const {
    std::vector<std::shared_ptr<UITableViewCell>> out;
    out.reserve(visible_.size());
    for (const auto& [path, cell] : visible_) out.push_back(cell);
    return out;
}

std::vector<NSIndexPath> UITableView::indexPathsForVisibleRows() const {
    std::vector<NSIndexPath> out;
    out.reserve(visible_.size());
    for (const auto& [path, cell] : visible_) out.push_back(path);
    return out;
}

std::shared_ptr<UIView> UITableView::headerViewForSection(int section) const {
    auto it = headerViews_.find(section);
    return it == headerViews_.end() ? nullptr : it->second;
}

std::shared_ptr<UIView> UITableView::footerViewForSection(int section) const {
    auto it = footerViews_.find(section);
    return it == footerViews_.end() ? nullptr : it->second;
}

void UITableView::scrollToRowAtIndexPath(const NSIndexPath& p, UITableViewScrollPosition position,
                                         bool animated) {
    if (!isValid(p)) return;
    const CGRect r = rectForRowAtIndexPath(p);
    const CGFloat h = bounds().size.height;
    CGPoint o = contentOffset();
    switch (position) {
        case UITableViewScrollPositionTop:
            o.y = r.origin.y;
            break;
        case UITableViewScrollPositionMiddle:
            o.y = CGRectGetMidY(r) - h / 2;
            break;
        case UITableViewScrollPositionBottom:
            o.y = CGRectGetMaxY(r) - h;
            break;
        case UITableViewScrollPositionNone:
            // Just enough to bring the row in.
            if (r.origin.y < o.y) {
                o.y = r.origin.y;
            } else if (CGRectGetMaxY(r) > o.y + h) {
                o.y = CGRectGetMaxY(r) - h;
            }
            break;
    }
    o.y = std::min(std::max(o.y, minimumContentOffset().y), maximumContentOffset().y);
    if (o == contentOffset()) return;
    setContentOffset(o, animated);
}

void UITableView::layoutSubviews() {
    if (!loaded_) {
        if (dataSource()) reloadData();
        return;
    }
    const CGFloat w = bounds().size.width;
    if (contentSize().width != w) setContentSize(CGSizeMake(w, contentSize().height));
    layoutTableViews();
    tile();
}

void UITableView::contentOffsetDidChange() {
    if (loaded_) tile();
}

void UITableView::configureCell(UITableViewCell& cell, const NSIndexPath& path) {
    const CGRect r = rectForRowAtIndexPath(path);
    if (cell.frame() != r) cell.setFrame(r);
    cell.setEditing(editing_, false);
    cell.setShowsSelectionMark(usesSelectionMarks(path));
    cell.setSelected(selected_.contains(path), false);
    cell.setHighlighted(highlighted_ == path, false);
    cell.setSeparator(separatorStyle_ != UITableViewCellSeparatorStyleNone, separatorColor_);
}

void UITableView::tile() {
    if (tiling_) return;
    tiling_ = true;
    auto self = sharedSelf<UITableView>();
    const CGFloat top = contentOffset().y;
    const CGFloat bottom = top + bounds().size.height;
    std::vector<NSIndexPath> needed;
    for (size_t s = 0; s < sections_.size() && bottom > top; ++s) {
        const auto& tops = sections_[s].rowTops;
        if (tops.back() <= top || tops.front() >= bottom) continue;
        auto it = std::upper_bound(tops.begin(), tops.end(), top);
        size_t r = it == tops.begin() ? 0 : static_cast<size_t>(it - tops.begin()) - 1;
        for (; r + 1 < tops.size() && tops[r] < bottom; ++r) {
            if (tops[r + 1] > top) needed.push_back({static_cast<int>(s), static_cast<int>(r)});
        }
    }
    for (auto it = visible_.begin(); it != visible_.end();) {
        if (std::binary_search(needed.begin(), needed.end(), it->first)) {
            ++it;
            continue;
        }
        enqueue(it->second);
        it = visible_.erase(it);
    }
    auto ds = dataSource();
    for (const auto& path : needed) {
        if (auto it = visible_.find(path); it != visible_.end()) {
            const CGRect r = rectForRowAtIndexPath(path);
            if (it->second->frame() != r) it->second->setFrame(r);
            continue;
        }
        if (!ds) break;
        auto cell = ds->tableViewCellForRowAtIndexPath(self, path);
        // A data source that gives no cell leaves its row blank rather than breaking the list.
        if (!cell) continue;
        visible_[path] = cell;
        configureCell(*cell, path);
        insertSubviewAtIndex(cell, 0);
        if (auto d = delegate()) d->tableViewWillDisplayCell(self, cell, path);
    }
    tileSectionViews(top, bottom);
    tiling_ = false;
}

void UITableView::tileSectionViews(CGFloat top, CGFloat bottom) {
    auto self = sharedSelf<UITableView>();
    auto d = delegate();
    auto place = [&](std::map<int, std::shared_ptr<UIView>>& views, int s, CGRect r, bool header) {
        const bool shown = r.size.height > 0 && r.origin.y < bottom && CGRectGetMaxY(r) > top;
        auto it = views.find(s);
        if (!shown) {
            if (it != views.end()) {
                if (it->second) it->second->removeFromSuperview();
                views.erase(it);
            }
            return;
        }
        if (it == views.end()) {
            // Asked once while on screen; a null answer is remembered too.
            std::shared_ptr<UIView> view;
            if (d) {
                view = header ? d->tableViewViewForHeaderInSection(self, s)
                              : d->tableViewViewForFooterInSection(self, s);
            }
            it = views.emplace(s, view).first;
            if (view) addSubview(view);
        }
        if (it->second && it->second->frame() != r) it->second->setFrame(r);
    };
    // A section's header sticks to the top of the visible area while its rows pass under it,
    // and its footer to the bottom, each within its own section.
    const CGFloat pinTop = top + contentInset().top;
    const CGFloat pinBottom = bottom - contentInset().bottom;
    for (int s = 0; s < numberOfSections(); ++s) {
        const Section& sec = sections_[static_cast<size_t>(s)];
        CGRect header = rectForHeaderInSection(s);
        header.origin.y =
            std::max(sec.top, std::min(pinTop, sec.rowTops.back() - header.size.height));
        CGRect footer = rectForFooterInSection(s);
        footer.origin.y = std::min(sec.rowTops.back(),
                                   std::max(pinBottom - footer.size.height, sec.rowTops.front()));
        place(headerViews_, s, header, true);
        place(footerViews_, s, footer, false);
    }
}

std::optional<NSIndexPath> UITableView::indexPathForSelectedRow() const {
    if (selected_.empty()) return std::nullopt;
    return *selected_.begin();
}

std::vector<NSIndexPath> UITableView::indexPathsForSelectedRows() const {
    return {selected_.begin(), selected_.end()};
}

void UITableView::selectRowAtIndexPath(const NSIndexPath& p, bool animated,
                                       UITableViewScrollPosition position) {
    if (!isValid(p)) return;
    if (!usesSelectionMarks(p)) {
        for (const auto& other : indexPathsForSelectedRows())
            if (other != p) deselectRowAtIndexPath(other, animated);
    }
    selected_.insert(p);
    if (auto cell = cellForRowAtIndexPath(p)) cell->setSelected(true, animated);
    if (position != UITableViewScrollPositionNone) scrollToRowAtIndexPath(p, position, animated);
}

void UITableView::deselectRowAtIndexPath(const NSIndexPath& p, bool animated) {
    selected_.erase(p);
    if (auto cell = cellForRowAtIndexPath(p)) cell->setSelected(false, animated);
}

void UITableView::clearSelection() {
    for (const auto& p : indexPathsForSelectedRows()) deselectRowAtIndexPath(p, false);
}

void UITableView::setEditing(bool editing, bool animated) {
    if (editing == editing_) return;
    editing_ = editing;
    clearSelection();
    for (const auto& [path, cell] : visible_) {
        cell->setEditing(editing, animated);
        cell->setShowsSelectionMark(usesSelectionMarks(path));
    }
}

void UITableView::setAllowsMultipleSelectionDuringEditing(bool a) {
    multiSelectDuringEditing_ = a;
    for (const auto& [path, cell] : visible_) cell->setShowsSelectionMark(usesSelectionMarks(path));
}

bool UITableView::usesSelectionMarks(const NSIndexPath& path) {
    if (!editing_) return false;
    if (multiSelectDuringEditing_) return true;
    auto d = delegate();
    if (!d) return false;
    return d->tableViewEditingStyleForRowAtIndexPath(sharedSelf<UITableView>(), path) ==
           UITableViewCellEditingStyleMultiSelect;
}

bool UITableView::touchIsOnControl(UITouch& touch) const {
    for (auto v = touch.view(); v && v.get() != this; v = v->superview()) {
        if (dynamic_cast<UIControl*>(v.get())) return true;
    }
    return false;
}

void UITableView::highlight(const std::optional<NSIndexPath>& path) {
    if (highlighted_ == path) return;
    if (highlighted_) {
        if (auto cell = cellForRowAtIndexPath(*highlighted_)) cell->setHighlighted(false, false);
    }
    highlighted_ = path;
    if (path) {
        if (auto cell = cellForRowAtIndexPath(*path)) cell->setHighlighted(true, false);
    }
}

void UITableView::trackingBeganWithTouch(UITouch& touch) {
    if (touchIsOnControl(touch)) return;
    const auto path = indexPathForRowAtPoint(touch.locationInView(this));
    if (!path || (editing_ && !usesSelectionMarks(*path))) return;
    highlight(path);
}

void UITableView::trackingCancelled() { highlight(std::nullopt); }

void UITableView::trackingTappedWithTouch(UITouch& touch) {
    auto self = sharedSelf<UITableView>();
    highlight(std::nullopt);
    if (touchIsOnControl(touch)) return;
    const auto found = indexPathForRowAtPoint(touch.locationInView(this));
    if (!found) return;
    const NSIndexPath path = *found;
    auto d = delegate();
    if (editing_) {
        // Only rows with a selection mark are chosen while editing, and they toggle.
        if (!usesSelectionMarks(path)) return;
        if (selected_.contains(path)) {
            deselectRowAtIndexPath(path, false);
            if (d) d->tableViewDidDeselectRowAtIndexPath(self, path);
        } else {
            selectRowAtIndexPath(path, false, UITableViewScrollPositionNone);
            if (d) d->tableViewDidSelectRowAtIndexPath(self, path);
        }
        return;
    }
    for (const auto& other : indexPathsForSelectedRows()) {
        if (other == path) continue;
        deselectRowAtIndexPath(other, false);
        if (d) d->tableViewDidDeselectRowAtIndexPath(self, other);
    }
    selectRowAtIndexPath(path, false, UITableViewScrollPositionNone);
    if (d) d->tableViewDidSelectRowAtIndexPath(self, path);
}
