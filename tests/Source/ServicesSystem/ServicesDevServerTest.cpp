// The configuration request and the analytics upload against the devserver's own endpoints.

#include <gtest/gtest.h>
#include <httplib.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <regex>
#include <thread>

#include "Database.h"
#include "Deadline.h"
#include "DevServer.h"
#include "Foundation/NSData.h"
#include "Foundation/NSKeyedArchiver.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSThread.h"
#include "HostileReplies.h"
#include "LogUpload.h"
#include "TempDir.h"
#include "VMAnalytics.h"
#include "VMCompression.h"
#include "VMLogCipher.h"
#include "VMMapManifest.h"
#include "VMMapServices.h"

namespace {

using testsupport::waitUntil;

class ServicesOnDevServer : public ::testing::Test {
  protected:
    void SetUp() override {
        NSSetHomeDirectory(home_.path());
        startServer({});
        services_->setApiKey("K");
        analytics_->setLogEnabled(true);
    }
    // A server on the home's data file, the kit's services pointed at it.
    void startServer(devserver::DevServerOptions options) {
        options.passwordIterations = 1000;
        options.log = [this](const std::string& line) {
            std::lock_guard lock(mutex_);
            log_.push_back(line);
        };
        server_.reset();
        server_ = std::make_unique<devserver::DevServer>(home_ / "devserver.sqlite", options);
        std::string error;
        ASSERT_TRUE(server_->start(0, &error)) << error;
        server_->services().addKnownKey("K");
        base_ = "http://127.0.0.1:" + std::to_string(server_->port());
        services_->setManifestServerAddress(base_ + "/v3/config/resource");
        analytics_->setLogServerAddress(base_ + "/ws/log/upload");
    }
    void TearDown() override {
        services_->setManifestServerAddress(previousManifest_);
        analytics_->setLogEnabled(false);
        analytics_->clearAllLogs();
        analytics_->countOfLogsWithType(VMAnalyticsLogTypeError);  // waits for the queue
    }

    std::vector<std::string> log() {
        server_->flushLogs();
        std::lock_guard lock(mutex_);
        return log_;
    }
    std::vector<std::string> logLinesStartingWith(const std::string& start) {
        std::vector<std::string> lines;
        for (const auto& line : log())
            if (line.starts_with(start)) lines.push_back(line);
        return lines;
    }

    struct Outcome {
        bool uploaded = false;
        NSErrorOpt error;
    };
    Outcome upload(long type, const std::function<void()>& meanwhile = {}) {
        std::atomic<bool> done = false;
        Outcome outcome;
        analytics_->uploadLogWithType(type, [&](bool uploaded, const NSErrorOpt& error) {
            outcome = {uploaded, error};
            done = true;
        });
        if (meanwhile) meanwhile();
        EXPECT_TRUE(waitUntil([&] { return done.load(); }));
        return outcome;
    }
    void logErrors(int count) {
        for (int i = 0; i < count; ++i)
            analytics_->logInfo("detail " + std::to_string(i), "VMMapView",
                                VMAnalyticsLogTypeError);
    }

