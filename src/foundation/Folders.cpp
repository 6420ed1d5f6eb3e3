#include "foundation/Folders.h"

#include "foundation/FolderChange.h"

std::wstring ProgramFolder;
std::wstring WorkFolder;
std::wstring WindowsFolder;
std::wstring McdFolder;
std::wstring PersonalFolder;
std::wstring DesktopFolder;
std::wstring StartMenuFolder;
bool LowColorScreen = false;

void SetProgramFolder(const std::wstring& folder) {
  ProgramFolder = folder;
  if (!ProgramFolder.empty() && ProgramFolder.back() != L'\\' && ProgramFolder.back() != L'/') ProgramFolder += L'\\';
  McdFolder = ProgramFolder.empty() ? std::wstring() : ProgramFolder + L"MCD\\";
}

TFolderChangeEvent FolderChangeRelay;
