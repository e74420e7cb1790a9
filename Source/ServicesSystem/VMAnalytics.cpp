#include "VMAnalytics.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>

#include "Foundation/Dispatch.h"
#include "Foundation/JSONValue.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSData.h"
#include "Foundation/NSException.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSJSONSerialization.h"
#include "Foundation/NSKeyedArchiver.h"
#include "Foundation/NSKeyedUnarchiver.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSOperationQueue.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIDevice.h"
#include "VAvaMD5Addition.h"
#include "VMCompression.h"
#include "VMLogCipher.h"
#include "VMMapManifest.h"
#include "VMMapServices.h"
#include "VMUserAgent.h"

namespace {

constexpr std::size_t kEventBatch = 10;
constexpr std::size_t kMaxErrorFiles = 200;
constexpr std::size_t kMaxCrashFiles = 10;
// The log server takes at most this many records in one upload; a longer backlog of events goes
// in several, oldest first.
constexpr std::size_t kMaxUploadRecords = 200;
constexpr std::size_t kSignedBytes = 50;
constexpr const char* kSigningText = "r7x%Lp2w";
constexpr double kUploadTimeout = 15.0;
// The server answers an upload with a one-field verdict.
constexpr std::uint64_t kMaxUploadReplyLength = 64 * 1024;

const char* const kFilterArray[] = {"VMMapView", "VMMapServices", "VMMapTiledLayerView",
                                    "VMOverlayContainerView", "VAvaSearch"};
const char* const kHeaderInfoArray[] = {"platform",   "pkg",        "model", "appname",
                                        "appversion", "sysversion", "sim",   "sdkversion",
                                        "product",    "edition",    "diu"};

std::atomic<NSUncaughtExceptionHandler*> gPreviousHandler{nullptr};

void crashHandler(const NSException& exception) {
    VMAnalytics::sharedInstance()->recordException(exception);
    if (NSUncaughtExceptionHandler* previous = gPreviousHandler.load()) previous(exception);
}

std::string millisecondsText() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return NSStringWithFormat("%.0f", std::chrono::duration<double, std::milli>(now).count());
}

std::string localTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// A string at the key path, or empty.
std::string stringAt(const std::optional<nlohmann::json>& root, const char* a, const char* b,
                     const char* c) {
    if (!root || !root->is_object()) return {};
    const auto first = root->find(a);
    if (first == root->end() || !first->is_object()) return {};
    const auto second = first->find(b);
    if (second == first->end() || !second->is_object()) return {};
    const auto third = second->find(c);
    return third != second->end() && third->is_string() ? third->get<std::string>() : "";
}

bool uploadAllowed(const std::optional<nlohmann::json>& manifest, long type) {
    if (type == VMAnalyticsLogTypeError || type == VMAnalyticsLogTypeCrash)
        return stringAt(manifest, "exception", "exceptinfo", "ex_isupload") == "1";
    return stringAt(manifest, "common", "commoninfo", "com_isupload") == "1";
}

std::string infoString(const char* key) {
    const auto value = NSBundle::mainBundle()->objectForInfoDictionaryKey(key);
    return value.is_string() ? value.get<std::string>() : "";
}

// The machine's own identifier, hashed with the application's, so that the server can tell
// installations apart without learning either.
std::string deviceIdentifier() {
    std::ifstream in("/etc/machine-id");
    std::string machine;
    std::getline(in, machine);
    return vm_MD5String(machine + NSBundle::mainBundle()->bundleIdentifier()).value_or("");
}

std::vector<std::string> sortedFiles(const std::string& directory) {
    auto names = NSFileManager::defaultManager()->contentsOfDirectoryAtPath(directory);
    if (!names) return {};
    std::sort(names->begin(), names->end());
    return *names;
}

}  // namespace

std::shared_ptr<VMAnalytics> VMAnalytics::sharedInstance() {
    // Kept for the life of the process: a crash may be recorded while the process ends.
    static auto* shared = new std::shared_ptr<VMAnalytics>(new VMAnalytics());
    return *shared;
}

VMAnalytics::VMAnalytics()
    : dispatchQueue_(DispatchQueue::createConcurrent("zaroruda.analyticsQueue")),
      operationQueue_(NSOperationQueue::create()) {
    operationQueue_->setMaxConcurrentOperationCount(2);
}

VMAnalytics::~VMAnalytics() {
    dispatchQueue_->barrierSync([this] { saveTempEventsOnQueue(); });
    operationQueue_->cancelAllOperations();
}

