#pragma once
// TComponent: a named object with an owner that frees what it owns, lookup of owned
// components by name, and a small table of named properties (string, integer, list) so that
// a form's captions, hints and list items can be set from text by component path.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/StringList.h"

enum class TPropKind { pkString, pkInteger, pkList };

struct TPropInfo {
  std::wstring Name;
  TPropKind Kind = TPropKind::pkString;
  // The current value as text (a list: its lines joined by CR LF).
  std::function<std::wstring()> GetText;
  std::function<void(const std::wstring&)> SetString;
  std::function<void(int)> SetInteger;
  std::function<void(const TStringList&)> SetList;
};

class TComponent {
 public:
  explicit TComponent(TComponent* owner = nullptr);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  std::wstring Name;
  int Tag = 0;

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int i) const { return FComponents[static_cast<size_t>(i)]; }
  // The first owned component whose Name matches, letter case ignored; null when none.
  TComponent* FindComponent(std::wstring_view name) const;
  void InsertComponent(TComponent* c);
  void RemoveComponent(TComponent* c);

  void DefineStringProperty(const std::wstring& name, std::function<std::wstring()> get,
                            std::function<void(const std::wstring&)> set);
  void DefineIntegerProperty(const std::wstring& name, std::function<int()> get, std::function<void(int)> set);
  void DefineListProperty(const std::wstring& name, std::function<TStringList()> get,
                          std::function<void(const TStringList&)> set);
  // Letter case ignored; null for an unknown property.
  const TPropInfo* FindProperty(std::wstring_view name) const;

 private:
  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::vector<TPropInfo> FProps;
  bool FDestroying = false;
};

// Walks a dotted path ("Form.Panel.Button.Caption") from root: each piece but the last
// (trimmed) names an owned component of the one before; the last piece is returned as the
// property name. Null when a component on the way is missing or the path has no property.
TComponent* FindComponentPath(TComponent* root, std::wstring_view path, std::wstring& propName);

// Sets a named property from text by its kind: a string takes the text, an integer the text
// read as a whole number, a list the pieces of the text cut at separator, each trimmed
// (pieces before a separator count even when empty, the last piece only when not empty).
// False for an unknown property or an integer property given something that is not a
// whole number; then nothing changes.
bool SetComponentProperty(TComponent* c, std::wstring_view propName, const std::wstring& text,
                          const std::wstring& separator = L",");
