#include <windows.h>

#include <vector>

#include "platform/folder_watch.h"

namespace av::platform {

namespace {

struct Watch {
    // [0] the stop event (manual-reset: once stopped, every wait ends), then
    // one change notification per folder.
    std::vector<HANDLE> handles;
};

HANDLE OpenChange(const std::wstring& folder) {
    return FindFirstChangeNotificationW(
        folder.c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE);
}

}  // namespace

Handle FolderWatchOpen(const std::wstring& folder) {
    const HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stop == nullptr) return nullptr;
    auto* w = new Watch;
    w->handles.push_back(stop);
    if (!FolderWatchAdd(w, folder)) {
        FolderWatchClose(w);
        return nullptr;
    }
    return w;
}

bool FolderWatchAdd(Handle watch, const std::wstring& folder) {
    auto* w = static_cast<Watch*>(watch);
    if (w->handles.size() >= MAXIMUM_WAIT_OBJECTS) return false;
    const HANDLE change = OpenChange(folder);
    if (change == INVALID_HANDLE_VALUE) return false;
    w->handles.push_back(change);
    return true;
}

void FolderWatchClose(Handle watch) {
    auto* w = static_cast<Watch*>(watch);
    if (w == nullptr) return;
    for (std::size_t i = 1; i < w->handles.size(); ++i) FindCloseChangeNotification(w->handles[i]);
    if (!w->handles.empty()) CloseHandle(w->handles[0]);
    delete w;
}

FolderWatchResult FolderWatchWait(Handle watch, std::uint32_t timeoutMs) {
    auto* w = static_cast<Watch*>(watch);
    const DWORD count = static_cast<DWORD>(w->handles.size());
    const DWORD result = WaitForMultipleObjects(count, w->handles.data(), FALSE, timeoutMs);
    if (result == WAIT_TIMEOUT) return FolderWatchResult::TimedOut;
    if (result <= WAIT_OBJECT_0 || result >= WAIT_OBJECT_0 + count) return FolderWatchResult::Stopped;
    // Every folder that changed meanwhile is taken, so one wait reports them all.
    for (DWORD i = 1; i < count; ++i) {
        if (i != result - WAIT_OBJECT_0 && WaitForSingleObject(w->handles[i], 0) != WAIT_OBJECT_0) continue;
        if (!FindNextChangeNotification(w->handles[i])) return FolderWatchResult::Stopped;
    }
    return FolderWatchResult::Changed;
}

void FolderWatchStop(Handle watch) { SetEvent(static_cast<Watch*>(watch)->handles[0]); }

}  // namespace av::platform