void VMAnalytics::setCrashReportEnabled(bool enabled) {
    if (crashReportEnabled_.exchange(enabled) == enabled) return;
    if (enabled) {
        gPreviousHandler = NSGetUncaughtExceptionHandler();
        NSSetUncaughtExceptionHandler(&crashHandler);
    } else {
        NSSetUncaughtExceptionHandler(gPreviousHandler.load());
    }
}

#define VM_ANALYTICS_TEXT_PROPERTY(getter, setter, member) \
    std::string VMAnalytics::getter() const {              \
        std::lock_guard lock(mutex_);                      \
        return member;                                     \
    }                                                      \
    void VMAnalytics::setter(std::string value) {          \
        std::lock_guard lock(mutex_);                      \
        member = std::move(value);                         \
    }
VM_ANALYTICS_TEXT_PROPERTY(product, setProduct, product_)
VM_ANALYTICS_TEXT_PROPERTY(logtype, setLogtype, logtype_)
VM_ANALYTICS_TEXT_PROPERTY(platform, setPlatform, platform_)
VM_ANALYTICS_TEXT_PROPERTY(channel, setChannel, channel_)
VM_ANALYTICS_TEXT_PROPERTY(signvalue, setSignvalue, signvalue_)
VM_ANALYTICS_TEXT_PROPERTY(logServerAddress, setLogServerAddress, logServerAddress_)
#undef VM_ANALYTICS_TEXT_PROPERTY

std::string VMAnalytics::nameWithLogType(long type) {
    switch (type) {
        case VMAnalyticsLogTypeEvent:
            return "event";
        case VMAnalyticsLogTypeError:
            return "error";
        case VMAnalyticsLogTypeCrash:
            return "crash";
        default:
            return "unknown";
    }
}

std::string VMAnalytics::rootPath() {
    const auto caches = NSSearchPathForDirectoriesInDomains(NSCachesDirectory, NSUserDomainMask);
    return caches.empty() ? std::string() : caches.front() + "/VMAnalyticsLog";
}

std::string VMAnalytics::pathWithLogType(long type) {
    return rootPath() + "/" + nameWithLogType(type);
}

std::string VMAnalytics::logStringWithDictionary(const nlohmann::json& dictionary, bool encrypted,
                                                 bool appendComma) {
    if (!dictionary.is_object() || dictionary.empty()) return {};
    auto text = NSJSONSerialization::dataWithJSONObject(dictionary);
    if (!text) return {};
    if (text->size() >= 2 && text->front() == '{' && text->back() == '}') {
        *text = text->substr(1, text->size() - 2);
        if (appendComma) *text += ",";
    }
    if (!encrypted) return *text;
    return VMLogCipher::seal(*text).value_or("");
}

void VMAnalytics::logInfo(const std::string& info, const std::string& name, long type) {
    if (type != VMAnalyticsLogTypeCrash && !logEnabled_) return;
    if (type != VMAnalyticsLogTypeEvent && type != VMAnalyticsLogTypeError &&
        type != VMAnalyticsLogTypeCrash)
        return;
    const nlohmann::json record = {{"nt", "lan"},
                                   {"np", "none"},
                                   {"timestamp", millisecondsText()},
                                   {"et", nameWithLogType(type)},
                                   {"classname", name},
                                   {"detail", info}};
    // Sealing costs an RSA operation: it runs on the queue, not on the caller's thread.
    auto store = [this, record, type] {
        const std::string directory = pathWithLogType(type);
        const std::size_t limit = type == VMAnalyticsLogTypeCrash ? kMaxCrashFiles : kMaxErrorFiles;
        if (type != VMAnalyticsLogTypeEvent && sortedFiles(directory).size() >= limit) return;
        const std::string text = logStringWithDictionary(record, true, false);
        if (text.empty()) return;
        const nlohmann::json entry = {{"log", text + "||1"}};
        if (type != VMAnalyticsLogTypeEvent) {
            writeEntries(entry, directory);
            return;
        }
        tempEvents_.push_back(entry);
        if (tempEvents_.size() >= kEventBatch) saveTempEventsOnQueue();
    };
    if (type == VMAnalyticsLogTypeCrash) {
        dispatchQueue_->barrierSync(store);
    } else {
        dispatchQueue_->barrierAsync(std::move(store));
    }
}

void VMAnalytics::writeEntries(const nlohmann::json& entries, const std::string& directory) {
    const auto files = NSFileManager::defaultManager();
    if (rootPath().empty() || !files->createDirectoryAtPath(directory, true)) return;
    const auto archive = NSKeyedArchiver::archivedDataWithRootObject(entries);
    if (!archive) return;
    // Two records of one millisecond get distinct names that still sort in writing order.
    const std::string base = directory + "/" + millisecondsText();
    std::string path = base;
    for (int n = 1; files->fileExistsAtPath(path); ++n) path = base + "-" + std::to_string(n);
    NSDataWriteToFile(*archive, path, true);
}

