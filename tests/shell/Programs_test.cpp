// Starting programs, and the network neighbourhood fed by a test source and by the system.
#include <gtest/gtest.h>

#include <map>

#include "ShellTestUtil.h"
#include <winnetwk.h>
#include "foundation/MYTOOL.h"
#include "framework/TextCompare.h"

namespace {
bool WaitForFile(const std::wstring& path) {
  for (int i = 0; i < 1000; ++i) {
    if (GetPathKind(path) == 2) return true;
    Sleep(10);
  }
  return false;
}
}  // namespace

TEST(Programs, RunsWaitsAndReportsExitCodes) {
  TTempDir t;
  EXPECT_EQ(RunProgram(L"cmd.exe", L"/c exit 7", t.Path(), SW_HIDE, true), 7);
  EXPECT_EQ(RunProgram(nullptr, L"cmd.exe /c exit 3", t.Path(), SW_HIDE, true), 3);
  // The folder it runs in.
  EXPECT_EQ(RunProgram(L"cmd.exe", L"/c cd > where.txt", t.Path(), SW_HIDE, true), 0);
  std::string where = ReadFileRaw(t / L"where.txt");
  while (!where.empty() && (where.back() == '\n' || where.back() == '\r' || where.back() == ' ')) where.pop_back();
  EXPECT_TRUE(SameTextI(std::wstring(where.begin(), where.end()), t.Path())) << where;
  // Without waiting: 0 at once, the program runs on by itself.
  EXPECT_EQ(RunProgram(L"cmd.exe", L"/c echo x> later.txt", t.Path(), SW_HIDE, false), 0);
  EXPECT_TRUE(WaitForFile(t / L"later.txt"));

  EXPECT_EQ(RunProgram(L"C:\\no\\such\\program.exe", L"", t.Path(), SW_HIDE, true), -1);
  EXPECT_EQ(RunProgram(L"cmd.exe\" /c exit 5 \"", L"", t.Path(), SW_HIDE, true), -1);
  EXPECT_EQ(RunProgram(nullptr, L"", t.Path(), SW_HIDE, true), -1);
}

namespace {
int seenPosted = 0;
LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_APP + 5) ++seenPosted;
  return DefWindowProcW(w, m, wp, lp);
}
}  // namespace

TEST(Programs, WaitingKeepsTheCallersMessagesMoving) {
  seenPosted = 0;
  WNDCLASSW wc{};
  wc.lpfnWndProc = CountingProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VelmoRunWaitTest";
  RegisterClassW(&wc);
  HWND w = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(w, nullptr);
  PostMessageW(w, WM_APP + 5, 0, 0);
  TTempDir t;
  EXPECT_EQ(RunProgram(L"cmd.exe", L"/c exit 0", t.Path(), SW_HIDE, true), 0);
  EXPECT_EQ(seenPosted, 1);
  DestroyWindow(w);
}

TEST(Programs, ParametersNeverBecomeASecondCommand) {
  TTempDir t;
  MakeDirs(t / L"with space");
  std::wstring bat = t / L"with space\\echo.bat";
  // The batch file keeps its argument quoted, so whatever runs comes from the launch alone.
  ASSERT_TRUE(WriteFileRaw(bat, "@echo %1> \"%~dp0arg.txt\"\r\n"));
  std::wstring arg = t / L"with space\\arg.txt", pwned = t / L"pwned.txt";

  const wchar_t* refused[] = {
      L"a & echo x> pwned.txt", L"a | echo x> pwned.txt", L"a > pwned.txt",
      L"\"a\" & echo x> pwned.txt", L"\"open", L"a\r\necho x> pwned.txt", L"a ^& b",
  };
  for (const wchar_t* p : refused) {
    EXPECT_EQ(RunProgram(bat.c_str(), p, t.Path(), SW_HIDE, true), -1) << p;
    std::wstring whole = L"\"" + bat + L"\" " + p;
    EXPECT_EQ(RunProgram(nullptr, whole.c_str(), t.Path(), SW_HIDE, true), -1) << p;
  }
  EXPECT_EQ(GetPathKind(pwned), 0);
  EXPECT_EQ(GetPathKind(arg), 0);

  // Operators inside quotes are plain text.
  EXPECT_EQ(RunProgram(bat.c_str(), L"\"a & b\"", t.Path(), SW_HIDE, true), 0);
  ASSERT_TRUE(WaitForFile(arg));
  EXPECT_EQ(ReadFileRaw(arg).substr(0, 7), "\"a & b\"");
  EXPECT_EQ(GetPathKind(pwned), 0);
}

