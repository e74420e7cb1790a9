#pragma once

#include <exception>
#include <string>
#include <vector>

// An exception in the platform's manner: a name, a reason and the call stack where it was made.
// Exceptions do not cross the map kit's or the app's interfaces; this one exists so that an
// uncaught one can be reported before the process ends.
class NSException : public std::exception {
  public:
    NSException(std::string name, std::string reason);
    [[noreturn]] static void raise(std::string name, std::string reason);

    const std::string& name() const { return name_; }
    const std::string& reason() const { return reason_; }
    const char* what() const noexcept override { return reason_.c_str(); }
    // One line per frame, innermost first: index, module, address, demangled symbol + offset.
    // Symbols of executables show when they are linked with their symbols exported.
    std::vector<std::string> callStackSymbols() const;

  private:
    friend void NSTerminateWithUncaughtException();
    NSException(std::string name, std::string reason, std::vector<void*> frames);

    std::string name_;
    std::string reason_;
    std::vector<void*> frames_;
};

inline constexpr const char* NSGenericException = "NSGenericException";
inline constexpr const char* NSInvalidArgumentException = "NSInvalidArgumentException";

// Called with an exception nothing caught, just before the process aborts. Any C++ exception
// counts: one that is not an NSException is reported under its type's name with what() as the
// reason and the stack at the point where it was found uncaught, which still holds the frames
// that threw it.
using NSUncaughtExceptionHandler = void(const NSException& exception);
void NSSetUncaughtExceptionHandler(NSUncaughtExceptionHandler* handler);
NSUncaughtExceptionHandler* NSGetUncaughtExceptionHandler();
