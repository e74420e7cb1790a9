#include <map>
#include <set>

#include "UIKit/UIButton.h"
#include "UIKit/UITableView.h"
#include "UITestCommon.h"

namespace {

using namespace testsupport;

std::string str(const NSIndexPath& p) {
    return std::to_string(p.section) + "." + std::to_string(p.row);
}

// Rows per section as given; counts what the table asks of it.
class Rows : public UITableViewDataSource, public UITableViewDelegate {
  public:
    std::vector<int> rows{1000};
    std::function<std::optional<CGFloat>(const NSIndexPath&)> height = [](const NSIndexPath&) {
        return std::nullopt;
    };
    std::map<int, CGFloat> headerHeights, footerHeights;
    std::optional<UITableViewCellEditingStyle> editingStyle;
    std::function<void(const std::shared_ptr<UITableViewCell>&)> decorate;

    int cellsMade = 0;
    std::set<const UITableViewCell*> distinct;
    std::vector<std::string> asked;      // cellForRow, in order
    std::vector<std::string> callbacks;  // select/deselect/header/footer asks
    std::vector<std::string> displayed;

    int numberOfSectionsInTableView(const std::shared_ptr<UITableView>&) override {
        return static_cast<int>(rows.size());
    }
    int tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, int s) override {
        return rows[static_cast<size_t>(s)];
    }
    std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(
        const std::shared_ptr<UITableView>& table, const NSIndexPath& p) override {
        asked.push_back(str(p));
        auto cell = table->dequeueReusableCellWithIdentifier("row");
        if (!cell) {
            cell = UITableViewCell::create(UITableViewCellStyleSubtitle, "row");
            ++cellsMade;
        }
        distinct.insert(cell.get());
        cell->textLabel()->setText("第" + std::to_string(p.row) + "行");
        cell->setTag(p.section * 10000 + p.row);
        if (decorate) decorate(cell);
        return cell;
    }
    std::optional<CGFloat> tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                            const NSIndexPath& p) override {
        return height(p);
    }
    static std::optional<CGFloat> heightIn(const std::map<int, CGFloat>& heights, int s) {
        const auto it = heights.find(s);
        return it == heights.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<CGFloat> tableViewHeightForHeaderInSection(const std::shared_ptr<UITableView>&,
                                                             int s) override {
        return heightIn(headerHeights, s);
    }
    std::optional<CGFloat> tableViewHeightForFooterInSection(const std::shared_ptr<UITableView>&,
                                                             int s) override {
        return heightIn(footerHeights, s);
    }
    std::shared_ptr<UIView> tableViewViewForHeaderInSection(const std::shared_ptr<UITableView>&,
                                                            int s) override {
        callbacks.push_back("header " + std::to_string(s));
        return UIView::create();
    }
    std::shared_ptr<UIView> tableViewViewForFooterInSection(const std::shared_ptr<UITableView>&,
                                                            int s) override {
        callbacks.push_back("footer " + std::to_string(s));
        return UIView::create();
    }
    void tableViewWillDisplayCell(const std::shared_ptr<UITableView>&,
                                  const std::shared_ptr<UITableViewCell>& cell,
                                  const NSIndexPath& p) override {
        EXPECT_EQ(cell->tag(), p.section * 10000 + p.row);
        displayed.push_back(str(p));
    }
    void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                          const NSIndexPath& p) override {
        callbacks.push_back("select " + str(p));
    }
    void tableViewDidDeselectRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                            const NSIndexPath& p) override {
        callbacks.push_back("deselect " + str(p));
    }
    std::optional<UITableViewCellEditingStyle> tableViewEditingStyleForRowAtIndexPath(
        const std::shared_ptr<UITableView>&, const NSIndexPath&) override {
        return editingStyle;
    }
};

class TableViewTest : public testsupport::ManualClockTest {
  protected:
    void SetUp() override {
        host = std::make_unique<HeadlessHost>();
        rows = std::make_shared<Rows>();
        table = UITableView::create(CGRectMake(0, 64, 320, 480));
        host->window()->addSubview(table);
    }
    void load() {
        table->setDataSource(rows);
        table->setDelegate(rows);
        table->reloadData();
    }
    // A row's centre in window coordinates.
    CGPoint centreOf(const NSIndexPath& p) {
        const CGRect r = table->convertRectToView(table->rectForRowAtIndexPath(p), nullptr);
        return {CGRectGetMidX(r), CGRectGetMidY(r)};
    }

