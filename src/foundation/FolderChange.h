#pragma once
// The folder-change notices that the folder tree cache sends whenever it creates, renames,
// deletes or moves a folder, and the main form's relay that passes them on to the folder tree
// beside each panel. Kept at the bottom so that the cache and the main form both reach it.
#include <cstdint>
#include <functional>
#include <string>

enum TFolderChangeKind : int32_t { fckCreated = 1, fckRenamed = 2, fckDeleted = 3 };

// Receives a notice: kind, the folder, and for a rename the folder's new path.
using TFolderChangeEvent =
    std::function<void(TFolderChangeKind kind, const std::wstring& path, const std::wstring& newPath)>;
// The main form's relay (NotifyFolderTrees); the main form sets it when it is made and clears
// it when it goes. Every tree cache made meanwhile sends its notices there.
extern TFolderChangeEvent FolderChangeRelay;
