// A phone screen built from the platform's views, shown in a window (or headless) and written
// to a PNG: a quick look at what the UI layer draws.
//   ui-demo [--headless] [--screenshot PATH] [--seconds S] [--factor F]

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Foundation/NSRunLoop.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITextField.h"
#include "host/Host.h"

namespace {

UIColorRef rgb(uint32_t hex) { return UIColor::colorWithRGBHex(hex); }

std::shared_ptr<UILabel> label(CGRect frame, const std::string& text, CGFloat size, uint32_t colour,
                               bool bold = false, NSTextAlignment align = NSTextAlignmentLeft) {
    auto l = UILabel::create(frame);
    l->setText(text);
    l->setFont(bold ? UIFont::boldSystemFontOfSize(size) : UIFont::systemFontOfSize(size));
    l->setTextColor(rgb(colour));
    l->setTextAlignment(align);
    return l;
}

std::shared_ptr<UIView> navigationBar() {
    auto bar = UIView::create(CGRectMake(0, 0, 320, 64));
    bar->setBackgroundColor(rgb(0x1889ea));
    auto back = UIButton::buttonWithType(UIButtonTypeCustom);
    back->setFrame(CGRectMake(4, 20, 44, 44));
    back->setImage(UIImage::imageNamed("ic_back_arrow_normal_orige"), UIControlStateNormal);
    bar->addSubview(back);
    bar->addSubview(
        label(CGRectMake(60, 20, 200, 44), "询价列表", 18, 0xffffff, true, NSTextAlignmentCenter));
    auto search = UIButton::buttonWithType(UIButtonTypeCustom);
    search->setFrame(CGRectMake(276, 20, 44, 44));
    search->setImage(UIImage::imageNamed("ic_search_normal"), UIControlStateNormal);
    bar->addSubview(search);
    return bar;
}

std::shared_ptr<UIView> segments() {
    auto bar = UIView::create(CGRectMake(0, 64, 320, 40));
    bar->setBackgroundColor(UIColor::whiteColor());
    const char* titles[] = {"全部", "待报价", "已报价", "已收藏"};
    for (int i = 0; i < 4; ++i) {
        auto b = UIButton::buttonWithType(UIButtonTypeCustom);
        b->setFrame(CGRectMake(i * 80, 0, 80, 38));
        b->setTitle(titles[i], UIControlStateNormal);
        b->setTitleColor(rgb(0x555555), UIControlStateNormal);
        b->setTitleColor(rgb(0x1889ea), UIControlStateSelected);
        b->setSelected(i == 1);
        bar->addSubview(b);
    }
    auto line = UIImageView::create(CGRectMake(80 + 12, 38, 56, 2));
    line->setImage(UIImage::imageNamed("bottom_line_blue.png"));
    bar->addSubview(line);
    return bar;
}

std::shared_ptr<UIView> card(CGFloat y, const std::string& customer, const std::string& date,
                             const std::string& product, const std::string& cost,
                             const std::string& city, const std::string& days, bool urgent) {
    auto c = UIView::create(CGRectMake(8, y, 304, 112));
    c->setBackgroundColor(UIColor::whiteColor());
    c->layer()->setCornerRadius(6);
    c->layer()->setBorderWidth(0.5);
    c->layer()->setBorderColor({0.85, 0.85, 0.85, 1});
    c->layer()->setShadowOpacity(0.12f);
    c->layer()->setShadowOffset(CGSizeMake(0, 2));
    c->layer()->setShadowRadius(4);
    c->addSubview(label(CGRectMake(12, 10, 180, 22), customer, 16, 0x222222, true));
    c->addSubview(
        label(CGRectMake(192, 10, 100, 22), date, 12, 0x999999, false, NSTextAlignmentRight));
    c->addSubview(label(CGRectMake(12, 36, 280, 20), product, 14, 0x555555));
    const std::pair<const char*, std::string> fields[] = {
        {"ic_service_tool", cost}, {"ic_service_location", city}, {"ic_service_time", days}};
    for (int i = 0; i < 3; ++i) {
        auto icon = UIImageView::createWithImage(UIImage::imageNamed(fields[i].first));
        icon->setCenter(CGPointMake(19 + i * 78, 72));
        c->addSubview(icon);
        c->addSubview(label(CGRectMake(30 + i * 78, 62, 56, 20), fields[i].second, 12, 0x777777));
    }
    auto price = label(CGRectMake(12, 86, 160, 20), "当前最低报价 ¥1,280", 13, 0xf08519);
    c->addSubview(price);
    auto action = UIButton::buttonWithType(UIButtonTypeCustom);
    action->setFrame(CGRectMake(222, 82, 70, 26));
    action->setBackgroundImage(UIImage::imageNamed(urgent ? "待实施按钮.png" : "黄色.png"),
                               UIControlStateNormal);
    action->setTitle(urgent ? "立即报价" : "查看", UIControlStateNormal);
    action->titleLabel()->setFont(UIFont::systemFontOfSize(13));
    c->addSubview(action);
    return c;
}

std::shared_ptr<UIView> tabBar() {
    auto bar = UIView::create(CGRectMake(0, 519, 320, 49));
    bar->setBackgroundColor(UIColor::colorWithWhite(0.98, 1));
    auto top = UIView::create(CGRectMake(0, 0, 320, 0.5));
    top->setBackgroundColor(UIColor::colorWithWhite(0.8, 1));
    bar->addSubview(top);
    const std::pair<const char*, const char*> tabs[] = {{"tab_inquiry", "询价"},
                                                        {"tab_quote", "报价"},
                                                        {"tab_order", "订单"},
                                                        {"tab_message", "消息"},
                                                        {"tab_mine", "我的"}};
    for (int i = 0; i < 5; ++i) {
        const bool on = i == 0;
        auto icon = UIImageView::createWithImage(
            UIImage::imageNamed(std::string(tabs[i].first) + (on ? "_selected" : "")));
        icon->setCenter(CGPointMake(32 + i * 64, 18));
        bar->addSubview(icon);
        bar->addSubview(label(CGRectMake(i * 64, 32, 64, 14), tabs[i].second, 10,
                              on ? 0xf08519 : 0x8c8c8c, false, NSTextAlignmentCenter));
    }
    return bar;
}

void buildScreen(UIView& root) {
    root.setBackgroundColor(UIColor::colorWithWhite(0.94, 1));
    root.addSubview(navigationBar());
    root.addSubview(segments());
    auto search = UITextField::create(CGRectMake(8, 110, 304, 32));
    search->setBorderStyle(UITextBorderStyleRoundedRect);
    search->setPlaceholder("搜索客户或产品");
    search->setLeftView(UIImageView::createWithImage(UIImage::imageNamed("ic_search_normal")));
    search->setLeftViewMode(UITextFieldViewModeAlways);
    root.addSubview(search);
    root.addSubview(card(150, "上海宏远机电有限公司", "2015-07-21", "离心式冷水机组 维保服务",
                         "差旅 200", "上海", "剩余3天", true));
    root.addSubview(card(270, "杭州恒通设备厂", "2015-07-20", "螺杆空压机 大修 (2台)", "差旅 350",
                         "杭州", "剩余5天", false));
    root.addSubview(card(390, "苏州工业园区水务", "2015-07-18", "变频供水泵组 故障检修", "差旅 120",
                         "苏州", "剩余1天", true));
    root.addSubview(tabBar());
}

}  // namespace

int main(int argc, char** argv) {
    bool headless = false;
    std::string shot;
    double seconds = 1.0;
    double factor = 1.0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--headless") {
            headless = true;
        } else if (a == "--screenshot" && i + 1 < argc) {
            shot = argv[++i];
        } else if (a == "--seconds" && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (a == "--factor" && i + 1 < argc) {
            factor = std::atof(argv[++i]);
        } else {
            std::fprintf(
                stderr,
                "usage: ui-demo [--headless] [--screenshot PATH] [--seconds S] [--factor F]\n");
            return 2;
        }
    }
    NSRunLoop::mainRunLoop();
    auto host = Host::create(headless, {factor, "Brisfold UI"});
    host->compositor().setDrawsStatusBar(true);
    buildScreen(*host->window());
    host->runFor(seconds);
    if (!shot.empty() && !host->writePNG(shot)) {
        std::fprintf(stderr, "cannot write %s\n", shot.c_str());
        return 1;
    }
    return 0;
}
