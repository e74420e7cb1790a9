#include "orders/OrderInfoViewController.h"

#include <algorithm>

#include "Foundation/JSONValue.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSRunLoop.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "inquiries/HomeModel.h"
#include "inquiries/InquiryScreenKit.h"
#include "inquiries/Pop_upWindow.h"
#include "orders/EngineerForm.h"
#include "orders/OrderInfoCell.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/ButtonAction.h"
#include "shell/CustomNavBar.h"
#include "shell/DataRequestManager.h"
#include "shell/FactoryClass.h"

namespace {

constexpr const char* kOrderInfoCellIdentifier = "orderInfoCell";
constexpr const char* kNoMoreData = "没有更多数据";
constexpr const char* kHistoryTitle = "历史报价";
constexpr const char* kSectionKeys[] = {"first", "second", "third", "fourth"};

bool present(const nlohmann::json& reply, const char* key) {
    return !replyText(reply, key).empty();
}

// A number as its text; anything else, missing included, as the fallback.
std::string numberOr(const nlohmann::json& reply, const char* key, const char* fallback) {
    const auto found = reply.find(key);
    if (found == reply.end() || !found->is_number()) return fallback;
    return describe(*found);
}

// A free text as it came; "无" only where there is none.
std::string textOrNone(const nlohmann::json& reply, const char* key) {
    std::string text = replyText(reply, key);
    return text.empty() ? "无" : text;
}

std::shared_ptr<OrderModel> captionRow(const std::string& caption, std::string value) {
    auto row = OrderModel::create();
    row->setTitleStr(caption);
    row->setSubTitleStr(std::move(value));
    return row;
}

std::shared_ptr<OrderModel> deviceRow(const nlohmann::json& element) {
    auto device = OrderModel::create();
    device->setDeviceAskPriceIDStr(replyText(element, "AskPriceID"));
    device->setDeviceFactoryStr(replyText(element, "DeviceFactory"));
    device->setDeviceTypeStr(replyText(element, "Devicetype"));
    device->setDeviceNumberStr(replyText(element, "DeviceNumber"));
    device->setDeviceCountStr(replyText(element, "DeviceCount"));
    device->setDeviceIDStr(replyText(element, "DeviceID"));
    device->setDevicePackageStr(replyText(element, "PackageType"));
    return device;
}

std::shared_ptr<UITextField> infoField(CGRect frame, const std::string& image) {
    auto f = UITextField::create(frame);
    f->setBackgroundColor(UIColor::clearColor());
    f->setUserInteractionEnabled(false);
    f->setFont(UIFont::systemFontOfSize(10));
    f->setTextColor(UIColor::blackColor());
    f->setTextAlignment(NSTextAlignmentLeft);
    f->setText("");
    auto icon = UIImageView::create(CGRectMake(0, 0, frame.size.height, frame.size.height));
    icon->setImage(UIImage::imageNamed(image));
    f->setLeftView(icon);
    f->setLeftViewMode(UITextFieldViewModeAlways);
    return f;
}

std::shared_ptr<UILabel> headerLabel(CGRect frame, UIFontRef font) {
    auto l = UILabel::create(frame);
    l->setBackgroundColor(UIColor::clearColor());
    l->setUserInteractionEnabled(false);
    l->setFont(std::move(font));
    l->setTextColor(UIColor::blackColor());
    l->setTextAlignment(NSTextAlignmentLeft);
    l->setText("");
    return l;
}

int stateOf(const std::string& text) {
    int value = 0;
    std::sscanf(text.c_str(), "%d", &value);
    return value;
}

}  // namespace

std::shared_ptr<OrderInfoViewController> OrderInfoViewController::create(
    std::weak_ptr<UIViewController> superViewController) {
    auto screen = std::shared_ptr<OrderInfoViewController>(
        new OrderInfoViewController(std::move(superViewController)));
    screen->setHidesBottomBarWhenPushed(true);
    return screen;
}

