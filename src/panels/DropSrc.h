#pragma once
// The drag source for a list of files: an OLE drop source and data object that offers the
// files as the shell's file-list formats, with an optional drag image, and that also puts
// the files on the clipboard for copying or for cutting.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/StringList.h"

// The drag types a source allows, as bits.
using TDragTypes = uint8_t;
constexpr TDragTypes dtCopy = 1, dtMove = 2, dtLink = 4;

// The outcome of a drag.
enum TDragResult : uint8_t { drCopy = 0, drMove = 1, drLink = 2, drCancel = 3, drOutOfMemory = 4, drUnknown = 5 };

// The clipboard formats a file source offers, in their order.
extern const wchar_t* const CFSTR_FileNameMapA;   // "FileNameMap"
extern const wchar_t* const CFSTR_FileNameMapW;   // "FileNameMapW"
extern const wchar_t* const CFSTR_ShellIdList;    // "Shell IDList Array"
extern const wchar_t* const CFSTR_PreferredEffect;  // "Preferred DropEffect"
extern const wchar_t* const CFSTR_PerformedEffect;  // "Performed DropEffect"
UINT RegisteredFormat(const wchar_t* name);

// What a data object of this program answers to, so a target knows the drag is its own.
extern const IID IID_IVelmoFileData;

// The data object of a file list: the five formats in their order (CF_HDROP, "Shell IDList
// Array", "Preferred DropEffect", "FileNameMap", "FileNameMapW"). preferredEffect 0 offers no
// preferred effect; maps without one name per file are not offered.
IDataObject* NewFileDataObject(const std::vector<std::wstring>& files, const std::vector<std::wstring>& mappedNames,
                               DWORD preferredEffect);

// What a drag's source and its data object share: the drop has happened (the button went up
// over a target), so that a target asking for the files now gets them made.
struct TDragState {
  bool Dropped = false;
};

// The data object of files that come into being only at the drop (the inside of an archive).
// Before the drop a target reading the file list gets the names the files will have; once
// the drop has happened, the first request for the files (the file list or the shell's item
// lists) runs render, once. When render fails, the files are refused from then on.
IDataObject* NewDeferredFileDataObject(const std::vector<std::wstring>& files,
                                       const std::vector<std::wstring>& mappedNames, std::function<bool()> render,
                                       std::shared_ptr<TDragState> state);

// The drag image, the drag types and the run of a drag, for any data.
class TDropSource : public TComponent {
 public:
  explicit TDropSource(TComponent* owner) : TComponent(owner) {}
  TDragTypes DragTypes = dtCopy;

  HIMAGELIST Images() const { return FImages; }
  // Also sets the image index to 0, and shows the image exactly when a list is set.
  void SetImages(HIMAGELIST images);
  int ImageIndex() const { return FImageIndex; }
  // A negative index, no list or an empty list give index 0 without image; an index past the
  // end is ignored.
  void SetImageIndex(int index);
  int ImageHotSpotX() const { return FHotSpotX; }
  int ImageHotSpotY() const { return FHotSpotY; }
  // Index 1 sets the X of the hot spot, any other the Y.
  void SetImageHotSpot(int index, int value);
  bool ShowImage() const { return FShowImage; }
  // Forced off when there is no image list.
  void SetShowImage(bool show);

  // Runs the drag (with the drag image when one is shown) until the drop or the cancel.
  TDragResult Execute();
  // The effect the target performed (the drop's effect, or the one it reported itself).
  DWORD LastEffect() const { return FLastEffect; }

 protected:
  // The data the drag carries (a new reference), or null when there is nothing to drag.
  virtual IDataObject* CreateDataObject() = 0;
  // The state of the drag that Execute runs now (made anew for each run).
  const std::shared_ptr<TDragState>& DragState() const { return FState; }

 private:
  HIMAGELIST FImages = nullptr;
  int FImageIndex = 0;
  int FHotSpotX = 0, FHotSpotY = 0;
  bool FShowImage = false;
  DWORD FLastEffect = 0;
  std::shared_ptr<TDragState> FState = std::make_shared<TDragState>();
};

// The result of a drag for the effect the target reported: copy tested first, then move and
// link; an effect the source does not allow, or none, is a cancel.
TDragResult DragResultForEffect(DWORD effect, TDragTypes allowed);

class TDropFileSource : public TDropSource {
 public:
  explicit TDropFileSource(TComponent* owner) : TDropSource(owner) {}
  // Full paths of the files and folders, and the names the target gives them (one per file,
  // or none).
  TStringList Files;
  TStringList MappedNames;
  // Set for files that do not exist until they are dropped: Files then names where they will
  // be, and OnRender makes them at the drop (see NewDeferredFileDataObject); true when they
  // are there.
  std::function<bool()> OnRender;
  // Puts Files on the clipboard with the preferred effect copy or move (cut); true on success.
  bool CopyToClipboard();
  bool CutToClipboard();

 protected:
  IDataObject* CreateDataObject() override;

 private:
  bool PutOnClipboard(DWORD effect);
};

// Saves a shell link to target with target's folder as working folder and the description.
// The link's extension becomes ".LNK"; when that file exists, " (1)", " (2)", ... is added to
// the name until it is free. True when saved.
bool CreateShortcut(const std::wstring& target, const std::wstring& linkName, const std::wstring& description);
// The name CreateShortcut would save the link under.
std::wstring FreeShortcutName(const std::wstring& linkName);
