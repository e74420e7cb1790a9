#pragma once

#include <memory>

#include "UIKit/UIButton.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIViewController.h"
#include "shell/PictureLoader.h"
#include "shell/UIViewController+CustomVC.h"

// The side menu: the engineer's picture and name from the session, and the menu rows: the
// favourites and the sign-out.
class LeftViewController : public UIViewController, public CustomVC {
  public:
    static std::shared_ptr<LeftViewController> create();

    void loadView() override;
    // Shows the session's engineer again: the stock picture until the engineer's own arrives.
    void doRefresh() override;

    const std::shared_ptr<UIImageView>& pictureView() const { return picture_; }
    const std::shared_ptr<UILabel>& nameLabel() const { return name_; }
    const std::shared_ptr<UILabel>& numberLabel() const { return number_; }
    const std::shared_ptr<UIButton>& favouritesRow() const { return favourites_; }
    // Signs the engineer out (BrisfoldAppDelegate::logout).
    const std::shared_ptr<UIButton>& logoutRow() const { return logout_; }

  protected:
    LeftViewController() = default;

  private:
    void openFavourites();

    std::shared_ptr<UIImageView> picture_;
    std::shared_ptr<UILabel> name_;
    std::shared_ptr<UILabel> number_;
    std::shared_ptr<UIButton> favourites_;
    std::shared_ptr<UIButton> logout_;
    std::shared_ptr<PictureLoader> pictureLoader_;
};