void OrderInfoViewController::viewDidLoad() {
    setEdgesForExtendedLayout(UIRectEdgeNone);
    view()->setBackgroundColor(UIColor::whiteColor());
    for (const unsigned direction :
         {UISwipeGestureRecognizerDirectionLeft, UISwipeGestureRecognizerDirectionRight}) {
        auto swipe = UISwipeGestureRecognizer::create(sharedSelf<OrderInfoViewController>(),
                                                      &OrderInfoViewController::swipAction);
        swipe->setDirection(direction);
        view()->addGestureRecognizer(swipe);
    }
}

void OrderInfoViewController::viewWillAppear(bool) {
    std::weak_ptr<OrderInfoViewController> weak = sharedSelf<OrderInfoViewController>();
    inquiry::setupDetailNavBar(*this, "详情页", false, "",
                               [weak](const std::shared_ptr<UIView>& sender) {
                                   if (auto self = weak.lock()) self->navBarButtonClick(sender);
                               });
    if (!isFirstLoad_) return;
    isFirstLoad_ = false;
    // The views stand before the reply can arrive.
    NSRunLoop::mainRunLoop()->performAfterDelay(0, [weak] {
        auto self = weak.lock();
        if (!self) return;
        self->setupUIConfig();
        self->sendDetailRequest();
    });
}

void OrderInfoViewController::viewWillDisappear(bool) { FactoryClass::removeBarWithClass(*this); }

void OrderInfoViewController::setupUIConfig() {
    if (tableView_) return;
    const CGFloat w = view()->bounds().size.width;
    const CGFloat h = view()->bounds().size.height;
    auto header = UIView::create(CGRectMake(0, 0, w, kHeaderHeight));
    header->setBackgroundColor(UIColor::whiteColor());
    titleLabel_ = headerLabel(CGRectMake(20, 10, w / 3 - 10, 35), UIFont::boldSystemFontOfSize(25));
    signLabel_ = UILabel::create(CGRectZero);
    signLabel_->setBackgroundColor(UIColor::colorWithRed(0.98, 0.85, 0.70, 1));
    signLabel_->setTextColor(UIColor::colorWithRed(0.94, 0.51, 0, 1));
    signLabel_->setTextAlignment(NSTextAlignmentCenter);
    signLabel_->setFont(UIFont::boldSystemFontOfSize(14));
    signLabel_->setAdjustsFontSizeToFitWidth(true);
    signLabel_->layer()->setCornerRadius(4);
    signLabel_->setClipsToBounds(true);
    signLabel_->setText("");
    const CGRect t = titleLabel_->frame();
    signLabel_->setFrame(
        CGRectMake(CGRectGetMaxX(t) + 5, t.origin.y + (t.size.height - 18) / 2, 54, 18));
    // The goods line takes the room up to the phone button.
    subTitleLabel_ =
        headerLabel(CGRectMake(t.origin.x, CGRectGetMaxY(t) + 10, w - 70 - t.origin.x, 20),
                    UIFont::systemFontOfSize(17));
    auto strip = UIView::create(CGRectMake(0, CGRectGetMaxY(subTitleLabel_->frame()) + 15, w, 20));
    strip->setBackgroundColor(UIColor::colorWithRed(0.78, 0.88, 0.96, 1));
    strip->setUserInteractionEnabled(false);
    strip->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin |
                               UIViewAutoresizingFlexibleRightMargin);
    const CGFloat field = strip->frame().size.height - 6;
    leftLabel_ = infoField(CGRectMake(t.origin.x, 3, 64, field), "ic_service_tool.png");
    const CGFloat midX = CGRectGetMaxX(leftLabel_->frame()) + 10;
    midLabel_ = infoField(CGRectMake(midX, 3, w - (midX + 10), field), "ic_service_location.png");

    const CGFloat side = static_cast<int>((kHeaderHeight - strip->frame().size.height - 30) / 2);
    phoneBtn_ = UIButton::buttonWithType(UIButtonTypeCustom);
    phoneBtn_->setFrame(CGRectMake(w - 60, side + 20, side, side));
    phoneBtn_->setBackgroundColor(UIColor::clearColor());
    phoneBtn_->setBackgroundImage(UIImage::imageNamed("ic_tel_nromal.png"), UIControlStateNormal);
    std::weak_ptr<OrderInfoViewController> weak = sharedSelf<OrderInfoViewController>();
    sendActionOnTap(phoneBtn_, sharedSelf<NSObject>(), [weak](const std::shared_ptr<UIButton>&) {
        if (auto self = weak.lock()) self->phoneButtonClick();
    });
    header->addSubview(titleLabel_);
    header->addSubview(signLabel_);
    header->addSubview(subTitleLabel_);
    header->addSubview(phoneBtn_);
    header->addSubview(strip);
    strip->addSubview(leftLabel_);
    strip->addSubview(midLabel_);

    const CGFloat top = CustomNavBar::kHeight;
    tableView_ = UITableView::create(CGRectMake(0, top, w, h - top), UITableViewStylePlain);
    tableView_->setAutoresizingMask(UIViewAutoresizingFlexibleHeight);
    const auto self = sharedSelf<OrderInfoViewController>();
    tableView_->setDataSource(std::weak_ptr<UITableViewDataSource>(self));
    tableView_->setDelegate(std::weak_ptr<UITableViewDelegate>(self));
    tableView_->setTableHeaderView(header);
    tableView_->setShowsVerticalScrollIndicator(true);
    tableView_->setShowsHorizontalScrollIndicator(false);
    tableView_->setBackgroundColor(UIColor::whiteColor());
    tableView_->setSeparatorColor(UIColor::clearColor());
    view()->addSubview(tableView_);
}