    std::unique_ptr<HeadlessHost> host;
    std::shared_ptr<Rows> rows;
    std::shared_ptr<UITableView> table;
};

TEST_F(TableViewTest, ThousandRowsMakeOnlyTheVisibleCellsReuseThemAndScrollToARow) {
    load();
    EXPECT_EQ(table->contentSize().height, 44000);
    // 480 / 44: rows 0 to 10 show.
    EXPECT_EQ(rows->cellsMade, 11);
    EXPECT_EQ(table->indexPathsForVisibleRows().back(), NSIndexPath::indexPathForRow(10, 0));
    for (CGFloat y = 0; y <= 30000; y += 7) {
        table->setContentOffset({0, y});
        ASSERT_LE(table->visibleCells().size(), 12u);
    }
    EXPECT_EQ(table->cellForRowAtIndexPath({0, 0}), nullptr);
    EXPECT_GT(rows->asked.size(), 600u);
    EXPECT_LE(rows->cellsMade, 13);
    EXPECT_EQ(rows->distinct.size(), static_cast<size_t>(rows->cellsMade));
    // The cells on screen sit at their rows and only they are in the table.
    for (const auto& p : table->indexPathsForVisibleRows()) {
        auto cell = table->cellForRowAtIndexPath(p);
        EXPECT_EQ(cell->frame(), CGRectMake(0, 44.0 * p.row, 320, 44));
        EXPECT_EQ(cell->superview(), table);
        EXPECT_EQ(cell->textLabel()->text(), "第" + std::to_string(p.row) + "行");
    }
    size_t cellsInTable = 0;
    for (const auto& v : table->subviews())
        if (std::dynamic_pointer_cast<UITableViewCell>(v)) ++cellsInTable;
    EXPECT_EQ(cellsInTable, table->visibleCells().size());
    // Every cell shown was announced before it showed.
    EXPECT_EQ(rows->displayed, rows->asked);

    // Scrolling to a row places it as asked, within the content, and not at all when visible.
    const struct {
        int row;
        UITableViewScrollPosition position;
        CGFloat offset;
    } scrolls[] = {{100, UITableViewScrollPositionTop, 4400},
                   {100, UITableViewScrollPositionMiddle, 4400 + 22 - 240},
                   {100, UITableViewScrollPositionBottom, 4444 - 480},
                   {999, UITableViewScrollPositionTop, 44000 - 480},
                   {995, UITableViewScrollPositionNone, 44000 - 480}};
    for (const auto& c : scrolls) {
        table->scrollToRowAtIndexPath({0, c.row}, c.position, false);
        EXPECT_EQ(table->contentOffset().y, c.offset) << c.row << " " << c.position;
    }
    table->scrollToRowAtIndexPath({0, 0}, UITableViewScrollPositionNone, true);
    for (int i = 0; i < 30; ++i) {
        Clock::advance(1.0 / 60);
        loop->runOnce();
    }
    EXPECT_EQ(table->contentOffset().y, 0);
    EXPECT_NE(table->cellForRowAtIndexPath({0, 0}), nullptr);
}

