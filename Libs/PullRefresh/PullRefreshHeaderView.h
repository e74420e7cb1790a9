#pragma once

#include <memory>
#include <string>

#include "PullRefresh/PullRefreshBaseView.h"

// The pull-down refresh header: it sits just above the content of its scroll view, and a
// release after pulling the content down by at least its height starts a refresh.
class PullRefreshHeaderView : public PullRefreshBaseView {
  public:
    static constexpr CGFloat kHeight = 60;

    static std::shared_ptr<PullRefreshHeaderView> header();

    void setScrollView(const std::shared_ptr<UIScrollView>& scrollView) override;
    void scrollViewContentOffsetDidChange(UIScrollView& scrollView) override;

  protected:
    PullRefreshHeaderView() = default;
    std::string textForState(State state) const override;
    UIEdgeInsets refreshingInset() const override { return {kHeight, 0, 0, 0}; }
};