    testsupport::TempDir home_;
    std::mutex mutex_;
    std::vector<std::string> log_;
    std::unique_ptr<devserver::DevServer> server_;
    std::string base_;
    std::shared_ptr<VMMapServices> services_ = VMMapServices::sharedServices();
    std::string previousManifest_ = services_->manifestServerAddress();
    std::shared_ptr<VMAnalytics> analytics_ = VMAnalytics::sharedInstance();
};

std::optional<nlohmann::json> ask(unsigned type, bool* onMainThread = nullptr,
                                  std::atomic<int>* calls = nullptr) {
    std::atomic<bool> answered = false;
    std::optional<nlohmann::json> answer;
    VMMapManifest::performManifestRequestWithType(type, [&](std::optional<nlohmann::json> result) {
        if (onMainThread) *onMainThread = NSThread::isMainThread();
        if (calls) ++*calls;
        answer = std::move(result);
        answered = true;
    });
    EXPECT_TRUE(waitUntil([&] { return answered.load(); }));
    return answer;
}

TEST_F(ServicesOnDevServer, TheConfigurationIsAnsweredOffTheMainThreadAndLogged) {
    bool onMainThread = true;
    const auto policy = ask(3, &onMainThread);
    EXPECT_FALSE(onMainThread);
    ASSERT_TRUE(policy);
    EXPECT_EQ((*policy)["exception"]["exceptinfo"]["ex_isupload"], "1");
    EXPECT_EQ((*policy)["common"]["commoninfo"]["com_isupload"], "1");
    EXPECT_EQ(logLinesStartingWith("GET "),
              std::vector<std::string>{
                  "GET /v3/config/resource?opertype=exception;common&plattype=iOS&product=3dmap&"
                  "version=3.1.0&key=K (User-Agent: VAVA_SDK_iOS_3DMap_3.1.0, logversion: 2.0)"});

    const auto settings = ask(12);
    ASSERT_TRUE(settings);
    EXPECT_EQ((*settings)["realstatus"]["url"], base_ + "/trafficengine/vadedu/");
    EXPECT_TRUE((*settings)["offlinemap_with_province"]["provinces"].is_array());
    EXPECT_NE(log().back().find("opertype=realstatus;offlinemap_with_province&"),
              std::string::npos);

    services_->setApiKey("unknown");
    EXPECT_EQ(ask(3), std::nullopt);
    services_->setApiKey("K");

    server_->stop();
    std::atomic<int> calls = 0;
    EXPECT_EQ(ask(3, nullptr, &calls), std::nullopt);
    EXPECT_EQ(calls, 1);
}

TEST_F(ServicesOnDevServer, TwoHundredErrorsGoInOnePostAndOnlyTheSentFilesGo) {
    logErrors(200);
    ASSERT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeError), 200u);
    const auto outcome = upload(VMAnalyticsLogTypeError);
    EXPECT_TRUE(outcome.uploaded);
    EXPECT_FALSE(outcome.error);
    const auto posts = logLinesStartingWith("POST ");
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_TRUE(std::regex_match(
        posts[0], std::regex(R"(POST /ws/log/upload\?product=1&type=1&platform=2&channel=open&)"
                             R"(sign=[0-9a-f]{32} \(User-Agent: VAVA_SDK_iOS_3DMap_3\.1\.0, )"
                             R"(logversion: 2\.0\) stored 200 records)")))
        << posts[0];
    EXPECT_EQ(posts[0].substr(posts[0].find("sign=") + 5, 32), analytics_->signvalue());
    const auto stored = server_->services().storedLogs();
    ASSERT_EQ(stored.size(), 200u);
    EXPECT_EQ(stored[0]["header"]["key"], "K");
    EXPECT_EQ(stored[0]["header"].size(), 12u);
    EXPECT_EQ(stored[0]["record"]["et"], "error");
    EXPECT_EQ(stored[0]["record"]["classname"], "VMMapView");
    EXPECT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeError), 0u);

    logErrors(3);
    const auto second = upload(VMAnalyticsLogTypeError, [&] { logErrors(1); });
    EXPECT_TRUE(second.uploaded);
    EXPECT_EQ(server_->services().storedLogs().size(), 203u);
    EXPECT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeError), 1u)
        << "the record written while the upload ran stays";
}

