// Fuzzes the language file: any bytes load without a fault, every message lookup and a form
// translation over a small component tree run without a fault.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Language.h"

namespace {
class TNode : public TTranslationNode {
 public:
  explicit TNode(std::wstring name) : FName(std::move(name)) {}
  std::wstring GetName() const override { return FName; }
  int OwnedCount() const override { return static_cast<int>(Children.size()); }
  TTranslationNode* Owned(int i) const override { return Children[static_cast<size_t>(i)].get(); }
  TPropKind GetPropKind(const std::wstring& prop) const override {
    if (prop == L"Caption" || prop == L"Hint") return TPropKind::String;
    if (prop == L"Width") return TPropKind::Integer;
    if (prop == L"Items") return TPropKind::List;
    return TPropKind::None;
  }
  std::wstring GetPropText(const std::wstring&) const override { return Text; }
  void SetStringProp(const std::wstring&, const std::wstring& v) override { Text = v; }
  void SetIntegerProp(const std::wstring&, int32_t v) override { Text = std::to_wstring(v); }
  void SetListProp(const std::wstring&, const std::vector<std::wstring>& v) override { Text.assign(v.size(), L'x'); }
  std::vector<std::unique_ptr<TNode>> Children;
  std::wstring Text;

 private:
  std::wstring FName;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TMultiLanguage* lang = [] {
    auto* l = new TMultiLanguage;
    l->SetTranslationMap("1=F.A.Caption\n2=F.A.Width\n3=F.B.Items\n4=F.Caption\n5=F.A.Nothing\n");
    return l;
  }();
  TNode app(L"App");
  app.Children.push_back(std::make_unique<TNode>(L"F"));
  TNode* form = app.Children.back().get();
  form->Children.push_back(std::make_unique<TNode>(L"A"));
  form->Children.push_back(std::make_unique<TNode>(L"B"));
  lang->Application = &app;
  lang->LoadLanguageBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  std::wstring s;
  for (int id = 0; id <= 12; ++id) lang->GetMessageText(std::to_wstring(id), s);
  lang->TranslateForm(L"F");
  lang->Application = nullptr;
  return 0;
}
