#include "UIKit/UIAlertView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UITextField.h"
#include "UIKit/UITextView.h"
#include "UIKit/UIWebView.h"
#include "UITestCommon.h"

namespace {

using testsupport::colourNear;
using testsupport::screenPixel;

class Target : public NSObject {
  public:
    static std::shared_ptr<Target> create() { return std::shared_ptr<Target>(new Target()); }
    std::vector<std::string> log;
};

TEST(Button, FiresOnTouchUpInsideOnlyWithinTheSlop) {
    HeadlessHost host;
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(100, 100, 80, 40));
    host.window()->addSubview(button);
    auto target = Target::create();
    std::weak_ptr<Target> weak = target;
    std::shared_ptr<UIControl> sender;
    button->addTarget(
        target,
        [weak, &sender](const std::shared_ptr<UIControl>& s, UIEvent*) {
            weak.lock()->log.push_back("up");
            sender = s;
        },
        UIControlEventTouchUpInside);
    button->addTarget(
        target,
        [weak](const std::shared_ptr<UIControl>&, UIEvent*) { weak.lock()->log.push_back("exit"); },
        UIControlEventTouchDragExit);

    host.tap({140, 120});
    EXPECT_EQ(target->log, (std::vector<std::string>{"up"}));
    EXPECT_EQ(sender, button);

    // A little outside still counts: fingers are wide.
    host.touchDown(0, {140, 120});
    EXPECT_TRUE(button->isHighlighted());
    host.touchMove(0, {140, 180});
    host.touchUp(0, {140, 180});
    EXPECT_EQ(target->log, (std::vector<std::string>{"up", "up"}));
    EXPECT_FALSE(button->isHighlighted());

    // Leaving for good: no action, the highlight goes when the finger leaves.
    host.touchDown(0, {140, 120});
    host.touchMove(0, {140, 400});
    EXPECT_FALSE(button->isHighlighted());
    host.touchUp(0, {140, 400});
    EXPECT_EQ(target->log, (std::vector<std::string>{"up", "up", "exit"}));

    // A cancelled touch never fires; a disabled button lets taps through.
    host.touchDown(0, {140, 120});
    host.touchCancel(0);
    button->setEnabled(false);
    host.tap({140, 120});
    EXPECT_EQ(target->log.size(), 3u);

    // Once the target is gone its actions are not run.
    button->setEnabled(true);
    target.reset();
    host.tap({140, 120});
    EXPECT_EQ(button->actionCount(UIControlEventTouchUpInside), 1u);
}

TEST(Button, TitlesFollowTheStateAndDisabledIsDimmedUnlessItHasALookOfItsOwn) {
    HeadlessHost host;
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(20, 100, 200, 44));
    const auto orange = UIColor::colorWithRGBHex(0xf08519);
    button->setBackgroundColor(orange);
    button->setTitle("登录", UIControlStateNormal);
    host.window()->addSubview(button);
    const CGColor o = orange->CGColor();
    EXPECT_TRUE(colourNear(screenPixel(host.compose(), 25, 105), o));

    button->setEnabled(false);
    // Half the colour over the window's white, and the title at half strength.
    const CGColor half{(o.r + 1) / 2, (o.g + 1) / 2, (o.b + 1) / 2, 1};
    EXPECT_TRUE(colourNear(screenPixel(host.compose(), 25, 105), half));
    EXPECT_DOUBLE_EQ(button->titleLabel()->textColor()->CGColor().a, 0.5);

    button->setTitleColor(UIColor::grayColor(), UIControlStateDisabled);
    EXPECT_TRUE(button->titleLabel()->textColor()->isEqual(*UIColor::grayColor()));
    button->setEnabled(true);
    EXPECT_TRUE(colourNear(screenPixel(host.compose(), 25, 105), o));
    EXPECT_TRUE(button->titleLabel()->textColor()->isEqual(*UIColor::whiteColor()));

    button->setTitle("已选", UIControlStateSelected);
    button->setTitleColor(UIColor::redColor(), UIControlStateSelected);
    button->setSelected(true);
    EXPECT_EQ(button->titleLabel()->text(), "已选");
    EXPECT_TRUE(button->titleLabel()->textColor()->isEqual(*UIColor::redColor()));
    button->setHighlighted(true);  // selected|highlighted has nothing of its own: normal values
    EXPECT_EQ(button->currentTitle(), "登录");
    button->layoutIfNeeded();
    EXPECT_NEAR(CGRectGetMidX(button->titleLabel()->frame()), 100, 0.5);
}

