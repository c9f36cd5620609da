// Change notification for one folder: a file in it created, written, renamed
// or removed. Windows: FindFirstChangeNotificationW. Elsewhere: inotify.
#pragma once

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace av::platform {

// Null when the folder cannot be watched (for example it does not exist).
Handle FolderWatchOpen(const std::wstring& folder);
void FolderWatchClose(Handle watch);

enum class FolderWatchResult { Changed, TimedOut, Stopped };

// Waits up to timeoutMs (0xFFFFFFFF: no limit) for a change in the folder or
// for FolderWatchStop; the changes seen are taken. Stopped also when the
// watch fails.
FolderWatchResult FolderWatchWait(Handle watch, std::uint32_t timeoutMs);
// From any thread: this and every later wait returns Stopped.
void FolderWatchStop(Handle watch);

}  // namespace av::platform