TEST_F(TableViewTest, DelegateHeightsHeadersAndFootersLayTheContentOut) {
    rows->rows = {3, 2};
    rows->height = [](const NSIndexPath& p) -> std::optional<CGFloat> {
        if (p.section == 0) return 30.0 + 10 * p.row;
        return std::nullopt;  // the table's row height
    };
    rows->headerHeights = {{0, 20}, {1, 25}};
    rows->footerHeights = {{0, 15}, {1, 0}};
    table->setRowHeight(50);
    auto header = UIView::create(CGRectMake(0, 0, 10, 100));
    auto footer = UIView::create(CGRectMake(0, 0, 10, 40));
    table->setTableHeaderView(header);
    table->setTableFooterView(footer);
    load();

    // 100 header, 20 section header, rows 30/40/50, footer 15, 25 header, rows 50/50, 0 footer.
    EXPECT_EQ(table->rectForRowAtIndexPath({0, 0}), CGRectMake(0, 120, 320, 30));
    EXPECT_EQ(table->rectForRowAtIndexPath({0, 2}), CGRectMake(0, 190, 320, 50));
    EXPECT_EQ(table->rectForRowAtIndexPath({1, 1}), CGRectMake(0, 330, 320, 50));
    EXPECT_EQ(table->rectForRowAtIndexPath({2, 0}), CGRectZero);
    EXPECT_EQ(header->frame(), CGRectMake(0, 0, 320, 100));
    EXPECT_EQ(footer->frame(), CGRectMake(0, 380, 320, 40));
    EXPECT_EQ(table->contentSize().height, 420);

    EXPECT_EQ(table->headerViewForSection(0)->frame(), CGRectMake(0, 100, 320, 20));
    EXPECT_EQ(table->footerViewForSection(0)->frame(), CGRectMake(0, 240, 320, 15));
    EXPECT_EQ(table->headerViewForSection(1)->frame(), CGRectMake(0, 255, 320, 25));
    EXPECT_EQ(table->footerViewForSection(1), nullptr);
    EXPECT_EQ(rows->callbacks, (std::vector<std::string>{"header 0", "footer 0", "header 1"}));
    EXPECT_EQ(table->indexPathForRowAtPoint({10, 189}), NSIndexPath::indexPathForRow(1, 0));
    EXPECT_EQ(table->indexPathForRowAtPoint({10, 245}), std::nullopt);  // a footer

    // A header stays at the top while its rows pass under it, until its section ends.
    table->setContentOffset({0, 130});
    EXPECT_EQ(table->headerViewForSection(0)->frame().origin.y, 130);
    EXPECT_EQ(table->headerViewForSection(1)->frame().origin.y, 255);
    table->setContentOffset({0, 230});
    EXPECT_EQ(table->headerViewForSection(0)->frame().origin.y, 220);
    EXPECT_EQ(table->footerViewForSection(0)->frame().origin.y, 240);
    // A footer waits at the bottom of a short view until its section's end comes up.
    table->setFrame(CGRectMake(0, 64, 320, 100));
    table->setContentOffset({0, 100});
    table->layoutIfNeeded();
    ASSERT_NE(table->footerViewForSection(0), nullptr);
    EXPECT_EQ(table->footerViewForSection(0)->frame().origin.y, 185);
    EXPECT_EQ(table->headerViewForSection(0)->frame().origin.y, 100);
    table->setFrame(CGRectMake(0, 64, 320, 480));
    // Scrolling does not ask again for views still on screen; reloading does.
    table->setContentOffset({0, 10});
    const size_t asked = rows->callbacks.size();
    table->setContentOffset({0, 12});
    EXPECT_EQ(rows->callbacks.size(), asked);
    table->reloadData();
    EXPECT_EQ(rows->callbacks.size(), asked + 3);
    EXPECT_EQ(std::count(rows->callbacks.begin(), rows->callbacks.end(), "footer 1"), 0);
}

TEST_F(TableViewTest, TapSelectsAnotherTapMovesTheSelectionAndButtonsInCellsKeepTheirTaps) {
    int pressed = 0;
    rows->decorate = [&pressed](const std::shared_ptr<UITableViewCell>& cell) {
        if (cell->contentView()->viewWithTag(7)) return;
        auto b = UIButton::create(CGRectMake(250, 5, 60, 30));
        b->setTag(7);
        b->addTarget(
            {}, [&pressed](const std::shared_ptr<UIControl>&, UIEvent*) { ++pressed; },
            UIControlEventTouchUpInside);
        cell->contentView()->addSubview(b);
    };
    load();
    host->tap(centreOf({0, 2}));
    host->tap(centreOf({0, 4}));
    EXPECT_EQ(rows->callbacks,
              (std::vector<std::string>{"select 0.2", "deselect 0.2", "select 0.4"}));
    EXPECT_FALSE(table->cellForRowAtIndexPath({0, 2})->isSelected());
    EXPECT_EQ(table->indexPathsForSelectedRows(),
              (std::vector<NSIndexPath>{NSIndexPath::indexPathForRow(4, 0)}));

    // Programmatic changes do not call back.
    rows->callbacks.clear();
    table->selectRowAtIndexPath({0, 6}, false, UITableViewScrollPositionNone);
    table->deselectRowAtIndexPath({0, 6}, false);
    EXPECT_TRUE(rows->callbacks.empty());

    // A drag over rows selects nothing, and the highlight goes when the drag begins.
    host->touchDown(0, centreOf({0, 3}));
    EXPECT_TRUE(table->cellForRowAtIndexPath({0, 3})->isHighlighted());
    Clock::advance(0.02);
    host->touchMove(0, {160, centreOf({0, 3}).y - 30});
    EXPECT_FALSE(table->cellForRowAtIndexPath({0, 3})->isHighlighted());
    Clock::advance(0.5);
    host->touchUp(0, {160, centreOf({0, 3}).y - 30});
    EXPECT_TRUE(rows->callbacks.empty());

    host->tap({280, centreOf({0, 1}).y});
    EXPECT_EQ(pressed, 1);
    EXPECT_TRUE(rows->callbacks.empty());
}

