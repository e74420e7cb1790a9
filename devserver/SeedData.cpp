#include "SeedData.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "InquiryScreensEndpoints.h"
#include "MessageEndpoints.h"
#include "PasswordHash.h"

namespace devserver {

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE engineers (
    user_id TEXT PRIMARY KEY,
    user_name TEXT NOT NULL UNIQUE,
    password_salt TEXT NOT NULL,
    password_hash TEXT NOT NULL,
    password_iterations INTEGER NOT NULL,
    engineer_no TEXT NOT NULL,
    full_name TEXT NOT NULL,
    mobile TEXT NOT NULL,
    photo TEXT NOT NULL DEFAULT '',
    level TEXT NOT NULL,
    token_hash TEXT NOT NULL DEFAULT ''
);
CREATE TABLE sessions (
    token_hash TEXT PRIMARY KEY,
    engineer_id TEXT NOT NULL REFERENCES engineers(user_id),
    expires_at INTEGER NOT NULL
);
CREATE TABLE goods (
    goods_id TEXT PRIMARY KEY,
    goods_name TEXT NOT NULL,
    kind TEXT NOT NULL
);
CREATE TABLE inquiries (
    ask_price_id TEXT PRIMARY KEY,
    user_name TEXT NOT NULL,
    phone TEXT NOT NULL,
    goods_id TEXT NOT NULL REFERENCES goods(goods_id),
    industry_name TEXT NOT NULL,
    servicesname TEXT NOT NULL,
    device_factory TEXT NOT NULL,
    implement_province TEXT NOT NULL,
    implement_city TEXT NOT NULL,
    implement_place TEXT NOT NULL,
    hope_start_date TEXT NOT NULL,
    hope_provice INTEGER,
    other_expenses INTEGER,
    buy_device_price INTEGER,
    final_customer TEXT NOT NULL,
    travel_expense_desc TEXT NOT NULL,
    transportation_type TEXT NOT NULL,
    hotel_type TEXT NOT NULL,
    details_desc TEXT NOT NULL,
    add_date TEXT NOT NULL,
    time_limit INTEGER NOT NULL,
    ordered INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE devices (
    device_id TEXT PRIMARY KEY,
    ask_price_id TEXT NOT NULL REFERENCES inquiries(ask_price_id),
    device_factory TEXT NOT NULL,
    device_type TEXT NOT NULL,
    device_number TEXT NOT NULL,
    device_count INTEGER NOT NULL,
    package_type TEXT NOT NULL,
    position INTEGER NOT NULL
);
CREATE INDEX devices_by_inquiry ON devices(ask_price_id, position);
CREATE TABLE offers (
    offer_id INTEGER PRIMARY KEY AUTOINCREMENT,
    ask_price_id TEXT NOT NULL REFERENCES inquiries(ask_price_id),
    engineer_id TEXT NOT NULL,
    price INTEGER NOT NULL,
    trans_id TEXT NOT NULL DEFAULT '',
    hotel_id TEXT NOT NULL DEFAULT '',
    add_date TEXT NOT NULL
);
CREATE INDEX offers_by_inquiry ON offers(ask_price_id);
CREATE INDEX offers_by_engineer ON offers(engineer_id);
CREATE TABLE orders (
    order_id TEXT PRIMARY KEY,
    ask_price_id TEXT NOT NULL REFERENCES inquiries(ask_price_id),
    engineer_id TEXT NOT NULL REFERENCES engineers(user_id),
    money INTEGER NOT NULL,
    add_date TEXT NOT NULL,
    order_state_id INTEGER NOT NULL,
    order_state TEXT NOT NULL,
    is_sure INTEGER NOT NULL,
    is_leave INTEGER NOT NULL,
    is_agree_refund INTEGER NOT NULL,
    contact_name TEXT NOT NULL,
    contact_telphone TEXT NOT NULL,
    comment_detail TEXT,
    leave_address TEXT NOT NULL DEFAULT '',
    refund_price TEXT NOT NULL DEFAULT '',
    refund_reason TEXT NOT NULL DEFAULT ''
);
CREATE INDEX orders_by_engineer ON orders(engineer_id, order_state_id);
CREATE TABLE messages (
    news_id TEXT PRIMARY KEY,
    engineer_id TEXT NOT NULL REFERENCES engineers(user_id),
    news_type_id INTEGER NOT NULL,
    news_type TEXT NOT NULL,
    content TEXT NOT NULL,
    resource_id TEXT NOT NULL,
    is_read INTEGER NOT NULL,
    add_date TEXT NOT NULL
);
CREATE INDEX messages_by_engineer ON messages(engineer_id, add_date);
CREATE TABLE notices (
    notice_id INTEGER PRIMARY KEY,
    notice_name TEXT NOT NULL,
    detail TEXT NOT NULL,
    add_date TEXT NOT NULL
);
)sql";

// Remote notifications, numbered across restarts: the app polls after the last number it saw,
// whichever server handed it out. Never reused, even once a number's notification is dropped.
constexpr const char* kPushesSchema = R"sql(
CREATE TABLE pushes (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    engineer_id TEXT NOT NULL REFERENCES engineers(user_id),
    user_info TEXT NOT NULL
);
CREATE INDEX pushes_by_engineer ON pushes(engineer_id, id);
)sql";

