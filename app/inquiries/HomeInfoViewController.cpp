#include "inquiries/HomeInfoViewController.h"

#include "Foundation/JSONValue.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotificationCenter.h"
#include "Foundation/NSRunLoop.h"
#include "SQLiteStore/DBManager.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UINavigationController.h"
#include "inquiries/HomeInfoCell.h"
#include "inquiries/InquiryScreenKit.h"
#include "inquiries/Pop_upWindow.h"
#include "inquiries/TravelViewController.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/ButtonAction.h"
#include "shell/CustomNavBar.h"
#include "shell/DataRequestManager.h"
#include "shell/FactoryClass.h"

namespace {

constexpr const char* kHomeInfoCellIdentifier = "homeInfoCell";
constexpr const char* kStarred = "工程－详情页9_06.png";
constexpr const char* kNotStarred = "工程－详情页9_06 2.png";
constexpr const char* kNoMoreData = "没有更多数据";

bool present(const nlohmann::json& reply, const char* key) {
    return !replyText(reply, key).empty();
}

std::shared_ptr<HomeModel> deviceRecord(const nlohmann::json& element) {
    auto device = HomeModel::create();
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
    auto icon = UIImageView::create(CGRectMake(0, 0, 14, 14));
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

}  // namespace

std::string detailNumberOrNone(const nlohmann::json& reply, const char* key) {
    const auto found = reply.is_object() ? reply.find(key) : reply.end();
    if (found == reply.end() || !found->is_number()) return "无";
    return describe(*found);
}

std::shared_ptr<HomeModel> captionRow(const std::string& caption, std::string value) {
    auto row = HomeModel::create();
    row->setTitleStr(caption);
    row->setSubTitleStr(std::move(value));
    return row;
}

std::shared_ptr<HomeInfoViewController> HomeInfoViewController::create(
    std::shared_ptr<HomeModel> superModel, std::weak_ptr<UIViewController> superClass) {
    auto screen = std::shared_ptr<HomeInfoViewController>(
        new HomeInfoViewController(std::move(superModel), std::move(superClass)));
    screen->setHidesBottomBarWhenPushed(true);
    return screen;
}

void HomeInfoViewController::viewDidLoad() {
    setEdgesForExtendedLayout(UIRectEdgeNone);
    view()->setBackgroundColor(UIColor::whiteColor());
    creatSwipeGesture(UISwipeGestureRecognizerDirectionLeft);
    creatSwipeGesture(UISwipeGestureRecognizerDirectionRight);
}

void HomeInfoViewController::creatSwipeGesture(unsigned direction) {
    inquiry::addSwipe(*view(), sharedSelf<HomeInfoViewController>(), direction);
}

void HomeInfoViewController::viewWillAppear(bool) {
    std::weak_ptr<HomeInfoViewController> weak = sharedSelf<HomeInfoViewController>();
    inquiry::setupDetailNavBar(*this, title(), false, "",
                               [weak](const std::shared_ptr<UIView>& sender) {
                                   if (auto self = weak.lock()) self->navBarButtonClick(sender);
                               });
    if (!isFirstLoad_) return;
    isFirstLoad_ = false;
    NSRunLoop::mainRunLoop()->performAfterDelay(0, [weak] {
        auto self = weak.lock();
        if (!self) return;
        self->setupUIConfig();
        self->sendDetailRequest();
    });
}

void HomeInfoViewController::viewWillDisappear(bool) { FactoryClass::removeBarWithClass(*this); }

void HomeInfoViewController::setupUIConfig() {
    if (tableView_) return;
    const CGFloat w = view()->bounds().size.width;
    const CGFloat h = view()->bounds().size.height;
    auto header = UIView::create(CGRectMake(0, 0, w, kHeaderHeight));
    header->setBackgroundColor(UIColor::whiteColor());
    titleLabel_ =
        headerLabel(CGRectMake(20, 10, w / 5 * 4 - 40, 35), UIFont::boldSystemFontOfSize(25));
    subTitleLabel_ =
        headerLabel(CGRectMake(20, 55, w / 5 * 4 - 40, 20), UIFont::systemFontOfSize(17));
    header->addSubview(titleLabel_);
    header->addSubview(subTitleLabel_);
    auto info = UIView::create(CGRectMake(0, 90, w, 20));
    info->setBackgroundColor(UIColor::colorWithRed(0.78, 0.88, 0.96, 1));
    info->setUserInteractionEnabled(false);
    info->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin |
                              UIViewAutoresizingFlexibleRightMargin);
    leftLabel_ = infoField(CGRectMake(20, 3, 64, 14), "ic_service_tool.png");
    midLabel_ = infoField(CGRectMake(94, 3, 64, 14), "ic_service_location.png");
    rightLabel_ = infoField(CGRectMake(168, 3, w / 3, 14), "ic_service_time.png");
    for (const auto& f : {leftLabel_, midLabel_, rightLabel_}) info->addSubview(f);
    header->addSubview(info);

