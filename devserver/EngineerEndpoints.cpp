#include "EngineerEndpoints.h"

#include <cstdint>
#include <limits>
#include <string>

#include "PasswordHash.h"
#include "Sessions.h"

namespace devserver {

namespace {

constexpr const char* kLoginFailed = "用户名或密码错误";

nlohmann::json statistics(Database& db, const std::string& engineerId) {
    auto count = [&](const char* sql) { return std::to_string(db.scalar(sql, engineerId)); };
    return {
        {"OfferCount", count("SELECT COUNT(*) FROM offers WHERE engineer_id = ?")},
        {"OrderCount", count("SELECT COUNT(*) FROM orders WHERE engineer_id = ?")},
        {"FinishCount",
         count("SELECT COUNT(*) FROM orders WHERE engineer_id = ? AND order_state_id = 21")},
    };
}

nlohmann::json login(const ApiRequest& request) {
    const std::string& userName = request.form.required("UserName");
    const std::string& password = request.form.required("PassWord");

    auto engineer = request.db.query(
        "SELECT user_id, password_salt, password_hash, password_iterations, engineer_no, mobile, "
        "photo, full_name, level FROM engineers WHERE user_name = ?",
        userName);
    if (!engineer.step()) return actionReply(false, kLoginFailed);
    // A count out of range (a damaged row) matches nothing rather than wrapping around.
    const int64_t rounds = engineer.integer(3);
    const int iterations =
        rounds > 0 && rounds <= std::numeric_limits<int>::max() ? static_cast<int>(rounds) : 0;
    const PasswordHash stored{engineer.text(1), engineer.text(2), iterations};
    if (!stored.matches(password)) return actionReply(false, kLoginFailed);

    const std::string userId = engineer.text(0);
    const std::string token = randomHex(16);
    request.db.run("UPDATE engineers SET token_hash = ? WHERE user_id = ?", tokenHash(token),
                   userId);
    // Notices never count: they cannot be marked read.
    const int64_t unread = request.db.scalar(
        "SELECT COUNT(*) FROM messages WHERE engineer_id = ? AND is_read = 0 AND "
        "news_type_id <> -1",
        userId);

    auto reply = actionReply(true, "登录成功");
    reply["UserID"] = userId;
    reply["EngineerNo"] = engineer.text(4);
    reply["Token"] = token;
    reply["Mobile"] = engineer.text(5);
    reply["Photo"] = engineer.text(6);
    reply["FullName"] = engineer.text(7);
    reply["Level"] = engineer.text(8);
    reply["NotReadCount"] = std::to_string(unread);
    reply["Statistics"] = statistics(request.db, userId);
    request.setCookie = openSession(request.db, userId);
    return reply;
}

}  // namespace

void registerEngineerEndpoints(ApiRouter& router) { router.add("Engineer/Login", login); }

}  // namespace devserver