// The number of the notification whose push made a message, so that those messages can be kept
// for the newest pushes only; none for every other message.
constexpr const char* kMessagePushSchema = R"sql(
ALTER TABLE messages ADD COLUMN push_id INTEGER;
CREATE INDEX messages_by_push ON messages(engineer_id, push_id);
)sql";

// std::mt19937 yields the same sequence everywhere; the standard distributions do not, so
// the picks below use plain modulo.
class SeedRandom {
  public:
    SeedRandom() : engine_(20261130u) {}

    int range(int low, int high) {
        return low + static_cast<int>(engine_() % static_cast<uint32_t>(high - low + 1));
    }
    bool chance(int percent) { return range(1, 100) <= percent; }
    template <class T>
    const T& pick(std::span<const T> values) {
        return values[static_cast<size_t>(range(0, static_cast<int>(values.size()) - 1))];
    }
    std::string hexId() {
        std::string id;
        char buffer[9];
        for (int i = 0; i < 4; ++i) {
            std::snprintf(buffer, sizeof buffer, "%08x", static_cast<unsigned>(engine_()));
            id += buffer;
        }
        return id;
    }

  private:
    std::mt19937 engine_;
};

struct Place {
    const char* province;
    const char* city;
    const char* districts[2];
};

constexpr Place kPlaces[] = {
    {"四川省", "成都", {"高新区", "武侯区"}}, {"广东省", "广州", {"天河区", "番禺区"}},
    {"广东省", "深圳", {"南山区", "龙岗区"}}, {"浙江省", "杭州", {"西湖区", "滨江区"}},
    {"江苏省", "南京", {"鼓楼区", "江宁区"}}, {"湖北省", "武汉", {"洪山区", "江汉区"}},
    {"陕西省", "西安", {"雁塔区", "未央区"}}, {"山东省", "济南", {"历下区", "槐荫区"}},
    {"北京市", "北京", {"海淀区", "朝阳区"}}, {"上海市", "上海", {"浦东新区", "徐汇区"}},
    {"河南省", "郑州", {"金水区", "二七区"}}, {"湖南省", "长沙", {"岳麓区", "开福区"}},
};

constexpr const char* kRoads[] = {"人民路", "建设路", "科技园路", "中山大道",
                                  "解放路", "新华路", "滨江路",   "学府路"};
constexpr const char* kOrganisations[] = {"供电公司",         "第一人民医院", "轨道交通集团",
                                          "商业银行数据中心", "职业技术学院", "自来水公司",
                                          "广电网络",         "机场集团"};
constexpr const char* kIndustries[] = {"电力", "医疗", "交通", "金融",
                                       "教育", "水务", "通信", "交通"};
constexpr const char* kSurnames[] = {"王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周"};
constexpr const char* kGivenNames[] = {"伟", "芳", "敏", "静", "磊", "强", "洋",
                                       "勇", "军", "杰", "涛", "明", "超", "婷"};
constexpr const char* kMakers[] = {"恒通科技", "华辰网络", "天弘电子",
                                   "博远通信", "新锐数控", "东岳电气"};
constexpr const char* kServices[] = {"安装调试", "维修保养", "巡检", "搬迁", "升级改造"};
constexpr const char* kPackages[] = {"原厂包装", "木箱包装", "简易包装"};
constexpr const char* kTransport[] = {"高铁二等座", "飞机经济舱", "长途汽车"};
constexpr const char* kHotels[] = {"经济型酒店", "三星级酒店", "客户安排住宿"};
constexpr const char* kComments[] = {"工程师准时到场，处理专业", "沟通顺畅，完工质量好",
                                     "响应及时，现场整洁"};

