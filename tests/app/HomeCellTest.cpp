#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "inquiries/HomeCell.h"

namespace {

std::shared_ptr<HomeCell> builtHomeCell(std::vector<std::pair<std::string, int>>* taps = nullptr) {
    auto cell = HomeCell::create(UITableViewCellStyleSubtitle, "homeCell");
    auto record = [taps](const char* which) {
        return [taps, which](const std::shared_ptr<UIButton>& b) {
            if (taps) taps->push_back({which, b->tag()});
        };
    };
    cell->setupCellWithFrame(CGRectMake(0, 0, 320, 170), {}, record("favourite"), record("quote"));
    return cell;
}

TEST(HomeCellTest, UpdateShowsTheRecordAndTagsTheButtonsWithTheRow) {
    struct Case {
        std::string time, favourite, shownTime, shownTitle;
    };
    const std::vector<Case> cases = {
        {"2026-11-30 09:15:02.123", "1", "2026-11-30 09:15:02", "取消收藏"},
        {"2026-11-30 09:15:02", "0", "2026-11-30 09:15:02", "收 藏"},
        {"", "", "", "收 藏"},
    };
    int row = 0;
    for (const auto& c : cases) {
        std::vector<std::pair<std::string, int>> taps;
        const auto cell = builtHomeCell(&taps);
        EXPECT_EQ(cell->favrateButton()->currentTitle(), "收 藏");
        EXPECT_EQ(cell->offerButton()->currentTitle(), "报 价");
        auto model = HomeModel::create();
        model->setTitleStr("客户");
        model->setLeftStr("不含差旅费");
        model->setOfferStr("￥350");
        model->setTimeStr(c.time);
        model->setHaveFavorite(c.favourite);
        cell->updateContentWithModel(model.get(), row);
        EXPECT_EQ(cell->timeLabel()->text(), c.shownTime) << c.time;
        EXPECT_EQ(cell->favrateButton()->currentTitle(), c.shownTitle) << c.favourite;
        EXPECT_EQ(cell->titelLabel()->text(), "客户");
        EXPECT_EQ(cell->leftTF()->text(), "不含差旅费");
        EXPECT_EQ(cell->offerLabel()->text(), "￥350");

        cell->favrateButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
        cell->offerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
        const std::vector<std::pair<std::string, int>> expected = {{"favourite", row},
                                                                   {"quote", row}};
        EXPECT_EQ(taps, expected);

        // No record: the texts go, the favourite title stays, the tags follow the new row.
        cell->updateContentWithModel(nullptr, row + 7);
        EXPECT_EQ(cell->titelLabel()->text(), "");
        EXPECT_EQ(cell->leftTF()->text(), "");
        EXPECT_EQ(cell->timeLabel()->text(), "");
        EXPECT_EQ(cell->favrateButton()->currentTitle(), c.shownTitle);
        EXPECT_EQ(cell->favrateButton()->tag(), row + 7);
        EXPECT_EQ(cell->offerButton()->tag(), row + 7);
        EXPECT_EQ(cell->currentIndexRow(), row + 7);
        ++row;
    }
}

}  // namespace
