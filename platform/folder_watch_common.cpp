#include <algorithm>

#include "platform/folder_watch.h"
#include "platform/paths.h"

namespace av::platform {

std::vector<std::wstring> FoldersOfFiles(const std::vector<std::wstring>& files) {
    std::vector<std::wstring> folders;
    for (const std::wstring& file : files) folders.push_back(RemoveFileSpec(file));
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    return folders;
}

Handle FolderWatchOpenForFiles(const std::vector<std::wstring>& files) {
    Handle watch = nullptr;
    for (const std::wstring& folder : FoldersOfFiles(files)) {
        if (watch == nullptr) {
            watch = FolderWatchOpen(folder);
        } else {
            FolderWatchAdd(watch, folder);
        }
    }
    return watch;
}

}  // namespace av::platform
