// Tests of palvane.dll under Wine: the class created by its ProgID and called
// late-bound by name, with named arguments in shuffled order and values by
// reference, on a double of the CAD program's automation objects. Message
// boxes are captured and dismissed by a CBT hook. Prints "N passed, M failed".

#include <windows.h>
#include <oleauto.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

int g_passed = 0, g_failed = 0;
std::vector<std::wstring> g_boxes;

void Check(bool ok, const char* what) {
  if (ok) {
    ++g_passed;
  } else {
    ++g_failed;
    std::printf("FAILED: %s\n", what);
  }
}

// Reads the text of each message box as it opens, then presses OK.
LRESULT CALLBACK CbtHook(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wparam);
    wchar_t cls[64];
    ::GetClassNameW(box, cls, 64);
    if (std::wstring(cls) == L"#32770") {
      HWND text = ::GetDlgItem(box, 0xFFFF);
      wchar_t buf[1024] = {0};
      if (text != nullptr) ::GetWindowTextW(text, buf, 1024);
      g_boxes.push_back(buf);
      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
  }
  return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

// A double of an automation object: members answered by name.
class Double final : public IDispatch {
 public:
  using Member = std::function<HRESULT(DISPPARAMS*, VARIANT*)>;
  std::map<std::wstring, Member> members;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }  // owned by the test
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT n, LCID,
                                          DISPID* ids) override {
    for (UINT i = 0; i < n; ++i) {
      auto it = members.find(names[i]);
      if (it == members.end()) return DISP_E_UNKNOWNNAME;
      ids[i] = static_cast<DISPID>(std::distance(members.begin(), it) + 1);
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* info, UINT*) override {
    auto it = members.begin();
    std::advance(it, id - 1);
    const HRESULT hr = it->second(params, result);
    if (hr == DISP_E_EXCEPTION && info != nullptr) {
      info->scode = static_cast<SCODE>(0x80200014);
      info->bstrDescription = ::SysAllocString(L"Key not found");
    }
    return hr;
  }
  LONG refs = 1;
};

VARIANT Points(std::vector<double> values) {
  VARIANT v;
  ::VariantInit(&v);
  SAFEARRAY* a = ::SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(values.size()));
  for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) ::SafeArrayPutElement(a, &i, &values[i]);
  v.vt = VT_ARRAY | VT_R8;
  v.parray = a;
  return v;
}

std::vector<double> Read(const VARIANT& v) {
  std::vector<double> out;
  if (!(v.vt & VT_ARRAY)) return out;
  LONG lo = 0, hi = -1;
  ::SafeArrayGetLBound(v.parray, 1, &lo);
  ::SafeArrayGetUBound(v.parray, 1, &hi);
  for (LONG i = lo; i <= hi; ++i) {
    double d = 0;
    ::SafeArrayGetElement(v.parray, &i, &d);
    out.push_back(d);
  }
  return out;
}

double Arg(DISPPARAMS* p, UINT index_from_first) {
  VARIANT& v = p->rgvarg[p->cArgs - 1 - index_from_first];
  VARIANT d;
  ::VariantInit(&d);
  ::VariantChangeType(&d, &v, 0, VT_R8);
  return d.dblVal;
}

}  // namespace

