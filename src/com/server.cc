// The in-process COM server: class factory, registration, and the class
// CenterlineClass whose dual interface is dispatched through the embedded
// type library, so that late-bound callers can pass arguments by name.

// COM interfaces have no virtual destructors by design: an object deletes
// itself in Release.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// clang-format off
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>
// clang-format on

#include <string>
#include <utility>

#include "automation/centerline_class.h"
#include "com/dispatch.h"
#include "com/dispatch_host.h"
#include "com/guarded.h"
#include "com/nelo_form.h"
#include "com/ole_conversions.h"
#include "host/message_sink.h"
#include "trap/error_trap.h"

namespace {

using palvane::com::Utf8;
using palvane::com::Wide;

// Identifiers of our own, as in palvane.idl.
const GUID kLibId = {0x4E8C2B71, 0x5A3D, 0x4C9E, {0xB1, 0xF2, 0x7D, 0x6A, 0x0C, 0x3E, 0x9B, 0x10}};
const IID kIid = {0x4E8C2B71, 0x5A3D, 0x4C9E, {0xB1, 0xF2, 0x7D, 0x6A, 0x0C, 0x3E, 0x9B, 0x11}};
const CLSID kClsid = {0x4E8C2B71, 0x5A3D, 0x4C9E, {0xB1, 0xF2, 0x7D, 0x6A, 0x0C, 0x3E, 0x9B, 0x12}};
constexpr const wchar_t* kProgId = L"Palvane.CenterlineClass";
constexpr const wchar_t* kClsidText = L"{4E8C2B71-5A3D-4C9E-B1F2-7D6A0C3E9B12}";

HINSTANCE g_module = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;

std::wstring ModulePath() {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(g_module, path, MAX_PATH);
  return std::wstring(path, n);
}

// A visible top-level window of this thread with no owner: the program's
// main window when the program calls in on its own thread.
BOOL CALLBACK FindMainWindow(HWND window, LPARAM found) {
  if (!::IsWindowVisible(window) || ::GetWindow(window, GW_OWNER) != nullptr) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// The window a message box is modal to: the program's window active on this
// thread, else its main window; none when the thread has no window.
HWND ProgramWindow() {
  HWND window = ::GetActiveWindow();
  if (window == nullptr) {
    ::EnumThreadWindows(::GetCurrentThreadId(), FindMainWindow, reinterpret_cast<LPARAM>(&window));
  }
  return window;
}

// Messages to the user: a message box with an OK button and the default
// title, modal to the program's window so that the drawing cannot be edited
// or closed while the box waits (and the program re-enters the operation);
// modal to the whole task when the thread has no window.
class MessageBoxSink final : public palvane::host::MessageSink {
 public:
  void Show(std::string_view text) override {
    const HWND owner = ProgramWindow();
    ::MessageBoxW(owner, Wide(std::string(text)).c_str(), nullptr,
                  MB_OK | (owner == nullptr ? MB_TASKMODAL : 0));
  }
};

// The vtable of _CenterlineClass, in the order of the type library.
struct ICenterlineClass : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE LWPolyPntAlong(IDispatch** Currentdoc, IDispatch** objPline,
                                                   double* Length, double* Bearing,
                                                   VARIANT* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE ViewSection(IDispatch** thisdrawing, IDispatch** SectionLine,
                                                VARIANT_BOOL* OriginalData, BSTR* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExportKeyplan(IDispatch** thisdrawing, BSTR*, BSTR*, BSTR*,
                                                  BSTR*, BSTR*, BSTR*, BSTR*, BSTR*, BSTR*, BSTR*,
                                                  BSTR*, BSTR*, BSTR*, BSTR*, BSTR*, BSTR*, BSTR*,
                                                  BSTR*, BSTR*, BSTR*, BSTR*, BSTR*, BSTR*, BSTR*,
                                                  BSTR* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExportKeyplanAsAttributes(IDispatch** thisdrawing, BSTR*, BSTR*,
                                                              BSTR*, BSTR*, BSTR*, BSTR*, BSTR*,
                                                              BSTR*, BSTR*, BSTR*, BSTR*, BSTR*,
                                                              BSTR*, BSTR*, BSTR*, BSTR*, BSTR*,
                                                              BSTR*, BSTR*, BSTR*, BSTR*, BSTR*,
                                                              BSTR*, BSTR*, BSTR* result) = 0;
};

class CenterlineObject final : public ICenterlineClass {
 public:
  CenterlineObject() { ::InterlockedIncrement(&g_objects); }
  ~CenterlineObject() {
    if (type_info_ != nullptr) type_info_->Release();
    ::InterlockedDecrement(&g_objects);
  }

  HRESULT Init() noexcept {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(g_module, path, MAX_PATH);
    if (n == 0 || n == MAX_PATH) return E_FAIL;
    ITypeLib* lib = nullptr;
    HRESULT hr = ::LoadTypeLibEx(path, REGKIND_NONE, &lib);
    if (FAILED(hr)) return hr;
    hr = lib->GetTypeInfoOfGuid(kIid, &type_info_);
    lib->Release();
    return hr;
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, kIid)) {
      *out = static_cast<ICenterlineClass*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = ::InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

  // IDispatch, through the type information.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    type_info_->AddRef();
    *info = type_info_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    return ::DispGetIDsOfNames(type_info_, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* info, UINT* arg_error) override {
    return ::DispInvoke(static_cast<ICenterlineClass*>(this), type_info_, id, flags, params, result,
                        info, arg_error);
  }

  // The operations. Each holds a reference on the object while it runs, and
  // never fails its call: errors are shown and handled inside, and nothing
  // thrown (not even running out of memory) leaves the method.
  HRESULT STDMETHODCALLTYPE LWPolyPntAlong(IDispatch** Currentdoc, IDispatch** objPline,
                                           double* Length, double* Bearing,
                                           VARIANT* result) override {
    if (result == nullptr) return E_POINTER;
    ::VariantInit(result);
    Guarded([&] {
      if (Length == nullptr || Bearing == nullptr) {
        throw palvane::host::Error::InvalidProcedureCall();
      }
      const palvane::host::Variant point = centerline_.LWPolyPntAlong(
          palvane::com::WrapDocument(Currentdoc ? *Currentdoc : nullptr),
          palvane::com::WrapPolyline(objPline ? *objPline : nullptr), *Length, *Bearing);
      if (point.IsArray()) {
        const auto& a = point.AsArrayUnchecked();
        *result = palvane::com::Point(
            {a[0].AsDoubleUnchecked(), a[1].AsDoubleUnchecked(), a[2].AsDoubleUnchecked()});
      }
    });
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE ViewSection(IDispatch** thisdrawing, IDispatch** SectionLine,
                                        VARIANT_BOOL* OriginalData, BSTR* result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;  // the empty String
    Guarded([&] {
      const bool original = OriginalData != nullptr && *OriginalData != VARIANT_FALSE;
      centerline_.ViewSection(palvane::com::WrapDocument(thisdrawing ? *thisdrawing : nullptr),
                              palvane::com::WrapPolyline(SectionLine ? *SectionLine : nullptr),
                              original);
    });
    return S_OK;
  }

#define PALVANE_OPTION_PARAMS                                                                  \
  BSTR *SectionNameChkBox, BSTR *SectionNamePrefix, BSTR *SectionNameSuffix, BSTR *ENChkBox,   \
      BSTR *ENPrefix, BSTR *ENSuffix, BSTR *BearingChkBox, BSTR *BearingPrefix,                \
      BSTR *BearingSuffix, BSTR *BearingPrecision, BSTR *ChainageChkBox, BSTR *ChainagePrefix, \
      BSTR *ChainageSuffix, BSTR *ChainagePrecision, BSTR *Mike11ChainageChkBox,               \
      BSTR *Mike11ChainagePrefix, BSTR *Mike11ChainageSuffix, BSTR *Mike11ChainagePrecision,   \
      BSTR *DescriptionChkBox, BSTR *DescriptionPrefix, BSTR *DescriptionSuffix,               \
      BSTR *SectionLineWidth, BSTR *TextHeight, BSTR *LineLayer
#define PALVANE_OPTION_ARGS                                                                   \
  SectionNameChkBox, SectionNamePrefix, SectionNameSuffix, ENChkBox, ENPrefix, ENSuffix,      \
      BearingChkBox, BearingPrefix, BearingSuffix, BearingPrecision, ChainageChkBox,          \
      ChainagePrefix, ChainageSuffix, ChainagePrecision, Mike11ChainageChkBox,                \
      Mike11ChainagePrefix, Mike11ChainageSuffix, Mike11ChainagePrecision, DescriptionChkBox, \
      DescriptionPrefix, DescriptionSuffix, SectionLineWidth, TextHeight, LineLayer

  HRESULT STDMETHODCALLTYPE ExportKeyplan(IDispatch** thisdrawing, PALVANE_OPTION_PARAMS,
                                          BSTR* result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;  // the empty String
    Guarded([&] { Export(thisdrawing, Options({PALVANE_OPTION_ARGS}), false); });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ExportKeyplanAsAttributes(IDispatch** thisdrawing,
                                                      PALVANE_OPTION_PARAMS,
                                                      BSTR* result) override {
    if (result == nullptr) return E_POINTER;
    *result = nullptr;  // the empty String
    Guarded([&] { Export(thisdrawing, Options({PALVANE_OPTION_ARGS}), true); });
    return S_OK;
  }
#undef PALVANE_OPTION_PARAMS
#undef PALVANE_OPTION_ARGS

 private:
  // The 24 option strings, in parameter order, as UTF-8.
  static palvane::keyplan::KeyplanOptions Options(std::initializer_list<BSTR*> values) {
    palvane::keyplan::KeyplanOptions options;
    auto field = palvane::keyplan::kOptionFields.begin();
    for (BSTR* value : values) {
      options.*(field++)->member = value != nullptr && *value != nullptr
                                       ? Utf8(*value, static_cast<int>(::SysStringLen(*value)))
                                       : std::string();
    }
    return options;
  }

  void Export(IDispatch** thisdrawing, const palvane::keyplan::KeyplanOptions& options,
              bool attributes) {
    const auto drawing = palvane::com::WrapDocument(thisdrawing ? *thisdrawing : nullptr);
    if (attributes) {
      centerline_.ExportKeyplanAsAttributes(drawing, options);
    } else {
      centerline_.ExportKeyplan(drawing, options);
    }
  }

  template <class F>
  void Guarded(F&& work) noexcept {
    palvane::com::Guarded(static_cast<ICenterlineClass*>(this), sink_, std::forward<F>(work));
  }

  LONG refs_ = 1;
  ITypeInfo* type_info_ = nullptr;
  MessageBoxSink sink_;
  // Numbers and dates in the user's locale, as the program's runtime has them.
  palvane::com::OleConversions conversions_;
  // Keeps the application object the exports obtain first.
  palvane::automation::CenterlineClass centerline_{sink_, conversions_};
};

class ClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // a static object
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) CenterlineObject();
    if (object == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = object->Init();
    if (SUCCEEDED(hr)) hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ::InterlockedIncrement(&g_locks);
    } else {
      ::InterlockedDecrement(&g_locks);
    }
    return S_OK;
  }
};

ClassFactory g_factory;

// Whether the class is registered in one view of the registry.
bool ClassRegistered(const std::wstring& clsid_key, REGSAM view) {
  HKEY key = nullptr;
  const std::wstring server = clsid_key + L"\\InprocServer32";
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, server.c_str(), 0, KEY_READ | view, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  ::RegCloseKey(key);
  return true;
}

bool SetKey(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const LONG r =
      ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

// Registration builds strings, which may run out of memory: nothing thrown
// may leave an entry point.
HRESULT Register() {
  const std::wstring clsid_key = std::wstring(L"CLSID\\") + kClsidText;
  const bool ok =
      SetKey(HKEY_CLASSES_ROOT, clsid_key, nullptr, L"CenterlineClass") &&
      SetKey(HKEY_CLASSES_ROOT, clsid_key + L"\\InprocServer32", nullptr, ModulePath()) &&
      SetKey(HKEY_CLASSES_ROOT, clsid_key + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
      SetKey(HKEY_CLASSES_ROOT, clsid_key + L"\\ProgID", nullptr, kProgId) &&
      SetKey(HKEY_CLASSES_ROOT, kProgId, nullptr, L"CenterlineClass") &&
      SetKey(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID", nullptr, kClsidText);
  if (!ok) return SELFREG_E_CLASS;
  ITypeLib* lib = nullptr;
  std::wstring path = ModulePath();
  HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
  if (SUCCEEDED(hr)) {
    hr = ::RegisterTypeLib(lib, path.data(), nullptr);
    lib->Release();
  }
  return SUCCEEDED(hr) ? S_OK : SELFREG_E_TYPELIB;
}

HRESULT Unregister() {
  ::UnRegisterTypeLib(kLibId, 1, 0, LOCALE_NEUTRAL, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  const std::wstring clsid_key = std::wstring(L"CLSID\\") + kClsidText;
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, clsid_key.c_str());
  // The class identifier is registered per width, the ProgID once for both:
  // it goes only when neither the 32-bit nor the 64-bit view still holds the
  // class, so that unregistering one DLL leaves the other one creatable.
  if (!ClassRegistered(clsid_key, KEY_WOW64_64KEY) &&
      !ClassRegistered(clsid_key, KEY_WOW64_32KEY)) {
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
  }
  return S_OK;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    ::DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!IsEqualCLSID(clsid, kClsid)) {
    *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return g_factory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() {
  return g_objects == 0 && g_locks == 0 && palvane::com::OpenNeloForms() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
  try {
    return Register();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDAPI DllUnregisterServer() {
  try {
    return Unregister();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // extern "C"
