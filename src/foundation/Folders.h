#pragma once
// The program-wide folders, each with a trailing backslash, and the screen's colour depth flag.
// InitFolders fills them at start-up; tests may set ProgramFolder (and the others) directly.
#include <string>

extern std::wstring ProgramFolder;    // folder of the program file: every data file lies there
extern std::wstring WorkFolder;       // the program's scratch folder under the temporary folder
extern std::wstring WindowsFolder;
extern std::wstring McdFolder;        // ProgramFolder + "MCD\": the tree files
extern std::wstring PersonalFolder;   // My Documents
extern std::wstring DesktopFolder;
extern std::wstring StartMenuFolder;
extern bool LowColorScreen;           // 8 bits per pixel or fewer

// Reads the folders from the system and creates WorkFolder and McdFolder when missing.
void InitFolders();
// Sets ProgramFolder (a trailing backslash is added) and McdFolder below it.
void SetProgramFolder(const std::wstring& folder);
