#pragma once
// TStringList: the string list whose semantics many units rely on: unsorted or sorted
// (binary search, duplicates policy), case-insensitive by default, one object pointer per
// string, Name=Value pairs, text with line breaks and delimited text.
#include <functional>
#include <string>
#include <vector>

enum class TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList {
 public:
  using TCompare = std::function<int(const TStringList&, int, int)>;

  TStringList() = default;
  virtual ~TStringList() = default;
  TStringList(const TStringList&) = default;
  TStringList& operator=(const TStringList&) = default;

  int Count() const { return static_cast<int>(FItems.size()); }
  const std::wstring& operator[](int i) const { return FItems[static_cast<size_t>(i)].S; }
  const std::wstring& Get(int i) const { return FItems[static_cast<size_t>(i)].S; }
  void Put(int i, const std::wstring& s);
  void* GetObject(int i) const { return FItems[static_cast<size_t>(i)].Obj; }
  void PutObject(int i, void* o) { FItems[static_cast<size_t>(i)].Obj = o; }

  // Adds (in place when sorted); returns the index, or -1 when a duplicate was ignored.
  // A duplicate under dupError throws std::runtime_error, as the class library raises.
  virtual int Add(const std::wstring& s);
  int AddObject(const std::wstring& s, void* o);
  void AddStrings(const TStringList& other);
  void Insert(int i, const std::wstring& s);
  void InsertObject(int i, const std::wstring& s, void* o);
  void Delete(int i);
  void Clear();
  void Exchange(int a, int b);
  void Move(int from, int to);

  int IndexOf(const std::wstring& s) const;
  // Sorted lists: binary search; true when found, index set to the match or insertion place.
  bool Find(const std::wstring& s, int& index) const;

  // Name=Value pairs.
  int IndexOfName(const std::wstring& name) const;
  std::wstring Names(int i) const;
  std::wstring ValueFromIndex(int i) const;
  std::wstring Values(const std::wstring& name) const;
  // Sets Name=Value; an empty value deletes the pair.
  void SetValue(const std::wstring& name, const std::wstring& value);

  // Each string followed by CR LF.
  std::wstring Text() const;
  // Cut at CR LF, CR or LF; a final line without a break counts.
  void SetText(const std::wstring& text);
  std::wstring DelimitedText() const;
  // Pieces between Delimiter characters; a piece in QuoteChar may hold the delimiter
  // (a doubled quote inside stands for one). Blanks also separate unless StrictDelimiter.
  void SetDelimitedText(const std::wstring& text);
  std::wstring CommaText() const;
  void SetCommaText(const std::wstring& text);

  bool Sorted() const { return FSorted; }
  void SetSorted(bool v);
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool v);
  void Sort();
  void CustomSort(const TCompare& compare);
  int CompareStrings(const std::wstring& a, const std::wstring& b) const;

  TDuplicates Duplicates = TDuplicates::dupIgnore;
  wchar_t Delimiter = L',';
  wchar_t QuoteChar = L'"';
  wchar_t NameValueSeparator = L'=';
  bool StrictDelimiter = false;

 protected:
  struct Item {
    std::wstring S;
    void* Obj = nullptr;
  };
  std::vector<Item> FItems;
  bool FSorted = false;
  bool FCaseSensitive = false;

};
