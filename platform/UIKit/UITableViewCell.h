#pragma once

#include <memory>
#include <string>
#include <utility>

#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIView.h"

enum UITableViewCellStyle {
    UITableViewCellStyleDefault = 0,
    UITableViewCellStyleValue1 = 1,
    UITableViewCellStyleValue2 = 2,
    UITableViewCellStyleSubtitle = 3,
};

enum UITableViewCellSelectionStyle {
    UITableViewCellSelectionStyleNone = 0,
    UITableViewCellSelectionStyleBlue = 1,
    UITableViewCellSelectionStyleGray = 2,
};

enum UITableViewCellAccessoryType {
    UITableViewCellAccessoryNone = 0,
    UITableViewCellAccessoryDisclosureIndicator = 1,
    UITableViewCellAccessoryDetailDisclosureButton = 2,
    UITableViewCellAccessoryCheckmark = 3,
    UITableViewCellAccessoryDetailButton = 4,
};

enum UITableViewCellEditingStyle {
    UITableViewCellEditingStyleNone = 0,
    UITableViewCellEditingStyleDelete = 1,
    UITableViewCellEditingStyleInsert = 2,
    // Delete | Insert: a selection mark in front of the row.
    UITableViewCellEditingStyleMultiSelect = 3,
};

// One row of a table. Subclasses put their own views into contentView; the labels and the image
// view of the style are made on first use. The table lays the cell out, tells it its selection
// and hands it back through dequeueReusableCellWithIdentifier once it scrolled away.
class UITableViewCell : public UIView {
  public:
    static std::shared_ptr<UITableViewCell> create(UITableViewCellStyle style,
                                                   std::string reuseIdentifier);
    static constexpr CGFloat kSelectionMarkWidth = 38;
    static constexpr CGFloat kSeparatorInset = 15;

    UITableViewCellStyle style() const { return style_; }
    const std::string& reuseIdentifier() const { return reuseIdentifier_; }
    const std::shared_ptr<UIView>& contentView() const { return contentView_; }
    const std::shared_ptr<UILabel>& textLabel();
    // Null in the default style, which has no detail.
    const std::shared_ptr<UILabel>& detailTextLabel();
    const std::shared_ptr<UIImageView>& imageView();

    UITableViewCellSelectionStyle selectionStyle() const { return selectionStyle_; }
    void setSelectionStyle(UITableViewCellSelectionStyle s);
    bool isSelected() const { return selected_; }
    virtual void setSelected(bool selected, bool animated);
    void setSelected(bool selected) { setSelected(selected, false); }
    bool isHighlighted() const { return highlighted_; }
    virtual void setHighlighted(bool highlighted, bool animated);
    void setHighlighted(bool highlighted) { setHighlighted(highlighted, false); }
    bool isEditing() const { return editing_; }
    virtual void setEditing(bool editing, bool animated);

    UITableViewCellAccessoryType accessoryType() const { return accessoryType_; }
    void setAccessoryType(UITableViewCellAccessoryType type);
    const std::shared_ptr<UIView>& accessoryView() const { return accessoryView_; }
    void setAccessoryView(std::shared_ptr<UIView> view);
    const std::shared_ptr<UIView>& backgroundView() const { return backgroundView_; }
    void setBackgroundView(std::shared_ptr<UIView> view);
    // Shown behind the content while selected or highlighted; made from the selection style
    // unless set.
    const std::shared_ptr<UIView>& selectedBackgroundView();
    void setSelectedBackgroundView(std::shared_ptr<UIView> view);

    // Called before the table hands a reused cell out again: clears selection, highlight and
    // editing.
    virtual void prepareForReuse();

    void layoutSubviews() override;

    // Table side: the separator line along the bottom and the selection mark of multi-select
    // editing.
    void setSeparator(bool shown, UIColorRef color);
    void setShowsSelectionMark(bool shows);
    bool showsSelectionMark() const { return selectionMark_ != nullptr; }

  protected:
    UITableViewCell() = default;
    // For cells of a subclass, made with finishCreate.
    UITableViewCell(UITableViewCellStyle style, std::string reuseIdentifier)
        : style_(style), reuseIdentifier_(std::move(reuseIdentifier)) {}
    void initWithFrame(CGRect frame) override;

  private:
    void updateSelectionAppearance();
    CGFloat accessoryWidth() const;
    void layoutStyle(CGRect content);

    UITableViewCellStyle style_ = UITableViewCellStyleDefault;
    std::string reuseIdentifier_;
    std::shared_ptr<UIView> contentView_;
    std::shared_ptr<UILabel> textLabel_;
    std::shared_ptr<UILabel> detailTextLabel_;
    std::shared_ptr<UIImageView> imageView_;
    std::shared_ptr<UIView> backgroundView_;
    std::shared_ptr<UIView> selectedBackgroundView_;
    std::shared_ptr<UIView> accessoryView_;
    std::shared_ptr<UIView> accessory_;  // drawn for accessoryType
    std::shared_ptr<UIView> separator_;
    std::shared_ptr<UIView> selectionMark_;
    UITableViewCellSelectionStyle selectionStyle_ = UITableViewCellSelectionStyleBlue;
    UITableViewCellAccessoryType accessoryType_ = UITableViewCellAccessoryNone;
    bool selected_ = false;
    bool highlighted_ = false;
    bool editing_ = false;
    // The selected background was made from the style, so a new style replaces it.
    bool ownSelectedBackground_ = false;
};
