#include "PullRefresh/PullRefreshHeaderView.h"

std::shared_ptr<PullRefreshHeaderView> PullRefreshHeaderView::header() {
    return finishCreate(std::shared_ptr<PullRefreshHeaderView>(new PullRefreshHeaderView()),
                        CGRectMake(0, -kHeight, 0, kHeight));
}

void PullRefreshHeaderView::setScrollView(const std::shared_ptr<UIScrollView>& scrollView) {
    PullRefreshBaseView::setScrollView(scrollView);
    if (scrollView) setFrame(CGRectMake(0, -kHeight, scrollView->bounds().size.width, kHeight));
}

void PullRefreshHeaderView::scrollViewContentOffsetDidChange(UIScrollView& scrollView) {
    if (isRefreshing()) return;
    const CGFloat pulled = -(scrollView.contentOffset().y + scrollView.contentInset().top);
    if (scrollView.isDragging()) {
        const State next = pulled >= kHeight ? State::pulling : State::normal;
        if (next != state()) setState(next);
        return;
    }
    // The first movement after the finger lets go: the spring back, or the end of a cancel.
    if (state() == State::pulling) beginRefreshing();
}

std::string PullRefreshHeaderView::textForState(State state) const {
    switch (state) {
        case State::normal:
            return "下拉刷新";
        case State::pulling:
            return "松开立即刷新";
        case State::refreshing:
            break;
    }
    return "正在刷新...";
}
