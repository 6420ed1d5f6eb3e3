#include "panels/MFile.h"

#include <utility>

#include "framework/QuickSort.h"
#include "framework/TextCompare.h"

bool IsParentItem(const TFileBoxItem& item) { return item.Kind == ikFolder && item.Name == L".."; }

bool IsDriveEntry(const TFileBoxItem& item) {
  if (item.Kind != ikDrive || item.Name.size() < 5) return false;
  wchar_t d = item.Name[2];
  bool letter = (d >= L'A' && d <= L'Z') || (d >= L'a' && d <= L'z');
  return item.Name[0] == L'[' && item.Name[1] == L'-' && letter && item.Name[3] == L'-' && item.Name[4] == L']';
}

// ---- Comparators ----

namespace {
template <class T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}
int Text(const std::wstring& a, const std::wstring& b) {
  int r = CompareTextI(a, b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}
int NameThenExt(const TFileBoxItem& a, const TFileBoxItem& b) {
  int r = Text(a.Name, b.Name);
  return r ? r : Text(a.Ext, b.Ext);
}
int ExtThenName(const TFileBoxItem& a, const TFileBoxItem& b) {
  int r = Text(a.Ext, b.Ext);
  return r ? r : Text(a.Name, b.Name);
}
int AttrWeight(int32_t attr) {
  return (attr & TFileBoxItem::AttrHidden ? 1000 : 0) + (attr & TFileBoxItem::AttrReadOnly ? 100 : 0) +
         (attr & TFileBoxItem::AttrSystem ? 10 : 0) + (attr & TFileBoxItem::AttrArchive ? 1 : 0);
}
// Rank of the program extensions, in the order they are listed first; 5 for any other.
int ExecRank(const std::wstring& lowerExt) {
  static const wchar_t* const kinds[] = {L"lnk", L"exe", L"com", L"pif", L"bat"};
  for (int i = 0; i < 5; ++i)
    if (lowerExt == kinds[i]) return i;
  return 5;
}
const std::wstring& TypeText(const TFileBoxItem& item, int32_t typeView) {
  if (typeView == 1) return item.Desc;
  if (typeView == 2 && !item.Desc.empty()) return item.Desc;
  return item.TypeName;
}

int ByName(const TFileBoxItem& a, const TFileBoxItem& b, int32_t) { return NameThenExt(a, b); }
int ByExt(const TFileBoxItem& a, const TFileBoxItem& b, int32_t) { return ExtThenName(a, b); }
int BySize(const TFileBoxItem& a, const TFileBoxItem& b, int32_t) {
  int r = Order(a.Size, b.Size);
  return r ? r : NameThenExt(a, b);
}
int ByDate(const TFileBoxItem& a, const TFileBoxItem& b, int32_t) {
  int r = Order(a.Time, b.Time);
  return r ? r : NameThenExt(a, b);
}
int ByColor(const TFileBoxItem& a, const TFileBoxItem& b, int32_t) {
  int r = Order(a.Color, b.Color);
  return r ? r : ExtThenName(a, b);
}
int ByDesc(const TFileBoxItem& a, const TFileBoxItem& b, int32_t typeView) {
  int r = Text(TypeText(a, typeView), TypeText(b, typeView));
  return r ? r : ExtThenName(a, b);
}
int ByAttr(const TFileBoxItem& a, const TFileBoxItem& b, int32_t) {
  int r = Order(AttrWeight(a.Attr), AttrWeight(b.Attr));
  return r ? r : NameThenExt(a, b);
}
int ByExec(const TFileBoxItem& a, const TFileBoxItem& b, int32_t) {
  std::wstring ea = LowerCase(a.Ext), eb = LowerCase(b.Ext);
  if (ea == eb) return Text(a.Name, b.Name);
  int ra = ExecRank(ea), rb = ExecRank(eb);
  if (ra != rb) return ra < rb ? -1 : 1;
  int r = CompareAsciiI(ea, eb);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}
int ByNothing(const TFileBoxItem&, const TFileBoxItem&, int32_t) { return 0; }

using TItemCompare = int (*)(const TFileBoxItem&, const TFileBoxItem&, int32_t);
TItemCompare ComparatorOf(TSortKey key) {
  switch (key) {
    case skName: return ByName;
    case skExt: return ByExt;
    case skSize: return BySize;
    case skDate: return ByDate;
    case skColor: return ByColor;
    case skDesc: return ByDesc;
    case skAttr: return ByAttr;
    case skExec: return ByExec;
    default: return ByNothing;
  }
}

// Sorts l..r of whatever Access addresses with the lists' quicksort. An item always compares
// equal to itself without a call: the pivot meets itself in every partition, and the scans
// rely on it to stop inside the range whatever the comparator says.
template <class Access>
void SortRange(Access& acc, int l, int r) {
  QuickSortRange(
      l, r, [&acc](int a, int b) { return a == b ? 0 : acc.Compare(a, b); }, [&acc](int a, int b) { acc.Swap(a, b); });
}

// Within one list: the comparator is a template argument, so the hot loop calls it directly.
template <TItemCompare Fn, bool Ascending>
struct TArrayAccess {
  TFileBoxItem** Items;
  int32_t TypeView;
  int Compare(int a, int b) const {
    int r = Fn(*Items[a], *Items[b], TypeView);
    return Ascending ? r : -r;
  }
  void Swap(int a, int b) const { std::swap(Items[a], Items[b]); }
};

template <TItemCompare Fn>
void SortArray(TFileBoxItem** items, int count, int32_t typeView, bool ascending) {
  if (ascending) {
    TArrayAccess<Fn, true> acc{items, typeView};
    SortRange(acc, 0, count - 1);
  } else {
    TArrayAccess<Fn, false> acc{items, typeView};
    SortRange(acc, 0, count - 1);
  }
}

void SortArray(TSortKey key, TFileBoxItem** items, int count, int32_t typeView, bool ascending) {
  switch (key) {
    case skName: SortArray<ByName>(items, count, typeView, ascending); break;
    case skExt: SortArray<ByExt>(items, count, typeView, ascending); break;
    case skSize: SortArray<BySize>(items, count, typeView, ascending); break;
    case skDate: SortArray<ByDate>(items, count, typeView, ascending); break;
    case skColor: SortArray<ByColor>(items, count, typeView, ascending); break;
    case skDesc: SortArray<ByDesc>(items, count, typeView, ascending); break;
    case skAttr: SortArray<ByAttr>(items, count, typeView, ascending); break;
    case skExec: SortArray<ByExec>(items, count, typeView, ascending); break;
    default: SortArray<ByNothing>(items, count, typeView, ascending); break;
  }
}

struct TJointAccess {
  TFileBoxLists* Lists;
  TItemCompare Fn;
  int32_t TypeView;
  int Sign;
  int Compare(int a, int b) const { return Sign * Fn(*Lists->GetItem(a), *Lists->GetItem(b), TypeView); }
  void Swap(int a, int b) const { Lists->Exchange(a, b); }
};
}  // namespace