void VMAnalytics::saveTempEvents() {
    dispatchQueue_->barrierAsync([this] { saveTempEventsOnQueue(); });
}

void VMAnalytics::saveTempEventsOnQueue() {
    if (tempEvents_.empty()) return;
    writeEntries(nlohmann::json(tempEvents_), pathWithLogType(VMAnalyticsLogTypeEvent));
    tempEvents_.clear();
}

VMAnalytics::StoredLogs VMAnalytics::readLogsOnQueue(const std::string& path,
                                                     std::size_t mostEntries) {
    StoredLogs logs;
    for (const auto& name : sortedFiles(path)) {
        const std::string file = path + "/" + name;
        const auto data = NSDataWithContentsOfFile(file);
        const auto value = data ? NSKeyedUnarchiver::unarchiveObjectWithData(*data) : std::nullopt;
        if (!value) {
            NSFileManager::defaultManager()->removeItemAtPath(rootPath());
            return logs;
        }
        const std::size_t count = value->is_array() ? value->size() : 1;
        if (!logs.files.empty() && logs.entries.size() + count > mostEntries) break;
        if (value->is_object()) {
            logs.entries.push_back(*value);
        } else if (value->is_array()) {
            logs.entries.insert(logs.entries.end(), value->begin(), value->end());
        } else {
            continue;
        }
        logs.files.push_back(file);
    }
    return logs;
}

VMAnalytics::StoredLogs VMAnalytics::storedLogs(const std::string& path, std::size_t mostEntries) {
    StoredLogs logs;
    dispatchQueue_->barrierSync([&] { logs = readLogsOnQueue(path, mostEntries); });
    return logs;
}

std::vector<nlohmann::json> VMAnalytics::logsAtPath(const std::string& path) {
    return storedLogs(path).entries;
}

std::vector<nlohmann::json> VMAnalytics::logsWithType(long type) {
    return logsAtPath(pathWithLogType(type));
}

std::size_t VMAnalytics::countOfLogsWithType(long type) {
    std::size_t count = 0;
    dispatchQueue_->barrierSync([&] { count = sortedFiles(pathWithLogType(type)).size(); });
    return count;
}

void VMAnalytics::clearLogWithType(long type) {
    dispatchQueue_->barrierAsync([path = pathWithLogType(type)] {
        NSFileManager::defaultManager()->removeItemAtPath(path);
    });
}

void VMAnalytics::clearAllLogs() {
    dispatchQueue_->barrierAsync(
        [path = rootPath()] { NSFileManager::defaultManager()->removeItemAtPath(path); });
}

nlohmann::json VMAnalytics::headerInfo() const {
    const auto device = UIDevice::currentDevice();
    std::string appName = infoString("CFBundleDisplayName");
    if (appName.empty()) appName = infoString("CFBundleName");
    const nlohmann::json facts = {
        {"platform", device->systemName()},
        {"pkg", NSBundle::mainBundle()->bundleIdentifier()},
        {"model", device->model()},
        {"appname", appName},
        {"appversion", infoString("CFBundleShortVersionString")},
        {"sysversion", device->systemVersion()},
        {"sim", "0"},
        {"sdkversion", VMMapServices::sharedServices()->SDKNumberVersion()},
        {"product", "3dmap"},
        {"edition", channel()},
        {"diu", deviceIdentifier()},
    };
    nlohmann::json header = nlohmann::json::object();
    for (const char* key : kHeaderInfoArray) header[key] = facts.at(key);
    header["key"] = VMMapServices::sharedServices()->apiKey();
    return header;
}

std::optional<std::string> VMAnalytics::JSONLogWithLogs(
    const std::vector<nlohmann::json>& logs) const {
    if (logs.empty()) return std::nullopt;
    const nlohmann::json body = {{"pinfo", logStringWithDictionary(headerInfo(), true, true)},
                                 {"els", logs}};
    return NSJSONSerialization::dataWithJSONObject(body);
}

std::optional<std::string> VMAnalytics::signatureWithData(const std::vector<std::uint8_t>& body) {
    if (body.size() < kSignedBytes) return std::nullopt;
    std::vector<std::uint8_t> signedBytes(body.begin(), body.begin() + kSignedBytes);
    signedBytes.insert(signedBytes.end(), kSigningText, kSigningText + std::strlen(kSigningText));
    return vm_MD5String(std::span<const std::uint8_t>(signedBytes));
}