int main() {
  ::CoInitialize(nullptr);
  HHOOK hook = ::SetWindowsHookExW(WH_CBT, CbtHook, nullptr, ::GetCurrentThreadId());

  // The double: a straight polyline (0,0)-(3,4)-(3,10) and the utility.
  const std::vector<double> coords{0, 0, 3, 4, 3, 10};
  bool fail_coordinate = false;
  Double utility, document, polyline;
  utility.members[L"AngleFromXAxis"] = [](DISPPARAMS* p, VARIANT* r) {
    const auto a = Read(p->rgvarg[1]);
    const auto b = Read(p->rgvarg[0]);
    r->vt = VT_R8;
    r->dblVal = std::atan2(b[1] - a[1], b[0] - a[0]);
    if (r->dblVal < 0) r->dblVal += 2 * 3.14159265358979323846;
    return S_OK;
  };
  utility.members[L"PolarPoint"] = [](DISPPARAMS* p, VARIANT* r) {
    const auto s = Read(p->rgvarg[2]);
    const double angle = Arg(p, 1), distance = Arg(p, 2);
    *r = Points({s[0] + distance * std::cos(angle), s[1] + distance * std::sin(angle), s[2]});
    return S_OK;
  };
  document.members[L"Utility"] = [&](DISPPARAMS*, VARIANT* r) {
    r->vt = VT_DISPATCH;
    r->pdispVal = &utility;
    utility.AddRef();
    return S_OK;
  };
  polyline.members[L"Coordinates"] = [&](DISPPARAMS*, VARIANT* r) {
    *r = Points(coords);
    return S_OK;
  };
  polyline.members[L"Coordinate"] = [&](DISPPARAMS* p, VARIANT* r) {
    if (fail_coordinate) return DISP_E_EXCEPTION;
    const int i = static_cast<int>(Arg(p, 0));
    *r = Points({coords[2 * i], coords[2 * i + 1]});
    return S_OK;
  };
  polyline.members[L"GetBulge"] = [](DISPPARAMS*, VARIANT* r) {
    r->vt = VT_R8;
    r->dblVal = 0;
    return S_OK;
  };
  polyline.members[L"Closed"] = [](DISPPARAMS*, VARIANT* r) {
    r->vt = VT_BOOL;
    r->boolVal = VARIANT_FALSE;
    return S_OK;
  };

  CLSID clsid;
  Check(SUCCEEDED(::CLSIDFromProgID(L"Palvane.CenterlineClass", &clsid)), "ProgID registered");
  IDispatch* centerline = nullptr;
  Check(SUCCEEDED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                     reinterpret_cast<void**>(&centerline))),
        "class created by its ProgID");
  if (centerline == nullptr) {
    std::printf("%d passed, %d failed\n", g_passed, g_failed + 1);
    return 1;
  }

  // Late bound, by name, named arguments in shuffled order, values by reference.
  auto call = [&](double length, double& bearing, VARIANT& result) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"LWPolyPntAlong"), const_cast<LPOLESTR>(L"Length"),
                        const_cast<LPOLESTR>(L"objPline"), const_cast<LPOLESTR>(L"Bearing"),
                        const_cast<LPOLESTR>(L"Currentdoc")};
    DISPID ids[5];
    HRESULT hr = centerline->GetIDsOfNames(IID_NULL, names, 5, 0, ids);
    Check(SUCCEEDED(hr), "GetIDsOfNames with parameter names");
    IDispatch* doc = &document;
    IDispatch* line = &polyline;
    VARIANT args[4];
    for (auto& a : args) ::VariantInit(&a);
    args[0].vt = VT_BYREF | VT_R8;
    args[0].pdblVal = &length;
    args[1].vt = VT_BYREF | VT_DISPATCH;
    args[1].ppdispVal = &line;
    args[2].vt = VT_BYREF | VT_R8;
    args[2].pdblVal = &bearing;
    args[3].vt = VT_BYREF | VT_DISPATCH;
    args[3].ppdispVal = &doc;
    DISPPARAMS params{args, ids + 1, 4, 4};
    ::VariantInit(&result);
    EXCEPINFO info{};
    UINT bad = 0;
    hr = centerline->Invoke(ids[0], IID_NULL, 0, DISPATCH_METHOD, &params, &result, &info, &bad);
    if (FAILED(hr)) std::printf("Invoke: 0x%08lx (argument %u)\n", static_cast<unsigned long>(hr), bad);
    Check(SUCCEEDED(hr), "Invoke LWPolyPntAlong");
  };

  double bearing = 99;
  VARIANT result;
  call(2.0, bearing, result);
  const auto p = Read(result);
  Check(p.size() == 3 && std::fabs(p[0] - 1.2) < 1e-12 && std::fabs(p[1] - 1.6) < 1e-12 &&
            p[2] == 0,
        "point (1.2, 1.6, 0)");
  Check(std::fabs(bearing - std::atan2(4.0, 3.0)) < 1e-12, "bearing written back");
  ::VariantClear(&result);

  bearing = 99;
  call(100.0, bearing, result);
  Check(result.vt == VT_EMPTY, "beyond the end: empty result");
  Check(bearing == 99, "beyond the end: bearing untouched");

  fail_coordinate = true;
  g_boxes.clear();
  call(2.0, bearing, result);
  Check(result.vt == VT_EMPTY, "host failure: empty result");
  Check(g_boxes.size() == 1 && g_boxes[0] == L"Key not found", "host failure: one message box");
  Check(bearing == 99, "host failure: bearing untouched");

  centerline->Release();
  HMODULE dll = ::GetModuleHandleW(L"palvane.dll");
  auto can_unload = dll != nullptr ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                                         ::GetProcAddress(dll, "DllCanUnloadNow"))
                                   : nullptr;
  Check(can_unload != nullptr && can_unload() == S_OK, "DllCanUnloadNow after release");

  ::UnhookWindowsHookEx(hook);
  ::CoUninitialize();
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
