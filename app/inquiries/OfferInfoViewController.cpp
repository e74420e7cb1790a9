#include "inquiries/OfferInfoViewController.h"

#include "Foundation/JSONValue.h"
#include "UIKit/UINavigationController.h"
#include "inquiries/InquiryScreenKit.h"
#include "inquiries/OfferInfoCell.h"
#include "inquiries/Pop_upWindow.h"
#include "inquiries/RemarkViewController.h"
#include "shell/BrisfoldAppDelegate.h"
#include "shell/DataRequestManager.h"

namespace {

constexpr const char* kOfferInfoCellIdentifier = "offerInfoCell";
constexpr const char* kHistory = "历史报价";
constexpr const char* kRemark = "备注";

std::shared_ptr<OfferInfoCell> reusedCell(const std::shared_ptr<UITableView>& table) {
    auto cell = std::dynamic_pointer_cast<OfferInfoCell>(
        table->dequeueReusableCellWithIdentifier(kOfferInfoCellIdentifier));
    return cell ? cell : OfferInfoCell::create(kOfferInfoCellIdentifier);
}

}  // namespace

std::shared_ptr<OfferInfoViewController> OfferInfoViewController::create(
    std::shared_ptr<HomeModel> superModel, std::weak_ptr<UIViewController> superClass) {
    auto screen = std::shared_ptr<OfferInfoViewController>(
        new OfferInfoViewController(std::move(superModel), std::move(superClass)));
    screen->setHidesBottomBarWhenPushed(true);
    return screen;
}

void OfferInfoViewController::updateDataWithDictionary(const nlohmann::json& dictionary) {
    if (replyText(dictionary, "code").empty()) {
        currentOfferStr_ = replyText(dictionary, "LastPrice");
        remarkStr_ = replyText(dictionary, "Remark");
    }
    HomeInfoViewController::updateDataWithDictionary(dictionary);
}

std::vector<std::vector<std::shared_ptr<HomeModel>>> OfferInfoViewController::sectionsFromReply(
    const nlohmann::json& reply) const {
    auto sections = HomeInfoViewController::sectionsFromReply(reply);
    if (reply.contains("FinalPrice"))
        sections[1].push_back(captionRow("最终报价", replyText(reply, "FinalPrice")));
    auto history = captionRow(kHistory, "");
    const auto list = reply.find("OfferList");
    if (list != reply.end() && list->is_array()) {
        for (const auto& entry : *list)
            history->historyPriceArray().push_back(replyText(entry, "offerPrice"));
    }
    sections[1].push_back(std::move(history));
    sections.push_back({captionRow(kRemark, replyText(reply, "Remark"))});
    return sections;
}

CGFloat OfferInfoViewController::captionRowHeight(const HomeModel& row) {
    return row.titleStr() == kRemark ? 40 : HomeInfoViewController::captionRowHeight(row);
}

std::shared_ptr<UITableViewCell> OfferInfoViewController::captionCell(
    const std::shared_ptr<UITableView>& table, const NSIndexPath& indexPath, const HomeModel& row) {
    auto cell = reusedCell(table);
    const CGRect frame = CGRectMake(0, 0, view()->bounds().size.width,
                                    *tableViewHeightForRowAtIndexPath(table, indexPath));
    if (row.titleStr() == kRemark) {
        cell->setupUIConfigWithFrame(frame, 3, 0, {}, nullptr);
        cell->titleLabel()->setText(row.titleStr());
        cell->contentLabel()->setText(row.subTitleStr());
        return cell;
    }
    if (row.titleStr() == kHistory) {
        const auto& prices = row.historyPriceArray();
        cell->setupUIConfigWithFrame(frame, 4, static_cast<int>(prices.size()), {}, nullptr);
        cell->titleTextView()->setText(row.titleStr());
        for (size_t i = 0; i < cell->historyLabels().size(); ++i)
            cell->historyLabels()[i]->setText(prices[i].get<std::string>());
        return cell;
    }
    cell->setupUIConfigWithFrame(frame, 1, 0, {}, nullptr);
    cell->titleTextView()->setText(row.titleStr());
    cell->contentTextView()->setText(row.subTitleStr());
    if (row.titleStr() == "当前最低报价" || row.titleStr() == "最终报价") {
        cell->titleTextView()->setTextColor(UIColor::redColor());
        cell->contentTextView()->setTextColor(UIColor::redColor());
    }
    return cell;
}

std::shared_ptr<UITableViewCell> OfferInfoViewController::quoteCell(
    const std::shared_ptr<UITableView>& table) {
    auto cell = reusedCell(table);
    std::weak_ptr<OfferInfoViewController> weak = sharedSelf<OfferInfoViewController>();
    cell->setupUIConfigWithFrame(CGRectMake(0, 0, view()->bounds().size.width, kQuoteRowHeight), 2,
                                 0, sharedSelf<NSObject>(),
                                 [weak](const std::shared_ptr<UIButton>&) {
                                     if (auto self = weak.lock()) self->baojiaButtonClick();
                                 });
    return cell;
}

void OfferInfoViewController::tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                               const NSIndexPath& indexPath) {
    const auto& rows = rowsOfSection(indexPath.section);
    const auto row = static_cast<size_t>(indexPath.row);
    const auto navigation = navigationController();
    if (row >= rows.size() || rows[row]->titleStr() != kRemark || !navigation) return;
    auto remark = RemarkViewController::create(rows[row]->subTitleStr(), false);
    std::weak_ptr<OfferInfoViewController> weak = sharedSelf<OfferInfoViewController>();
    remark->setBlock([weak](const std::string& text) {
        auto self = weak.lock();
        if (!self) return;
        self->remarkStr_ = text;
        self->sendOfferRequestWithContent(self->currentOfferStr_, self->askPriceID(), true);
    });
    navigation->pushViewController(remark, true);
}

void OfferInfoViewController::baojiaButtonClick() {
    auto popup = Pop_upWindow::create(view()->frame(), 1, askPriceID(), "请在此填写报价金额",
                                      sharedSelf<UIViewController>());
    std::weak_ptr<OfferInfoViewController> weak = sharedSelf<OfferInfoViewController>();
    popup->getAttribute([weak](const std::optional<std::string>& id,
                               const std::optional<std::string>& amount, bool confirmed) {
        auto self = weak.lock();
        if (!self || !confirmed || !amount) return;
        if (!amount->empty()) self->currentOfferStr_ = *amount;
        self->sendOfferRequestWithContent(*amount, id.value_or(""), false);
    });
    inquiry::presentPopup(*this, popup);
}

void OfferInfoViewController::sendOfferRequestWithContent(const std::string& content,
                                                          const std::string& askpriceID,
                                                          bool updateRemarkOrNot) {
    const auto app = BrisfoldAppDelegate::getApp();
    std::string body = "brisfoldID=" + formValue(app->APPUserID()) +
                       "&askpriceID=" + formValue(askpriceID) + "&price=" + formValue(content);
    if (updateRemarkOrNot) body += "&remark=" + formValue(remarkStr_);
    sendQuotation(body);
}
