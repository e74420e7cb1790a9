#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "UIKit/UIButton.h"
#include "UIKit/UIScrollView.h"
#include "inquiries/MiddleViewController.h"
#include "inquiries/SearchModel.h"

// The inquiry search: the choices of four dictionaries as toggle buttons (industry, device
// maker, device type, product), and under them the open inquiries that match the chosen ones,
// paged, starred and quoted as on the home list.
class SearchViewController : public MiddleViewController {
  public:
    // The dictionaries, in the order of the filter rows.
    enum Group { industry = 0, maker, deviceType, goods };
    static constexpr int kGroups = 4;
    static constexpr CGFloat kGroupHeight = 44;

    static std::shared_ptr<SearchViewController> create(std::weak_ptr<UIViewController> superClass);

    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void setupUIConfig() override;
    // Asks the four dictionaries for their choices.
    void sendDictionaryRequests();
    void doSearchLoadWithPageNum(const std::string& page) override;
    // The search button: the first page of the matching inquiries.
    void searchButtonClick();
    void choiceButtonClick(const std::shared_ptr<UIButton>& sender);
    void navBarButtonClick(const std::shared_ptr<UIView>& sender);

    const std::vector<std::shared_ptr<SearchModel>>& choices(Group group) const {
        return choices_[group];
    }
    // The choice buttons of a group, in the order of its choices.
    const std::vector<std::shared_ptr<UIButton>>& choiceButtons(Group group) const {
        return buttons_[group];
    }
    const std::shared_ptr<UIButton>& searchButton() const { return searchButton_; }
    // The selected IDs of a group joined by ",".
    std::string selectedIDs(Group group) const;

  protected:
    using MiddleViewController::MiddleViewController;
    InquiryOrigin rowOrigin() const override { return InquiryOrigin::search; }
    std::string amountWatermark() const override { return "请再次填写报价金额"; }
    CGRect tableFrame() override;
    void firstLoad() override { sendDictionaryRequests(); }

  private:
    void takeChoices(Group group, const nlohmann::json& reply);

    std::array<std::vector<std::shared_ptr<SearchModel>>, kGroups> choices_;
    std::array<std::vector<std::shared_ptr<UIButton>>, kGroups> buttons_;
    std::array<std::shared_ptr<UIScrollView>, kGroups> rows_;
    std::shared_ptr<UIButton> searchButton_;
    bool searched_ = false;
};
