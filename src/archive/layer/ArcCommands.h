#pragma once
// The main form's archive commands: compress (7001), compress and delete the sources (7002),
// extract (7003), and delete inside an archive (the delete command, 1003, while the panel shows
// the inside of an archive). Installed once at start-up.
#include <string>
#include <vector>

class TMFList;
class TForm;

void InstallArchiveCommands();

// Before a drag out of an archive view: extracts the panel's chosen entries into a fresh folder
// under the work folder (paths kept, overwriting, no dialog) and gives the files and folders
// to drag. False when nothing was extracted.
bool ExtractForDrag(TForm* owner, TMFList& list, std::vector<std::wstring>& files);
