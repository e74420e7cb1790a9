#pragma once

#include <cstdlib>
#include <string>

#include "DevServer.h"

namespace testsupport {

// The password cost of the devservers tests start: every test seeds a fresh data file, and at
// the usual cost its two accounts and each sign-in take seconds of a loaded or instrumented
// core. The tests that time a sign-in choose their cost themselves.
inline constexpr int kTestPasswordIterations = 1000;

inline devserver::DevServerOptions devServerTestOptions() {
    devserver::DevServerOptions options;
    options.passwordIterations = kTestPasswordIterations;
    return options;
}

// The same cost for the devserver programs this process starts, the app's own launcher included:
// they read it from their environment.
inline void lowerDevServerProgramsPasswordCost() {
    ::setenv("BRISFOLD_DEVSERVER_PASSWORD_ITERATIONS",
             std::to_string(kTestPasswordIterations).c_str(), 1);
}

}  // namespace testsupport
