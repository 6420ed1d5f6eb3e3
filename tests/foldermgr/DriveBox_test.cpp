// The drive chooser in a real window driven by keys: the drives of the prefix with their
// texts, favourites and recent targets, the values it returns, refusals of what cannot be
// reached, and the network commands' states.
#include "foldermgr/DriveBox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <winnetwk.h>

#include "common/TestUtil.h"
#include "common/WinCapture.h"
#include "foldermgr/QCDBox.h"
#include "foundation/Language.h"
#include "foundation/MOption.h"
#include "foundation/MYTOOL.h"
#include "foundation/MsgDlg.h"

namespace {
struct TChooserRun {
  std::vector<std::wstring> Texts, Paths;
  std::wstring SelectedPath;
  bool ConnectEnabled = true, DisconnectEnabled = true;
};

// Runs the chooser; keys are sent to its tree once it is filled.
std::wstring RunChooser(const std::wstring& path, bool favourites, std::vector<std::pair<WORD, unsigned>> keys,
                 TChooserRun* seen = nullptr) {
  THanDriveBox::OnShownHook = [&](THanDriveBox& box) {
    // Keys come once the window is the active one, as a user's do.
    SetForegroundWindow(box.Window->Handle());
    SetActiveWindow(box.Window->Handle());
    if (seen) {
      for (HTREEITEM i : box.Tree->AllItems()) {
        seen->Texts.push_back(box.Tree->Text(i));
        seen->Paths.push_back(box.Tree->Data(i)->Path);
      }
      if (THanDriveData* d = box.Tree->Data(box.Tree->Selected())) seen->SelectedPath = d->Path;
      seen->ConnectEnabled = box.CanConnect();
      seen->DisconnectEnabled = box.CanDisconnect();
    }
    for (auto [key, shift] : keys) {
      if (box.Window->ModalResult() != mrNone) break;
      SendKey(box.Tree->Handle(), key, shift);
    }
    if (box.Window->ModalResult() == mrNone) box.Window->SetModalResult(mrCancel);
  };
  std::wstring result = L"stale";
  ChooseDriveDialog(path, L"드라이브", favourites, result);
  THanDriveBox::OnShownHook = nullptr;
  return result;
}

struct TDriveFixture {
  TTempDir Dir;
  TDriveFixture() {
    Options.ResetToDefaults();
    Options.Load(Dir / L"Q7X.CFG", Dir / L"History");
    Options.QCDSlots[0].Title = L"작업";
    Options.QCDSlots[0].Path = Dir.Path();
    Options.QCDSlots[1].Path = Dir / L"gone";
    Options.AddHistory(hkTARGET, Dir.Path() + L"\\");
  }
  ~TDriveFixture() {
    TMsgBoxSeam::Get().Reset();
    Options.ResetToDefaults();
  }
};

int MissingDrive() {
  for (int i = 'K' - 'A'; i < 26; ++i)
    if (!DriveExists(i)) return i;
  return -1;
}

TEST(DriveChooser, ListsTheDrivesFavouritesAndRecentTargets) {
  TDriveFixture f;
  TChooserRun seen;
  EXPECT_EQ(RunChooser(L"c:\\windows\\system32", true, {}, &seen), L"");
  ASSERT_FALSE(seen.Texts.empty());
  // The drives first, A to Z, each "[-X-] " and its kind.
  std::vector<std::wstring> drives;
  for (size_t i = 0; i < seen.Paths.size() && seen.Paths[i].size() == 2 && seen.Paths[i][1] == L':'; ++i)
    drives.push_back(seen.Paths[i]);
  ASSERT_GE(drives.size(), 2u);
  EXPECT_TRUE(std::is_sorted(drives.begin(), drives.end()));
  for (size_t i = 0; i < drives.size(); ++i) {
    EXPECT_EQ(seen.Texts[i].substr(0, 6), L"[-" + drives[i].substr(0, 1) + L"-] ");
    if (GetDriveTypeW((drives[i] + L"\\").c_str()) == DRIVE_FIXED) {
      EXPECT_EQ(seen.Texts[i].substr(6, 4), L"HDD ");
    }
  }
  EXPECT_EQ(seen.SelectedPath, L"C:");
  auto at = [&](const std::wstring& text) {
    return std::find(seen.Texts.begin(), seen.Texts.end(), text) - seen.Texts.begin();
  };
  const auto fav = at(LoadMessageText(7002)), recent = at(LoadMessageText(6003));
  ASSERT_LT(static_cast<size_t>(fav), seen.Texts.size());
  EXPECT_EQ(seen.Texts[static_cast<size_t>(fav) + 1], L"작업");
  EXPECT_EQ(seen.Texts[static_cast<size_t>(fav) + 2], L"gone");
  ASSERT_LT(static_cast<size_t>(recent), seen.Texts.size());
  EXPECT_EQ(seen.Paths[static_cast<size_t>(recent) + 1], f.Dir.Path());
  // Without the favourites option neither list is there; without a network node nothing
  // can be connected.
  TChooserRun plain;
  RunChooser(L"", false, {}, &plain);
  EXPECT_EQ(std::count(plain.Texts.begin(), plain.Texts.end(), LoadMessageText(7002)), 0);
  EXPECT_FALSE(plain.ConnectEnabled);
  EXPECT_FALSE(plain.DisconnectEnabled);
}

TEST(DriveChooser, ReturnsDrivesAndFoldersAndRefusesWhatIsGone) {
  TDriveFixture f;
  EXPECT_EQ(RunChooser(L"", true, {{'C', 0}}), L"C:");
  EXPECT_EQ(RunChooser(L"", true, {{'Z', ssShift}}), L"Z:");
  EXPECT_EQ(RunChooser(L"C:\\", true, {{VK_RETURN, 0}}), L"C:");
  EXPECT_EQ(RunChooser(L"", true, {{VK_F1, ssShift}}), L">" + f.Dir.Path() + L"\\");
  // A favourite whose folder is gone is reported and the window stays.
  TMsgBoxSeam::Get().PushButton(0);
  EXPECT_EQ(RunChooser(L"", true, {{VK_F2, ssShift}, {VK_ESCAPE, 0}}), L"");
  EXPECT_EQ(TMsgBoxSeam::Get().Shown.size(), 1u);
  // A letter without a drive beeps and chooses nothing; typed characters search nothing.
  int missing = MissingDrive();
  ASSERT_GE(missing, 0);
  EXPECT_EQ(RunChooser(L"", true, {{static_cast<WORD>('A' + missing), 0}, {VK_ESCAPE, 0}}), L"");
  // The favourites window opens from F11 and its pick comes back as a folder.
  TQCDForm::OnShownHook = [](TQCDForm& form) {
    form.List->SelectIndex(0);
    PostMessageW(form.List->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  };
  EXPECT_EQ(RunChooser(L"", true, {{VK_F11, 0}}), L">" + f.Dir.Path() + L"\\");
  TQCDForm::OnShownHook = nullptr;
}
}  // namespace

namespace {
// A neighbourhood of one network, one server and one share.
class TFakeNet : public TNetSource {
 public:
  bool HasNetwork() override { return true; }
  bool ListChildren(const TNetEntry* parent, std::vector<TNetEntry>& children) override {
    TNetEntry e;
    if (!parent) {
      e.Provider = L"Test Network";
      e.RemoteName = L"Test Network";
      e.Usage = RESOURCEUSAGE_CONTAINER;
      e.DisplayType = 1;
    } else if (parent->RemoteName == L"Test Network") {
      e.RemoteName = L"\\\\SRV";
      e.Usage = RESOURCEUSAGE_CONTAINER;
      e.DisplayType = 2;
    } else if (parent->RemoteName == L"\\\\SRV") {
      e.RemoteName = L"\\\\SRV\\SHARE";
      e.Type = RESOURCETYPE_DISK;
      e.Usage = RESOURCEUSAGE_CONNECTABLE;
      e.DisplayType = 3;
    } else {
      return true;
    }
    children.push_back(e);
    return true;
  }
};

TEST(DriveChooser, NetworkEntriesAndTheirCommandsOnlyWithANetwork) {
  TDriveFixture f;
  NetDrives = TNetDrive(std::make_unique<TFakeNet>());
  const bool network = (GetSystemMetrics(SM_NETWORK) & 1) != 0;
  std::vector<std::wstring> connected;
  auto oldConnect = THanDriveBox::ConnectDialog;
  THanDriveBox::ConnectDialog = [&](HWND, const std::wstring& remote) {
    connected.push_back(remote);
    return true;
  };
  bool canConnect = false, canDisconnect = true, sawShare = false;
  THanDriveBox::OnShownHook = [&](THanDriveBox& box) {
    for (HTREEITEM i : box.Tree->AllItems()) {
      if (box.Tree->Data(i)->Path != L"\\\\SRV\\SHARE") continue;
      sawShare = true;
      box.Tree->Select(i);
      canConnect = box.CanConnect();
      canDisconnect = box.CanDisconnect();
      box.Command(1);
      // The server stays open for the next time.
      box.Tree->Expand(box.Tree->Parent(i), true);
    }
    box.Window->SetModalResult(mrCancel);
  };
  std::wstring result;
  ChooseDriveDialog(L"", L"", false, result);
  EXPECT_EQ(sawShare, network);
  EXPECT_EQ(canConnect, network);
  EXPECT_FALSE(canDisconnect);
  EXPECT_EQ(connected, network ? std::vector<std::wstring>{L"\\\\SRV\\SHARE"} : std::vector<std::wstring>{});
  if (network) {
    bool expanded = false;
    THanDriveBox::OnShownHook = [&](THanDriveBox& box) {
      for (HTREEITEM i : box.Tree->AllItems())
        if (box.Tree->Data(i)->Path == L"\\\\SRV") expanded = box.Tree->Expanded(i);
      box.Window->SetModalResult(mrCancel);
    };
    ChooseDriveDialog(L"", L"", false, result);
    EXPECT_TRUE(expanded);
  }
  THanDriveBox::OnShownHook = nullptr;
  THanDriveBox::ConnectDialog = oldConnect;
  NetDrives = TNetDrive();
}
}  // namespace