TEST_F(ServicesOnDevServer, RefusedOrFailedUploadKeepsTheRecords) {
    const struct {
        const char* name;
        std::function<void(devserver::ServicesEndpoints&)> policy;
        long errorCode;  // 0: no error
        bool posted;
    } cases[] = {
        {"reply code 0", [](auto& s) { s.setUploadReplyCode(0); }, 0, true},
        {"status 500", [](auto& s) { s.setUploadStatus(500); }, 500, true},
        {"uploads not allowed", [](auto& s) { s.setExceptionUpload(false); }, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        analytics_->clearAllLogs();
        server_->services().setUploadReplyCode(1);
        server_->services().setUploadStatus(200);
        server_->services().setExceptionUpload(true);
        c.policy(server_->services());
        const std::size_t postsBefore = logLinesStartingWith("POST ").size();
        logErrors(2);
        const auto outcome = upload(VMAnalyticsLogTypeError);
        EXPECT_FALSE(outcome.uploaded);
        if (c.errorCode != 0) {
            ASSERT_TRUE(outcome.error);
            EXPECT_EQ(outcome.error->domain, "InvalidResponseCode");
            EXPECT_EQ(outcome.error->code, c.errorCode);
            EXPECT_EQ(outcome.error->localizedDescription, "InvalidResponseCode :500");
        } else {
            EXPECT_FALSE(outcome.error);
        }
        EXPECT_EQ(logLinesStartingWith("POST ").size() - postsBefore, c.posted ? 1u : 0u);
        EXPECT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeError), 2u);
    }
    EXPECT_TRUE(server_->services().storedLogs().empty());

    // A verdict after endless whitespace was read whole and taken.
    const testsupport::HostileServer hostile(' ', R"({"code":1})", "application/json");
    server_->services().setExceptionUpload(true);
    analytics_->setLogServerAddress(hostile.endlessURL("/ws/log/upload"));
    const auto endlessOutcome = upload(VMAnalyticsLogTypeError);
    analytics_->setLogServerAddress(base_ + "/ws/log/upload");
    EXPECT_FALSE(endlessOutcome.uploaded);
    ASSERT_TRUE(endlessOutcome.error);
    EXPECT_EQ(endlessOutcome.error->code, NSURLErrorDataLengthExceedsMaximum);
    EXPECT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeError), 2u);
    EXPECT_LT(hostile.endlessSent(), hostile.cap());
}

// Batch files of the kit's event records, named to sort in writing order, their record sealed
// once: sealing each would cost a second.
void writeEventBatches(const std::string& home, int files, std::size_t perFile) {
    const nlohmann::json entry = {
        {"log", *VMLogCipher::seal(R"("nt":"lan","np":"none","timestamp":"1","et":"event",)"
                                   R"("classname":"VMMapView","detail":"e")") +
                    "||1"}};
    const auto batch =
        NSKeyedArchiver::archivedDataWithRootObject(std::vector<nlohmann::json>(perFile, entry));
    const std::string events = home + "/Library/Caches/VMAnalyticsLog/event";
    std::filesystem::create_directories(events);
    for (int i = 0; i < files; ++i)
        ASSERT_TRUE(batch &&
                    NSDataWriteToFile(*batch, events + "/" + std::to_string(100 + i), true));
}

TEST_F(ServicesOnDevServer, AnUploadOfMoreRecordsThanTheServerTakesIsRefusedAndKept) {
    writeEventBatches(home_.path(), 1, devserver::kMaxLogUploadRecords + 1);
    const auto outcome = upload(VMAnalyticsLogTypeEvent);
    EXPECT_FALSE(outcome.uploaded);
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeEvent), 1u);
    EXPECT_TRUE(server_->services().storedLogs().empty());
    ASSERT_EQ(logLinesStartingWith("POST ").size(), 1u);
    EXPECT_TRUE(logLinesStartingWith("POST ")[0].ends_with("refused: more than 200 records"));
}

TEST_F(ServicesOnDevServer, ABacklogOfEventsGoesInUploadsTheServerTakes) {
    writeEventBatches(home_.path(), 25, 10);
    EXPECT_TRUE(upload(VMAnalyticsLogTypeEvent).uploaded);
    EXPECT_EQ(server_->services().storedLogs().size(), 200u);
    EXPECT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeEvent), 5u);
    EXPECT_TRUE(upload(VMAnalyticsLogTypeEvent).uploaded);
    EXPECT_EQ(server_->services().storedLogs().size(), 250u);
    EXPECT_EQ(analytics_->countOfLogsWithType(VMAnalyticsLogTypeEvent), 0u);
}

