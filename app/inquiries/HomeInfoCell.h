#pragma once

#include <functional>
#include <memory>
#include <string>

#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UITextView.h"

// A row of the inquiry detail, built anew for its type each time it is configured: 0 a device
// row of four columns, 1 a caption and its value, 2 the quote button. Any other type leaves the
// row empty. The screen puts the texts in afterwards.
class HomeInfoCell : public UITableViewCell {
  public:
    using Action = std::function<void(const std::shared_ptr<UIButton>& sender)>;

    static std::shared_ptr<HomeInfoCell> create(std::string reuseIdentifier);

    // target and action serve the quote button only.
    virtual void setupUIConfigWithFrame(CGRect frame, int type, std::weak_ptr<NSObject> target,
                                        Action action);

    const std::shared_ptr<UILabel>& firmLab() const { return firmLab_; }
    const std::shared_ptr<UILabel>& typeLab() const { return typeLab_; }
    const std::shared_ptr<UILabel>& modelLab() const { return modelLab_; }
    const std::shared_ptr<UILabel>& numLab() const { return numLab_; }
    const std::shared_ptr<UITextView>& titleTextView() const { return titleTextView_; }
    const std::shared_ptr<UITextView>& contentTextView() const { return contentTextView_; }
    // The quote button of a type 2 row, else null.
    const std::shared_ptr<UIButton>& quoteButton() const { return quoteButton_; }

  protected:
    explicit HomeInfoCell(std::string reuseIdentifier)
        : UITableViewCell(UITableViewCellStyleSubtitle, std::move(reuseIdentifier)) {}
    void initWithFrame(CGRect frame) override;

    // Empties the row and forgets the views of the type it had.
    void clearRow();
    void buildDeviceRow(CGFloat w, CGFloat h);
    void buildTextRow(CGFloat w, CGFloat h);
    void buildQuoteRow(CGFloat w, CGFloat h, const std::string& title,
                       std::weak_ptr<NSObject> target, Action action);

  private:
    std::shared_ptr<UILabel> firmLab_;
    std::shared_ptr<UILabel> typeLab_;
    std::shared_ptr<UILabel> modelLab_;
    std::shared_ptr<UILabel> numLab_;
    std::shared_ptr<UITextView> titleTextView_;
    std::shared_ptr<UITextView> contentTextView_;
    std::shared_ptr<UIButton> quoteButton_;
};
