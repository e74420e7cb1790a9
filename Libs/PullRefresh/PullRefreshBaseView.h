#pragma once

#include <memory>
#include <string>

#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UIView.h"

class PullRefreshBaseView;

// The screen that reloads when the user asks for it by pulling.
class PullRefreshBaseViewDelegate {
  public:
    virtual ~PullRefreshBaseViewDelegate() = default;
    virtual void refreshViewBeginRefreshing(const std::shared_ptr<PullRefreshBaseView>&) {}
};

// A refresh view that rides on a scroll view: it watches the offset (the screen stays the scroll
// view's delegate), shows its state with a text, an arrow and a spinner, and tells its delegate
// when a refresh begins. While refreshing it keeps itself in view by widening the scroll view's
// inset; endRefreshing gives that room back.
class PullRefreshBaseView : public UIView, public UIScrollViewObserver {
  public:
    enum class State { normal, pulling, refreshing };

    std::shared_ptr<UIScrollView> scrollView() const { return scrollView_.lock(); }
    // Leaves the previous scroll view and attaches to this one.
    virtual void setScrollView(const std::shared_ptr<UIScrollView>& scrollView);
    std::shared_ptr<PullRefreshBaseViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<PullRefreshBaseViewDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

    State state() const { return state_; }
    bool isRefreshing() const { return state_ == State::refreshing; }
    void endRefreshing();

    const std::shared_ptr<UILabel>& statusLabel() const { return statusLabel_; }
    const std::shared_ptr<UIView>& arrowView() const { return arrowView_; }
    const std::shared_ptr<UIActivityIndicatorView>& activityView() const { return activityView_; }

    void layoutSubviews() override;

  protected:
    PullRefreshBaseView() = default;
    void initWithFrame(CGRect frame) override;

    virtual std::string textForState(State state) const = 0;
    // The inset edge the view occupies while refreshing.
    virtual UIEdgeInsets refreshingInset() const = 0;
    void setState(State state);
    // Enters the refreshing state and tells the delegate.
    void beginRefreshing();

  private:
    std::weak_ptr<UIScrollView> scrollView_;
    std::weak_ptr<PullRefreshBaseViewDelegate> delegate_;
    State state_ = State::normal;
    UIEdgeInsets addedInset_;
    std::shared_ptr<UILabel> statusLabel_;
    std::shared_ptr<UIView> arrowView_;
    std::shared_ptr<UIActivityIndicatorView> activityView_;
};
