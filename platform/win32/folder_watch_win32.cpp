#include <windows.h>

#include "platform/folder_watch.h"

namespace av::platform {

namespace {

struct Watch {
    HANDLE change = INVALID_HANDLE_VALUE;
    HANDLE stop = nullptr;  // manual-reset: once stopped, every wait ends
};

}  // namespace

Handle FolderWatchOpen(const std::wstring& folder) {
    auto* w = new Watch;
    w->change = FindFirstChangeNotificationW(
        folder.c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE);
    w->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (w->change == INVALID_HANDLE_VALUE || w->stop == nullptr) {
        FolderWatchClose(w);
        return nullptr;
    }
    return w;
}

void FolderWatchClose(Handle watch) {
    auto* w = static_cast<Watch*>(watch);
    if (w == nullptr) return;
    if (w->change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(w->change);
    if (w->stop != nullptr) CloseHandle(w->stop);
    delete w;
}

FolderWatchResult FolderWatchWait(Handle watch, std::uint32_t timeoutMs) {
    auto* w = static_cast<Watch*>(watch);
    const HANDLE handles[2] = {w->stop, w->change};
    const DWORD result = WaitForMultipleObjects(2, handles, FALSE, timeoutMs);
    if (result == WAIT_TIMEOUT) return FolderWatchResult::TimedOut;
    if (result != WAIT_OBJECT_0 + 1) return FolderWatchResult::Stopped;
    if (!FindNextChangeNotification(w->change)) return FolderWatchResult::Stopped;
    return FolderWatchResult::Changed;
}

void FolderWatchStop(Handle watch) { SetEvent(static_cast<Watch*>(watch)->stop); }

}  // namespace av::platform
