#pragma once

#include <memory>
#include <string>

#include "Foundation/NSError.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UIView.h"
#include "UIKit/UIWebPageView.h"

class UIWebView;

enum UIWebViewNavigationType {
    UIWebViewNavigationTypeLinkClicked,
    UIWebViewNavigationTypeFormSubmitted,
    UIWebViewNavigationTypeBackForward,
    UIWebViewNavigationTypeReload,
    UIWebViewNavigationTypeFormResubmitted,
    UIWebViewNavigationTypeOther,
};

class UIWebViewDelegate {
  public:
    virtual ~UIWebViewDelegate() = default;
    virtual bool webViewShouldStartLoadWithRequest(UIWebView&, const std::string& /*url*/,
                                                   UIWebViewNavigationType) {
        return true;
    }
    virtual void webViewDidStartLoad(UIWebView&) {}
    virtual void webViewDidFinishLoad(UIWebView&) {}
    virtual void webViewDidFailLoadWithError(UIWebView&, const NSError&) {}
};

// Shows simple HTML laid out (see UIWebPageView), scrolling when it is taller than the view.
// Local content only: HTML strings, "file:" URLs and
// "about:blank"; URLs of other schemes the system handles ("tel:", "mailto:" ...) go to
// UIApplication::openURL, and remote pages fail with NSURLErrorUnsupportedURL.
// Loading is reported on later run-loop turns, as a page load would be.
class UIWebView : public UIView {
  public:
    static std::shared_ptr<UIWebView> create(CGRect frame = CGRectZero);

    void loadRequest(const std::string& url);
    void loadHTMLString(const std::string& html, const std::string& baseURL = {});
    void stopLoading();
    bool isLoading() const { return loading_; }
    const std::string& requestURL() const { return url_; }
    // What the page shows, as text and as the blocks drawn.
    const std::string& textContent() const { return text_; }
    const std::shared_ptr<UIWebPageView>& pageView() const { return pageView_; }
    std::shared_ptr<UIWebViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<UIWebViewDelegate> d) { delegate_ = std::move(d); }

    void layoutSubviews() override;

  protected:
    UIWebView() = default;
    void initWithFrame(CGRect frame) override;

  private:
    void startLoad(std::string html, std::optional<NSError> error);

    std::weak_ptr<UIWebViewDelegate> delegate_;
    std::shared_ptr<UIScrollView> scroller_;
    std::shared_ptr<UIWebPageView> pageView_;
    std::string url_;
    std::string text_;
    bool loading_ = false;
    unsigned generation_ = 0;
};

// The readable text of an HTML document: tags dropped, scripts and styles skipped, block
// elements on their own lines, entities decoded, runs of white space folded.
std::string UIWebViewTextFromHTML(const std::string& html);