    const CGFloat side = (kHeaderHeight - 20 - 30) / 2;
    std::weak_ptr<NSObject> target = sharedSelf<NSObject>();
    std::weak_ptr<HomeInfoViewController> weak = sharedSelf<HomeInfoViewController>();
    faverateBtn_ = UIButton::buttonWithType(UIButtonTypeCustom);
    faverateBtn_->setFrame(CGRectMake(w - 60, 10, side, side));
    faverateBtn_->setBackgroundColor(UIColor::clearColor());
    // From the message centre the star is neither shown nor answers.
    if (wherefrom_ != "message") {
        faverateBtn_->setBackgroundImage(UIImage::imageNamed(kNotStarred), UIControlStateNormal);
        sendActionOnTap(faverateBtn_, target, [weak](const std::shared_ptr<UIButton>&) {
            if (auto self = weak.lock()) self->faverateButtonClick();
        });
    }
    phoneBtn_ = UIButton::buttonWithType(UIButtonTypeCustom);
    phoneBtn_->setFrame(CGRectMake(w - 60, side + 20, side, side));
    phoneBtn_->setBackgroundColor(UIColor::clearColor());
    phoneBtn_->setBackgroundImage(UIImage::imageNamed("ic_tel_nromal.png"), UIControlStateNormal);
    sendActionOnTap(phoneBtn_, target, [weak](const std::shared_ptr<UIButton>&) {
        if (auto self = weak.lock()) self->phoneButtonClick();
    });
    header->addSubview(faverateBtn_);
    header->addSubview(phoneBtn_);

    const CGFloat top = CustomNavBar::kHeight;
    tableView_ = UITableView::create(CGRectMake(0, top, w, h - top), UITableViewStylePlain);
    tableView_->setAutoresizingMask(UIViewAutoresizingFlexibleHeight);
    tableView_->setDataSource(std::weak_ptr<UITableViewDataSource>(weak.lock()));
    tableView_->setDelegate(std::weak_ptr<UITableViewDelegate>(weak.lock()));
    tableView_->setTableHeaderView(header);
    tableView_->setShowsVerticalScrollIndicator(true);
    tableView_->setShowsHorizontalScrollIndicator(false);
    tableView_->setBackgroundColor(UIColor::whiteColor());
    tableView_->setSeparatorColor(UIColor::clearColor());
    view()->addSubview(tableView_);
    markFavoriteButton();
}

void HomeInfoViewController::sendDetailRequest() {
    const auto app = BrisfoldAppDelegate::getApp();
    if (!app) return;
    const std::string body =
        "engineerID=" + formValue(app->APPUserID()) + "&askpriceID=" + formValue(askPriceID_);
    DataRequestManager::shareManger()->requestWithURLString(
        app->serviceURL("AskPrice/AskPriceDetail"), body, weakSelf<UIViewController>());
}

void HomeInfoViewController::updateDataWithDictionary(const nlohmann::json& dictionary) {
    const std::string code = replyText(dictionary, "code");
    if (code.empty()) {
        showDetail(dictionary);
        return;
    }
    if (const std::string tip = replyText(dictionary, "tip"); !tip.empty()) showMessage(tip);
    const bool mine = isOfferPrice_;
    isOfferPrice_ = false;
    if (code != "1" || !mine) return;
    // The action reply carries no inquiry: the detail is asked for again rather than drawn
    // from it.
    if (auto opener = superClass_.lock()) ::doRefresh(*opener);
    sendDetailRequest();
}

