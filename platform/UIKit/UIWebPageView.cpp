#include "UIKit/UIWebPageView.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "UIKit/HTMLText.h"
#include "UIKit/UIGraphics.h"

namespace {

// Builds the blocks while the parser walks the document.
class BlockBuilder {
  public:
    void begin(UIWebViewBlock::Kind kind, int level = 0) {
        flush();
        current_ = UIWebViewBlock{};
        current_->kind = kind;
        current_->level = level;
    }
    void beginListItem() {
        if (lists_.empty()) lists_.push_back({false, 0});
        List& list = lists_.back();
        ++list.count;
        begin(UIWebViewBlock::kListItem);
        current_->depth = static_cast<int>(lists_.size());
        current_->marker = list.ordered ? std::to_string(list.count) + "." : "•";
    }
    void openList(bool ordered) {
        flush();
        lists_.push_back({ordered, 0});
    }
    void closeList() {
        flush();
        if (!lists_.empty()) lists_.pop_back();
    }
    void bold(bool on) { boldDepth_ = on ? boldDepth_ + 1 : std::max(0, boldDepth_ - 1); }
    void space() { pendingSpace_ = current_ && !current_->text.empty(); }
    void lineBreak() {
        if (!current_) return;
        current_->text += '\n';
        pendingSpace_ = false;
    }
    void text(const std::string& characters) {
        if (!current_) begin(UIWebViewBlock::kParagraph);
        std::string& text = current_->text;
        // The space between words belongs to neither: it is never bold.
        if (pendingSpace_ && !text.empty() && text.back() != '\n') text += ' ';
        pendingSpace_ = false;
        append(characters);
    }
    void flush() {
        if (current_) {
            std::string& text = current_->text;
            while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.pop_back();
            const std::size_t start = text.find_first_not_of(" \n");
            if (start != std::string::npos) {
                text.erase(0, start);
                for (auto& range : current_->bold) {
                    range.start = range.start > start ? range.start - start : 0;
                    range.end = std::min(range.end > start ? range.end - start : 0, text.size());
                }
                std::erase_if(current_->bold, [](const auto& r) { return r.start >= r.end; });
                blocks_.push_back(std::move(*current_));
            }
        }
        current_.reset();
        pendingSpace_ = false;
    }
    std::vector<UIWebViewBlock> take() {
        flush();
        return std::move(blocks_);
    }

  private:
    struct List {
        bool ordered;
        int count;
    };
    void append(const std::string& characters) {
        std::string& text = current_->text;
        const std::size_t start = text.size();
        text += characters;
        if (boldDepth_ == 0) return;
        auto& bold = current_->bold;
        if (!bold.empty() && bold.back().end == start) {
            bold.back().end = text.size();
        } else {
            bold.push_back({start, text.size()});
        }
    }

    std::vector<UIWebViewBlock> blocks_;
    std::optional<UIWebViewBlock> current_;
    std::vector<List> lists_;
    int boldDepth_ = 0;
    bool pendingSpace_ = false;
};

void applyTag(BlockBuilder& page, const std::string& name, bool ending) {
    if (name == "b" || name == "strong") {
        page.bold(!ending);
    } else if (name == "br") {
        page.lineBreak();
    } else if (name == "p" || name == "div") {
        if (ending) {
            page.flush();
        } else {
            page.begin(UIWebViewBlock::kParagraph);
        }
    } else if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6') {
        if (ending) {
            page.flush();
        } else {
            page.begin(UIWebViewBlock::kHeading, name[1] - '0');
        }
    } else if (name == "ul" || name == "ol") {
        if (ending) {
            page.closeList();
        } else {
            page.openList(name == "ol");
        }
    } else if (name == "li") {
        if (ending) {
            page.flush();
        } else {
            page.beginListItem();
        }
    }
}

CGTextStyle styleOf(const UIWebViewBlock& block) {
    static constexpr CGFloat kHeadingSizes[] = {24, 20, 18, 16, 16, 16};
    CGTextStyle style;
    style.font.size = 16;
    if (block.kind == UIWebViewBlock::kHeading) {
        style.font.size = kHeadingSizes[std::clamp(block.level, 1, 6) - 1];
        style.font.bold = true;
    }
    return style;
}

