#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CoreGraphics/CGText.h"
#include "UIKit/UIView.h"

// One block of a page as the web view lays it out: a paragraph, a heading or a list item, with
// its line breaks as '\n' and its bold stretches.
struct UIWebViewBlock {
    enum Kind { kParagraph, kHeading, kListItem };
    Kind kind = kParagraph;
    int level = 0;       // a heading's 1 to 6
    int depth = 0;       // a list item's nesting, 1 for the outermost list
    std::string marker;  // a list item's "•" or its number with a full stop
    std::string text;
    std::vector<CGTextBoldRange> bold;
    bool operator==(const UIWebViewBlock& other) const {
        return kind == other.kind && level == other.level && depth == other.depth &&
               marker == other.marker && text == other.text;
    }
};

// The blocks of the HTML a notice uses: headings, paragraphs (and divisions), bold and strong,
// line breaks, ordered and unordered lists, nested; other tags are read for their text only;
// scripts, styles and the head are skipped; entities are decoded and white space folded.
std::vector<UIWebViewBlock> UIWebViewBlocksFromHTML(const std::string& html);

// Draws the blocks of a page from the top down, as wide as the view: headings in bold at sizes
// from 24 points down to 16, text at 16 points, list items indented by their depth behind
// their marker.
class UIWebPageView : public UIView {
  public:
    static constexpr CGFloat kMargin = 12;
    static constexpr CGFloat kIndent = 22;

    static std::shared_ptr<UIWebPageView> create(CGRect frame = CGRectZero);

    // Lays the blocks out for the width; the view takes the height they need.
    void setBlocks(std::vector<UIWebViewBlock> blocks, CGFloat width);
    const std::vector<UIWebViewBlock>& blocks() const { return blocks_; }
    // Where each block's text lies, in the view's points.
    const std::vector<CGRect>& blockFrames() const { return frames_; }
    void drawRect(CGRect rect) override;

  protected:
    UIWebPageView() = default;

  private:
    std::vector<UIWebViewBlock> blocks_;
    std::vector<CGRect> frames_;
};
