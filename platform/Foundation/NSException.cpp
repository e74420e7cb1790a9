#include "NSException.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <typeinfo>

#include "NSLog.h"

namespace {

constexpr int kMaxFrames = 128;

std::atomic<NSUncaughtExceptionHandler*> gHandler{nullptr};
std::terminate_handler gPreviousTerminate = nullptr;
std::once_flag gTerminateOnce;

std::vector<void*> captureFrames(int skip) {
    void* frames[kMaxFrames];
    const int count = ::backtrace(frames, kMaxFrames);
    if (count <= skip) return {};
    return std::vector<void*>(frames + skip, frames + count);
}

std::string demangled(const char* symbol) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(symbol, nullptr, nullptr, &status), &std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(symbol);
}

std::string frameLine(std::size_t index, void* address) {
    Dl_info info{};
    const bool found = ::dladdr(address, &info) != 0;
    std::string module = "???";
    if (found && info.dli_fname != nullptr) {
        module = info.dli_fname;
        module = module.substr(module.find_last_of('/') + 1);
    }
    const auto value = reinterpret_cast<std::uintptr_t>(address);
    if (!found || info.dli_sname == nullptr) {
        return NSStringWithFormat("%-4zu%-35s 0x%016jx", index, module.c_str(),
                                  static_cast<std::uintmax_t>(value));
    }
    const auto offset = value - reinterpret_cast<std::uintptr_t>(info.dli_saddr);
    return NSStringWithFormat("%-4zu%-35s 0x%016jx %s + %ju", index, module.c_str(),
                              static_cast<std::uintmax_t>(value), demangled(info.dli_sname).c_str(),
                              static_cast<std::uintmax_t>(offset));
}

}  // namespace

// Runs in place of std::terminate's default: reports the uncaught exception, then lets the
// earlier terminate behaviour (normally abort) end the process.
void NSTerminateWithUncaughtException() {
    NSUncaughtExceptionHandler* handler = gHandler.load();
    if (const std::exception_ptr current = std::current_exception(); current && handler) {
        try {
            std::rethrow_exception(current);
        } catch (const NSException& exception) {
            handler(exception);
        } catch (const std::exception& exception) {
            handler(NSException(demangled(typeid(exception).name()), exception.what(),
                                captureFrames(1)));
        } catch (...) {
            const std::type_info* type = abi::__cxa_current_exception_type();
            handler(NSException(type ? demangled(type->name()) : "unknown", "", captureFrames(1)));
        }
    }
    if (gPreviousTerminate) gPreviousTerminate();
    std::abort();
}

NSException::NSException(std::string name, std::string reason)
    : NSException(std::move(name), std::move(reason), captureFrames(1)) {}

NSException::NSException(std::string name, std::string reason, std::vector<void*> frames)
    : name_(std::move(name)), reason_(std::move(reason)), frames_(std::move(frames)) {}

void NSException::raise(std::string name, std::string reason) {
    throw NSException(std::move(name), std::move(reason));
}

std::vector<std::string> NSException::callStackSymbols() const {
    std::vector<std::string> lines;
    lines.reserve(frames_.size());
    for (std::size_t i = 0; i < frames_.size(); ++i) lines.push_back(frameLine(i, frames_[i]));
    return lines;
}

void NSSetUncaughtExceptionHandler(NSUncaughtExceptionHandler* handler) {
    std::call_once(gTerminateOnce, [] {
        gPreviousTerminate = std::set_terminate(NSTerminateWithUncaughtException);
    });
    gHandler.store(handler);
}

NSUncaughtExceptionHandler* NSGetUncaughtExceptionHandler() { return gHandler.load(); }
