#pragma once
// The body of the archive directory readers' fuzz targets: the bytes as an archive of one kind,
// walked to the end into an archive tree whose folders are then listed.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "archive/layer/ArcTree.h"
#include "archive/layer/ArcView.h"

inline void ListWholeTree(THanArcTree& tree, const std::wstring& path, int depth) {
  ArcInfoRec item;
  if (depth > 64 || !tree.OpenFolder(path, item)) return;
  std::vector<std::wstring> folders;
  while (tree.NextEntry(item))
    if (item.Attributes & 0x10) folders.push_back(item.Name);
  for (const auto& f : folders) ListWholeTree(tree, path.empty() ? f : path + L"\\" + f, depth + 1);
}

inline int FuzzArchive(int kind, const uint8_t* data, size_t size, int64_t start = 0) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TArchive archive;
  if (!archive.Open(std::make_unique<TArcMemorySource>(bytes), L"C:\\dir\\fuzz.a03", kind, start, 0)) return 0;
  THanArcTree tree;
  int headers = 0;
  tree.LoadEntries(archive, [&] { return ++headers > 1000000; });
  ListWholeTree(tree, L"", 0);
  int64_t count = 0;
  tree.GetFolderSize(L"", count);
  return 0;
}
