// COM helpers: an owned reference, and the IUnknown side of the objects the
// program hands to COM (the response stream, the web view's handlers).
#pragma once

#include <objbase.h>

#include <atomic>
#include <functional>
#include <initializer_list>
#include <utility>

// Owns one COM reference.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (pointer_ != nullptr) pointer_->Release();
  }
  T** put() { return &pointer_; }
  T* get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // Keeps the object alive for the rest of the process.
  T* leak() { return std::exchange(pointer_, nullptr); }

 private:
  T* pointer_ = nullptr;
};

// An object of ours that COM sees as `Interface`: created with one reference,
// deleted at the last Release. The count is atomic, as the web view releases
// what it is given on threads of its own.
template <class Interface>
class ComObject : public Interface {
 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;

  // QueryInterface for an object that is `Interface` under IUnknown and `iids`.
  HRESULT query_interface(REFIID iid, void** object, std::initializer_list<IID> iids) {
    if (object == nullptr) return E_POINTER;
    bool known = IsEqualIID(iid, IID_IUnknown);
    for (const IID& other : iids) known = known || IsEqualIID(iid, other);
    if (!known) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }

 private:
  std::atomic<ULONG> references_{1};
};

// A COM callback object whose Invoke forwards to a function.
template <class Interface, const IID* kIid, class... Args>
class Handler final : public ComObject<Interface> {
 public:
  explicit Handler(std::function<HRESULT(Args...)> function) : function_(std::move(function)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return this->query_interface(iid, object, {*kIid});
  }
  HRESULT STDMETHODCALLTYPE Invoke(Args... args) override { return function_(args...); }

 private:
  ~Handler() override = default;
  std::function<HRESULT(Args...)> function_;
};
