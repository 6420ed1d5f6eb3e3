#pragma once
// An archive's entries as a tree of folders and files, for a panel that shows the inside of an
// archive as if it were a folder. The directory comes from the layer's own readers (ArcView).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/layer/ArcView.h"
#include "foundation/HanList.h"
#include "panels/ArcFolder.h"

class TWaitingModalForm;
class TGeneralArchiveControl;
class TStringList;
// Frees an archive control (which exists only in the Windows build).
struct TArcControlDeleter {
  void operator()(TGeneralArchiveControl* control) const;
};

// One node's entry: the name is the node's own component, never a path. A folder has 0x10 in
// its attributes.
struct THanArcItem {
  std::wstring Name;
  int64_t Size = 0;
  int64_t PackedSize = 0;
  int32_t DateTime = 0;
  int32_t Attributes = 0;
  uint32_t CRC32 = 0;
  int32_t Flags = 0;
};

class THanArcTree : public TArcFolderSource {
 public:
  THanArcTree();
  ~THanArcTree() override;
  THanArcTree(const THanArcTree&) = delete;
  THanArcTree& operator=(const THanArcTree&) = delete;

  std::unique_ptr<THanTree> Tree;  // payloads are THanArcItem, freed with their nodes
  uint8_t ArcType = 0;
  PHanNode EnumFolder = nullptr;
  int32_t EnumIndex = 0;
  int32_t ArchiveDate = 0;  // for folders without an entry of their own and for ".."
  PHanNode CacheNode = nullptr;
  std::wstring CachePath;
  int64_t StartOffset = 0;
  std::wstring ArchiveName;  // the archive's file name without folder, in every record handed out

  // Reads the archive's directory into the tree under a stoppable wait window. False when the
  // reader cannot open the file; true otherwise, also when the user stopped early (what was
  // read stays).
  bool LoadArchive(const std::wstring& fileName, uint8_t arcType, int32_t startLo, int32_t startHi);
  // The walk of LoadArchive over an opened archive; stopped (when set) is asked after every
  // header and ends the walk when it returns true.
  void LoadEntries(TArchive& archive, const std::function<bool()>& stopped);
  // During LoadArchive: the wait window, and a call after every entry placed (tests).
  TWaitingModalForm* WaitForm = nullptr;
  std::function<void(THanArcTree& tree, int entries)> OnEntryLoaded;

  std::wstring GetTypeName() const;
  bool OpenFolder(const std::wstring& path, ArcInfoRec& first) override;
  bool NextEntry(ArcInfoRec& item) override;
  // Total unpacked size of the files below the folder and their number; -1 (count 0) when the
  // folder is not in the tree.
  int64_t GetFolderSize(const std::wstring& path, int64_t& fileCount);
  // The folder node for a "\"-separated path ("" = the top), missing folders created when
  // create is set; null when it does not exist.
  PHanNode FindFolder(const std::wstring& path, bool create, int32_t defaultDate);
  void AddItem(const ArcInfoRec& item);
  // Removes every child of the folder whose name equals name; true when one was.
  bool RemoveEntry(const std::wstring& folder, const std::wstring& name);

  // The archive control of the operation in progress (created for a type, freed with the tree
  // or by the next CreateControl).
  std::unique_ptr<TGeneralArchiveControl, TArcControlDeleter> Control;
  void CreateControl(uint8_t arcType);
  void FreeControl() { Control.reset(); }
  // One operation on the current control; its result code (TArcResultCode).
  uint8_t AddFiles(const std::wstring& archiveName, const std::wstring& sourceFolder, const TStringList& list);
  uint8_t ExtractFiles(const std::wstring& archiveName, const std::wstring& destFolder, const TStringList& list);
  uint8_t DeleteFiles(const std::wstring& archiveName, const TStringList& list);

  static THanArcItem* Item(PHanNode node) { return node ? static_cast<THanArcItem*>(node->Data) : nullptr; }

 private:
  void CopyOut(const THanArcItem& from, ArcInfoRec& to) const;
  bool BeginLoad(TArchive& archive, const std::wstring& fileName, uint8_t arcType, int32_t startLo,
                 int32_t startHi);
};

// Detects the file's archive kind and reads its directory; null when the file is no archive
// that can be read.
std::unique_ptr<THanArcTree> OpenArchiveTree(const std::wstring& fileName);