CGFloat spacingAfter(const UIWebViewBlock& block) {
    return block.kind == UIWebViewBlock::kListItem ? 4 : 10;
}

constexpr CGColor kPageTextColour{0, 0, 0, 1};

}  // namespace

std::vector<UIWebViewBlock> UIWebViewBlocksFromHTML(const std::string& html) {
    BlockBuilder page;
    const std::string lowered = htmltext::lowerCase(html);
    std::size_t i = 0;
    while (i < html.size()) {
        const char c = html[i];
        if (html.compare(i, 4, "<!--") == 0) {
            const std::size_t end = html.find("-->", i + 4);
            i = end == std::string::npos ? html.size() : end + 3;
            continue;
        }
        if (c == '<') {
            const std::size_t close = html.find('>', i);
            if (close == std::string::npos) break;
            std::string tag = lowered.substr(i + 1, close - i - 1);
            const bool ending = !tag.empty() && tag[0] == '/';
            if (ending) tag.erase(0, 1);
            const std::string name = tag.substr(0, tag.find_first_of(" \t\r\n/"));
            i = close + 1;
            if (!ending &&
                (name == "script" || name == "style" || name == "head" || name == "title")) {
                const std::size_t end = lowered.find("</" + name, i);
                const std::size_t gt = end == std::string::npos ? end : html.find('>', end);
                i = gt == std::string::npos ? html.size() : gt + 1;
                continue;
            }
            applyTag(page, name, ending);
            continue;
        }
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            page.space();
            ++i;
            continue;
        }
        if (c == '&') {
            if (const auto entity = htmltext::entityAt(html, i)) {
                if (entity->first == " ") {
                    page.space();
                } else {
                    page.text(entity->first);
                }
                i += entity->second;
                continue;
            }
        }
        // A whole UTF-8 sequence at a time, so that bold stretches never split a character.
        std::size_t length = 1;
        const auto lead = static_cast<unsigned char>(c);
        if (lead >= 0xf0) {
            length = 4;
        } else if (lead >= 0xe0) {
            length = 3;
        } else if (lead >= 0xc0) {
            length = 2;
        }
        page.text(html.substr(i, length));
        i += length;
    }
    return page.take();
}

std::shared_ptr<UIWebPageView> UIWebPageView::create(CGRect frame) {
    return finishCreate(std::shared_ptr<UIWebPageView>(new UIWebPageView()), frame);
}

void UIWebPageView::setBlocks(std::vector<UIWebViewBlock> blocks, CGFloat width) {
    blocks_ = std::move(blocks);
    frames_.clear();
    CGFloat y = kMargin;
    for (const auto& block : blocks_) {
        const CGFloat x = kMargin + kIndent * static_cast<CGFloat>(block.depth);
        const CGFloat w = std::max<CGFloat>(width - x - kMargin, 1);
        const CGSize size = CGTextBoundingSizeWithBold(block.text, block.bold, styleOf(block), w);
        frames_.push_back(CGRectMake(x, y, w, size.height));
        y += size.height + spacingAfter(block);
    }
    setFrame(CGRectMake(frame().origin.x, frame().origin.y, width, y + kMargin));
    setNeedsDisplay();
}

void UIWebPageView::drawRect(CGRect) {
    CGContextRef c = UIGraphicsGetCurrentContext();
    for (std::size_t i = 0; i < blocks_.size() && i < frames_.size(); ++i) {
        const UIWebViewBlock& block = blocks_[i];
        const CGRect f = frames_[i];
        const CGTextStyle style = styleOf(block);
        CGTextDrawInRectWithBold(c, block.text, block.bold, f, style, kPageTextColour);
        if (block.kind != UIWebViewBlock::kListItem) continue;
        CGTextStyle markerStyle = style;
        markerStyle.alignment = NSTextAlignmentRight;
        markerStyle.numberOfLines = 1;
        CGTextDrawInRect(c, block.marker,
                         CGRectMake(f.origin.x - kIndent, f.origin.y, kIndent - 6, f.size.height),
                         markerStyle, kPageTextColour);
    }
}
