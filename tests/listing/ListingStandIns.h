#pragma once
// Stand-ins for what a file list asks of the layers around it: the system's file types, the
// folder tree cache and an open archive's tree. Each records what it was asked.
#include <map>
#include <string>
#include <vector>

#include "framework/TextCompare.h"
#include "panels/ArcFolder.h"
#include "panels/FileTypeLookup.h"
#include "panels/FolderTreeLink.h"

// Files of type "exe" need their own icon; folders always, when real icons are wanted.
class TStandInTypes : public TFileTypeLookup {
 public:
  bool GetFileTypeIcon(const std::wstring& path, const std::wstring& ext, bool loadIcon, std::wstring& typeName,
                       int32_t& iconIndex) override {
    ++FileLookups;
    FilePaths.push_back(path);
    typeName = UpperCase(ext) + L" file";
    iconIndex = 100;
    return !(loadIcon && LowerCase(ext) == L"exe");
  }
  bool GetFolderTypeIcon(const std::wstring& path, int32_t& iconIndex, std::wstring& typeName, int32_t& overlay,
                         int32_t, bool readDesktopIni) override {
    overlay = 0;
    FolderPaths.push_back(path);
    if (path == L"..") {
      iconIndex = ParentFolderImage();
      typeName.clear();
      return true;
    }
    if (path.size() == 3 && path[1] == L':') {
      iconIndex = 50 + (path[0] - L'A');
      typeName = L"HDD (" + std::wstring(1, path[0]) + L"VOL)";
      return true;
    }
    iconIndex = FolderImage();
    typeName = FolderTypeText();
    return !readDesktopIni;
  }
  int32_t FileImage() const override { return 0; }
  int32_t FolderImage() const override { return 2; }
  int32_t ParentFolderImage() const override { return 3; }
  int32_t DriveImage() const override { return 7; }
  std::wstring FolderTypeText() const override { return L"File Folder"; }
  void Load() override { ++Loads; }

  int FileLookups = 0;
  int Loads = 0;
  std::vector<std::wstring> FilePaths;
  std::vector<std::wstring> FolderPaths;
};

// Every call of SyncChildren, with the names as given.
struct TTreeCalls {
  struct TCall {
    std::wstring CreatedFor, Path;
    std::vector<std::wstring> Names;
  };
  std::vector<TCall> Calls;
  TFolderTreeCacheFactory Factory() {
    return [this](HWND, const std::wstring& path) -> std::unique_ptr<TFolderTreeCache> {
      return std::make_unique<TCache>(*this, path);
    };
  }

 private:
  class TCache : public TFolderTreeCache {
   public:
    TCache(TTreeCalls& calls, const std::wstring& path) : FCalls(calls), FPath(path) {}
    void SyncChildren(const std::wstring& path, TStringList& names) override {
      TCall call{FPath, path, {}};
      for (int i = 0; i < names.Count(); ++i) call.Names.push_back(names[i]);
      FCalls.Calls.push_back(call);
    }

   private:
    TTreeCalls& FCalls;
    std::wstring FPath;
  };
};

// An archive as folders of entries, listed in the order given.
class TStandInArcTree : public TArcFolderSource {
 public:
  std::map<std::wstring, std::vector<ArcInfoRec>> Folders;  // "" is the top
  int32_t ArchiveDate = 0;
  bool OpenFolder(const std::wstring& path, ArcInfoRec& first) override {
    auto it = Folders.find(path);
    if (it == Folders.end()) return false;
    FOpen = &it->second;
    FNext = 0;
    first = ArcInfoRec{};
    first.Name = L"..";
    first.Size = first.PackedSize = -1;
    first.Attributes = 16;
    first.DateTime = ArchiveDate;
    return true;
  }
  bool NextEntry(ArcInfoRec& item) override {
    if (!FOpen || FNext >= FOpen->size()) return false;
    item = (*FOpen)[FNext++];
    return true;
  }

 private:
  std::vector<ArcInfoRec>* FOpen = nullptr;
  size_t FNext = 0;
};
