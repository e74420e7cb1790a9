#include "UIKit/UIWebView.h"
#include "UITestCommon.h"

namespace {

using Block = UIWebViewBlock;

TEST(WebPageBlocks, HeadingsParagraphsBoldBreaksListsAndEntities) {
    const auto blocks = UIWebViewBlocksFromHTML(
        "<h2>年终 通知</h2>\n<p>请于<b>周五</b>前\n提交<br/>材料 &amp; <strong>单据</strong></p>"
        "<ul><li>一</li><li>二<ol><li>甲</li></ol></li></ul>裸文字<div>段</div>");
    const std::vector<Block> expected{
        {Block::kHeading, 2, 0, "", "年终 通知", {}},
        {Block::kParagraph, 0, 0, "", "请于周五前 提交\n材料 & 单据", {}},
        {Block::kListItem, 0, 1, "•", "一", {}},
        {Block::kListItem, 0, 1, "•", "二", {}},
        {Block::kListItem, 0, 2, "1.", "甲", {}},
        {Block::kParagraph, 0, 0, "", "裸文字", {}},
        {Block::kParagraph, 0, 0, "", "段", {}},
    };
    ASSERT_EQ(blocks, expected);
    const std::string& p = blocks[1].text;
    ASSERT_EQ(blocks[1].bold.size(), 2u);
    EXPECT_EQ(p.substr(blocks[1].bold[0].start, blocks[1].bold[0].end - blocks[1].bold[0].start),
              "周五");
    EXPECT_EQ(p.substr(blocks[1].bold[1].start, blocks[1].bold[1].end - blocks[1].bold[1].start),
              "单据");
    EXPECT_TRUE(UIWebViewBlocksFromHTML("<p> <b></b> </p><script>x</script>").empty());

    // Entities decode in both readers; one whose number no character has stays as it was
    // written (it once threw out of the plain-text reader).
    EXPECT_EQ(UIWebViewTextFromHTML("<p>a&amp;b&#x4E2D;&#25991;&nbsp;c</p>"), "a&b中文 c");
    EXPECT_EQ(UIWebViewTextFromHTML("x&#99999999999999999999;y&#xD800;z"),
              "x&#99999999999999999999;yz");
}

// Dark pixels of the composed screen within a rect of points.
int ink(const CGImageRef& screen, CGRect r) {
    int n = 0;
    for (CGFloat y = r.origin.y; y < CGRectGetMaxY(r); y += 0.5) {
        for (CGFloat x = r.origin.x; x < CGRectGetMaxX(r); x += 0.5) {
            const CGColor c = testsupport::screenPixel(screen, x, y);
            n += c.r + c.g + c.b < 1.5 ? 1 : 0;
        }
    }
    return n;
}

class WebPageDrawing : public ::testing::Test {
  protected:
    std::shared_ptr<UIWebView> show(const std::string& html) {
        auto web = UIWebView::create(CGRectMake(0, 0, 320, 480));
        host.window()->addSubview(web);
        web->loadHTMLString(html);
        EXPECT_TRUE(NSRunLoop::mainRunLoop()->runUntil([&] { return !web->isLoading(); }, 5));
        return web;
    }
    HeadlessHost host;
};

TEST_F(WebPageDrawing, HeadingsAreLargerBoldIsHeavierAndListItemsHaveMarkers) {
    const auto web = show(
        "<h1>标题标题</h1><p>标题标题</p><p><b>加粗文字</b></p><p>加粗文字</p>"
        "<p>上一行<br>下一行</p><ul><li>项目</li></ul><ol><li>项目</li></ol>");
    const auto& frames = web->pageView()->blockFrames();
    ASSERT_EQ(frames.size(), 7u);
    const auto screen = host.compose();
    const auto row = [&](std::size_t i) {
        return CGRectMake(0, frames[i].origin.y, 320, frames[i].size.height);
    };
    // The heading's text stands taller than the same text in a paragraph.
    EXPECT_GT(frames[0].size.height, frames[1].size.height * 1.3);
    EXPECT_GT(ink(screen, row(0)), ink(screen, row(1)) * 1.5);
    EXPECT_GT(ink(screen, row(2)), ink(screen, row(3)) * 1.15);
    // A line break makes two lines.
    EXPECT_GT(frames[4].size.height, frames[3].size.height * 1.8);
    // List items sit indented behind a marker; paragraphs start at the margin.
    EXPECT_GT(frames[5].origin.x, frames[4].origin.x + 10);
    const auto before = [&](std::size_t i) {
        return CGRectMake(0, frames[i].origin.y, frames[i].origin.x - 1, frames[i].size.height);
    };
    EXPECT_GT(ink(screen, before(5)), 0);
    EXPECT_GT(ink(screen, before(6)), 0);
    EXPECT_EQ(ink(screen, before(4)), 0);
    EXPECT_EQ(web->textContent(),
              "标题标题\n标题标题\n加粗文字\n加粗文字\n上一行\n下一行\n项目\n项目");
}

}  // namespace