struct DeviceKind {
    const char* type;
    const char* models[2];
};

constexpr DeviceKind kDeviceKinds[] = {
    {"交换机", {"HC-S5720-28P", "HC-S6800-48X"}}, {"路由器", {"BY-R3600", "BY-R6200"}},
    {"服务器", {"TH-2288V5", "TH-1288V6"}},       {"存储阵列", {"BY-OS5500", "BY-OS2600"}},
    {"防火墙", {"HC-FW6000", "HC-FW3000"}},       {"UPS电源", {"DY-UPS20K", "DY-UPS60K"}},
    {"精密空调", {"DY-AC40", "DY-AC25"}},         {"摄像机", {"TH-IPC2T", "TH-IPC4K"}},
};

struct Goods {
    const char* name;
    const char* kind;
};

// The first product is the catalogue product that excludes travel costs.
constexpr Goods kGoods[] = {
    {"驻场技术服务", "服务"},       {"网络设备安装调试", "服务"}, {"服务器上架与系统部署", "服务"},
    {"UPS电源巡检保养", "服务"},    {"精密空调维修", "服务"},     {"视频监控系统安装", "服务"},
    {"核心交换机(含安装)", "商品"}, {"存储阵列扩容套件", "商品"}, {"机柜及配电单元", "商品"},
};

struct Notice {
    const char* name;
    const char* detail;
};

constexpr Notice kNotices[] = {
    {"平台服务规范更新通知",
     "<h3>平台服务规范更新通知</h3><p>自12月1日起，工程师出发、实施、完工时须在应用内确认，"
     "系统将记录当时位置。</p>"},
    {"年终结算安排",
     "<h3>年终结算安排</h3><p>12月25日前完工的订单将于当月结算，请及时确认完工。</p>"},
    {"安全作业提醒",
     "<h3>安全作业提醒</h3><p>进入机房及配电区域请佩戴工牌并遵守客户现场安全规定。</p>"},
};

// Dates are fixed, so that the data is the same on every start and every machine.
std::string dateTime(SeedRandom& random, int daysBack) {
    using namespace std::chrono;
    const year_month_day day{sys_days{year{2026} / November / 30} - days{daysBack}};
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02d:%02d:%02d.%03d",
                  static_cast<int>(day.year()), static_cast<unsigned>(day.month()),
                  static_cast<unsigned>(day.day()), random.range(8, 19), random.range(0, 59),
                  random.range(0, 59), random.range(0, 999));
    return buffer;
}

std::string date(int daysAhead) {
    using namespace std::chrono;
    const year_month_day day{sys_days{year{2026} / November / 30} + days{daysAhead}};
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
    return buffer;
}

template <class T, size_t N>
const T& pickFrom(SeedRandom& random, const T (&values)[N]) {
    return random.pick(std::span<const T>(values, N));
}

class Seeder {
  public:
    Seeder(Database& db, int passwordIterations)
        : db_(db), passwordIterations_(passwordIterations) {}

    void run() {
        seedEngineers();
        seedGoods();
        for (int i = 0; i < kSeedOpenInquiries; ++i) {
            // Every sixth inquiry asks for the travel-excluded product.
            const std::string id = seedInquiry(i % 6 == 0 ? 0 : -1, false);
            seedBids(id);
        }
        seedOrders();
        seedNotices();
        seedMessages();
    }

  private:
    struct Engineer {
        std::string id;
        std::vector<std::string> orders;
    };

    void seedEngineers() {
        for (const auto& seed : kSeedEngineers) {
            const auto password = PasswordHash::create(seed.password, passwordIterations_);
            // Drawn all the same, so that the rest of the sample stays as it was.
            static_cast<void>(random_.hexId());
            // Each file's own: an engineer who knew another's ID could otherwise act as him.
            Engineer engineer{randomHex(16), {}};
            db_.run(
                "INSERT INTO engineers (user_id, user_name, password_salt, password_hash, "
                "password_iterations, engineer_no, full_name, mobile, level, photo) "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                engineer.id, seed.userName, password.salt, password.hash, password.iterations,
                seed.engineerNo, seed.fullName, seed.mobile, seed.level, seed.photo);
            engineers_.push_back(std::move(engineer));
        }
    }

