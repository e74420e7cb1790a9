#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIView.h"

// The engineer's sign-in: user name, password and a button that posts them to the service's
// "Engineer/Login". Return in the user name moves on to the password, Return in the password
// signs in. The outcome shows under the button: the server's tip when it refuses, the
// engineer's name when it accepts, and the handler then gets the reply with the user name and
// password that were accepted.
class LoginView : public UIView {
  public:
    using LoginHandler = std::function<void(const nlohmann::json& reply, const std::string& user,
                                            const std::string& password)>;

    static std::shared_ptr<LoginView> create(CGRect frame, std::string serviceBase);

    void setLoginHandler(LoginHandler handler) { handler_ = std::move(handler); }

    const std::shared_ptr<UITextField>& userField() const { return user_; }
    const std::shared_ptr<UITextField>& passwordField() const { return password_; }
    const std::shared_ptr<UIButton>& loginButton() const { return login_; }
    const std::shared_ptr<UILabel>& statusLabel() const { return status_; }
    bool isRequesting() const { return requesting_; }

    void login();
    // The line under the button: green for what went well, red for what did not.
    void showStatus(const std::string& text, bool ok);

  protected:
    LoginView() = default;
    void initWithFrame(CGRect frame) override;

  private:
    std::string serviceBase_;
    LoginHandler handler_;
    std::shared_ptr<UITextField> user_;
    std::shared_ptr<UITextField> password_;
    std::shared_ptr<UIButton> login_;
    std::shared_ptr<UILabel> status_;
    bool requesting_ = false;
};
