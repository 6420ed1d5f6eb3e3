#pragma once
// IUnknown written once: reference counting and QueryInterface over the interfaces a class
// lists. The data object, its format enumerator, the drop source and the drop target derive
// from it.
#include <windows.h>
#include <ole2.h>

#include <atomic>

template <class... Interfaces>
class TComObject : public Interfaces... {
 public:
  TComObject() = default;
  TComObject(const TComObject&) = delete;
  TComObject& operator=(const TComObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) *ppv = static_cast<IUnknown*>(static_cast<First*>(this));
    if (!*ppv) Find<Interfaces...>(riid, ppv);
    if (!*ppv) *ppv = QueryOther(riid);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++FRefs; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = --FRefs;
    if (n == 0) delete this;
    return n;
  }

 protected:
  virtual ~TComObject() = default;
  // Interfaces beyond the listed ones (a private identity); null for none.
  virtual void* QueryOther(REFIID) { return nullptr; }

 private:
  template <class F, class...>
  struct FirstOf {
    using Type = F;
  };
  using First = typename FirstOf<Interfaces...>::Type;
  template <class I, class... Rest>
  void Find(REFIID riid, void** ppv) {
    if (IsEqualIID(riid, __uuidof(I))) {
      *ppv = static_cast<I*>(this);
      return;
    }
    if constexpr (sizeof...(Rest) > 0) Find<Rest...>(riid, ppv);
  }
  std::atomic<ULONG> FRefs{1};
};
