#pragma once
// The main form's archive commands: compress (7001), compress and delete the sources (7002),
// extract (7003), and delete inside an archive (the delete command, 1003, while the panel shows
// the inside of an archive). Installed once at start-up.
#include <cstdint>
#include <string>
#include <vector>

class TMFList;
class TForm;

void InstallArchiveCommands();

// A drag out of an archive view. Planning names a fresh folder under the work folder and the
// files and folders the chosen entries become there; the extraction (paths kept, overwriting,
// no dialog) runs only when the drag is dropped. The folder of an earlier drag goes when the
// next one is planned, and a drag that never extracted takes its folder away at once.
struct TArchiveDragJob {
  std::wstring Folder;                // the scratch folder, without trailing ""
  std::vector<std::wstring> Files;    // what the drag carries
  std::wstring ArchiveFolder, ArchiveFileName, InnerFolder, Names;
  uint8_t ArcType = 0;
  int64_t StartOffset = 0, Bytes = 0, Count = 0;
  bool Extracted = false;
};
// False when the list shows no archive or nothing is chosen.
bool PlanArchiveDrag(TMFList& list, TArchiveDragJob& job);
// Extracts into the job's folder; true when every dragged file or folder is there.
bool RunArchiveDrag(TForm* owner, TArchiveDragJob& job);
// After the drag: a folder nothing was extracted into is removed.
void FinishArchiveDrag(TArchiveDragJob& job);
// Plans and extracts at once; the files and folders to drag. False when nothing was extracted.
bool ExtractForDrag(TForm* owner, TMFList& list, std::vector<std::wstring>& files);

// Files dropped into an archive view go into the archive, below the folder the view shows,
// without a dialog. The archive is read again afterwards. True when they were added.
bool AddDroppedToArchive(TForm* owner, TMFList& list, const std::vector<std::wstring>& files);
// The archive the list shows can take files (a format the program adds to in place).
bool ArchiveViewTakesFiles(TMFList& list);
