// The archive tree's load on the host, where there is no wait window.
#include "archive/layer/ArcTree.h"

bool THanArcTree::LoadArchive(const std::wstring& fileName, uint8_t arcType, int32_t startLo, int32_t startHi) {
  TArchive archive;
  if (!BeginLoad(archive, fileName, arcType, startLo, startHi)) return false;
  LoadEntries(archive, nullptr);
  return true;
}

// The host build has no archive controls: none is ever created there.
void TArcControlDeleter::operator()(TGeneralArchiveControl*) const {}