void HomeInfoViewController::doRefresh() {
    sendDetailRequest();
    if (auto opener = superClass_.lock()) ::doRefresh(*opener);
}

void HomeInfoViewController::showDetail(const nlohmann::json& reply) {
    const std::string goodsID = replyText(reply, "GoodsID");
    if (titleLabel_) {
        titleLabel_->setText(replyText(reply, "UserName"));
        subTitleLabel_->setText(replyText(reply, "GoodsName"));
        leftLabel_->setText(goodsID == kTravelExcludedGoodsID ? "不含差旅费" : "包含差旅费");
        midLabel_->setText(replyText(reply, "ImplementCity"));
        rightLabel_->setText("还有" + replyText(reply, "TimeLimit") + "天结束");
    }
    phoneNum_ = replyText(reply, "Phone");
    pGoodsIDStr_ = goodsID;

    topDataArray_.clear();
    devicePageNum_ = 0;
    const auto devices = reply.find("Device");
    if (devices != reply.end() && devices->is_array()) {
        auto heading = HomeModel::create();
        heading->setDeviceFactoryStr("设备厂商");
        heading->setDeviceTypeStr("设备类型");
        heading->setDeviceNumberStr("设备型号");
        heading->setDeviceCountStr("设备数量");
        topDataArray_.push_back(std::move(heading));
        for (const auto& element : *devices) topDataArray_.push_back(deviceRecord(element));
        devicePageNum_ = 1;
    }
    sections_ = sectionsFromReply(reply);
    markFavoriteButton();
    if (tableView_) tableView_->reloadData();
}

std::vector<std::vector<std::shared_ptr<HomeModel>>> HomeInfoViewController::sectionsFromReply(
    const nlohmann::json& reply) const {
    const bool catalogue = replyText(reply, "GoodsID") == kTravelExcludedGoodsID;
    std::vector<std::vector<std::shared_ptr<HomeModel>>> s(4);
    s[0].push_back(captionRow("行业", replyText(reply, "IndustryName")));
    if (present(reply, "Servicesname"))
        s[0].push_back(captionRow("业务类型", replyText(reply, "Servicesname")));
    s[1].push_back(captionRow("期望开工时间", replyText(reply, "HopeStartDate")));
    s[1].push_back(captionRow("期望价格", detailNumberOrNone(reply, "HopeProvice")));
    if (present(reply, "OtherExpenses"))
        s[1].push_back(captionRow("小费", replyText(reply, "OtherExpenses")));
    if (!catalogue)
        s[1].push_back(captionRow("设备成交价格", detailNumberOrNone(reply, "BuyDevicePrice")));
    s[1].push_back(captionRow("当前最低报价", replyText(reply, "offerPrice")));
    s[2].push_back(captionRow("最终客户名称", replyText(reply, "FinalCustomer")));
    s[2].push_back(captionRow("发布人姓名", replyText(reply, "UserName")));
    s[2].push_back(captionRow("具体地址", replyText(reply, "ImplementPlace")));
    if (!catalogue && present(reply, "TravelExpenseDesc"))
        s[2].push_back(captionRow("差旅条件", replyText(reply, "TravelExpenseDesc")));
    if (catalogue && present(reply, "TransportationType"))
        s[2].push_back(captionRow("计划交通工具", replyText(reply, "TransportationType")));
    if (catalogue && present(reply, "HotelType"))
        s[2].push_back(captionRow("期望住宿条件", replyText(reply, "HotelType")));
    s[3].push_back(captionRow("需求细节描述", replyText(reply, "DetailsDesc")));
    return s;
}

void HomeInfoViewController::markFavoriteButton() {
    if (!faverateBtn_ || !superModel_ || wherefrom_ == "message") return;
    const bool starred = superModel_->haveFavorite() == "1";
    faverateBtn_->setBackgroundImage(UIImage::imageNamed(starred ? kStarred : kNotStarred),
                                     UIControlStateNormal);
    faverateBtn_->setSelected(starred);
}