TEST_F(ServicesOnDevServer, TheAnalyticsLogKeepsTheNewestRecordsWithinItsBound) {
    {
        // A table of a file from before the bound, its record the oldest.
        devserver::Database db(home_ / "devserver.sqlite");
        db.execute(
            "CREATE TABLE analytics_log (id INTEGER PRIMARY KEY AUTOINCREMENT, "
            "header TEXT NOT NULL, record TEXT NOT NULL);"
            "INSERT INTO analytics_log (header, record) VALUES ('{}', '{}')");
    }
    constexpr std::size_t kBound = 4096;
    devserver::DevServerOptions options;
    options.analyticsLogBytes = kBound;
    startServer(options);
    std::vector<std::string> sent;
    for (int upload = 0; upload < 3; ++upload) {
        for (int i = 0; i < 5; ++i) {
            sent.push_back("detail " + std::to_string(10 + sent.size()));
            analytics_->logInfo(sent.back(), "VMMapView", VMAnalyticsLogTypeError);
        }
        ASSERT_TRUE(this->upload(VMAnalyticsLogTypeError).uploaded);
    }
    const auto stored = server_->services().storedLogs();
    ASSERT_FALSE(stored.empty());
    const auto bytesOf = [](const nlohmann::json& log) {
        return log["header"].dump().size() + log["record"].dump().size();
    };
    std::vector<std::string> details;
    std::size_t kept = 0;
    for (const auto& log : stored) {
        details.push_back(log["record"].value("detail", ""));
        kept += bytesOf(log);
    }
    EXPECT_LE(kept, kBound);
    // The next older record would not have fitted.
    EXPECT_GT(kept + bytesOf(stored[0]), kBound);
    const std::size_t newest = std::min(details.size(), sent.size());
    EXPECT_EQ(details,
              std::vector<std::string>(sent.end() - static_cast<long>(newest), sent.end()));
}

// The body's parts as the kit seals them; `header` and `record` are the dictionaries' texts.
std::string sealedUpload(const std::string& header, const std::string& entries) {
    return R"({"els":[)" + entries + R"(],"pinfo":")" + VMLogCipher::seal(header + ",").value() +
           R"("})";
}

std::string entry(const std::string& record, const std::string& more = "") {
    return R"({"log":")" + VMLogCipher::seal(record).value() + R"(||1")" + more + "}";
}

const std::string header =
    R"("platform":"p","pkg":"p","model":"m","appname":"a","appversion":"1","sysversion":"1",)"
    R"("sim":"0","sdkversion":"3.1.0","product":"3dmap","edition":"open","diu":"d","key":"K")";
const std::string record =
    R"("nt":"lan","np":"none","timestamp":"1","et":"error","classname":"c","detail":"d")";

// `copies` entries of one sealed record, joined as "els" holds them.
std::string repeated(const std::string& oneEntry, std::size_t copies) {
    std::string entries = oneEntry;
    for (std::size_t i = 1; i < copies; ++i) entries += "," + oneEntry;
    return entries;
}

std::string gzipped(const std::string& json) {
    const auto body =
        vmGZipDeflate(std::span(reinterpret_cast<const std::uint8_t*>(json.data()), json.size()));
    return body ? std::string(body->begin(), body->end()) : std::string();
}

// The upload's JSON text gzipped and signed as the kit sends it; its status and reply.
std::string posted(int port, const std::string& json) {
    const std::string body = gzipped(json);
    const std::string target =
        "/ws/log/upload?product=1&type=1&platform=2&channel=open&sign=" +
        *VMAnalytics::signatureWithData(std::vector<std::uint8_t>(body.begin(), body.end()));
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60);
    const auto result = client.Post(target, body, "application/gzip");
    return result ? std::to_string(result->status) + " " + result->body : "none";
}

