#include "shell/LoginView.h"

#include "Foundation/JSONValue.h"
#include "Foundation/NSJSONSerialization.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLConnection.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIImageView.h"
#include "shell/DataRequestManager.h"

namespace {

UIColorRef rgb(uint32_t hex) { return UIColor::colorWithRGBHex(hex); }

// A field with an icon on its left.
std::shared_ptr<UITextField> field(CGRect frame, const std::string& placeholder,
                                   std::shared_ptr<UIView> left) {
    auto f = UITextField::create(frame);
    f->setBorderStyle(UITextBorderStyleRoundedRect);
    f->setPlaceholder(placeholder);
    f->setFont(UIFont::systemFontOfSize(15));
    f->setClearButtonMode(UITextFieldViewModeWhileEditing);
    f->setLeftView(std::move(left));
    f->setLeftViewMode(UITextFieldViewModeAlways);
    return f;
}

}  // namespace

std::shared_ptr<LoginView> LoginView::create(CGRect frame, std::string serviceBase) {
    auto view = std::shared_ptr<LoginView>(new LoginView());
    view->serviceBase_ = std::move(serviceBase);
    return finishCreate(view, frame);
}

void LoginView::initWithFrame(CGRect frame) {
    UIView::initWithFrame(frame);
    setBackgroundColor(rgb(0xf0f0f0));
    const CGFloat w = frame.size.width;

    auto header = UIView::create(CGRectMake(0, 0, w, 64));
    header->setBackgroundColor(rgb(0x1889ea));
    header->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    auto title = UILabel::create(CGRectMake(0, 20, w, 44));
    title->setText("工程师登录");
    title->setFont(UIFont::boldSystemFontOfSize(18));
    title->setTextColor(UIColor::whiteColor());
    title->setTextAlignment(NSTextAlignmentCenter);
    header->addSubview(title);
    addSubview(header);

    auto logo = UIImageView::createWithImage(UIImage::imageNamed("logo_sliding_menu_user_logo"));
    logo->setCenter(CGPointMake(w / 2, 130));
    addSubview(logo);

    auto icon = [](const char* name) {
        return UIImageView::createWithImage(UIImage::imageNamed(name));
    };
    user_ = field(CGRectMake(24, 190, w - 48, 40), "用户名", icon("ic_user_man_normal"));
    addSubview(user_);
    password_ = field(CGRectMake(24, 242, w - 48, 40), "密码", icon("ic_password_normal"));
    password_->setSecureTextEntry(true);
    addSubview(password_);
    // Return in the user name goes on to the password; Return in the password signs in.
    std::weak_ptr<LoginView> weak = std::static_pointer_cast<LoginView>(shared_from_this());
    user_->addTarget(
        weak,
        [weak](const std::shared_ptr<UIControl>&, UIEvent*) {
            if (auto self = weak.lock()) self->password_->becomeFirstResponder();
        },
        UIControlEventEditingDidEndOnExit);
    password_->addTarget(
        weak,
        [weak](const std::shared_ptr<UIControl>&, UIEvent*) {
            auto self = weak.lock();
            if (!self) return;
            self->password_->resignFirstResponder();
            self->login();
        },
        UIControlEventEditingDidEndOnExit);

    login_ = UIButton::buttonWithType(UIButtonTypeCustom);
    login_->setFrame(CGRectMake(24, 306, w - 48, 44));
    login_->setBackgroundColor(rgb(0xf08519));
    login_->layer()->setCornerRadius(6);
    login_->setTitle("登录", UIControlStateNormal);
    login_->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    login_->titleLabel()->setFont(UIFont::boldSystemFontOfSize(17));
    login_->addTarget(
        weak,
        [weak](const std::shared_ptr<UIControl>&, UIEvent*) {
            if (auto self = weak.lock()) self->login();
        },
        UIControlEventTouchUpInside);
    addSubview(login_);

    status_ = UILabel::create(CGRectMake(24, 362, w - 48, 44));
    status_->setFont(UIFont::systemFontOfSize(14));
    status_->setTextAlignment(NSTextAlignmentCenter);
    status_->setNumberOfLines(2);
    addSubview(status_);
}

void LoginView::showStatus(const std::string& text, bool ok) {
    status_->setText(text);
    status_->setTextColor(ok ? rgb(0x2e9b45) : rgb(0xd0342c));
}

void LoginView::login() {
    if (requesting_) return;
    const std::string user = user_->text();
    const std::string password = password_->text();
    if (user.empty() || password.empty()) {
        showStatus("请输入用户名和密码", false);
        return;
    }
    auto url = NSURL::URLWithString(serviceBase_ + "api/Engineer/Login");
    if (!url) {
        showStatus("服务器地址无效", false);
        return;
    }
    auto request = DataRequestManager::shareManger()->requestForURL(
        std::move(url), "UserName=" + formValue(user) + "&PassWord=" + formValue(password));
    requesting_ = true;
    login_->setEnabled(false);
    showStatus("正在登录…", true);

    std::weak_ptr<LoginView> weak = std::static_pointer_cast<LoginView>(shared_from_this());
    NSURLConnection::sendAsynchronousRequest(
        request, [weak, user, password](const std::shared_ptr<NSHTTPURLResponse>&,
                                        const NSData& data, const NSErrorOpt& error) {
            auto self = weak.lock();
            if (!self) return;
            self->requesting_ = false;
            self->login_->setEnabled(true);
            if (error) {
                self->showStatus(error->code == NSURLErrorNotConnectedToInternet
                                     ? "网络异常"
                                     : error->localizedDescription,
                                 false);
                return;
            }
            auto reply = NSJSONSerialization::JSONObjectWithData(data);
            if (!reply || !reply->is_object()) {
                self->showStatus("服务器返回的数据无法识别", false);
                return;
            }
            if (describeValueForKey(*reply, "code") == "1") {
                self->showStatus("登录成功，欢迎 " + replyText(*reply, "FullName"), true);
                if (self->handler_) self->handler_(*reply, user, password);
            } else {
                self->showStatus(replyText(*reply, "tip"), false);
            }
        });
}
