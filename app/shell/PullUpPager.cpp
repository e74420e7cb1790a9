#include "shell/PullUpPager.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "Foundation/NSRunLoop.h"
#include "Foundation/SaturatingCast.h"

namespace {

constexpr const char* kPullUpText = "上拉可以加载页面";
constexpr const char* kReleaseText = "松开加载页面";
constexpr const char* kLoadingText = "正在加载，请稍等";
constexpr const char* kLastPageText = "已经是最后页";

}  // namespace

uint64_t PullUpPager::counter(const nlohmann::json& reply, const char* key) {
    const auto found = reply.find(key);
    if (found == reply.end()) return 0;
    if (found->is_number_unsigned()) return found->get<uint64_t>();
    if (found->is_number_integer()) return std::max<int64_t>(0, found->get<int64_t>());
    if (found->is_number_float()) return saturatingCast<uint64_t>(found->get<double>());
    if (!found->is_string()) return 0;
    const auto& text = found->get_ref<const std::string&>();
    uint64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

void PullUpPager::attach(UITableView& table, CGFloat w) {
    downView_ = UIView::create(CGRectMake(0, 0, w, 60));
    downView_->setBackgroundColor(UIColor::clearColor());
    downView_->setUserInteractionEnabled(false);
    bottomLabel_ = UILabel::create(CGRectMake(2 * w / 7, 10, 3 * w / 7, 40));
    bottomLabel_->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin |
                                      UIViewAutoresizingFlexibleRightMargin);
    bottomLabel_->setBackgroundColor(UIColor::clearColor());
    bottomLabel_->setTextAlignment(NSTextAlignmentCenter);
    bottomLabel_->setTextColor(UIColor::blackColor());
    bottomLabel_->setFont(UIFont::boldSystemFontOfSize(17));
    bottomLabel_->setUserInteractionEnabled(false);
    bottomLabel_->setText(kPullUpText);
    downView_->addSubview(bottomLabel_);
    downIndicatorView_ = UIActivityIndicatorView::create(UIActivityIndicatorViewStyleGray);
    downIndicatorView_->setFrame(CGRectMake(w / 4 - 60, 0, 60, 60));
    downView_->addSubview(downIndicatorView_);
    table.setTableFooterView(downView_);
}

bool PullUpPager::isPulledFarEnough(const UIScrollView& scrollView) const {
    const CGFloat y = scrollView.contentOffset().y;
    if (y < 0) return false;
    const CGFloat content = scrollView.contentSize().height;
    const CGFloat height = scrollView.frame().size.height;
    const CGFloat bottom = y + (content >= height ? height : content);
    return bottom >= content + kPullDistance;
}

void PullUpPager::scrollViewDidScroll(const UIScrollView& scrollView) {
    if (isDraging_ && bottomLabel_ && isPulledFarEnough(scrollView))
        bottomLabel_->setText(kReleaseText);
}

bool PullUpPager::scrollViewDidEndDragging(const UIScrollView& scrollView) {
    isDraging_ = false;
    if (!bottomLabel_ || !isPulledFarEnough(scrollView)) return false;
    downIndicatorView_->startAnimating();
    bottomLabel_->setText(kLoadingText);
    isLoadViewActive_ = true;
    return true;
}

bool PullUpPager::loadNextPage(const std::function<void(uint64_t page)>& load) {
    // The counter runs ahead while the page is on its way; the reply sets it.
    ++pageIndex_;
    if (pageIndex_ <= totalPageNum_) {
        load(pageIndex_);
        return true;
    }
    --pageIndex_;
    std::weak_ptr<PullUpPager> weak = weak_from_this();
    NSRunLoop::mainRunLoop()->performAfterDelay(kLastPageDelay, [weak] {
        if (auto self = weak.lock()) self->bottomLoadViewStopLoading();
    });
    return false;
}

void PullUpPager::bottomLoadViewStopLoading() {
    if (!isLoadViewActive_) return;
    isLoadViewActive_ = false;
    downIndicatorView_->stopAnimating();
    bottomLabel_->setText(pageIndex_ < totalPageNum_ ? kPullUpText : kLastPageText);
}

void PullUpPager::resetText() {
    if (bottomLabel_) bottomLabel_->setText(kPullUpText);
}

bool PullUpPager::takeListPage(const nlohmann::json& reply, Counter read) {
    const bool appending = isLoadViewActive_;
    bottomLoadViewStopLoading();
    pageIndex_ = read(reply, "pageindex");
    rowsOfOnePage_ = read(reply, "rows");
    totalRowCount_ = read(reply, "totalCount");
    totalPageNum_ = read(reply, "totalPages");
    return appending;
}
