#include "shell/QuitSignals.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace {

int gWriteEnd = -1;

// Only what is safe in a signal handler: one byte into a pipe that nobody may block on.
void noteSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(gWriteEnd, &byte, 1);
    errno = saved;
}

}  // namespace

QuitSignals::QuitSignals() {
    if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    gWriteEnd = pipe_[1];
    struct sigaction action {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
}

QuitSignals::~QuitSignals() {
    if (pipe_[0] < 0) return;
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
    if (watching_) NSRunLoop::mainRunLoop()->removeFileDescriptor(watch_);
    gWriteEnd = -1;
    close(pipe_[0]);
    close(pipe_[1]);
}

void QuitSignals::onSignal(std::function<void()> quit) {
    if (pipe_[0] < 0) return;
    auto loop = NSRunLoop::mainRunLoop();
    if (watching_) loop->removeFileDescriptor(watch_);
    const int readEnd = pipe_[0];
    watch_ = loop->addFileDescriptor(readEnd, POLLIN, [this, readEnd, quit](short) {
        char bytes[16];
        while (read(readEnd, bytes, sizeof bytes) > 0) {
        }
        received_ = true;
        quit();
    });
    watching_ = true;
}
