#pragma once
// The drop target of a window: it tells what a drag over the window would do, reads the data
// dropped, and reads the clipboard for a paste. TDropFileTarget takes file lists (the shell's
// file drop block with its optional name maps).
#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <functional>
#include <string>

#include "framework/Controls.h"
#include "framework/StringList.h"
#include "panels/DropSrc.h"

class TDropTargetSink;

// Shift state, point (client coordinates of the target window) and the effect, which the
// handler may change.
using TDropEvent = std::function<void(TShiftState shift, POINT point, DWORD& effect)>;

class TDropTarget : public TComponent {
 public:
  explicit TDropTarget(TComponent* owner);
  ~TDropTarget() override;

  // The effects drops may have here.
  TDragTypes DragTypes = dtCopy | dtMove | dtLink;
  // Milliseconds between scroll steps while the pointer is near the window's top or bottom
  // edge; 0: no scrolling.
  int ScrollSpeed = 0;
  // The data is read already when the drag enters (otherwise at the drop).
  bool GetDataOnEnter = false;
  // Milliseconds the pointer must rest on one place before OnStayTimer.
  int StayDelay = 700;

  TDropEvent OnEnter;
  TDropEvent OnGetDropEffect;
  TDropEvent OnDrop;
  std::function<void()> OnLeave;
  // A drag rests on one place: OnStayCheck says whether that place wants to know (a folder
  // that may open), OnStayTimer then fires once after StayDelay.
  std::function<bool(POINT point)> OnStayCheck;
  std::function<void(POINT point)> OnStayTimer;

  // Registers the control's window as drop window (the previous one is unregistered); null
  // unregisters. False when the system refused.
  bool SetTarget(TControl* control);
  bool SetTargetWindow(HWND wnd);
  HWND TargetWindow() const { return FWindow; }
  // The effects the current drag's source allows (0 outside a drag).
  DWORD SourceEffects() const { return FSourceEffects; }
  // The current drag comes from this program's own drag source.
  bool SameSource() const { return FSameSource; }
  // The current drag is made with the right mouse button.
  bool RightButton() const { return FRightButton; }
  // Hides the drag image while the target repaints, and shows it again at the last position.
  void HideDragImage();
  void ShowDragImage();

  // The calls of the system's drag loop (public so that tests can drive them as the loop does).
  HRESULT DragEnter(IDataObject* data, DWORD keys, POINTL screen, DWORD* effect);
  HRESULT DragOver(DWORD keys, POINTL screen, DWORD* effect);
  HRESULT DragLeave();
  HRESULT Drop(IDataObject* data, DWORD keys, POINTL screen, DWORD* effect);
  // The object that the system calls (its reference belongs to the target).
  IDropTarget* Interface() const;

 protected:
  // Whether the data holds what this target takes.
  virtual bool Accepts(IDataObject* data) = 0;
  // Reads the data into the target's fields.
  virtual void ReadData(IDataObject* data) = 0;
  // The effect for the keys among those allowed: Ctrl+Shift or Alt link, Ctrl copy, Shift
  // move; without keys copy, else move, else link.
  DWORD DefaultEffect(DWORD keys, DWORD allowed) const;

 private:
  DWORD Allowed(DWORD sourceEffects) const;
  // A drag starts: what it carries and who sends it.
  void Begin(IDataObject* data, DWORD keys, DWORD sourceEffects);
  void Rest(POINT client);
  void AutoScroll(POINT client);
  POINT ToClient(POINTL screen) const;
  TDropTargetSink* FSink = nullptr;
  HWND FWindow = nullptr;
  bool FRegistered = false;
  bool FAccepted = false;
  bool FSameSource = false;
  bool FRightButton = false;
  DWORD FSourceEffects = 0;
  POINT FLastPoint{-1, -1};
  TTimer* FStayTimer = nullptr;
  DWORD FLastScroll = 0;
};

class TDropFileTarget : public TDropTarget {
 public:
  explicit TDropFileTarget(TComponent* owner);
  // What was dropped or pasted: full paths, and the names the source maps them to (one per
  // file, an empty one where the source's name was refused; or none).
  TStringList Files;
  TStringList MappedNames;
  // Reads the clipboard into Files and MappedNames; the effect it offers: 0 none, 1 copy,
  // 2 move, 4 link.
  int PasteFromClipboard();
  // The clipboard holds files to paste.
  bool CanPasteFromClipboard() const;

  // Reads a data object's file list and maps (the "W" map first; a map whose count differs
  // from the files' is dropped). False when it holds no files.
  bool ReadFiles(IDataObject* data);

 protected:
  bool Accepts(IDataObject* data) override;
  void ReadData(IDataObject* data) override;
};

// Empties the clipboard.
void ClearClipboard();
// The shift state of the drag loop's key bits (MK_*).
TShiftState ShiftOfKeys(DWORD keys);
