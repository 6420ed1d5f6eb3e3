// The archive tree's load under the wait window, on Windows.
#include "archive/layer/ArcTree.h"
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