namespace {
// A neighbourhood kept in memory: children by parent remote name ("" for the top).
class TFakeNet : public TNetSource {
 public:
  bool Network = true;
  std::map<std::wstring, std::vector<TNetEntry>> Tree;
  std::map<std::wstring, int> FailuresLeft;
  // Endless containers below any name starting with "loop".
  bool Endless = false;
  int Calls = 0;

  bool HasNetwork() override { return Network; }
  bool ListChildren(const TNetEntry* parent, std::vector<TNetEntry>& children) override {
    ++Calls;
    std::wstring name = parent ? parent->RemoteName : L"";
    if (FailuresLeft[name] > 0) {
      --FailuresLeft[name];
      return false;
    }
    if (Endless && name.starts_with(L"loop")) {
      children.push_back(Container(name + L"\\loop", RESOURCEDISPLAYTYPE_GENERIC));
      return true;
    }
    auto it = Tree.find(name);
    if (it != Tree.end()) children = it->second;
    return true;
  }
  static TNetEntry Container(const std::wstring& name, DWORD display) {
    TNetEntry e;
    e.RemoteName = name;
    e.DisplayType = display;
    e.Usage = RESOURCEUSAGE_CONTAINER;
    return e;
  }
  static TNetEntry Share(const std::wstring& name, DWORD type = RESOURCETYPE_DISK) {
    TNetEntry e;
    e.RemoteName = name;
    e.Type = type;
    e.DisplayType = RESOURCEDISPLAYTYPE_SHARE;
    e.Usage = RESOURCEUSAGE_CONNECTABLE;
    return e;
  }
};

const TNetNode* Child(const TNetNode& n, const std::wstring& name) {
  for (const auto& c : n.Children)
    if (c->Resource.RemoteName == name) return c.get();
  return nullptr;
}
}  // namespace