int CompareFileItems(TSortKey key, const TFileBoxItem& a, const TFileBoxItem& b, int32_t typeView) {
  return ComparatorOf(key)(a, b, typeView);
}

// ---- The lists ----

TFileBoxLists::~TFileBoxLists() {
  // No change event from a dying list: its owner may be half gone already.
  OnItemsChange = nullptr;
  Clear(true, true, true);
}

std::vector<TFileBoxItem*>* TFileBoxLists::ListOf(int& index) {
  return const_cast<std::vector<TFileBoxItem*>*>(static_cast<const TFileBoxLists*>(this)->ListOf(index));
}

const std::vector<TFileBoxItem*>* TFileBoxLists::ListOf(int& index) const {
  if (index < 0) return nullptr;
  for (const auto* list : {&FFolders, &FFiles, &FDrives}) {
    if (static_cast<size_t>(index) < list->size()) return list;
    index -= static_cast<int>(list->size());
  }
  return nullptr;
}

TFileBoxItem* TFileBoxLists::GetItem(int index) const {
  const auto* list = ListOf(index);
  return list ? (*list)[static_cast<size_t>(index)] : nullptr;
}

void TFileBoxLists::SetItem(int index, TFileBoxItem* item) {
  auto* list = ListOf(index);
  if (list) (*list)[static_cast<size_t>(index)] = item;
}

TFileBoxItem* TFileBoxLists::GetFile(int i) const {
  return i >= 0 && static_cast<size_t>(i) < FFiles.size() ? FFiles[static_cast<size_t>(i)] : nullptr;
}

void TFileBoxLists::Changed() {
  if (OnItemsChange) OnItemsChange();
}

void TFileBoxLists::AddFolder(std::unique_ptr<TFileBoxItem> item) {
  FFolders.push_back(item.release());
  Changed();
}