void OrderInfoViewController::sendDetailRequest() {
    const auto app = BrisfoldAppDelegate::getApp();
    if (!app) return;
    DataRequestManager::shareManger()->requestWithURLString(
        app->serviceURL("Order/OrderDetail"), engineerBody() + "&OrderID=" + formValue(orderIDStr_),
        weakSelf<UIViewController>());
}

void OrderInfoViewController::updateDataWithDictionary(const nlohmann::json& dictionary) {
    NSLog("%s", dictionary.dump().c_str());
    if (!replyText(dictionary, "code").empty()) {
        showActionReply(dictionary);
        return;
    }
    showDetail(dictionary);
}

void OrderInfoViewController::showDetail(const nlohmann::json& reply) {
    topDataArray_.clear();
    botDataDic_.clear();
    devicePageNum_ = 0;
    phoneNum_ = replyText(reply, "ContactTelphone");
    // A reply without the order's ID keeps the one the screen was opened with: no empty ID
    // reaches an action.
    if (const std::string id = replyText(reply, "OrderID"); !id.empty()) orderIDStr_ = id;
    IsLeaveStr_ = replyText(reply, "IsLeave");
    IsAgreeRefundStr_ = replyText(reply, "IsAgreeRefund");
    orderStateIDStr_ = replyText(reply, "OrderStateID");
    switch (stateOf(orderStateIDStr_)) {
        case OrderStateToDepart:
            botButtonTitleStr_ = "出发";
            break;
        case OrderStateToImplement:
            botButtonTitleStr_ = "实施";
            break;
        case OrderStateToFinish:
            botButtonTitleStr_ = "完工";
            break;
        case OrderStateOther:
            botButtonTitleStr_ = hasActionRow() ? "申请补偿" : "";
            break;
        default:
            botButtonTitleStr_.clear();
    }
    const std::string goodsID = replyText(reply, "GoodsID");
    const bool catalogue = goodsID == kTravelExcludedGoodsID;
    if (titleLabel_) {
        if (reply.contains("UserName")) {
            titleLabel_->setFrame(
                CGRectMake(20, 10, widthForTitleWithContent(replyText(reply, "UserName")), 35));
            const CGRect t = titleLabel_->frame();
            signLabel_->setFrame(
                CGRectMake(CGRectGetMaxX(t) + 5, t.origin.y + (t.size.height - 18) / 2, 54, 18));
        }
        titleLabel_->setText(replyText(reply, "UserName"));
        subTitleLabel_->setText(replyText(reply, "GoodsName"));
        const std::string state = replyText(reply, "OrderState");
        signLabel_->setHidden(state.empty());
        signLabel_->setText(state);
        leftLabel_->setText(catalogue ? "不含差旅费" : "包含差旅费");
        midLabel_->setText(replyText(reply, "City"));
    }
    if (const std::string id = replyText(reply, "AskPriceID"); !id.empty()) askPriceIDStr_ = id;

    const auto devices = reply.find("Device");
    if (devices != reply.end() && devices->is_array()) {
        auto heading = OrderModel::create();
        heading->setDeviceFactoryStr("设备厂商");
        heading->setDeviceTypeStr("设备类型");
        heading->setDeviceNumberStr("设备型号");
        heading->setDeviceCountStr("设备数量");
        topDataArray_.push_back(std::move(heading));
        for (const auto& element : *devices) topDataArray_.push_back(deviceRow(element));
        devicePageNum_ = 1;
    }

    auto& first = botDataDic_["first"];
    first.push_back(captionRow("行业", replyText(reply, "Industry")));
    if (reply.contains("Servicesname"))
        first.push_back(captionRow("业务类型", textOrNone(reply, "Servicesname")));
    auto& second = botDataDic_["second"];
    second.push_back(captionRow("期望开工时间", replyText(reply, "HopeStartDate")));
    second.push_back(captionRow("期望价格", numberOr(reply, "HopeProvice", "无")));
    if (reply.contains("OtherExpenses"))
        second.push_back(captionRow("小费", numberOr(reply, "OtherExpenses", "0")));
    if (!catalogue)
        second.push_back(captionRow("设备成交价格", numberOr(reply, "BuyDevicePrice", "无")));
    second.push_back(captionRow("当前最低报价", replyText(reply, "offerPrice")));
    auto history = captionRow(kHistoryTitle, "");
    std::vector<std::string> prices;
    if (const auto offers = reply.find("OfferList"); offers != reply.end() && offers->is_array())
        for (const auto& offer : *offers) prices.push_back(replyText(offer, "offerPrice"));
    history->setHistoryPriceArray(std::move(prices));
    second.push_back(std::move(history));
    second.push_back(captionRow("订单金额", replyText(reply, "money")));
    auto& third = botDataDic_["third"];
    third.push_back(captionRow("最终客户名称", replyText(reply, "ContactName")));
    third.push_back(captionRow("发布人姓名", replyText(reply, "UserName")));
    third.push_back(captionRow("具体地址", replyText(reply, "ImplementPlace")));
    if (present(reply, "TravelExpenseDesc"))
        third.push_back(captionRow("差旅条件", replyText(reply, "TravelExpenseDesc")));
    if (catalogue && present(reply, "TransportationType"))
        third.push_back(captionRow("计划交通工具", replyText(reply, "TransportationType")));
    if (catalogue && present(reply, "HotelType"))
        third.push_back(captionRow("期望住宿条件", replyText(reply, "HotelType")));
    auto& fourth = botDataDic_["fourth"];
    fourth.push_back(captionRow("需求细节描述", replyText(reply, "DetailsDesc")));
    fourth.push_back(captionRow("评价", textOrNone(reply, "CommentDetail")));
    if (tableView_) tableView_->reloadData();
}