TEST_F(TableViewTest, MultipleSelectionWhileEditingKeepsRowsSelectedAndFollowsTheEditingStyle) {
    load();
    table->selectRowAtIndexPath({0, 0}, false, UITableViewScrollPositionNone);
    table->setAllowsMultipleSelectionDuringEditing(true);
    table->setEditing(true, true);
    EXPECT_EQ(table->indexPathForSelectedRow(), std::nullopt);  // entering editing clears it
    EXPECT_TRUE(table->cellForRowAtIndexPath({0, 1})->showsSelectionMark());
    EXPECT_TRUE(table->cellForRowAtIndexPath({0, 1})->isEditing());

    for (int r : {1, 3, 5}) host->tap(centreOf({0, r}));
    EXPECT_EQ(table->indexPathsForSelectedRows().size(), 3u);
    host->tap(centreOf({0, 3}));
    EXPECT_EQ(rows->callbacks,
              (std::vector<std::string>{"select 0.1", "select 0.3", "select 0.5", "deselect 0.3"}));
    EXPECT_EQ(table->indexPathsForSelectedRows(), (std::vector<NSIndexPath>{{0, 1}, {0, 5}}));
    // The content moved aside for the marks.
    host->window()->layoutIfNeeded();
    EXPECT_EQ(table->cellForRowAtIndexPath({0, 1})->contentView()->frame().origin.x,
              UITableViewCell::kSelectionMarkWidth);

    // Scrolled away and back, the rows are still selected.
    table->setContentOffset({0, 2000});
    table->setContentOffset({0, 0});
    EXPECT_TRUE(table->cellForRowAtIndexPath({0, 5})->isSelected());
    EXPECT_TRUE(table->cellForRowAtIndexPath({0, 5})->showsSelectionMark());

    table->setEditing(false, false);
    EXPECT_TRUE(table->indexPathsForSelectedRows().empty());
    EXPECT_FALSE(table->cellForRowAtIndexPath({0, 5})->showsSelectionMark());
    EXPECT_FALSE(table->cellForRowAtIndexPath({0, 5})->isSelected());

    // The multi-select editing style gives marks without the flag; rows without marks are not
    // chosen while editing.
    table->setAllowsMultipleSelectionDuringEditing(false);
    for (const auto style :
         {UITableViewCellEditingStyleMultiSelect, UITableViewCellEditingStyleDelete}) {
        rows->editingStyle = style;
        table->setEditing(true);
        const bool marks = style == UITableViewCellEditingStyleMultiSelect;
        EXPECT_EQ(table->cellForRowAtIndexPath({0, 0})->showsSelectionMark(), marks);
        host->tap(centreOf({0, 0}));
        host->tap(centreOf({0, 2}));
        EXPECT_EQ(table->indexPathsForSelectedRows().size(), marks ? 2u : 0u);
        table->setEditing(false);
    }
}