    void seedGoods() {
        for (size_t i = 0; i < std::size(kGoods); ++i) {
            const std::string id = i == 0 ? std::string(kTravelExcludedGoodsId) : random_.hexId();
            db_.run("INSERT INTO goods (goods_id, goods_name, kind) VALUES (?, ?, ?)", id,
                    kGoods[i].name, kGoods[i].kind);
            goodsIds_.push_back(id);
        }
    }

    std::string personName() {
        return std::string(pickFrom(random_, kSurnames)) + pickFrom(random_, kGivenNames);
    }

    std::string mobile() {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "1%d%d%08d", random_.range(3, 8), random_.range(0, 9),
                      random_.range(0, 99999999));
        return buffer;
    }

    // goodsIndex -1 picks any product but the travel-excluded one.
    std::string seedInquiry(int goodsIndex, bool ordered) {
        const int goods = goodsIndex >= 0
                              ? goodsIndex
                              : random_.range(1, static_cast<int>(std::size(kGoods)) - 1);
        const bool travelExcluded = goods == 0;
        const bool isProduct = std::string_view(kGoods[goods].kind) == "商品";
        const Place& place = pickFrom(random_, kPlaces);
        const int organisation = random_.range(0, static_cast<int>(std::size(kOrganisations)) - 1);
        const std::string customer = std::string(place.city) + kOrganisations[organisation];
        const std::string address =
            std::string(place.city) + "市" + place.districts[random_.range(0, 1)] +
            pickFrom(random_, kRoads) + std::to_string(random_.range(1, 2000)) + "号";
        const std::string maker = pickFrom(random_, kMakers);
        const std::string service =
            travelExcluded ? std::string("驻场支持") : std::string(pickFrom(random_, kServices));
        const std::string id = random_.hexId();

        const int deviceCount = random_.range(1, 7);
        std::string firstType;
        int totalDevices = 0;
        std::vector<std::string> deviceRows;
        const std::string addDate = dateTime(random_, random_.range(ordered ? 15 : 0, 30));
        const int hopePrice = random_.chance(80) ? random_.range(8, 200) * 100 : -1;
        const int otherExpenses = random_.chance(25) ? random_.range(1, 5) * 100 : -1;
        const int devicePrice = isProduct ? random_.range(20, 500) * 1000 : -1;
        const std::string finalCustomer =
            random_.chance(70) ? customer
                               : std::string(place.city) + pickFrom(random_, kOrganisations);
        std::string travelDesc = "报价已包含差旅费用";
        std::string transport;
        std::string hotel;
        if (travelExcluded) {
            travelDesc = "往返交通及住宿由客户承担";
            transport = pickFrom(random_, kTransport);
            hotel = pickFrom(random_, kHotels);
        }
        const std::string phone = mobile();
        const int startIn = random_.range(3, 40);
        const int timeLimit = ordered ? 0 : random_.range(1, 15);

        struct DeviceRow {
            std::string id, maker, type, model, package;
            int count;
        };
        std::vector<DeviceRow> devices;
        for (int d = 0; d < deviceCount; ++d) {
            const DeviceKind& kind = pickFrom(random_, kDeviceKinds);
            DeviceRow row{random_.hexId(),
                          d == 0 ? maker : std::string(pickFrom(random_, kMakers)),
                          kind.type,
                          kind.models[random_.range(0, 1)],
                          pickFrom(random_, kPackages),
                          random_.range(1, 20)};
            if (d == 0) firstType = row.type;
            totalDevices += row.count;
            devices.push_back(std::move(row));
        }
        const std::string description = "需对" + std::to_string(totalDevices) + "台" + firstType +
                                        "等设备进行" + service +
                                        "，现场已具备上电条件，要求工程师持证上岗。";

        auto nullable = [](Statement& statement, int index, int value) {
            if (value < 0) {
                statement.bindNull(index);
            } else {
                statement.bind(index, value);
            }
        };
        auto insert = db_.query(
            "INSERT INTO inquiries (ask_price_id, user_name, phone, goods_id, industry_name, "
            "servicesname, device_factory, implement_province, implement_city, implement_place, "
            "hope_start_date, final_customer, travel_expense_desc, transportation_type, "
            "hotel_type, details_desc, add_date, time_limit, ordered, hope_provice, "
            "other_expenses, buy_device_price) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
            id, customer, phone, goodsIds_[static_cast<size_t>(goods)], kIndustries[organisation],
            service, maker, place.province, place.city, address, date(startIn), finalCustomer,
            travelDesc, transport, hotel, description, addDate, timeLimit, ordered ? 1 : 0);
        nullable(insert, 20, hopePrice);
        nullable(insert, 21, otherExpenses);
        nullable(insert, 22, devicePrice);
        while (insert.step()) {
        }
        for (size_t d = 0; d < devices.size(); ++d) {
            const auto& row = devices[d];
            db_.run(
                "INSERT INTO devices (device_id, ask_price_id, device_factory, device_type, "
                "device_number, device_count, package_type, position) "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                row.id, id, row.maker, row.type, row.model, row.count, row.package,
                static_cast<int>(d));
        }
        return id;
    }

    void addOffer(const std::string& inquiry, const std::string& engineer, int price) {
        db_.run(
            "INSERT INTO offers (ask_price_id, engineer_id, price, add_date) VALUES (?, ?, ?, ?)",
            inquiry, engineer, price, dateTime(random_, random_.range(0, 14)));
    }

    // Other bidders, and now and then the seeded engineers, so that the quotation lists
    // have rows in progress.
    void seedBids(const std::string& inquiry) {
        const int bids = random_.range(0, 4);
        for (int b = 0; b < bids; ++b) {
            addOffer(inquiry, random_.hexId(), random_.range(10, 300) * 100);
        }
        for (const auto& engineer : engineers_) {
            if (random_.chance(25)) addOffer(inquiry, engineer.id, random_.range(10, 300) * 100);
        }
    }

    void seedOrders() {
        static constexpr const char* kStateNames[] = {"待出发", "待实施", "待完工", "已完工",
                                                      "已取消"};
        for (size_t e = 0; e < engineers_.size(); ++e) {
            auto& engineer = engineers_[e];
            const auto& rival = engineers_[(e + 1) % engineers_.size()];
            for (int state = 18; state <= 22; ++state) {
                for (int n = 0; n < kSeedOrdersPerStatePerEngineer; ++n) {
                    const std::string inquiry = seedInquiry(n == 1 ? 0 : -1, true);
                    const int money = random_.range(10, 300) * 100;
                    // The winning bid, and a higher one by the other engineer, which shows in
                    // his quotations not won.
                    addOffer(inquiry, engineer.id, money);
                    addOffer(inquiry, rival.id, money + random_.range(1, 20) * 100);
                    // State 22 covers: claim possible, claim granted, cancelled before leaving.
                    const int isLeave = state == 18 ? 0 : (state == 22 && n == 2 ? 0 : 1);
                    const int isAgreeRefund = state == 22 && n == 1 ? 1 : 0;
                    const std::string orderId = random_.hexId();
                    db_.run(
                        "INSERT INTO orders (order_id, ask_price_id, engineer_id, money, "
                        "add_date, order_state_id, order_state, is_sure, is_leave, "
                        "is_agree_refund, contact_name, contact_telphone, comment_detail) "
                        "VALUES (?, ?, ?, ?, ?, ?, ?, 1, ?, ?, ?, ?, ?)",
                        orderId, inquiry, engineer.id, money,
                        dateTime(random_, n + 2 * (22 - state)), state, kStateNames[state - 18],
                        isLeave, isAgreeRefund, personName(), mobile(),
                        state == 21 ? pickFrom(random_, kComments) : "");
                    engineer.orders.push_back(orderId);
                }
            }
        }
    }

    void seedNotices() {
        for (size_t i = 0; i < std::size(kNotices); ++i) {
            db_.run(
                "INSERT INTO notices (notice_id, notice_name, detail, add_date) "
                "VALUES (?, ?, ?, ?)",
                static_cast<int>(i + 1), kNotices[i].name, kNotices[i].detail,
                dateTime(random_, static_cast<int>(i) * 7));
        }
    }

    void seedMessages() {
        std::vector<std::string> openInquiries;
        auto select = db_.query(
            "SELECT ask_price_id FROM inquiries WHERE ordered = 0 ORDER BY add_date DESC");
        while (select.step()) openInquiries.push_back(select.text(0));

        for (const auto& engineer : engineers_) {
            for (const int type : kMessageTypes) {
                for (int n = 0; n < kSeedMessagesPerTypePerEngineer; ++n) {
                    seedMessage(engineer, type, n, openInquiries);
                }
            }
        }
    }

    void seedMessage(const Engineer& engineer, int type, int n,
                     const std::vector<std::string>& openInquiries) {
        std::string name;
        std::string content;
        std::string resource;
        const auto& order = engineer.orders[static_cast<size_t>(n) % engineer.orders.size()];
        switch (type) {
            case 55:
                name = "订单消息";
                resource = order;
                content = "您的报价已中标，订单" + order.substr(0, 8) + "已生成，请及时安排出发。";
                break;
            case 56:
                name = "询价消息";
                resource = openInquiries[static_cast<size_t>(n) % openInquiries.size()];
                content = "有新的询价发布，询价" + resource.substr(0, 8) + "正在等待您的报价。";
                break;
            case 57:
                name = "订单状态";
                resource = order;
                content = "订单" + order.substr(0, 8) + "的状态已更新，请查看详情。";
                break;
            default:
                name = "系统公告";
                content = kNotices[static_cast<size_t>(n) % std::size(kNotices)].name;
                break;
        }
        // Notices are never marked read; other messages are unread about a third of the time.
        const int isRead = type == -1 ? 0 : (random_.chance(35) ? 0 : 1);
        db_.run(
            "INSERT INTO messages (news_id, engineer_id, news_type_id, news_type, content, "
            "resource_id, is_read, add_date) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
            random_.hexId(), engineer.id, type, name, content, resource, isRead,
            dateTime(random_, n % 30));
    }

    Database& db_;
    const int passwordIterations_;
    SeedRandom random_;
    std::vector<Engineer> engineers_;
    std::vector<std::string> goodsIds_;
};