TEST(LogUploadDecoding, KeepsTheKitsFieldsAndRefusesWhatTheKitDoesNotSend) {
    const struct {
        const char* name;
        std::string body;
        const char* why;  // empty: taken
    } cases[] = {
        {"extra fields", sealedUpload(header + R"(,"x":[[{}]])", entry(record + R"(,"y":{})")), ""},
        {"unknown key, before any record", sealedUpload(header + R"(,"key":"L")", R"({"log":"x"})"),
         "unknown key"},
        {"entry nested deeper", sealedUpload(header, entry(record, R"(,"x":[])")),
         "body is nested deeper than the kit nests it"},
        {"header twice", R"({"pinfo":"x",)" + sealedUpload(header, entry(record)).substr(1),
         "body has \"pinfo\" or \"els\" twice"},
        {"entry twice its log", sealedUpload(header, entry(record, R"(,"log":"x")")),
         "an entry is not one \"log\""},
        {"record nested", sealedUpload(header, entry(R"("nt":{},)" + record)),
         "a record is not a log record"},
    };
    for (const auto& c : cases) {
        std::string why;
        const auto upload = devserver::decodeLogUploadText(
            c.body, &why, [](const std::string& key) { return key == "K"; });
        EXPECT_EQ(why, c.why) << c.name;
        if (!upload) continue;
        EXPECT_EQ(upload->header.size(), 12u) << c.name;
        ASSERT_EQ(upload->records.size(), 1u) << c.name;
        EXPECT_EQ(upload->records[0], nlohmann::json::parse("{" + record + "}")) << c.name;
    }
}

TEST_F(ServicesOnDevServer, UploadsPastTheFewDecodedOrWaitingAreAskedToComeAgainAtOnce) {
    devserver::DevServerOptions options;
    options.busyTimeout = std::chrono::seconds(30);
    startServer(options);
    const std::string json = sealedUpload(header, entry(record));
    const auto post = [&] { return posted(server_->port(), json); };
    // Each upload that has a place waits for the data file, which another connection holds.
    devserver::Database writer(home_ / "devserver.sqlite");
    writer.execute("BEGIN IMMEDIATE");
    // Those that wait their turn are taken once the data file is free.
    constexpr std::size_t kPlaces = devserver::ServicesEndpoints::kUploadsDecodedAtOnce +
                                    devserver::ServicesEndpoints::kUploadsWaitingAtOnce;
    std::vector<std::future<std::string>> uploads;
    for (std::size_t i = 0; i < kPlaces + 2; ++i)
        uploads.push_back(std::async(std::launch::async, post));
    const auto answered = [&] {
        return std::count_if(uploads.begin(), uploads.end(), [](auto& upload) {
            return upload.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        });
    };
    EXPECT_TRUE(waitUntil([&] { return answered() == 2; }));
    writer.execute("ROLLBACK");
    std::map<std::string, std::size_t> answers;
    for (auto& upload : uploads) ++answers[upload.get()];
    EXPECT_EQ(answers, (std::map<std::string, std::size_t>{{R"(200 {"code":1})", kPlaces},
                                                           {R"(503 {"code":0})", 2}}));
    EXPECT_EQ(post(), R"(200 {"code":1})");
}

TEST(LogUploadDecoding, ARepeatedSealedBlockIsOpenedOnceAndEachCostsItsBytes) {
    const std::string one = entry(record);
    std::string why;
    const auto most = devserver::decodeLogUpload(
        gzipped(sealedUpload(header, repeated(one, devserver::kMaxLogUploadRecords))), &why);
    ASSERT_TRUE(most) << why;
    EXPECT_EQ(most->records.size(), devserver::kMaxLogUploadRecords);
    EXPECT_EQ(most->keysOpened, 2u) << "the header's and the record's";

    EXPECT_FALSE(
        devserver::decodeLogUpload(gzipped(sealedUpload(header, repeated(one, 1000))), &why));
    EXPECT_EQ(why, "more than 200 records");

    // Blocks that differ in two characters each: distinct, yet a few bytes each once gzipped.
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string varied;
    for (std::size_t i = 0; i < devserver::kMaxLogUploadRecords; ++i) {
        std::string copy = one;
        copy[20] = alphabet[i % alphabet.size()];
        copy[21] = alphabet[i / alphabet.size()];
        varied += (i == 0 ? "" : ",") + copy;
    }
    EXPECT_FALSE(devserver::decodeLogUpload(gzipped(sealedUpload(header, varied)), &why));
    EXPECT_EQ(why, "more sealed texts than its bytes could carry");
}

