#pragma once

#include <array>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "UIKit/UIButton.h"
#include "UIKit/UISwipeGestureRecognizer.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIViewController.h"
#include "shell/UIViewController+CustomVC.h"

// The quotation for an inquiry whose price excludes travel costs: the engineer picks how he
// travels and where he stays, enters the amount and sends all three. A quotation that goes
// through refreshes the screen he quoted from and takes him back to it.
class TravelViewController : public UIViewController, public CustomVC {
  public:
    // One choice of a row: the id the service keeps, the text the engineer reads.
    struct Choice {
        const char* id;
        const char* title;
    };
    static const std::array<Choice, 3>& transports();
    static const std::array<Choice, 3>& hotels();

    // quotingScreen is kept weakly: the travel screen does not keep it alive.
    static std::shared_ptr<TravelViewController> create(
        std::string askPriceID, std::weak_ptr<UIViewController> quotingScreen);

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    // The reply to the quotation.
    void updateDataWithDictionary(const nlohmann::json& dictionary) override;

    void selectTransport(size_t index);
    void selectHotel(size_t index);
    // Sends the chosen transport and lodging with the amount; an empty amount is refused here.
    void sendOffer();
    void backButtonClick();
    void swipAction(UISwipeGestureRecognizer& recognizer);

    const std::string& askPriceID() const { return askPriceID_; }
    size_t selectedTransport() const { return transport_; }
    size_t selectedHotel() const { return hotel_; }
    const std::vector<std::shared_ptr<UIButton>>& transportButtons() const {
        return transportButtons_;
    }
    const std::vector<std::shared_ptr<UIButton>>& hotelButtons() const { return hotelButtons_; }
    const std::shared_ptr<UITextField>& priceField() const { return priceField_; }
    const std::shared_ptr<UIButton>& submitButton() const { return submit_; }

  protected:
    TravelViewController(std::string askPriceID, std::weak_ptr<UIViewController> quotingScreen)
        : askPriceID_(std::move(askPriceID)), quotingScreen_(std::move(quotingScreen)) {}

  private:
    CGFloat addChoiceRow(const std::string& caption, const std::array<Choice, 3>& choices,
                         std::vector<std::shared_ptr<UIButton>>& buttons,
                         void (TravelViewController::*select)(size_t), CGFloat y);
    static void markSelected(const std::vector<std::shared_ptr<UIButton>>& buttons, size_t index);
    void toast(const std::string& message);

    const std::string askPriceID_;
    const std::weak_ptr<UIViewController> quotingScreen_;
    size_t transport_ = 0;
    size_t hotel_ = 0;
    std::vector<std::shared_ptr<UIButton>> transportButtons_;
    std::vector<std::shared_ptr<UIButton>> hotelButtons_;
    std::shared_ptr<UITextField> priceField_;
    std::shared_ptr<UIButton> submit_;
};
