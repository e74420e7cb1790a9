#include "shell/QuitSignals.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

sigset_t quitSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

QuitSignals::QuitSignals() {
    const sigset_t set = quitSignals();
    if (pthread_sigmask(SIG_BLOCK, &set, &previousMask_) != 0) return;
    fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd_ < 0) pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

QuitSignals::~QuitSignals() {
    if (fd_ < 0) return;
    if (watching_) NSRunLoop::mainRunLoop()->removeFileDescriptor(watch_);
    close(fd_);
    // Only this thread is still ours to restore; the others are gone by now.
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void QuitSignals::onSignal(std::function<void()> quit) {
    if (fd_ < 0) return;
    auto loop = NSRunLoop::mainRunLoop();
    if (watching_) loop->removeFileDescriptor(watch_);
    const int fd = fd_;
    watch_ = loop->addFileDescriptor(fd, POLLIN, [this, fd, quit](short) {
        signalfd_siginfo info[4];
        while (read(fd, info, sizeof info) > 0) {
        }
        received_ = true;
        quit();
    });
    watching_ = true;
}