TEST(NetDrive, ReadsTheNeighbourhoodFromItsSource) {
  auto source = std::make_unique<TFakeNet>();
  TFakeNet& net = *source;
  net.Tree[L""] = {TFakeNet::Container(L"Network", RESOURCEDISPLAYTYPE_NETWORK)};
  net.Tree[L"Network"] = {TFakeNet::Container(L"WORKGROUP", RESOURCEDISPLAYTYPE_DOMAIN)};
  net.Tree[L"WORKGROUP"] = {TFakeNet::Container(L"\\\\SRV", RESOURCEDISPLAYTYPE_SERVER),
                            TFakeNet::Container(L"\\\\LOCKED", RESOURCEDISPLAYTYPE_SERVER)};
  net.Tree[L"\\\\SRV"] = {TFakeNet::Share(L"\\\\SRV\\docs"), TFakeNet::Share(L"\\\\SRV\\printer", RESOURCETYPE_PRINT)};
  net.Tree[L"\\\\LOCKED"] = {TFakeNet::Share(L"\\\\LOCKED\\data")};
  net.FailuresLeft[L"\\\\LOCKED"] = 1;
  TNetDrive drives(std::move(source));
  std::vector<std::wstring> asked;
  drives.Reachable = [&](const std::wstring& p) {
    asked.push_back(p);
    return true;  // reaching it connects, so the second try works
  };
  EXPECT_FALSE(drives.Filled);
  drives.Refresh();
  EXPECT_TRUE(drives.Filled);

  const TNetNode* network = Child(drives.Root, L"Network");
  ASSERT_NE(network, nullptr);
  const TNetNode* group = Child(*network, L"WORKGROUP");
  ASSERT_NE(group, nullptr);
  const TNetNode* srv = Child(*group, L"\\\\SRV");
  ASSERT_NE(srv, nullptr);
  EXPECT_EQ(srv->ImageIndex, static_cast<int>(RESOURCEDISPLAYTYPE_SERVER));
  EXPECT_FALSE(srv->IsDisk);
  EXPECT_TRUE(srv->Read);
  ASSERT_EQ(srv->Children.size(), 1u);  // the printer is no disk
  const TNetNode& docs = *srv->Children[0];
  EXPECT_EQ(docs.Resource.RemoteName, L"\\\\SRV\\docs");
  EXPECT_TRUE(docs.IsDisk);
  EXPECT_EQ(docs.Parent, srv);
  const TNetNode* locked = Child(*group, L"\\\\LOCKED");
  ASSERT_NE(locked, nullptr);
  EXPECT_EQ(asked, std::vector<std::wstring>{L"\\\\LOCKED"});
  ASSERT_EQ(locked->Children.size(), 1u);
  EXPECT_EQ(drives.Count(), 6u);

  // Unreachable: one try, marked read, no children; a refresh starts over.
  net.FailuresLeft[L"\\\\LOCKED"] = 5;
  drives.Reachable = [](const std::wstring&) { return false; };
  net.Calls = 0;
  drives.Refresh();
  locked = Child(*Child(*Child(drives.Root, L"Network"), L"WORKGROUP"), L"\\\\LOCKED");
  ASSERT_NE(locked, nullptr);
  EXPECT_TRUE(locked->Read);
  EXPECT_TRUE(locked->Children.empty());
  EXPECT_EQ(net.Calls, 5);  // top, network, group, SRV, LOCKED once
  EXPECT_EQ(drives.Count(), 5u);

  net.Network = false;
  drives.Refresh();
  EXPECT_TRUE(drives.Filled);
  EXPECT_TRUE(drives.Root.Children.empty());
}

TEST(NetDrive, DeepOrEndlessNeighbourhoodsStayBounded) {
  auto source = std::make_unique<TFakeNet>();
  TFakeNet& net = *source;
  net.Endless = true;
  net.Tree[L""] = {TFakeNet::Container(L"loop", RESOURCEDISPLAYTYPE_NETWORK)};
  TNetDrive drives(std::move(source));
  drives.Refresh();
  // Containers are read a fixed number of levels deep; the rest waits to be asked for.
  const TNetNode* n = &drives.Root;
  int depth = 0;
  while (!n->Children.empty()) {
    n = n->Children[0].get();
    ++depth;
  }
  EXPECT_EQ(depth, TNetDrive::MaxAutoLevel);
  EXPECT_FALSE(n->Read);
  drives.Enumerate(const_cast<TNetNode*>(n), nullptr, depth);
  EXPECT_TRUE(n->Read);
  EXPECT_EQ(n->Children.size(), 1u);

  // A provider that reports far too much is cut off.
  auto flood = std::make_unique<TFakeNet>();
  for (size_t i = 0; i < TNetDrive::MaxEntries + 500; ++i)
    flood->Tree[L""].push_back(TFakeNet::Share(L"\\\\S\\" + std::to_wstring(i)));
  TNetDrive big(std::move(flood));
  big.Refresh();
  EXPECT_EQ(big.Count(), TNetDrive::MaxEntries);
  EXPECT_EQ(big.Root.Children.size(), TNetDrive::MaxEntries);
}

TEST(NetDrive, SystemNetworkWithoutServersFindsNothing) {
  // Wine has no network provider here: the real enumeration ends cleanly with nothing.
  NetDrives.Refresh();
  EXPECT_TRUE(NetDrives.Filled);
  EXPECT_EQ(NetDrives.Count(), 0u);
  EXPECT_TRUE(NetDrives.Root.Children.empty());
  std::vector<TNetEntry> children;
  EXPECT_FALSE(NewSystemNetSource()->ListChildren(nullptr, children) && !children.empty());
}
