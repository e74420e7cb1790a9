#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>

#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITableView.h"

// The pull-up paging the list screens share: the table's footer that says what a pull past the
// end does, the page counters of the last list reply, and the step to the next page. The screen
// forwards its table's drag events and asks for the pages itself.
class PullUpPager : public std::enable_shared_from_this<PullUpPager> {
  public:
    // How far past its end the list is pulled before a release loads the next page.
    static constexpr CGFloat kPullDistance = 60;
    // How long the footer says there is no further page before it settles.
    static constexpr double kLastPageDelay = 2.0;
    using Counter = uint64_t (*)(const nlohmann::json& reply, const char* key);

    // A counter of a list reply, sent as a number or as its digits; anything else counts as 0.
    static uint64_t counter(const nlohmann::json& reply, const char* key);

    // The counters as the screen starts them, before its first list reply.
    PullUpPager(uint64_t pageIndex, uint64_t rowsOfOnePage, uint64_t totalPageNum,
                uint64_t totalRowCount)
        : pageIndex_(pageIndex),
          rowsOfOnePage_(rowsOfOnePage),
          totalPageNum_(totalPageNum),
          totalRowCount_(totalRowCount) {}

    // Builds the footer, as wide as the screen, under the table's rows.
    void attach(UITableView& table, CGFloat width);

    void scrollViewWillBeginDragging() { isDraging_ = true; }
    void scrollViewDidScroll(const UIScrollView& scrollView);
    // True when the release was far enough: the footer then loads the next page.
    bool scrollViewDidEndDragging(const UIScrollView& scrollView);
    // Asks load for the next page; past the last one the footer settles after a while instead
    // and false is returned.
    bool loadNextPage(const std::function<void(uint64_t page)>& load);
    void bottomLoadViewStopLoading();
    // Back to inviting a pull, as after a reload from the top.
    void resetText();
    // Takes the counters of a list reply. True when it is the page a pull-up asked for, whose
    // rows go after those shown; false when they replace them.
    bool takeListPage(const nlohmann::json& reply, Counter read = counter);

    const std::shared_ptr<UIView>& downView() const { return downView_; }
    const std::shared_ptr<UILabel>& bottomLabel() const { return bottomLabel_; }
    const std::shared_ptr<UIActivityIndicatorView>& downIndicatorView() const {
        return downIndicatorView_;
    }
    uint64_t pageIndex() const { return pageIndex_; }
    // "rows" and "totalCount" of the last list reply, kept as they came.
    uint64_t rowsOfOnePage() const { return rowsOfOnePage_; }
    uint64_t totalPageNum() const { return totalPageNum_; }
    uint64_t totalRowCount() const { return totalRowCount_; }
    bool isLoadViewActive() const { return isLoadViewActive_; }

  private:
    bool isPulledFarEnough(const UIScrollView& scrollView) const;

    bool isDraging_ = false;
    bool isLoadViewActive_ = false;
    uint64_t pageIndex_;
    uint64_t rowsOfOnePage_;
    uint64_t totalPageNum_;
    uint64_t totalRowCount_;
    std::shared_ptr<UIView> downView_;
    std::shared_ptr<UILabel> bottomLabel_;
    std::shared_ptr<UIActivityIndicatorView> downIndicatorView_;
};