void TFileBoxLists::InsertParent(std::unique_ptr<TFileBoxItem> item) {
  FFolders.insert(FFolders.begin(), item.release());
  Changed();
}

void TFileBoxLists::AddFile(std::unique_ptr<TFileBoxItem> item) {
  FFiles.push_back(item.release());
  Changed();
}

void TFileBoxLists::AddDrive(std::unique_ptr<TFileBoxItem> item) {
  FDrives.push_back(item.release());
  Changed();
}

void TFileBoxLists::Clear(bool folders, bool files, bool drives) {
  auto drop = [](std::vector<TFileBoxItem*>& list) {
    for (auto* item : list) delete item;
    list.clear();
    list.shrink_to_fit();
  };
  if (folders) drop(FFolders);
  if (files) drop(FFiles);
  if (drives) drop(FDrives);
  Changed();
}

void TFileBoxLists::GetItemName(int index, std::wstring& name) const {
  name.clear();
  const TFileBoxItem* item = GetItem(index);
  if (!item) return;
  if (item->Kind == ikDrive) {
    if (IsDriveEntry(*item)) name = std::wstring(1, item->Name[2]) + L":\\";
    return;
  }
  name = item->Name;
  if (!item->Ext.empty()) name += L"." + item->Ext;
}

void TFileBoxLists::GetItemNameDot(int index, std::wstring& name) const {
  name.clear();
  const TFileBoxItem* item = GetItem(index);
  if (!item) return;
  if (item->Kind == ikDrive) {
    if (IsDriveEntry(*item)) name = std::wstring(1, item->Name[2]) + L":\\";
  } else if (item->Kind == ikFile) {
    name = item->Name + L"." + item->Ext;
  } else {
    name = item->Name;
  }
}

void TFileBoxLists::GetDisplayParts(const TFileBoxItem& item, std::wstring& name, std::wstring& ext) const {
  name = item.Name;
  ext = item.Ext;
  if (item.Kind == ikDrive) return;
  switch (item.Kind == ikFolder ? FolderNameCase : FileNameCase) {
    case 1:
      name = LowerCase(name);
      ext = LowerCase(ext);
      break;
    case 2:
      name = UpperCase(name);
      ext = UpperCase(ext);
      break;
    case 3:
      name = CapitalizePath(name);
      ext = LowerCase(ext);
      break;
    case 4:
      name = CapitalizeWords(name);
      ext = CapitalizeWords(ext);
      break;
    default: break;
  }
}

void TFileBoxLists::GetDisplayName(int index, std::wstring& name) const {
  name.clear();
  const TFileBoxItem* item = GetItem(index);
  if (!item) return;
  if (item->Kind == ikDrive) {
    GetItemName(index, name);
    return;
  }
  std::wstring ext;
  GetDisplayParts(*item, name, ext);
  if (!ext.empty()) name += L"." + ext;
}

void TFileBoxLists::Exchange(int a, int b) {
  TFileBoxItem* x = GetItem(a);
  TFileBoxItem* y = GetItem(b);
  if (!x || !y) return;
  SetItem(a, y);
  SetItem(b, x);
}

void TFileBoxLists::QuickSort(int l, int r, TSortKey key) {
  if (l < 0) l = 0;
  if (r > Count() - 1) r = Count() - 1;
  if (l >= r) return;
  // Within one list the items are swapped in place in that list's array; a range across lists
  // goes through the joint index.
  int li = l, ri = r;
  auto* list = ListOf(li);
  if (list && ListOf(ri) == list) {
    SortArray(key, list->data() + li, r - l + 1, TypeView, Ascending);
    return;
  }
  TJointAccess acc{this, ComparatorOf(key), TypeView, Ascending ? 1 : -1};
  SortRange(acc, l, r);
}

void TFileBoxLists::SortItems(TSortKey key, bool folderDiffSort, TSortKey folderSortType) {
  if (key == skNone && !folderDiffSort) return;
  int folders = FolderCount();
  if (folders > 1) {
    int first = IsParentItem(*FFolders[0]) ? 1 : 0;
    if (folderDiffSort && folderSortType != skNone) {
      bool saved = Ascending;
      Ascending = true;
      QuickSort(first, folders - 1, folderSortType);
      Ascending = saved;
    } else if (!folderDiffSort && key != skNone) {
      QuickSort(first, folders - 1, key);
    }
  }
  if (key != skNone && FileCount() >= 2) QuickSort(folders, folders + FileCount() - 1, key);
}
