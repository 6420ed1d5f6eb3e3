#pragma once
// Unselects, in one panel's file list, the items that an operation processed (the done list
// of the copy and attribute windows: names separated by CR).
#include <string>

#include "framework/StringList.h"

class TMFList;

class TProcessDoneUnSelect {
 public:
  TProcessDoneUnSelect() { Names.SetSorted(true); }
  TMFList* FileList = nullptr;
  TStringList Names;
  void LoadNames(const std::wstring& crSeparated);
  // Unselects every selected folder or file item (drive entries excluded) whose name is in
  // the list; returns how many were unselected.
  int Execute();
};