class FieldDelegate : public UITextFieldDelegate {
  public:
    bool textFieldShouldChangeCharactersInRange(UITextField&, NSRange r,
                                                const std::string& s) override {
        ranges.push_back(r);
        return s != "x";
    }
    bool textFieldShouldReturn(UITextField&) override {
        ++returns;
        return true;
    }
    std::vector<NSRange> ranges;
    int returns = 0;
};

TEST(TextField, TapsFocusKeysEditNumberPadsTakeDigitsAndClearButtonsEmpty) {
    HeadlessHost host;
    auto field = UITextField::create(CGRectMake(10, 100, 200, 30));
    field->setKeyboardType(UIKeyboardTypeNumberPad);
    field->setPlaceholder("请输入报价");
    host.window()->addSubview(field);
    auto delegate = std::make_shared<FieldDelegate>();
    field->setDelegate(delegate);

    EXPECT_FALSE(host.typeText("1"));  // nobody to type to yet
    host.tap({50, 115});
    host.typeText("12a3");
    host.typeText("abc");  // nothing a number pad can type
    EXPECT_EQ(field->text(), "123");
    host.pressBackspace();
    EXPECT_EQ(field->text(), "12");
    EXPECT_EQ(delegate->ranges, (std::vector<NSRange>{{0, 0}, {2, 1}}));
    host.pressReturn();
    EXPECT_EQ(delegate->returns, 1);
    EXPECT_EQ(field->text(), "12");

    field->setKeyboardType(UIKeyboardTypeDefault);
    host.typeText("x");  // the delegate refuses
    host.typeText("元");
    EXPECT_EQ(field->text(), "12元");
    host.pressBackspace();  // a whole character, not a byte
    EXPECT_EQ(field->text(), "12");

    // Removing it from the window ends editing.
    field->removeFromSuperview();
    EXPECT_FALSE(field->isFirstResponder());
    EXPECT_EQ(UIResponder::currentFirstResponder(), nullptr);

    // A left view and a clear button take their room from the text's.
    field = UITextField::create(CGRectMake(0, 0, 200, 40));
    auto icon = UIView::create(CGRectMake(0, 0, 30, 20));
    field->setLeftView(icon);
    field->setLeftViewMode(UITextFieldViewModeAlways);
    field->setClearButtonMode(UITextFieldViewModeAlways);
    field->setText("hello");
    host.window()->addSubview(field);
    field->layoutIfNeeded();
    EXPECT_EQ(icon->frame(), CGRectMake(0, 10, 30, 20));
    EXPECT_TRUE(field->isClearButtonVisible());
    const CGRect text = field->textRectForBounds(field->bounds());
    const CGRect clear = field->clearButtonRectForBounds(field->bounds());
    EXPECT_EQ(text.origin.x, 30);
    EXPECT_LT(CGRectGetMaxX(text), CGRectGetMinX(clear));
    host.tap({CGRectGetMidX(clear), CGRectGetMidY(clear)});
    EXPECT_EQ(field->text(), "");
    EXPECT_FALSE(field->isFirstResponder());
    EXPECT_FALSE(field->isClearButtonVisible());
}

