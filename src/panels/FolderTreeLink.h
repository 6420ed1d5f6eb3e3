#pragma once
// What a file list tells the folder tree cache of a drive: after a folder has been listed
// completely, its subfolders are the cached children of that folder. The folder manager's
// tree cache implements TFolderTreeCache; the main form gives each file list a factory that
// creates the cache for a path, so the panels never reach up into the folder manager.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "framework/StringList.h"

class TFolderTreeCache {
 public:
  // Writes the cache back when something changed.
  virtual ~TFolderTreeCache() = default;
  // Makes the cached children of the folder at path equal to names (the list may be sorted
  // and emptied of names that were known already). No change notice is sent. Nothing happens
  // when the folder is not in the cache.
  virtual void SyncChildren(const std::wstring& path, TStringList& names) = 0;
};

// Creates the cache of the drive or share that holds path; ownerWnd owns any question it asks.
using TFolderTreeCacheFactory = std::function<std::unique_ptr<TFolderTreeCache>(HWND ownerWnd, const std::wstring& path)>;
// What every file list made afterwards starts with: the folder manager installs its cache
// here at start-up; until then lists keep no cache.
extern TFolderTreeCacheFactory DefaultFolderTreeCache;
