#include "inquiries/SearchModel.h"

#include "shell/DataRequestManager.h"

std::shared_ptr<SearchModel> SearchModel::createWithElement(const nlohmann::json& element) {
    auto model = std::shared_ptr<SearchModel>(new SearchModel());
    model->nameStr_ = replyText(element, "name");
    model->IDStr_ = replyText(element, "ID");
    return model;
}