void VMAnalytics::initSignvalueWithData(const std::vector<std::uint8_t>& body) {
    if (auto sign = signatureWithData(body)) setSignvalue(std::move(*sign));
}

std::string VMAnalytics::logServerURLWithSign(const std::string& sign) const {
    std::lock_guard lock(mutex_);
    return logServerAddress_ + "?product=" + product_ + "&type=" + logtype_ +
           "&platform=" + platform_ + "&channel=" + channel_ + "&sign=" + sign;
}

std::string VMAnalytics::logServerURL() const { return logServerURLWithSign(signvalue()); }

void VMAnalytics::uploadLogWithType(long type, UploadCompletion completion) {
    auto done = [completion](bool uploaded, const NSErrorOpt& error) {
        if (completion) completion(uploaded, error);
    };
    StoredLogs logs = storedLogs(pathWithLogType(type), kMaxUploadRecords);
    auto body = JSONLogWithLogs(logs.entries);
    if (!body || body->empty()) {
        done(false, std::nullopt);
        return;
    }
    VMMapManifest::performManifestRequestWithType(
        VMMapManifestTypeException | VMMapManifestTypeCommon,
        [weak = weakSelf<VMAnalytics>(), type, body = std::move(*body),
         files = std::move(logs.files), done](std::optional<nlohmann::json> manifest) mutable {
            const auto self = weak.lock();
            if (!self || !uploadAllowed(manifest, type)) {
                done(false, std::nullopt);
                return;
            }
            self->send(std::move(body), std::move(files), done);
        });
}

void VMAnalytics::send(std::string body, std::vector<std::string> files,
                       UploadCompletion completion) {
    const auto compressed =
        vmGZipDeflate(std::span(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()));
    if (!compressed) {
        completion(false, std::nullopt);
        return;
    }
    // This upload's own signature goes into its URL: another upload may sign meanwhile.
    const auto sign = signatureWithData(*compressed);
    if (sign) setSignvalue(*sign);
    const auto request = NSMutableURLRequest::requestWithURL(
        NSURL::URLWithString(logServerURLWithSign(sign.value_or(signvalue()))),
        NSURLRequestUseProtocolCachePolicy, kUploadTimeout);
    request->setMaximumResponseLength(kMaxUploadReplyLength);
    request->setHTTPMethod("POST");
    request->setHTTPBody(*compressed);
    request->setValue("application/gzip", "Content-Type");
    request->setValue(NSStringWithFormat("%ld", static_cast<long>(compressed->size())),
                      "Content-Length");
    operationQueue_->addOperationWithBlock(
        [weak = weakSelf<VMAnalytics>(), request, files = std::move(files), completion] {
            std::shared_ptr<NSHTTPURLResponse> response;
            NSErrorOpt error;
            const auto reply = sendBrandedSynchronousRequest(request, &response, &error);
            if (!error && response && response->statusCode() != 200) {
                error = NSError::make(
                    "InvalidResponseCode", response->statusCode(),
                    NSStringWithFormat("InvalidResponseCode :%ld", response->statusCode()));
            }
            const auto self = weak.lock();
            if (error || !reply || !self) {
                completion(false, error);
                return;
            }
            const bool accepted = uploadAcceptedWithResponseData(*reply);
            if (accepted) {
                // Exactly the files sent: records written since stay for the next upload.
                self->dispatchQueue_->barrierSync([&] {
                    for (const auto& file : files)
                        NSFileManager::defaultManager()->removeItemAtPath(file);
                });
            }
            completion(accepted, std::nullopt);
        });
}

bool VMAnalytics::uploadAcceptedWithResponseData(std::span<const std::uint8_t> data) {
    const auto reply = NSJSONSerialization::JSONObjectWithData(data, NSJSONReadingFragmentsAllowed);
    if (!reply || !reply->is_object()) return false;
    const auto code = reply->find("code");
    return code != reply->end() && code->is_number() && *code == 1;
}

void VMAnalytics::recordException(const NSException& exception) {
    const auto symbols = exception.callStackSymbols();
    const bool ours = std::any_of(symbols.begin(), symbols.end(), [](const std::string& line) {
        return std::any_of(std::begin(kFilterArray), std::end(kFilterArray),
                           [&](const char* name) { return line.find(name) != std::string::npos; });
    });
    if (!ours) return;
    const std::string text = "name: " + exception.name() + "\nreason: " + exception.reason() +
                             "\ntime: " + localTimeText() + "\ncallstacks: \n" +
                             describe(nlohmann::json(symbols));
    logInfo(text, exception.name(), VMAnalyticsLogTypeCrash);
}