void HomeInfoViewController::navBarButtonClick(const std::shared_ptr<UIView>& sender) {
    if (sender && sender->tag() == 0) {
        backButtonClick();
    } else {
        NSLog("暂无此按钮");
    }
}

void HomeInfoViewController::backButtonClick() { inquiry::popScreen(*this); }

void HomeInfoViewController::swipAction(UISwipeGestureRecognizer& gesture) {
    if (gesture.direction() &
        (UISwipeGestureRecognizerDirectionLeft | UISwipeGestureRecognizerDirectionRight))
        backButtonClick();
}

// The list screens re-mark their stars from the store; an open favourites list drops a row
// that was unstarred here.
void HomeInfoViewController::faverateButtonClick() {
    if (!superModel_) return;
    if (superModel_->askPriceIDStr().empty())
        superModel_->setAskPriceIDStr(superModel_->resourceIDStr());
    const bool wasStarred = superModel_->haveFavorite() == "1";
    if (!inquiry::toggleFavorite(*superModel_, sharedSelf<NSObject>())) return;
    if (const auto app = BrisfoldAppDelegate::getApp()) app->setDataBaseUpdate(true);
    markFavoriteButton();
    if (wasStarred) {
        NSNotificationCenter::defaultCenter()->postNotificationName(
            "didDeleteOneCollection", nullptr, {{"askPriceID", superModel_->askPriceIDStr()}});
    }
}

void HomeInfoViewController::phoneButtonClick() {
    inquiry::callPhone(sharedSelf<NSObject>(), phoneNum_);
}

void HomeInfoViewController::xialaButtonClick(const std::shared_ptr<UIButton>& sender) {
    if (sender) sender->setBackgroundImage(nullptr, UIControlStateNormal);
    if (topDataArray_.size() < 1 + kDevicesPerPage) {
        showMessage(kNoMoreData);
        return;
    }
    const uint64_t page = std::max<uint64_t>(devicePageNum_, 1) + 1;
    std::weak_ptr<HomeInfoViewController> weak = sharedSelf<HomeInfoViewController>();
    inquiry::requestDevicePage(askPriceID_, page, kDevicesPerPage, weakSelf<UIViewController>(),
                               [weak, page](const nlohmann::json& dictionary, bool hasRows) {
                                   auto self = weak.lock();
                                   if (!self) return;
                                   if (hasRows) self->devicePageNum_ = page;
                                   self->updateDeviceNumWithDictionary(dictionary);
                               });
}

void HomeInfoViewController::updateDeviceNumWithDictionary(const nlohmann::json& dictionary) {
    const auto list = dictionary.is_object() ? dictionary.find("List") : dictionary.end();
    if (list == dictionary.end() || !list->is_array() || list->empty()) {
        showMessage(kNoMoreData);
        return;
    }
    for (const auto& element : *list) topDataArray_.push_back(deviceRecord(element));
    if (tableView_) tableView_->reloadData();
}

void HomeInfoViewController::baojiaButtonClick() { setupPop_upWindowWithAskpriceID(askPriceID_); }

void HomeInfoViewController::setupPop_upWindowWithAskpriceID(const std::string& askPriceID) {
    if (pGoodsIDStr_ != kTravelExcludedGoodsID) {
        showAmountPopup(askPriceID);
        return;
    }
    auto question = Pop_upWindow::create(view()->frame(), 4, askPriceID, "是否需要客户提供差旅费",
                                         sharedSelf<UIViewController>());
    std::weak_ptr<HomeInfoViewController> weak = sharedSelf<HomeInfoViewController>();
    question->getAttribute([weak, id = askPriceID](const std::optional<std::string>& returned,
                                                   const std::optional<std::string>&,
                                                   bool confirmed) {
        auto self = weak.lock();
        if (!self) return;
        if (!confirmed) {
            self->showAmountPopup(id);
            return;
        }
        if (const auto navigation = self->navigationController())
            navigation->pushViewController(
                TravelViewController::create(returned.value_or(""),
                                             self->weakSelf<UIViewController>()),
                true);
    });
    inquiry::presentPopup(*this, question);
}