void OrderInfoViewController::showActionReply(const nlohmann::json& reply) {
    if (const std::string tip = replyText(reply, "tip"); !tip.empty()) showMessage(tip);
    if (!isSendAddress_) return;
    isSendAddress_ = false;
    if (replyText(reply, "code") != "1") return;
    switch (stateOf(orderStateIDStr_)) {
        case OrderStateToDepart:
            if (signLabel_) signLabel_->setText("待实施");
            break;
        case OrderStateToImplement:
            if (signLabel_) signLabel_->setText("待完工");
            break;
        case OrderStateToFinish:
            if (signLabel_) signLabel_->setText("已完工");
            break;
        default:
            break;
    }
    botButtonTitleStr_.clear();
    if (auto opener = superViewController_.lock()) ::doRefresh(*opener);
    if (tableView_) tableView_->reloadData();
}

int OrderInfoViewController::widthForTitleWithContent(const std::string& content) {
    const int b = FactoryClass::widthOfButtonWithContentText(content, 35, 25, true);
    const int m = static_cast<int>(view()->frame().size.width) / 4 * 3;
    return (b + 30 > m ? m - 30 : b) + 20;
}

void OrderInfoViewController::navBarButtonClick(const std::shared_ptr<UIView>& sender) {
    if (sender && sender->tag() == 0) {
        backButtonClick();
    } else {
        NSLog("暂无此按钮");
    }
}

