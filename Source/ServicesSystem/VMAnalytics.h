#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Foundation/NSError.h"
#include "Foundation/NSObject.h"

class DispatchQueue;
class NSException;
class NSOperationQueue;

enum VMAnalyticsLogType : long {
    VMAnalyticsLogTypeUnknown = 0,
    VMAnalyticsLogTypeEvent = 1,
    VMAnalyticsLogTypeError = 2,
    VMAnalyticsLogTypeCrash = 3,
};

// The map kit's own diagnostic log: usage events, errors and crashes as small sealed records in
// files under Caches/VMAnalyticsLog/<type name>, uploaded per type in one gzip POST when the
// configuration server allows it. Files are touched only by barrier blocks of one queue; uploads
// run on an operation queue of two.
class VMAnalytics : public NSObject {
  public:
    // Told how an upload ended: uploaded when the server took the records and the files sent were
    // removed; the error of a failed transfer or a status other than 200. Runs on a queue thread.
    using UploadCompletion = std::function<void(bool uploaded, const NSErrorOpt& error)>;

    static std::shared_ptr<VMAnalytics> sharedInstance();
    ~VMAnalytics() override;

    // On: remembers the process's uncaught-exception handler and installs the crash recorder,
    // which calls the remembered one after recording; off: puts the remembered one back.
    void setCrashReportEnabled(bool enabled);
    bool isCrashReportEnabled() const { return crashReportEnabled_; }
    // Off, only crash records are kept.
    void setLogEnabled(bool enabled) { logEnabled_ = enabled; }
    bool isLogEnabled() const { return logEnabled_; }

    std::string product() const;
    void setProduct(std::string value);
    std::string logtype() const;
    void setLogtype(std::string value);
    std::string platform() const;
    void setPlatform(std::string value);
    std::string channel() const;
    void setChannel(std::string value);
    // The signature of the latest upload body.
    std::string signvalue() const;
    void setSignvalue(std::string value);
    // The upload address without its query; it ends with "/ws/log/upload".
    std::string logServerAddress() const;
    void setLogServerAddress(std::string value);

    // Returns at once for events and errors (their files are written on the queue); a crash
    // record is on disk when it returns.
    void logInfo(const std::string& info, const std::string& name, long type);
    void uploadLogWithType(long type, UploadCompletion completion = {});
    void saveTempEvents();

    std::vector<nlohmann::json> logsWithType(long type);
    // A file that does not unarchive clears every log; what was read before it is returned.
    std::vector<nlohmann::json> logsAtPath(const std::string& path);
    std::size_t countOfLogsWithType(long type);
    void clearLogWithType(long type);
    void clearAllLogs();
    std::string logServerURL() const;

    static std::string nameWithLogType(long type);
    // Compact JSON without its outer braces (a comma after it when asked), sealed when asked;
    // empty for an empty dictionary or one that has no JSON form.
    static std::string logStringWithDictionary(const nlohmann::json& dictionary, bool encrypted,
                                               bool appendComma);
    // {"pinfo": header text, "els": logs} as compact JSON; nothing for no logs.
    std::optional<std::string> JSONLogWithLogs(const std::vector<nlohmann::json>& logs) const;
    // MD5 of the first 50 bytes of the body and the signing text; nothing for a shorter body.
    static std::optional<std::string> signatureWithData(const std::vector<std::uint8_t>& body);
    void initSignvalueWithData(const std::vector<std::uint8_t>& body);
    // Whether the log server's reply says it took the records: its "code" is the number 1.
    static bool uploadAcceptedWithResponseData(std::span<const std::uint8_t> data);

    // The record of an uncaught exception: only one whose stack names one of the kit's classes.
    void recordException(const NSException& exception);

  private:
    struct StoredLogs {
        std::vector<nlohmann::json> entries;
        std::vector<std::string> files;
    };

    VMAnalytics();

    static std::string rootPath();
    static std::string pathWithLogType(long type);
    nlohmann::json headerInfo() const;
    // Called on the queue only.
    void writeEntries(const nlohmann::json& entries, const std::string& directory);
    void saveTempEventsOnQueue();
    // The oldest files whose records come to at most mostEntries, or the oldest one alone.
    StoredLogs readLogsOnQueue(const std::string& path, std::size_t mostEntries = SIZE_MAX);
    StoredLogs storedLogs(const std::string& path, std::size_t mostEntries = SIZE_MAX);
    void send(std::string body, std::vector<std::string> files, UploadCompletion completion);
    std::string logServerURLWithSign(const std::string& sign) const;

    std::vector<nlohmann::json> tempEvents_;
    std::shared_ptr<DispatchQueue> dispatchQueue_;
    std::shared_ptr<NSOperationQueue> operationQueue_;
    std::atomic<bool> crashReportEnabled_ = false;
    std::atomic<bool> logEnabled_ = false;

    mutable std::mutex mutex_;  // guards the texts below
    std::string product_ = "1";
    std::string logtype_ = "1";
    std::string platform_ = "2";
    std::string channel_ = "open";
    std::string signvalue_;
    std::string logServerAddress_ = "http://127.0.0.1/ws/log/upload";
};
