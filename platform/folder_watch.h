// Change notification for folders: a file in one of them created, written,
// renamed or removed. Windows: FindFirstChangeNotificationW, one per folder.
// Elsewhere: inotify. Sub-folders are not included (Wine does not report
// changes in them): add each folder whose files matter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace av::platform {

// Null when the folder cannot be watched (for example it does not exist).
Handle FolderWatchOpen(const std::wstring& folder);
void FolderWatchClose(Handle watch);
// One more folder for the same watch; false (the watch unchanged) when it
// cannot be watched. Before the first wait only.
bool FolderWatchAdd(Handle watch, const std::wstring& folder);

// The folders that hold these files, each once, sorted.
std::vector<std::wstring> FoldersOfFiles(const std::vector<std::wstring>& files);
// One watch over the folders of these files (each on its own, as a change in
// a sub-folder is not reported with its parent's everywhere); a folder that
// cannot be watched is left out. Null when none can be.
Handle FolderWatchOpenForFiles(const std::vector<std::wstring>& files);

enum class FolderWatchResult { Changed, TimedOut, Stopped };

// Waits up to timeoutMs (0xFFFFFFFF: no limit) for a change in a folder or
// for FolderWatchStop; the changes seen are taken. Stopped also when the
// watch fails.
FolderWatchResult FolderWatchWait(Handle watch, std::uint32_t timeoutMs);
// From any thread: this and every later wait returns Stopped.
void FolderWatchStop(Handle watch);

}  // namespace av::platform