TEST_F(TableViewTest, ReloadingAsksAgainAndFollowsTheData) {
    load();
    table->selectRowAtIndexPath({0, 1}, false, UITableViewScrollPositionNone);
    rows->asked.clear();
    table->reloadRowsAtIndexPaths({{0, 2}, {0, 500}}, UITableViewRowAnimationNone);
    EXPECT_EQ(rows->asked, (std::vector<std::string>{"0.2"}));
    EXPECT_EQ(table->indexPathForSelectedRow(), NSIndexPath::indexPathForRow(1, 0));

    // New heights move the rows but keep the cells and the selection.
    const auto cell2 = table->cellForRowAtIndexPath({0, 2});
    table->setRowHeight(50);
    EXPECT_EQ(table->cellForRowAtIndexPath({0, 2}), cell2);
    EXPECT_EQ(cell2->frame(), CGRectMake(0, 100, 320, 50));
    EXPECT_EQ(table->indexPathForSelectedRow(), NSIndexPath::indexPathForRow(1, 0));
    EXPECT_EQ(table->contentSize().height, 50000);
    table->setRowHeight(44);

    // Each row gets its own cell back, so what did not change need not be drawn again.
    const auto before = table->visibleCells();
    table->reloadData();
    EXPECT_EQ(table->visibleCells(), before);

    rows->rows = {3};
    const int made = rows->cellsMade;
    table->reloadData();
    EXPECT_EQ(table->visibleCells().size(), 3u);
    EXPECT_EQ(table->contentSize().height, 132);
    EXPECT_EQ(rows->cellsMade, made);  // all from the pool
    EXPECT_EQ(table->indexPathForSelectedRow(), std::nullopt);

    rows->rows = {};
    table->reloadData();
    EXPECT_TRUE(table->visibleCells().empty());
    EXPECT_EQ(table->contentSize().height, 0);
}

TEST_F(TableViewTest, SelectedRowShowsItsBackgroundAndSeparatorsFollowTheTable) {
    rows->decorate = [](const std::shared_ptr<UITableViewCell>& cell) {
        cell->setSelectionStyle(cell->tag() == 3 ? UITableViewCellSelectionStyleNone
                                                 : UITableViewCellSelectionStyleGray);
    };
    table->setSeparatorColor(UIColor::redColor());
    load();
    // Row 3 has no selection look.
    table->selectRowAtIndexPath({0, 3}, false, UITableViewScrollPositionNone);
    auto image = host->compose();
    EXPECT_TRUE(colourNear(screenPixel(image, 300, 64 + 44 * 3 + 10), kWhite));
    // Row 1 spans 108..152 on screen; the right end of the row has no text.
    table->selectRowAtIndexPath({0, 1}, false, UITableViewScrollPositionNone);
    image = host->compose();
    EXPECT_TRUE(colourNear(screenPixel(image, 300, 120), {0.85, 0.85, 0.85, 1}));
    // The separator runs along the bottom of each row, after the inset.
    EXPECT_TRUE(colourNear(screenPixel(image, 100, 64 + 44 - 0.25), kRed));
    EXPECT_TRUE(colourNear(screenPixel(image, 5, 64 + 44 - 0.25), kWhite));

    table->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
    image = host->compose();
    EXPECT_TRUE(colourNear(screenPixel(image, 100, 64 + 44 - 0.25), kWhite));
}

TEST(TableViewCell, StylesLayOutTheirLabelsAndReuseClearsState) {
    auto subtitle = UITableViewCell::create(UITableViewCellStyleSubtitle, "a");
    subtitle->setFrame(CGRectMake(0, 0, 320, 60));
    subtitle->textLabel()->setText("标题");
    subtitle->detailTextLabel()->setText("详情");
    subtitle->layoutIfNeeded();
    const CGRect title = subtitle->textLabel()->frame();
    const CGRect detail = subtitle->detailTextLabel()->frame();
    EXPECT_DOUBLE_EQ(CGRectGetMaxY(title), detail.origin.y);
    EXPECT_NEAR(title.origin.y, 60 - CGRectGetMaxY(detail), 0.01);  // centred as a pair

    auto value1 = UITableViewCell::create(UITableViewCellStyleValue1, "c");
    value1->textLabel()->setText("型号");
    value1->detailTextLabel()->setText("X1");
    value1->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
    value1->layoutIfNeeded();
    EXPECT_EQ(value1->contentView()->frame().size.width, 320 - 33);
    EXPECT_DOUBLE_EQ(CGRectGetMaxX(value1->detailTextLabel()->frame()), 320 - 33 - 15);

    value1->setSelected(true);
    value1->setHighlighted(true);
    ASSERT_NE(value1->selectedBackgroundView(), nullptr);
    EXPECT_EQ(value1->selectedBackgroundView()->superview(), value1);
    value1->prepareForReuse();
    EXPECT_FALSE(value1->isSelected());
    EXPECT_FALSE(value1->isHighlighted());
    EXPECT_EQ(value1->selectedBackgroundView()->superview(), nullptr);
}

}  // namespace