TEST_F(ServicesOnDevServer, UploadsBesideFourSendersOfRepeatedRecordsAreTaken) {
    const std::string flood = sealedUpload(header, repeated(entry(record), 1000));
    std::atomic<bool> stop = false;
    std::array<std::atomic<int>, 4> answered{};
    std::vector<std::thread> senders;
    for (auto& count : answered)
        senders.emplace_back([&] {
            while (!stop) {
                posted(server_->port(), flood);
                ++count;
            }
        });
    EXPECT_TRUE(waitUntil([&] {
        return std::all_of(answered.begin(), answered.end(), [](auto& n) { return n > 0; });
    }));
    std::vector<std::string> replies;
    for (int i = 0; i < 8; ++i) {
        const std::string own = R"("nt":"lan","np":"none","timestamp":"1","et":"error",)"
                                R"("classname":"c","detail":"legitimate )" +
                                std::to_string(i) + R"(")";
        replies.push_back(posted(server_->port(), sealedUpload(header, entry(own))));
    }
    stop = true;
    for (auto& sender : senders) sender.join();
    EXPECT_EQ(replies, std::vector<std::string>(8, R"(200 {"code":1})"));
    EXPECT_EQ(server_->services().storedLogs().size(), 8u);
}

TEST_F(ServicesOnDevServer, AnUploadIsKeptWholeWithinTheLogsBoundOrRefusedUnwritten) {
    const std::string padded = header.substr(0, header.find(R"("diu":"d")")) + R"("diu":")" +
                               std::string(380'000, 'd') + R"(","key":"K")";
    const std::string one = entry(record);
    const std::string large =
        entry(R"("nt":"lan","np":"none","timestamp":"1","et":"error","classname":"c","detail":")" +
              std::string(1000, 'x') + R"(")");
    constexpr std::size_t kMost = devserver::kMaxLogUploadRecords;
    constexpr std::size_t kBound = 4 * 1024 * 1024;
    const struct {
        const char* name;
        std::size_t bound;
        std::string json;
        const char* reply;
    } cases[] = {
        {"1,000 records, a padded header", kBound, sealedUpload(padded, repeated(one, 1000)),
         R"(200 {"code":0})"},
        {"the most records, a padded header", kBound, sealedUpload(padded, repeated(one, kMost)),
         R"(200 {"code":0})"},
        {"records past the bound", 16 * 1024, sealedUpload(header, repeated(one, kMost)),
         R"(200 {"code":0})"},
        {"the most records of 1 KB", kBound, sealedUpload(header, repeated(large, kMost)),
         R"(200 {"code":1})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        devserver::DevServerOptions options;
        options.analyticsLogBytes = c.bound;
        startServer(options);
        devserver::Database reader(home_ / "devserver.sqlite");
        const auto stored = [&] { return reader.scalar("SELECT COUNT(*) FROM analytics_log"); };
        const auto before = static_cast<std::int64_t>(server_->services().storedLogs().size());
        const bool taken = c.reply == std::string(R"(200 {"code":1})");
        // Enough uploads to pass the bound more than once when they are taken; each one taken
        // keeps its records, the newest.
        for (int i = 0; i < (taken ? 20 : 2); ++i) {
            EXPECT_EQ(posted(server_->port(), c.json), c.reply);
            if (taken) {
                EXPECT_GE(stored(), static_cast<std::int64_t>(kMost));
            } else {
                EXPECT_EQ(stored(), before);
            }
        }
        std::size_t kept = 0;
        for (const auto& log : server_->services().storedLogs())
            kept += log["header"].dump().size() + log["record"].dump().size();
        EXPECT_LE(kept, c.bound);
    }
    const std::string file = home_ / "devserver.sqlite";
    std::error_code noLog;
    const auto wal = std::filesystem::file_size(file + "-wal", noLog);
    EXPECT_LE(std::filesystem::file_size(file) + (noLog ? 0 : wal), 3 * kBound);
}

}  // namespace