void HomeInfoViewController::showAmountPopup(const std::string& askPriceID) {
    auto popup = Pop_upWindow::create(view()->frame(), 1, askPriceID, "请在此填写报价金额",
                                      sharedSelf<UIViewController>());
    std::weak_ptr<HomeInfoViewController> weak = sharedSelf<HomeInfoViewController>();
    popup->getAttribute([weak](const std::optional<std::string>& id,
                               const std::optional<std::string>& amount, bool confirmed) {
        auto self = weak.lock();
        if (self && confirmed && amount)
            self->sendOfferRequestWithContent(*amount, id.value_or(""));
    });
    inquiry::presentPopup(*this, popup);
}

void HomeInfoViewController::sendOfferRequestWithContent(const std::string& content,
                                                         const std::string& askpriceID) {
    const auto app = BrisfoldAppDelegate::getApp();
    sendQuotation("brisfoldID=" + formValue(app->APPUserID()) +
                  "&askpriceID=" + formValue(askpriceID) + "&price=" + formValue(content));
}

void HomeInfoViewController::sendQuotation(const std::string& body) {
    isOfferPrice_ = true;
    const auto app = BrisfoldAppDelegate::getApp();
    DataRequestManager::shareManger()->requestWithURLString(
        app->serviceURL("AskPrice/EngineerPrice"), body, weakSelf<UIViewController>());
}

void HomeInfoViewController::showMessage(const std::string& message) {
    inquiry::toast(sharedSelf<NSObject>(), message);
}

const std::vector<std::shared_ptr<HomeModel>>& HomeInfoViewController::rowsOfSection(
    int section) const {
    static const std::vector<std::shared_ptr<HomeModel>> kNone;
    if (section < 1 || static_cast<size_t>(section) > sections_.size()) return kNone;
    return sections_[static_cast<size_t>(section) - 1];
}

bool HomeInfoViewController::isQuoteRow(const NSIndexPath& indexPath) const {
    return showsQuoteRow() && !sections_.empty() &&
           static_cast<size_t>(indexPath.section) == sections_.size() &&
           static_cast<size_t>(indexPath.row) == sections_.back().size();
}

int HomeInfoViewController::numberOfSectionsInTableView(const std::shared_ptr<UITableView>&) {
    return static_cast<int>(sections_.size()) + 1;
}

int HomeInfoViewController::tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&,
                                                           int section) {
    if (section == 0) return static_cast<int>(topDataArray_.size());
    const int rows = static_cast<int>(rowsOfSection(section).size());
    const bool last = static_cast<size_t>(section) == sections_.size();
    return rows + (last && showsQuoteRow() ? 1 : 0);
}

int HomeInfoViewController::heightForRowAtIndexPath(const NSIndexPath& indexPath) {
    if (indexPath.section == 0) return 40;
    if (isQuoteRow(indexPath)) return static_cast<int>(kQuoteRowHeight);
    const auto& rows = rowsOfSection(indexPath.section);
    const auto row = static_cast<size_t>(indexPath.row);
    return row < rows.size() ? static_cast<int>(captionRowHeight(*rows[row])) : 40;
}

std::optional<CGFloat> HomeInfoViewController::tableViewHeightForRowAtIndexPath(
    const std::shared_ptr<UITableView>&, const NSIndexPath& indexPath) {
    return static_cast<CGFloat>(heightForRowAtIndexPath(indexPath));
}

CGFloat HomeInfoViewController::captionRowHeight(const HomeModel& row) {
    return FactoryClass::heightOfCellWithTitleText(row.titleStr(), row.subTitleStr(),
                                                   static_cast<int>(view()->bounds().size.width),
                                                   16, false, false) +
           20;
}

std::optional<CGFloat> HomeInfoViewController::tableViewHeightForHeaderInSection(
    const std::shared_ptr<UITableView>&, int) {
    return 1;
}

std::shared_ptr<UIView> HomeInfoViewController::tableViewViewForHeaderInSection(
    const std::shared_ptr<UITableView>&, int) {
    return inquiry::sectionLine(view()->bounds().size.width);
}

