#include "framework/Component.h"

#include <algorithm>
#include <cwctype>

#include "framework/NumberText.h"
#include "framework/TextCompare.h"

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  FDestroying = true;
  // Owned components go last-first; each one unhooks itself from this list as it goes.
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    FComponents.pop_back();
    c->FOwner = nullptr;
    delete c;
  }
  if (FOwner) FOwner->RemoveComponent(this);
}

TComponent* TComponent::FindComponent(std::wstring_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (SameTextI(c->Name, name)) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* c) {
  if (!c || c->FOwner == this) return;
  if (c->FOwner) c->FOwner->RemoveComponent(c);
  c->FOwner = this;
  FComponents.push_back(c);
}

void TComponent::RemoveComponent(TComponent* c) {
  auto it = std::find(FComponents.begin(), FComponents.end(), c);
  if (it != FComponents.end()) FComponents.erase(it);
  if (c && c->FOwner == this) c->FOwner = nullptr;
}

void TComponent::DefineStringProperty(const std::wstring& name, std::function<std::wstring()> get,
                                      std::function<void(const std::wstring&)> set) {
  TPropInfo p;
  p.Name = name;
  p.Kind = TPropKind::String;
  p.GetText = std::move(get);
  p.SetString = std::move(set);
  FProps.push_back(std::move(p));
}

void TComponent::DefineIntegerProperty(const std::wstring& name, std::function<int()> get,
                                       std::function<void(int)> set) {
  TPropInfo p;
  p.Name = name;
  p.Kind = TPropKind::Integer;
  p.GetText = [get] { return std::to_wstring(get()); };
  p.SetInteger = std::move(set);
  FProps.push_back(std::move(p));
}

void TComponent::DefineListProperty(const std::wstring& name, std::function<TStringList()> get,
                                    std::function<void(const TStringList&)> set) {
  TPropInfo p;
  p.Name = name;
  p.Kind = TPropKind::List;
  p.GetText = [get] { return get().Text(); };
  p.SetList = std::move(set);
  FProps.push_back(std::move(p));
}

const TPropInfo* TComponent::FindProperty(std::wstring_view name) const {
  for (const TPropInfo& p : FProps)
    if (SameTextI(p.Name, name)) return &p;
  return nullptr;
}

TTranslationNode::TPropKind TComponent::GetPropKind(const std::wstring& prop) const {
  const TPropInfo* p = FindProperty(prop);
  if (!p) return TTranslationNode::TPropKind::None;
  switch (p->Kind) {
    case TPropKind::String:
    case TPropKind::Integer:
    case TPropKind::List: return p->Kind;
    default: return TPropKind::None;
  }
}

std::wstring TComponent::GetPropText(const std::wstring& prop) const {
  const TPropInfo* p = FindProperty(prop);
  return p && p->GetText ? p->GetText() : std::wstring();
}

void TComponent::SetStringProp(const std::wstring& prop, const std::wstring& value) {
  const TPropInfo* p = FindProperty(prop);
  if (p && p->Kind == TPropKind::String && p->SetString) p->SetString(value);
}

void TComponent::SetIntegerProp(const std::wstring& prop, int32_t value) {
  const TPropInfo* p = FindProperty(prop);
  if (p && p->Kind == TPropKind::Integer && p->SetInteger) p->SetInteger(value);
}

void TComponent::SetListProp(const std::wstring& prop, const std::vector<std::wstring>& items) {
  const TPropInfo* p = FindProperty(prop);
  if (!p || p->Kind != TPropKind::List || !p->SetList) return;
  TStringList list;
  for (const std::wstring& s : items) list.Add(s);
  p->SetList(list);
}

namespace {
std::wstring TrimBlanks(std::wstring_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= L' ') ++b;
  while (e > b && s[e - 1] <= L' ') --e;
  return std::wstring(s.substr(b, e - b));
}

// A whole number: optional sign, decimal digits or "$" and hexadecimal digits, blanks around.
bool ReadWholeNumber(std::wstring_view text, int& out) {
  bool ok;
  int32_t v = TryStrToInt(TrimBlanks(text), ok);
  if (ok) out = v;
  return ok;
}
}  // namespace

TComponent* FindComponentPath(TComponent* root, std::wstring_view path, std::wstring& propName) {
  propName.clear();
  std::wstring p = TrimBlanks(path);
  std::vector<std::wstring> pieces;
  size_t start = 0;
  for (;;) {
    size_t dot = p.find(L'.', start);
    pieces.push_back(TrimBlanks(std::wstring_view(p).substr(start, dot == std::wstring::npos ? p.npos : dot - start)));
    if (dot == std::wstring::npos) break;
    start = dot + 1;
  }
  if (!root || pieces.size() < 2) return nullptr;
  TComponent* c = root;
  for (size_t i = 0; i + 1 < pieces.size(); ++i) {
    c = c->FindComponent(pieces[i]);
    if (!c) return nullptr;
  }
  propName = pieces.back();
  return c;
}

bool SetComponentProperty(TComponent* c, std::wstring_view propName, const std::wstring& text,
                          const std::wstring& separator) {
  if (!c) return false;
  const TPropInfo* p = c->FindProperty(propName);
  if (!p) return false;
  switch (p->Kind) {
    case TTranslationNode::TPropKind::String:
      if (p->SetString) p->SetString(text);
      return true;
    case TTranslationNode::TPropKind::Integer: {
      int v;
      if (!ReadWholeNumber(text, v)) return false;
      if (p->SetInteger) p->SetInteger(v);
      return true;
    }
    case TTranslationNode::TPropKind::List: {
      TStringList list;
      std::wstring sep = separator.empty() ? L"," : separator;
      size_t start = 0;
      for (;;) {
        size_t at = text.find(sep, start);
        if (at == std::wstring::npos) {
          std::wstring last = TrimBlanks(std::wstring_view(text).substr(start));
          if (!last.empty()) list.Add(last);
          break;
        }
        list.Add(TrimBlanks(std::wstring_view(text).substr(start, at - start)));
        start = at + sep.size();
      }
      if (p->SetList) p->SetList(list);
      return true;
    }
    default: return false;
  }
}
