#include "UIWebView.h"

#include <cctype>
#include <fstream>
#include <sstream>

#include "Foundation/NSRunLoop.h"
#include "UIKit/HTMLText.h"
#include "UIKit/UIApplication.h"

namespace {

bool isBlock(const std::string& tag) {
    static const char* blocks[] = {"p",  "br",    "div",   "li",      "ul",      "ol",
                                   "tr", "table", "h1",    "h2",      "h3",      "h4",
                                   "h5", "h6",    "title", "section", "article", "hr"};
    for (const char* b : blocks) {
        if (tag == b) return true;
    }
    return false;
}

}  // namespace

std::string UIWebViewTextFromHTML(const std::string& html) {
    std::string raw;
    const std::string lowered = htmltext::lowerCase(html);
    size_t i = 0;
    while (i < html.size()) {
        const char c = html[i];
        if (html.compare(i, 4, "<!--") == 0) {
            const size_t end = html.find("-->", i + 4);
            i = end == std::string::npos ? html.size() : end + 3;
            continue;
        }
        if (c == '<') {
            const size_t close = html.find('>', i);
            if (close == std::string::npos) break;
            std::string tag = htmltext::lowerCase(html.substr(i + 1, close - i - 1));
            const bool ending = !tag.empty() && tag[0] == '/';
            if (ending) tag.erase(0, 1);
            const size_t nameEnd = tag.find_first_of(" \t\r\n/");
            const std::string name = tag.substr(0, nameEnd);
            i = close + 1;
            if (!ending && (name == "script" || name == "style" || name == "head")) {
                const size_t end = lowered.find("</" + name, i);
                const size_t gt = end == std::string::npos ? end : html.find('>', end);
                i = gt == std::string::npos ? html.size() : gt + 1;
                continue;
            }
            if (isBlock(name)) raw += '\n';
            continue;
        }
        if (c == '&') {
            if (const auto entity = htmltext::entityAt(html, i)) {
                raw += entity->first;
                i += entity->second;
                continue;
            }
        }
        raw += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
        ++i;
    }
    // Fold spaces, trim each line, drop empty lines.
    std::string out;
    std::istringstream lines(raw);
    std::string line;
    while (std::getline(lines, line)) {
        std::string folded;
        bool space = false;
        for (char c : line) {
            if (c == ' ') {
                space = !folded.empty();
                continue;
            }
            if (space) folded += ' ';
            space = false;
            folded += c;
        }
        if (folded.empty()) continue;
        if (!out.empty()) out += '\n';
        out += folded;
    }
    return out;
}

std::shared_ptr<UIWebView> UIWebView::create(CGRect frame) {
    return finishCreate(std::shared_ptr<UIWebView>(new UIWebView()), frame);
}

void UIWebView::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    setBackgroundColor(UIColor::whiteColor());
    scroller_ = UIScrollView::create(bounds());
    pageView_ = UIWebPageView::create(bounds());
    pageView_->setBackgroundColor(UIColor::clearColor());
    pageView_->setUserInteractionEnabled(false);
    scroller_->addSubview(pageView_);
    addSubview(scroller_);
}

void UIWebView::layoutSubviews() {
    scroller_->setFrame(bounds());
    if (pageView_->frame().size.width == bounds().size.width) return;
    pageView_->setBlocks(pageView_->blocks(), bounds().size.width);
    scroller_->setContentSize(pageView_->frame().size);
}

void UIWebView::loadRequest(const std::string& url) {
    if (auto d = delegate();
        d && !d->webViewShouldStartLoadWithRequest(*this, url, UIWebViewNavigationTypeOther)) {
        return;
    }
    const std::string scheme = htmltext::lowerCase(url.substr(0, url.find(':')));
    if (url.find(':') == std::string::npos) {
        url_ = url;
        startLoad({}, NSError::make(NSURLErrorDomain, NSURLErrorBadURL, "bad URL"));
        return;
    }
    if (scheme == "about") {
        url_ = url;
        startLoad({}, std::nullopt);
        return;
    }
    if (scheme == "file") {
        url_ = url;
        std::string path = url.substr(5);
        if (path.starts_with("//")) path.erase(0, 2);
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            startLoad({}, NSError::make(NSURLErrorDomain, NSURLErrorFileDoesNotExist,
                                        "The requested URL was not found on this server."));
            return;
        }
        std::stringstream body;
        body << in.rdbuf();
        startLoad(body.str(), std::nullopt);
        return;
    }
    if (scheme == "http" || scheme == "https") {
        url_ = url;
        startLoad({}, NSError::make(NSURLErrorDomain, NSURLErrorUnsupportedURL, "unsupported URL"));
        return;
    }
    // Phone numbers, mail and the like belong to the system.
    UIApplication::sharedApplication()->openURL(url);
}

void UIWebView::loadHTMLString(const std::string& html, const std::string& baseURL) {
    url_ = baseURL.empty() ? "about:blank" : baseURL;
    startLoad(html, std::nullopt);
}

void UIWebView::stopLoading() {
    ++generation_;
    loading_ = false;
}

void UIWebView::startLoad(std::string html, std::optional<NSError> error) {
    const unsigned generation = ++generation_;
    loading_ = true;
    std::weak_ptr<UIWebView> weak = sharedSelf<UIWebView>();
    auto loop = NSRunLoop::mainRunLoop();
    loop->performBlock([weak, generation, loop, html = std::move(html), error]() mutable {
        auto self = weak.lock();
        if (!self || self->generation_ != generation) return;
        if (auto d = self->delegate()) d->webViewDidStartLoad(*self);
        loop->performBlock([weak, generation, html = std::move(html), error] {
            auto self = weak.lock();
            if (!self || self->generation_ != generation) return;
            self->loading_ = false;
            if (error) {
                if (auto d = self->delegate()) d->webViewDidFailLoadWithError(*self, *error);
                return;
            }
            self->text_ = UIWebViewTextFromHTML(html);
            self->pageView_->setBlocks(UIWebViewBlocksFromHTML(html), self->bounds().size.width);
            self->scroller_->setContentSize(self->pageView_->frame().size);
            self->scroller_->setContentOffset(CGPointZero);
            if (auto d = self->delegate()) d->webViewDidFinishLoad(*self);
        });
    });
}
