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

// What a password check costs for the accounts of the data file: the iteration count most of
// them are hashed with.
int usualIterations(Database& db) {
    const int64_t rounds = db.scalar(
        "SELECT COALESCE((SELECT password_iterations FROM engineers GROUP BY password_iterations "
        "ORDER BY COUNT(*) DESC LIMIT 1), 0)");
    return rounds > 0 && rounds <= std::numeric_limits<int>::max() ? static_cast<int>(rounds)
                                                                   : kPasswordIterations;
}

nlohmann::json login(const ApiRequest& request, const std::function<void()>& beforePasswordCheck) {
    const std::string& userName = request.form.required("UserName");
    const std::string& password = request.form.required("PassWord");

    std::string userId;
    PasswordHash stored;
    {
        auto engineer = request.db.query(
            "SELECT user_id, password_salt, password_hash, password_iterations FROM engineers "
            "WHERE user_name = ?",
            userName);
        if (engineer.step()) {
            userId = engineer.text(0);
            // A count out of range (a damaged row) matches nothing rather than wrapping around.
            const int64_t rounds = engineer.integer(3);
            stored = {engineer.text(1), engineer.text(2),
                      rounds > 0 && rounds <= std::numeric_limits<int>::max()
                          ? static_cast<int>(rounds)
                          : 0};
        } else {
            // An unknown name costs what a wrong password costs, so that the reply time does
            // not tell which names exist.
            stored = PasswordHash::standIn(usualIterations(request.db));
        }
    }
    // The hash is slow on purpose: wrong passwords must not hold up everybody else's requests.
    request.dbLock.unlock();
    if (beforePasswordCheck) beforePasswordCheck();
    const bool matches = stored.matches(password);
    request.dbLock.lock();
    if (!matches || userId.empty()) return actionReply(false, kLoginFailed);

    auto engineer = request.db.query(
        "SELECT engineer_no, mobile, photo, full_name, level FROM engineers WHERE user_id = ?",
        userId);
    if (!engineer.step()) return actionReply(false, kLoginFailed);
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
    reply["EngineerNo"] = engineer.text(0);
    reply["Token"] = token;
    reply["Mobile"] = engineer.text(1);
    reply["Photo"] = engineer.text(2);
    reply["FullName"] = engineer.text(3);
    reply["Level"] = engineer.text(4);
    reply["NotReadCount"] = std::to_string(unread);
    reply["Statistics"] = statistics(request.db, userId);
    request.setCookie = openSession(request.db, userId);
    return reply;
}

// The session of the request ends here; another device of the engineer keeps its own.
nlohmann::json logout(const ApiRequest& request) {
    request.setCookie = closeSessions(request.db, request.cookies);
    return actionReply(true, "已退出登录");
}

}  // namespace

void registerEngineerEndpoints(ApiRouter& router, std::function<void()> beforePasswordCheck) {
    router.add("Engineer/Login", [hook = std::move(beforePasswordCheck)](
                                     const ApiRequest& request) { return login(request, hook); });
    router.add("Engineer/Logout", logout, {ApiAccess::Engineer, "brisfoldID"});
}

}  // namespace devserver