void OrderInfoViewController::backButtonClick() { inquiry::popScreen(*this); }

void OrderInfoViewController::swipAction(UISwipeGestureRecognizer& gesture) {
    if (gesture.direction() &
        (UISwipeGestureRecognizerDirectionLeft | UISwipeGestureRecognizerDirectionRight))
        backButtonClick();
}

void OrderInfoViewController::phoneButtonClick() {
    inquiry::callPhone(sharedSelf<NSObject>(), phoneNum_);
}

void OrderInfoViewController::xialaButtonClick(const std::shared_ptr<UIButton>& sender) {
    if (sender) sender->setBackgroundImage(nullptr, UIControlStateNormal);
    if (topDataArray_.size() < 1 + kDevicesPerPage) {
        showMessage(kNoMoreData);
        return;
    }
    const uint64_t page = std::max<uint64_t>(devicePageNum_, 1) + 1;
    std::weak_ptr<OrderInfoViewController> weak = sharedSelf<OrderInfoViewController>();
    inquiry::requestDevicePage(askPriceIDStr_, page, kDevicesPerPage, weakSelf<UIViewController>(),
                               [weak, page](const nlohmann::json& dictionary, bool hasRows) {
                                   auto self = weak.lock();
                                   if (!self) return;
                                   if (hasRows) self->devicePageNum_ = page;
                                   self->updateDeviceNumWithDictionary(dictionary);
                               });
}

void OrderInfoViewController::updateDeviceNumWithDictionary(const nlohmann::json& dictionary) {
    const auto list = dictionary.is_object() ? dictionary.find("List") : dictionary.end();
    if (list == dictionary.end() || !list->is_array() || list->empty()) return;
    for (const auto& element : *list) topDataArray_.push_back(deviceRow(element));
    if (tableView_) tableView_->reloadData();
}

bool OrderInfoViewController::hasActionRow() const {
    if (stateOf(orderStateIDStr_) != OrderStateOther) return true;
    return IsLeaveStr_ == "1" && IsAgreeRefundStr_ != "1";
}

void OrderInfoViewController::baojiaButtonClick() {
    const int state = stateOf(orderStateIDStr_);
    std::weak_ptr<OrderInfoViewController> weak = sharedSelf<OrderInfoViewController>();
    if (const auto move = orderStateMove(state)) {
        auto popup = Pop_upWindow::create(view()->frame(), 2, std::nullopt, move->confirmation,
                                          sharedSelf<UIViewController>());
        popup->getAttribute([weak](const std::optional<std::string>&,
                                   const std::optional<std::string>&, bool confirmed) {
            auto self = weak.lock();
            if (!self || !confirmed) return;
            self->isSendAddress_ = true;
            self->getAddress();
        });
        inquiry::presentPopup(*this, popup);
        return;
    }
    if (state != OrderStateOther || !hasActionRow()) return;
    auto popup = Pop_upWindow::create(view()->frame(), 3, std::nullopt, "补偿金额", "补偿原因",
                                      "请在此输入赔偿金额", "请在此输入原因/理由",
                                      sharedSelf<UIViewController>());
    popup->getAttribute([weak](const std::optional<std::string>& amount,
                               const std::optional<std::string>& reason, bool confirmed) {
        auto self = weak.lock();
        if (!self || !confirmed) return;
        self->isSendAddress_ = true;
        self->sendAction("Order/CancelService",
                         engineerBody() + "&orderID=" + formValue(self->orderIDStr_) +
                             "&refundPrice=" + formValue(amount.value_or("")) +
                             "&reason=" + formValue(reason.value_or("")));
    });
    inquiry::presentPopup(*this, popup);
}

