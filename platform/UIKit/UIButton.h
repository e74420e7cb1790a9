#pragma once

#include <map>
#include <string>

#include "UIKit/UIControl.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"

enum UIButtonType {
    UIButtonTypeCustom = 0,
    UIButtonTypeSystem = 1,
};

// Title, title colour, image and background image per state; a state without its own value
// shows the normal one. A disabled button without a title colour of its own for that state is
// dimmed, as the phone dims it: its title, images and background colour at half strength.
// Image and title sit side by side, centred, within the content insets.
class UIButton : public UIControl {
  public:
    static std::shared_ptr<UIButton> buttonWithType(UIButtonType type);
    static std::shared_ptr<UIButton> create(CGRect frame = CGRectZero);

    UIButtonType buttonType() const { return type_; }

    void setTitle(const std::string& title, UIControlState state);
    void setTitleColor(UIColorRef color, UIControlState state);
    void setImage(UIImageRef image, UIControlState state);
    void setBackgroundImage(UIImageRef image, UIControlState state);
    std::string titleForState(UIControlState state) const;
    UIColorRef titleColorForState(UIControlState state) const;
    UIImageRef imageForState(UIControlState state) const;
    UIImageRef backgroundImageForState(UIControlState state) const;
    std::string currentTitle() const { return titleForState(state()); }
    UIColorRef currentTitleColor() const { return titleColorForState(state()); }
    UIImageRef currentImage() const { return imageForState(state()); }
    UIImageRef currentBackgroundImage() const { return backgroundImageForState(state()); }

    const std::shared_ptr<UILabel>& titleLabel() const { return titleLabel_; }
    const std::shared_ptr<UIImageView>& imageView() const { return imageView_; }
    UIEdgeInsets contentEdgeInsets() const { return contentInsets_; }
    void setContentEdgeInsets(UIEdgeInsets i);
    UIEdgeInsets titleEdgeInsets() const { return titleInsets_; }
    void setTitleEdgeInsets(UIEdgeInsets i);
    UIEdgeInsets imageEdgeInsets() const { return imageInsets_; }
    void setImageEdgeInsets(UIEdgeInsets i);

    void setBackgroundColor(UIColorRef color) override;
    void layoutSubviews() override;
    CGSize sizeThatFits(CGSize size) const override;

  protected:
    UIButton() = default;
    void initWithFrame(CGRect frame) override;
    void stateDidChange() override;

  private:
    template <class T>
    static T lookup(const std::map<UIControlState, T>& m, UIControlState s);
    void refresh();

    UIButtonType type_ = UIButtonTypeCustom;
    std::map<UIControlState, std::string> titles_;
    std::map<UIControlState, UIColorRef> titleColors_;
    std::map<UIControlState, UIImageRef> images_;
    std::map<UIControlState, UIImageRef> backgrounds_;
    std::shared_ptr<UIImageView> background_;
    std::shared_ptr<UIImageView> imageView_;
    std::shared_ptr<UILabel> titleLabel_;
    UIEdgeInsets contentInsets_;
    UIEdgeInsets titleInsets_;
    UIEdgeInsets imageInsets_;
};
