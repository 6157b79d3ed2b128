#include "imagefile/file_size_signal.h"

#include <pthread.h>

namespace replacing_file {

namespace {

sigset_t FileSizeSignal()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGXFSZ);
    return set;
}

}  // namespace

FileSizeSignalHold::FileSizeSignalHold()
{
    struct sigaction action;
    if (::sigaction(SIGXFSZ, nullptr, &action) != 0 || (action.sa_flags & SA_SIGINFO) != 0 ||
        action.sa_handler != SIG_DFL)
        return;
    const sigset_t signal = FileSizeSignal();
    if (::pthread_sigmask(SIG_BLOCK, &signal, &saved_) != 0)
        return;
    // Blocked already by the caller, who then deals with it.
    held_ = !sigismember(&saved_, SIGXFSZ);
}

FileSizeSignalHold::~FileSizeSignalHold()
{
    if (!held_)
        return;
    const sigset_t signal = FileSizeSignal();
    sigset_t pending;
    if (::sigpending(&pending) == 0 && sigismember(&pending, SIGXFSZ)) {
        const timespec now{};
        ::sigtimedwait(&signal, nullptr, &now);
    }
    ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

}  // namespace replacing_file