void OrderInfoViewController::sendAction(const std::string& path, const std::string& body) {
    const auto app = BrisfoldAppDelegate::getApp();
    DataRequestManager::shareManger()->requestWithURLString(app->serviceURL(path), body,
                                                            weakSelf<UIViewController>());
}

void OrderInfoViewController::getAddress() {
    isSendAddress_ = false;
    initMapView();
}

// A lookup replaced here goes, and with it its answer. The flag marks the address as asked for.
void OrderInfoViewController::initMapView() {
    lookup_.reset();
    std::weak_ptr<OrderInfoViewController> weak = sharedSelf<OrderInfoViewController>();
    lookup_ = PositionLookup::create(
        [weak](const std::string& address) {
            auto self = weak.lock();
            if (!self) return;
            self->getAddressFromMap(address);
            self->lookup_.reset();
        },
        [weak] {
            auto self = weak.lock();
            if (!self) return;
            self->isSendAddress_ = false;
            self->lookup_.reset();
            self->showMessage(PositionLookup::kFailureMessage);
        },
        [weak] {
            if (auto self = weak.lock()) self->isSendAddress_ = true;
        });
    lookup_->initMapView(view()->bounds());
    initSearch();
}

void OrderInfoViewController::initSearch() {
    if (lookup_) lookup_->initSearch();
}

void OrderInfoViewController::getAddressFromMap(const std::string& address) {
    const auto move = orderStateMove(stateOf(orderStateIDStr_));
    if (!move) return;
    sendAction(move->path, engineerBody() + "&OrderID=" + formValue(orderIDStr_) +
                               "&LeaveAddress=" + formValue(address));
}

void OrderInfoViewController::showMessage(const std::string& message) {
    inquiry::toast(sharedSelf<NSObject>(), message);
}

const std::vector<std::shared_ptr<OrderModel>>& OrderInfoViewController::rowsOfSection(
    int section) const {
    static const std::vector<std::shared_ptr<OrderModel>> kNone;
    if (section < 1 || section > 4) return kNone;
    const auto found = botDataDic_.find(kSectionKeys[section - 1]);
    return found == botDataDic_.end() ? kNone : found->second;
}

bool OrderInfoViewController::isActionRow(const NSIndexPath& indexPath) const {
    return !botDataDic_.empty() && indexPath.section == 4 &&
           static_cast<size_t>(indexPath.row) == rowsOfSection(4).size();
}

int OrderInfoViewController::numberOfSectionsInTableView(const std::shared_ptr<UITableView>&) {
    return static_cast<int>(botDataDic_.size()) + 1;
}

int OrderInfoViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&,
                                                            int section) {
    if (section == 0) return static_cast<int>(topDataArray_.size());
    const int rows = static_cast<int>(rowsOfSection(section).size());
    return section == 4 ? rows + 1 : rows;
}

int OrderInfoViewController::heightForRowAtIndexPath(const NSIndexPath& indexPath) {
    if (indexPath.section == 0) return static_cast<int>(kDeviceRowHeight);
    if (isActionRow(indexPath)) return static_cast<int>(kActionRowHeight);
    const auto& rows = rowsOfSection(indexPath.section);
    if (static_cast<size_t>(indexPath.row) >= rows.size()) return 0;
    const auto& row = *rows[static_cast<size_t>(indexPath.row)];
    const std::string content = row.titleStr() == kHistoryTitle ? "hhhhhhhhhhh" : row.subTitleStr();
    return FactoryClass::heightOfCellWithTitleText(row.titleStr(), content,
                                                   static_cast<int>(view()->frame().size.width), 16,
                                                   false, false) +
           20;
}

std::optional<CGFloat> OrderInfoViewController::tableViewHeightForRowAtIndexPath(
    const std::shared_ptr<UITableView>&, const NSIndexPath& indexPath) {
    return static_cast<CGFloat>(heightForRowAtIndexPath(indexPath));
}

std::optional<CGFloat> OrderInfoViewController::tableViewHeightForHeaderInSection(
    const std::shared_ptr<UITableView>&, int) {
    return 1;
}