std::optional<CGFloat> HomeInfoViewController::tableViewHeightForFooterInSection(
    const std::shared_ptr<UITableView>&, int section) {
    return section == 0 && topDataArray_.size() >= 1 + kDevicesPerPage ? 40 : 0;
}

std::shared_ptr<UIView> HomeInfoViewController::tableViewViewForFooterInSection(
    const std::shared_ptr<UITableView>&, int section) {
    if (section != 0 || topDataArray_.size() < 1 + kDevicesPerPage) return nullptr;
    std::weak_ptr<HomeInfoViewController> weak = sharedSelf<HomeInfoViewController>();
    auto footer = inquiry::devicesFooter(view()->bounds().size.width, sharedSelf<NSObject>(),
                                         [weak](const std::shared_ptr<UIButton>& b) {
                                             if (auto self = weak.lock()) self->xialaButtonClick(b);
                                         });
    btn_ = footer.arrow;
    return footer.view;
}

std::shared_ptr<UITableViewCell> HomeInfoViewController::tableViewCellForRowAtIndexPath(
    const std::shared_ptr<UITableView>& tableView, const NSIndexPath& indexPath) {
    if (isQuoteRow(indexPath)) return quoteCell(tableView);
    if (indexPath.section == 0) {
        auto cell = std::dynamic_pointer_cast<HomeInfoCell>(
            tableView->dequeueReusableCellWithIdentifier(kHomeInfoCellIdentifier));
        if (!cell) cell = HomeInfoCell::create(kHomeInfoCellIdentifier);
        const CGFloat w = view()->bounds().size.width;
        cell->setupUIConfigWithFrame(CGRectMake(0, 0, w, 40), 0, {}, nullptr);
        const auto row = static_cast<size_t>(indexPath.row);
        if (row < topDataArray_.size()) {
            const auto& device = *topDataArray_[row];
            cell->firmLab()->setText(device.deviceFactoryStr());
            cell->typeLab()->setText(device.deviceTypeStr());
            cell->modelLab()->setText(device.deviceCountStr());
            cell->numLab()->setText(device.deviceNumberStr());
        }
        return cell;
    }
    const auto& rows = rowsOfSection(indexPath.section);
    const auto row = static_cast<size_t>(indexPath.row);
    static const auto kEmpty = HomeModel::create();
    return captionCell(tableView, indexPath, row < rows.size() ? *rows[row] : *kEmpty);
}

std::shared_ptr<UITableViewCell> HomeInfoViewController::captionCell(
    const std::shared_ptr<UITableView>& table, const NSIndexPath& indexPath, const HomeModel& row) {
    auto cell = std::dynamic_pointer_cast<HomeInfoCell>(
        table->dequeueReusableCellWithIdentifier(kHomeInfoCellIdentifier));
    if (!cell) cell = HomeInfoCell::create(kHomeInfoCellIdentifier);
    const CGFloat w = view()->bounds().size.width;
    cell->setupUIConfigWithFrame(CGRectMake(0, 0, w, heightForRowAtIndexPath(indexPath)), 1, {},
                                 nullptr);
    cell->titleTextView()->setText(row.titleStr());
    cell->contentTextView()->setText(row.subTitleStr());
    if (row.titleStr() == "当前最低报价") {
        cell->titleTextView()->setTextColor(UIColor::redColor());
        cell->contentTextView()->setTextColor(UIColor::redColor());
    }
    return cell;
}

std::shared_ptr<UITableViewCell> HomeInfoViewController::quoteCell(
    const std::shared_ptr<UITableView>& table) {
    auto cell = std::dynamic_pointer_cast<HomeInfoCell>(
        table->dequeueReusableCellWithIdentifier(kHomeInfoCellIdentifier));
    if (!cell) cell = HomeInfoCell::create(kHomeInfoCellIdentifier);
    std::weak_ptr<HomeInfoViewController> weak = sharedSelf<HomeInfoViewController>();
    cell->setupUIConfigWithFrame(CGRectMake(0, 0, view()->bounds().size.width, kQuoteRowHeight), 2,
                                 sharedSelf<NSObject>(), [weak](const std::shared_ptr<UIButton>&) {
                                     if (auto self = weak.lock()) self->baojiaButtonClick();
                                 });
    return cell;
}
