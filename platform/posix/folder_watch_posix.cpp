#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/folder_watch.h"
#include "platform/text.h"

namespace av::platform {

namespace {

struct Watch {
    int notify = -1;
    int stop = -1;
};

}  // namespace

Handle FolderWatchOpen(const std::wstring& folder) {
    auto* w = new Watch;
    w->notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    w->stop = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (w->notify < 0 || w->stop < 0 || !FolderWatchAdd(w, folder)) {
        FolderWatchClose(w);
        return nullptr;
    }
    return w;
}

bool FolderWatchAdd(Handle watch, const std::wstring& folder) {
    auto* w = static_cast<Watch*>(watch);
    return inotify_add_watch(w->notify, ToUtf8(folder).c_str(),
                             IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_TO |
                                 IN_MOVED_FROM | IN_ONLYDIR) >= 0;
}

void FolderWatchClose(Handle watch) {
    auto* w = static_cast<Watch*>(watch);
    if (w == nullptr) return;
    if (w->notify >= 0) close(w->notify);
    if (w->stop >= 0) close(w->stop);
    delete w;
}

FolderWatchResult FolderWatchWait(Handle watch, std::uint32_t timeoutMs) {
    auto* w = static_cast<Watch*>(watch);
    pollfd fds[2] = {{w->stop, POLLIN, 0}, {w->notify, POLLIN, 0}};
    const int timeout = timeoutMs == 0xFFFFFFFFu ? -1 : static_cast<int>(timeoutMs);
    int n;
    do {
        n = poll(fds, 2, timeout);
    } while (n < 0 && errno == EINTR);
    if (n < 0 || (fds[0].revents & POLLIN) != 0) return FolderWatchResult::Stopped;
    if (n == 0) return FolderWatchResult::TimedOut;
    if ((fds[1].revents & POLLIN) == 0) return FolderWatchResult::Stopped;
    alignas(inotify_event) char buffer[4096];
    while (read(w->notify, buffer, sizeof buffer) > 0) {
    }
    return FolderWatchResult::Changed;
}

void FolderWatchStop(Handle watch) {
    auto* w = static_cast<Watch*>(watch);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(w->stop, &one, sizeof one);
}

}  // namespace av::platform