std::shared_ptr<UIView> OrderInfoViewController::tableViewViewForHeaderInSection(
    const std::shared_ptr<UITableView>&, int) {
    return inquiry::sectionLine(view()->frame().size.width);
}

std::optional<CGFloat> OrderInfoViewController::tableViewHeightForFooterInSection(
    const std::shared_ptr<UITableView>&, int section) {
    return section == 0 && topDataArray_.size() >= 1 + kDevicesPerPage ? 40 : 0;
}

std::shared_ptr<UIView> OrderInfoViewController::tableViewViewForFooterInSection(
    const std::shared_ptr<UITableView>&, int section) {
    if (section != 0 || topDataArray_.size() < 1 + kDevicesPerPage) return nullptr;
    std::weak_ptr<OrderInfoViewController> weak = sharedSelf<OrderInfoViewController>();
    return inquiry::devicesFooter(view()->frame().size.width, sharedSelf<NSObject>(),
                                  [weak](const std::shared_ptr<UIButton>& b) {
                                      if (auto self = weak.lock()) self->xialaButtonClick(b);
                                  })
        .view;
}

std::shared_ptr<UITableViewCell> OrderInfoViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const NSIndexPath& indexPath) {
    auto cell = std::dynamic_pointer_cast<OrderInfoCell>(
        tableView->dequeueReusableCellWithIdentifier(kOrderInfoCellIdentifier));
    if (!cell) cell = OrderInfoCell::create(kOrderInfoCellIdentifier);
    const auto views = cell->contentView()->subviews();
    for (const auto& v : views) v->removeFromSuperview();
    const CGRect frame = CGRectMake(0, 0, view()->frame().size.width,
                                    static_cast<CGFloat>(heightForRowAtIndexPath(indexPath)));
    const auto row = static_cast<size_t>(indexPath.row);
    if (indexPath.section == 0) {
        if (row >= topDataArray_.size()) return cell;
        const auto& device = *topDataArray_[row];
        cell->setupUIConfigWithFrame(frame, 0, 0, {}, {}, "");
        cell->firmLab()->setText(device.deviceFactoryStr());
        cell->typeLab()->setText(device.deviceTypeStr());
        cell->modelLab()->setText(device.deviceCountStr());
        cell->numLab()->setText(device.deviceNumberStr());
        return cell;
    }
    if (isActionRow(indexPath)) {
        // A cancelled order the engineer may claim nothing for keeps an empty row.
        if (!hasActionRow()) return cell;
        std::weak_ptr<OrderInfoViewController> weak = sharedSelf<OrderInfoViewController>();
        cell->setupUIConfigWithFrame(
            frame, 2, 0, sharedSelf<NSObject>(),
            [weak](const std::shared_ptr<UIButton>&) {
                if (auto self = weak.lock()) self->baojiaButtonClick();
            },
            botButtonTitleStr_);
        return cell;
    }
    const auto& rows = rowsOfSection(indexPath.section);
    if (row >= rows.size()) return cell;
    const auto& item = *rows[row];
    if (item.titleStr() == kHistoryTitle) {
        const auto& prices = item.historyPriceArray();
        cell->setupUIConfigWithFrame(frame, 3, static_cast<int>(prices.size()), {}, {}, "");
        cell->titleTextView()->setText(item.titleStr());
        const std::shared_ptr<UILabel> boxes[] = {
            cell->history_oneLabel(), cell->history_twoLabel(), cell->history_threeLabel()};
        for (size_t i = 0; i < prices.size() && i < std::size(boxes); ++i)
            boxes[i]->setText(prices[i]);
        return cell;
    }
    cell->setupUIConfigWithFrame(frame, 1, 0, {}, {}, "");
    cell->titleTextView()->setText(item.titleStr());
    cell->contentTextView()->setText(item.subTitleStr());
    if (item.titleStr() == "当前最低报价" || item.titleStr() == "订单金额") {
        cell->titleTextView()->setTextColor(UIColor::redColor());
        cell->contentTextView()->setTextColor(UIColor::redColor());
    }
    return cell;
}
