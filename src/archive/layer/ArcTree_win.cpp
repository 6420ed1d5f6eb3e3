// The archive tree's load under the wait window, on Windows.
#include "archive/layer/ArcTree.h"
#include "archive/layer/ArcCtrl.h"
#include "foundation/MYTOOL.h"
#include "foundation/WaitDlg.h"
#include "framework/Forms.h"

bool THanArcTree::LoadArchive(const std::wstring& fileName, uint8_t arcType, int32_t startLo, int32_t startHi) {
  TArchive archive;
  if (!BeginLoad(archive, fileName, arcType, startLo, startHi)) return false;
  TWaitingModalForm wait(nullptr);
  wait.SetCaption(L"압축파일 분석중...");
  wait.SetInfoText(fileName);
  wait.SetSimple(true);
  WaitForm = &wait;
  wait.BeginWait();
  LoadEntries(archive, [&wait] {
    Application().ProcessMessages();
    return wait.NowStop;
  });
  wait.EndWait();
  WaitForm = nullptr;
  return true;
}

void TArcControlDeleter::operator()(TGeneralArchiveControl* control) const { delete control; }

void THanArcTree::CreateControl(uint8_t arcType) {
  Control.reset();
  Control.reset(CreateArchiveControl(arcType).release());
}

uint8_t THanArcTree::AddFiles(const std::wstring& archiveName, const std::wstring& sourceFolder,
                              const TStringList& list) {
  if (!Control) return arcFailed;
  Control->ArchiveName = archiveName;
  Control->SourceFolder = sourceFolder;
  Control->SetFileList(list);
  return Control->Add();
}

uint8_t THanArcTree::ExtractFiles(const std::wstring& archiveName, const std::wstring& destFolder,
                                  const TStringList& list) {
  if (!Control) return arcFailed;
  Control->ArchiveName = archiveName;
  Control->SetDestFolder(destFolder);
  Control->SetFileList(list);
  return Control->Extract();
}

uint8_t THanArcTree::DeleteFiles(const std::wstring& archiveName, const TStringList& list) {
  if (!Control) return arcFailed;
  Control->ArchiveName = archiveName;
  size_t p = archiveName.find_last_of(L"\\/");
  Control->SourceFolder = p == std::wstring::npos ? std::wstring() : archiveName.substr(0, p + 1);
  Control->SetFileList(list);
  return Control->Delete();
}
