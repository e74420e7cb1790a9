#include <malloc.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "DevServer.h"

namespace {

int usage() {
    std::cerr << "usage: brisfold-devserver [--port N | --listen-fd FD] [--data FILE]\n";
    return 2;
}

// Tests that start the program set a low password cost for the accounts of a fresh data file:
// at the usual cost the seeding is most of a start, and a loaded machine stretches it to
// seconds.
constexpr const char* kPasswordIterationsVariable = "BRISFOLD_DEVSERVER_PASSWORD_ITERATIONS";

bool readPasswordIterations(int* iterations) {
    const char* value = std::getenv(kPasswordIterationsVariable);
    if (value == nullptr) return true;
    char* end = nullptr;
    const long parsed = std::strtol(value, &end, 10);
    if (*value == '\0' || *end != '\0' || parsed < 1 || parsed > devserver::kPasswordIterations)
        return false;
    *iterations = static_cast<int>(parsed);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // A fixed threshold keeps large blocks (a tile's bitmap) in their own mappings, handed back
    // when freed; glibc would otherwise raise it and keep them in each worker's arena for good.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    // glibc gives threads up to eight arenas a core, each keeping the free memory of its threads'
    // busiest moment: with 64 workers, the resident size climbs through a long busy run as one
    // worker after another has its busiest moment. Two arenas keep it near the server's own.
    mallopt(M_ARENA_MAX, 2);
    int port = 0;
    int listenFd = -1;
    std::filesystem::path dataFile = devserver::DevServer::defaultDataFile();
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--port" && i + 1 < argc) {
            const std::string value = argv[++i];
            char* end = nullptr;
            const long parsed = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || parsed < 0 || parsed > 65535) return usage();
            port = static_cast<int>(parsed);
        } else if (arg == "--listen-fd" && i + 1 < argc) {
            // A socket bound and listening already, handed down by the process that started
            // this one so that it need not wait for the port.
            const std::string value = argv[++i];
            char* end = nullptr;
            const long parsed = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || parsed < 0 || parsed > INT_MAX) return usage();
            listenFd = static_cast<int>(parsed);
        } else if (arg == "--data" && i + 1 < argc) {
            dataFile = argv[++i];
        } else {
            return usage();
        }
    }

    // Blocked before any thread starts, so that every thread inherits the mask and the
    // signals wait for sigwait below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    devserver::DevServerOptions options;
    if (!readPasswordIterations(&options.passwordIterations)) {
        std::cerr << "brisfold-devserver: " << kPasswordIterationsVariable
                  << " must be a whole number from 1 to " << devserver::kPasswordIterations << '\n';
        return 2;
    }
    options.mapDataLog = devserver::standardErrorSink("brisfold-devserver: map data ");
    devserver::DevServer server(dataFile, options);
    std::string error;
    if (listenFd >= 0 && port != 0) return usage();
    const bool started =
        listenFd >= 0 ? server.startOnSocket(listenFd, &error) : server.start(port, &error);
    if (!started) {
        std::cerr << "brisfold-devserver: " << error << '\n';
        return 1;
    }
    // Scripts and tests read the port from the first line.
    std::cout << server.port() << std::endl;
    std::cerr << "brisfold-devserver: " << dataFile.string()
              << " on http://127.0.0.1:" << server.port() << "/api/\n";

    int received = 0;
    sigwait(&signals, &received);
    server.stop();
    return 0;
}
