#pragma once
// TComponent: a named object with an owner that frees what it owns, lookup of owned
// components by name, and a small table of named properties (string, integer, list) so that
// a form's captions, hints and list items can be set from text by component path.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/StringList.h"

// What a translation by component path walks and sets: a named node that owns further
// nodes and has named properties of three kinds. Every component is one.
class TTranslationNode {
 public:
  enum class TPropKind { None, String, Integer, List };
  virtual ~TTranslationNode() = default;
  virtual std::wstring GetName() const = 0;
  virtual int OwnedCount() const = 0;
  virtual TTranslationNode* Owned(int index) const = 0;
  // None for a property the component does not have.
  virtual TPropKind GetPropKind(const std::wstring& prop) const = 0;
  // The property's current value as text (a list as its lines joined by CR LF).
  virtual std::wstring GetPropText(const std::wstring& prop) const = 0;
  virtual void SetStringProp(const std::wstring& prop, const std::wstring& value) = 0;
  virtual void SetIntegerProp(const std::wstring& prop, int32_t value) = 0;
  virtual void SetListProp(const std::wstring& prop, const std::vector<std::wstring>& items) = 0;
};


struct TPropInfo {
  std::wstring Name;
  TTranslationNode::TPropKind Kind = TTranslationNode::TPropKind::String;
  // The current value as text (a list: its lines joined by CR LF).
  std::function<std::wstring()> GetText;
  std::function<void(const std::wstring&)> SetString;
  std::function<void(int)> SetInteger;
  std::function<void(const TStringList&)> SetList;
};

class TComponent : public TTranslationNode {
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

  std::wstring GetName() const override { return Name; }
  int OwnedCount() const override { return ComponentCount(); }
  TTranslationNode* Owned(int index) const override { return Components(index); }
  TTranslationNode::TPropKind GetPropKind(const std::wstring& prop) const override;
  std::wstring GetPropText(const std::wstring& prop) const override;
  void SetStringProp(const std::wstring& prop, const std::wstring& value) override;
  void SetIntegerProp(const std::wstring& prop, int32_t value) override;
  void SetListProp(const std::wstring& prop, const std::vector<std::wstring>& items) override;

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