// Files of the first schema kept one salted SHA-256 per password and the session tokens as
// they were issued. Accounts are only ever created by the seed, so a password that still is
// its seed password is derived anew; tokens are replaced by their hashes.
void upgradeFromVersion1(Database& db, int passwordIterations) {
    db.execute(
        "ALTER TABLE engineers ADD COLUMN password_iterations INTEGER NOT NULL DEFAULT 0;"
        "ALTER TABLE engineers RENAME COLUMN token TO token_hash;");
    for (const auto& seed : kSeedEngineers) {
        auto row =
            db.query("SELECT password_salt, password_hash FROM engineers WHERE user_name = ?",
                     seed.userName);
        if (!row.step() || sha256Hex(row.text(0), seed.password) != row.text(1)) continue;
        const auto password = PasswordHash::create(seed.password, passwordIterations);
        db.run(
            "UPDATE engineers SET password_salt = ?, password_hash = ?, password_iterations = ? "
            "WHERE user_name = ?",
            password.salt, password.hash, password.iterations, seed.userName);
    }
    // Read first: rows changed under a running SELECT of the same table are not well defined.
    std::vector<std::pair<std::string, std::string>> tokens;
    auto select = db.query("SELECT user_id, token_hash FROM engineers WHERE token_hash <> ''");
    while (select.step()) tokens.emplace_back(select.text(0), select.text(1));
    for (const auto& [userId, token] : tokens) {
        db.run("UPDATE engineers SET token_hash = ? WHERE user_id = ?", tokenHash(token), userId);
    }
}

}  // namespace

void ensureSeeded(Database& db, int passwordIterations) {
    Transaction transaction(db);
    const int64_t version = db.scalar("PRAGMA user_version");
    if (version >= kSchemaVersion) return;
    if (version > 0) {
        if (version == 1) upgradeFromVersion1(db, passwordIterations);
        if (version < 3)
            db.execute(
                "CREATE TABLE sessions (token_hash TEXT PRIMARY KEY, engineer_id TEXT NOT NULL "
                "REFERENCES engineers(user_id), expires_at INTEGER NOT NULL)");
        if (version < 4) db.execute(kPushesSchema);
        db.execute(kMessagePushSchema);
    } else {
        db.execute(kSchema);
        db.execute(kPushesSchema);
        db.execute(kMessagePushSchema);
        Seeder(db, passwordIterations).run();
        seedInquiryScreens(db);
        seedMessageScreens(db);
    }
    db.execute("PRAGMA user_version = " + std::to_string(kSchemaVersion));
    transaction.commit();
}

}  // namespace devserver
