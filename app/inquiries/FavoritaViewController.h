#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "Foundation/NSNotificationCenter.h"
#include "UIKit/UIButton.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIViewController.h"
#include "inquiries/HomeModel.h"
#include "shell/UIViewController+CustomVC.h"

// The favourites kept on the phone, in the store's order. Rows open their detail, unstar, or
// quote again; in the edit mode rows are selected and deleted, or all are. Whatever changes the
// store here marks it changed for the list screens; a favourite removed on a detail screen
// leaves this list at once.
class FavoritaViewController : public UIViewController,
                               public CustomVC,
                               public UITableViewDataSource,
                               public UITableViewDelegate {
  public:
    static constexpr CGFloat kRowHeight = 170;
    static constexpr CGFloat kBarHeight = 50;

    static std::shared_ptr<FavoritaViewController> create();

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void setupUIConfig();
    void updateDataSource();

    void navBarButtonClick(const std::shared_ptr<UIView>& sender);
    void backButtonClick();
    void edtingButtonClick();
    void deleteAllButtonClick();
    void deletePartButtonClick();
    void deleteCurrentSelectCell();
    void cellButtonClick_favrate(const std::shared_ptr<UIButton>& sender);
    void cellButtonClick_offer(const std::shared_ptr<UIButton>& sender);
    void setupPop_upWindowWithAskpriceID(const std::string& askPriceID);
    void sendOfferRequestWithContent(const std::string& content, const std::string& askpriceID);
    void updateDataWithDictionary(const nlohmann::json& dictionary) override;
    void didDeleteCollect(const NSNotification& notification);

    int tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, int) override;
    std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(
        const std::shared_ptr<UITableView>& tableView, const NSIndexPath& indexPath) override;
    std::optional<CGFloat> tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                            const NSIndexPath&) override {
        return kRowHeight;
    }
    std::optional<UITableViewCellEditingStyle> tableViewEditingStyleForRowAtIndexPath(
        const std::shared_ptr<UITableView>&, const NSIndexPath&) override {
        return UITableViewCellEditingStyleMultiSelect;
    }
    void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                          const NSIndexPath& indexPath) override;
    void tableViewDidDeselectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                            const NSIndexPath& indexPath) override;

    bool isEditing() const { return isEditing_; }
    const std::vector<std::shared_ptr<HomeModel>>& dataArray() const { return dataArray_; }
    const std::vector<std::shared_ptr<HomeModel>>& selectArray() const { return selectArray_; }
    const std::shared_ptr<UITableView>& tableView() const { return tableView_; }
    const std::shared_ptr<UIView>& botView() const { return botView_; }
    const std::shared_ptr<UIButton>& deleteAllButton() const { return deleteAll_; }
    const std::shared_ptr<UIButton>& deletePartButton() const { return delete_part_; }

  protected:
    FavoritaViewController() = default;

  private:
    std::shared_ptr<HomeModel> rowForButton(const std::shared_ptr<UIButton>& button) const;
    void showMessage(const std::string& message);
    void markChanged();

    bool isEditing_ = false;
    std::shared_ptr<UIButton> delete_part_;
    std::shared_ptr<UIButton> deleteAll_;
    std::shared_ptr<UITableView> tableView_;
    std::vector<std::shared_ptr<HomeModel>> dataArray_;
    std::shared_ptr<UIView> botView_;
    std::vector<std::shared_ptr<HomeModel>> selectArray_;
};
