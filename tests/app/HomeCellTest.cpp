#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "inquiries/HomeCell.h"

namespace {

std::shared_ptr<HomeCell> builtHomeCell(std::vector<std::pair<std::string, int>>* taps) {
    auto cell = HomeCell::create(UITableViewCellStyleSubtitle, "homeCell");
    auto record = [taps](const char* which) {
        return [taps, which](const std::shared_ptr<UIButton>& b) {
            taps->push_back({which, b->tag()});
        };
    };
    cell->setupCellWithFrame(CGRectMake(0, 0, 320, 170), {}, record("favourite"), record("quote"));
    return cell;
}

TEST(HomeCellTest, ButtonsAreTaggedWithTheRowAndNoRecordClearsTheTexts) {
    std::vector<std::pair<std::string, int>> taps;
    const auto cell = builtHomeCell(&taps);
    auto model = HomeModel::create();
    model->setTitleStr("客户");
    model->setTimeStr("2026-11-30 09:15:02.123");
    model->setHaveFavorite("1");
    cell->updateContentWithModel(model.get(), 3);
    EXPECT_EQ(cell->timeLabel()->text(), "2026-11-30 09:15:02");
    EXPECT_EQ(cell->favrateButton()->currentTitle(), "取消收藏");
    cell->favrateButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    cell->offerButton()->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(taps, (std::vector<std::pair<std::string, int>>{{"favourite", 3}, {"quote", 3}}));

    // No record: the texts go, the favourite title stays, the tags follow the new row.
    cell->updateContentWithModel(nullptr, 7);
    EXPECT_EQ(cell->titelLabel()->text(), "");
    EXPECT_EQ(cell->timeLabel()->text(), "");
    EXPECT_EQ(cell->favrateButton()->currentTitle(), "取消收藏");
    EXPECT_EQ(cell->offerButton()->tag(), 7);
    EXPECT_EQ(cell->currentIndexRow(), 7);
}

}  // namespace
