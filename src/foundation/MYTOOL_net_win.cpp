// The network neighbourhood of disk shares.
#include <windows.h>
#include <winnetwk.h>

#include <vector>

#include "foundation/MYTOOL.h"

namespace {
class TSystemNetSource : public TNetSource {
 public:
  bool HasNetwork() override { return (GetSystemMetrics(SM_NETWORK) & 1) != 0; }

  bool ListChildren(const TNetEntry* parent, std::vector<TNetEntry>& children) override {
    NETRESOURCEW nr{};
    std::wstring remote, local, provider, comment;
    if (parent) {
      remote = parent->RemoteName;
      local = parent->LocalName;
      provider = parent->Provider;
      comment = parent->Comment;
      nr.dwScope = parent->Scope;
      nr.dwType = parent->Type;
      nr.dwDisplayType = parent->DisplayType;
      nr.dwUsage = parent->Usage;
      nr.lpRemoteName = remote.empty() ? nullptr : remote.data();
      nr.lpLocalName = local.empty() ? nullptr : local.data();
      nr.lpProvider = provider.empty() ? nullptr : provider.data();
      nr.lpComment = comment.empty() ? nullptr : comment.data();
    }
    TNetEnumHandle h;
    TErrorModeGuard guard;
    if (WNetOpenEnumW(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, 0, parent ? &nr : nullptr, h.put()) != NO_ERROR) return false;
    std::vector<BYTE> buf(16384);
    for (;;) {
      DWORD count = static_cast<DWORD>(-1), size = static_cast<DWORD>(buf.size());
      DWORD r = WNetEnumResourceW(h.get(), &count, buf.data(), &size);
      if (r == ERROR_MORE_DATA && size > buf.size() && size < (1u << 24)) {
        buf.resize(size);  // one entry needs more room than we offered
        continue;
      }
      if (r != NO_ERROR) break;  // ERROR_NO_MORE_ITEMS, or a failure: keep what we have
      const NETRESOURCEW* items = reinterpret_cast<const NETRESOURCEW*>(buf.data());
      for (DWORD i = 0; i < count && (i + 1) * sizeof(NETRESOURCEW) <= buf.size(); ++i) {
        TNetEntry e;
        e.Scope = items[i].dwScope;
        e.Type = items[i].dwType;
        e.DisplayType = items[i].dwDisplayType;
        e.Usage = items[i].dwUsage;
        if (items[i].lpRemoteName) e.RemoteName = items[i].lpRemoteName;
        if (items[i].lpLocalName) e.LocalName = items[i].lpLocalName;
        if (items[i].lpProvider) e.Provider = items[i].lpProvider;
        if (items[i].lpComment) e.Comment = items[i].lpComment;
        children.push_back(std::move(e));
      }
    }
    return true;
  }
};
}  // namespace

std::unique_ptr<TNetSource> NewSystemNetSource() { return std::make_unique<TSystemNetSource>(); }

TNetDrive NetDrives;

TNetDrive::TNetDrive(std::unique_ptr<TNetSource> source) : FSource(std::move(source)) {
  if (!FSource) FSource = NewSystemNetSource();
  Reachable = [](const std::wstring& path) { return CheckPathReachable(nullptr, path); };
}

void TNetDrive::Clear() {
  Root.Children.clear();
  Root.Read = false;
  FCount = 0;
}

void TNetDrive::Refresh() {
  HCURSOR old = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  Filled = true;
  Clear();
  if (FSource->HasNetwork()) Enumerate(nullptr, nullptr, 0);
  SetCursor(old);
}

void TNetDrive::Enumerate(TNetNode* node, const TNetEntry* netResource, int level) {
  if (!node) node = &Root;
  const TNetEntry* from = netResource ? netResource : (node == &Root ? nullptr : &node->Resource);
  std::vector<TNetEntry> found;
  bool ok = FSource->ListChildren(from, found);
  if (!ok && from && !from->RemoteName.empty() && Reachable && Reachable(from->RemoteName)) {
    found.clear();
    ok = FSource->ListChildren(from, found);  // reaching it may have made the connection
  }
  node->Read = true;
  if (!ok) return;
  for (auto& e : found) {
    bool container = (e.Usage & RESOURCEUSAGE_CONTAINER) != 0;
    bool disk = e.Type == RESOURCETYPE_DISK;
    if (!container && !disk) continue;
    if (FCount >= MaxEntries) break;
    auto child = std::make_unique<TNetNode>();
    child->ImageIndex = static_cast<int>(e.DisplayType);
    child->IsDisk = disk && !e.RemoteName.empty();
    child->Parent = node;
    child->Resource = std::move(e);
    ++FCount;
    node->Children.push_back(std::move(child));
  }
  if (level + 1 >= MaxAutoLevel) return;
  for (auto& c : node->Children)
    if ((c->Resource.Usage & RESOURCEUSAGE_CONTAINER) && !c->Read && FCount < MaxEntries)
      Enumerate(c.get(), nullptr, level + 1);
}