TEST(TextView, EditableOnlyWhenAllowed) {
    HeadlessHost host;
    auto view = UITextView::create(CGRectMake(0, 0, 200, 100));
    view->setEditable(false);
    view->setText("备注");
    host.window()->addSubview(view);
    host.tap({50, 50});
    EXPECT_FALSE(view->isFirstResponder());
    view->setEditable(true);
    host.tap({50, 50});
    EXPECT_TRUE(view->isFirstResponder());
    host.typeText("：好\n");
    EXPECT_EQ(view->text(), "备注：好\n");
    // The text height follows the wrapped lines inside the insets.
    EXPECT_EQ(view->sizeThatFits({200, 0}).height,
              NSStringBoundingSize(view->text(), {view->font()}, 200 - 10).height + 16);
}

class AlertRecorder : public UIAlertViewDelegate {
  public:
    void alertViewClickedButtonAtIndex(UIAlertView&, int i) override {
        log.push_back("clicked " + std::to_string(i));
    }
    void alertViewDidDismissWithButtonIndex(UIAlertView&, int i) override {
        log.push_back("dismissed " + std::to_string(i));
    }
    std::vector<std::string> log;
};

TEST(AlertView, ShowsCentredAndReportsTheTappedButton) {
    HeadlessHost host;
    auto recorder = std::make_shared<AlertRecorder>();
    int handled = -1;
    {
        auto alert = UIAlertView::create("提示", "确定要拨打电话吗？", recorder, "取消", {"确定"});
        alert->setHandler([&handled](int i) { handled = i; });
        alert->show();
        EXPECT_TRUE(alert->isVisible());
        const CGRect box = alert->box()->frame();
        EXPECT_NEAR(CGRectGetMidX(box), 160, 1);
        EXPECT_NEAR(CGRectGetMidY(box), 284, 1);
        auto image = host.compose();
        EXPECT_TRUE(colourNear(screenPixel(image, 5, 5), CGColor{0.6, 0.6, 0.6, 1}));  // dimmed
        const CGRect ok =
            alert->buttons()[1]->convertRectToView(alert->buttons()[1]->bounds(), nullptr);
        host.tap({CGRectGetMidX(ok), CGRectGetMidY(ok)});
        EXPECT_FALSE(alert->isVisible());
    }
    EXPECT_EQ(recorder->log, (std::vector<std::string>{"clicked 1", "dismissed 1"}));
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(host.window()->subviews().size(), 0u);
}

class WebRecorder : public UIWebViewDelegate {
  public:
    void webViewDidStartLoad(UIWebView&) override { log.push_back("start"); }
    void webViewDidFinishLoad(UIWebView&) override { log.push_back("finish"); }
    void webViewDidFailLoadWithError(UIWebView&, const NSError& e) override {
        log.push_back("fail " + std::to_string(e.code));
    }
    std::vector<std::string> log;
};

TEST(WebView, ShowsHtmlTextAndHandsPhoneNumbersToTheSystem) {
    auto app = UIApplication::sharedApplication();
    app->reset();
    auto web = UIWebView::create(CGRectMake(0, 0, 320, 400));
    auto recorder = std::make_shared<WebRecorder>();
    web->setDelegate(recorder);
    web->loadHTMLString(
        "<html><head><title>t</title><style>p{}</style></head><body><h1>通知</h1>"
        "<!-- hidden <p>no</p> --><script>var a='<p>';</script><p>维修</p></body></html>");
    EXPECT_TRUE(recorder->log.empty());  // reported later, never inside the call
    auto loop = NSRunLoop::mainRunLoop();
    ASSERT_TRUE(loop->runUntil([&] { return !web->isLoading(); }, 5));
    EXPECT_EQ(recorder->log, (std::vector<std::string>{"start", "finish"}));
    EXPECT_EQ(web->textContent(), "通知\n维修");

    recorder->log.clear();
    web->loadRequest("tel:4008001234");
    EXPECT_EQ(app->openedURLs(), (std::vector<std::string>{"tel:4008001234"}));
    EXPECT_FALSE(web->isLoading());

    web->loadRequest("https://example.invalid/");
    ASSERT_TRUE(loop->runUntil([&] { return !web->isLoading(); }, 5));
    EXPECT_EQ(recorder->log, (std::vector<std::string>{"start", "fail -1002"}));
    app->reset();
}

}  // namespace
