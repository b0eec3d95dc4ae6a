// Tests of palvane.dll under Wine: the class created by its ProgID and called
// late-bound by name, with named arguments in shuffled order and values by
// reference, on a double of the CAD program's automation objects. Message
// boxes are captured and dismissed by a CBT hook. Prints "N passed, M failed".

// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "com/dispatch.h"
#include "com/facade.h"
#include "host/convert.h"
#include "host/memory/entities.h"
#include "host/memory/memory_host.h"
#include "keyplan/options.h"

namespace {

using palvane::host::Ref;
using palvane::host::Variant;

// Calls `method` of `object` late-bound by name, with every argument passed
// by name and by reference, in the reverse of their declared order.
HRESULT CallByName(IDispatch* object, const wchar_t* method,
                   std::vector<std::pair<std::wstring, VARIANT>> args, VARIANT* result) {
  std::vector<LPOLESTR> names{const_cast<LPOLESTR>(method)};
  for (auto& a : args) names.push_back(const_cast<LPOLESTR>(a.first.c_str()));
  std::vector<DISPID> ids(names.size());
  HRESULT hr =
      object->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), 0, ids.data());
  if (FAILED(hr)) return hr;
  // DISPPARAMS lists arguments last to first; named ones in any order. The
  // declared order reversed serves as a shuffle.
  std::vector<VARIANT> refs(args.size());
  std::vector<DISPID> named(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    VARIANT& v = args[i].second;
    VARIANT& r = refs[i];
    ::VariantInit(&r);
    switch (v.vt) {
      case VT_DISPATCH:
        r.vt = VT_BYREF | VT_DISPATCH;
        r.ppdispVal = &v.pdispVal;
        break;
      case VT_BSTR:
        r.vt = VT_BYREF | VT_BSTR;
        r.pbstrVal = &v.bstrVal;
        break;
      case VT_BOOL:
        r.vt = VT_BYREF | VT_BOOL;
        r.pboolVal = &v.boolVal;
        break;
      default:
        r.vt = VT_BYREF | VT_R8;
        r.pdblVal = &v.dblVal;
        break;
    }
    named[i] = ids[i + 1];
  }
  DISPPARAMS params{refs.data(), named.data(), static_cast<UINT>(refs.size()),
                    static_cast<UINT>(refs.size())};
  ::VariantInit(result);
  EXCEPINFO info{};
  UINT bad = 0;
  return object->Invoke(ids[0], IID_NULL, 0, DISPATCH_METHOD, &params, result, &info, &bad);
}

VARIANT Str(const wchar_t* s) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = ::SysAllocString(s);
  return v;
}

Ref<palvane::host::LWPolyline> Line(const Ref<palvane::host::Document>& doc,
                                    const std::string& layer, std::vector<double> coords) {
  doc->Layers()->Add(layer);
  auto l = doc->ModelSpace()->AddLightWeightPolyline(coords);
  l->SetLayer(layer);
  return l;
}

void TagSection(palvane::host::Object& o, const std::string& n, double chainage,
                const std::string& name) {
  o.SetXData({1001, 1000, 1000, 1000, 1040, 1040, 1000, 1000, 1000, 1070},
             {Variant("TEV"), Variant("SECTION"), Variant(n), Variant("1"), Variant(chainage),
              Variant(12.0), Variant("Footbridge"), Variant(name), Variant("2012-06-30"),
              Variant(int16_t{0})});
}

int g_passed = 0, g_failed = 0;
std::vector<std::wstring> g_boxes;
std::vector<HWND> g_box_owners;
HWND g_program_window = nullptr;

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
      g_box_owners.push_back(::GetWindow(box, GW_OWNER));
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
  for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i)
    ::SafeArrayPutElement(a, &i, &values[i]);
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
  // The program's main window, on the thread that calls the server.
  g_program_window = ::CreateWindowExW(0, L"STATIC", L"Program", WS_OVERLAPPEDWINDOW, 0, 0, 300,
                                       200, nullptr, nullptr, nullptr, nullptr);
  ::ShowWindow(g_program_window, SW_SHOWNOACTIVATE);

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
    if (FAILED(hr))
      std::printf("Invoke: 0x%08lx (argument %u)\n", static_cast<unsigned long>(hr), bad);
    Check(SUCCEEDED(hr), "Invoke LWPolyPntAlong");
  };

  double bearing = 99;
  VARIANT result;
  call(2.0, bearing, result);
  const auto p = Read(result);
  Check(
      p.size() == 3 && std::fabs(p[0] - 1.2) < 1e-12 && std::fabs(p[1] - 1.6) < 1e-12 && p[2] == 0,
      "point (1.2, 1.6, 0)");
  Check(std::fabs(bearing - std::atan2(4.0, 3.0)) < 1e-12, "bearing written back");
  ::VariantClear(&result);

  bearing = 99;
  call(100.0, bearing, result);
  Check(result.vt == VT_EMPTY, "beyond the end: empty result");
  Check(bearing == 99, "beyond the end: bearing untouched");

  fail_coordinate = true;
  g_boxes.clear();
  g_box_owners.clear();
  call(2.0, bearing, result);
  Check(result.vt == VT_EMPTY, "host failure: empty result");
  Check(g_boxes.size() == 1 && g_boxes[0] == L"Key not found", "host failure: one message box");
  // Modal to the program's main window, so that the drawing cannot change
  // while the box waits.
  Check(g_box_owners.size() == 1 && g_box_owners[0] == g_program_window,
        "message box: owned by the program's window");
  Check(bearing == 99, "host failure: bearing untouched");

  // The section view, through the adapter, on a double drawing.
  {
    auto app = palvane::host::memory::NewMemApplication();
    auto mem = app->AddDocument("River.dwg");
    Ref<palvane::host::Document> doc(mem);
    for (const char* name : {"K12_3d", "K12_3d_LPSO", "K7_Survey"}) doc->Layers()->Add(name);
    auto section = Line(doc, "K12_SectionLine", {100, 200, 150, 200});
    IDispatch* d = palvane::com::FacadeDocument(doc);
    IDispatch* l = palvane::com::FacadeEntity(Ref<palvane::host::Entity>(section));
    g_boxes.clear();
    VARIANT original;
    ::VariantInit(&original);
    original.vt = VT_BOOL;
    original.boolVal = VARIANT_FALSE;
    VARIANT thisdrawing, line;
    ::VariantInit(&thisdrawing);
    thisdrawing.vt = VT_DISPATCH;
    thisdrawing.pdispVal = d;
    ::VariantInit(&line);
    line.vt = VT_DISPATCH;
    line.pdispVal = l;
    VARIANT r;
    const HRESULT hr = CallByName(
        centerline, L"ViewSection",
        {{L"OriginalData", original}, {L"SectionLine", line}, {L"thisdrawing", thisdrawing}}, &r);
    Check(SUCCEEDED(hr), "ViewSection by name");
    Check(r.vt == VT_BSTR && ::SysStringLen(r.bstrVal) == 0,
          "ViewSection returns the empty String");
    ::VariantClear(&r);
    Check(g_boxes.empty(), "ViewSection: no message (missing Temp made silently)");
    Check(mem->active_ucs() != nullptr && mem->active_ucs()->name() == "UCS1", "UCS1 current");
    Check(mem->FindLayer("K12_3d")->frozen() && mem->FindLayer("K7_Survey")->frozen() &&
              !mem->FindLayer("K12_3d_LPSO")->frozen() && mem->FindLayer("Temp") != nullptr,
          "section layers frozen and thawed");
    d->Release();
    l->Release();
  }

  // The attribute keyplan's worked example, through the adapter, in the
  // user's locale: its decimal separator reads the options and writes the
  // attribute values. (A whole chainage keeps the layer name free of it.)
  {
    wchar_t decimal[8] = L".";
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8);
    const std::wstring sep = decimal;
    const std::string sep8 = palvane::com::Utf8(decimal);
    // The chainage in a layer name keeps its point in every locale: the
    // program refuses a name holding a comma.
    const std::string line_layer = "XS_1250.000";
    std::printf("user locale %04lx, decimal separator '%s'\n",
                static_cast<unsigned long>(::GetUserDefaultLCID()), sep8.c_str());
    // The run in a chosen locale says which separator it must have.
    if (const char* expected = std::getenv("PALVANE_EXPECT_DECIMAL")) {
      Check(sep8 == expected, "the user locale's decimal separator is the one expected");
    }
    auto app = palvane::host::memory::NewMemApplication();
    auto mem = app->AddDocument("River.dwg");
    Ref<palvane::host::Document> doc(mem);
    auto centre = Line(doc, "CL", {0, 0, 4200, 0});
    centre->SetXData(
        {1001, 1000, 1071, 1070, 1000},
        {Variant("TEV"), Variant("REACH"), Variant("1"), Variant(int16_t{-1}), Variant("")});
    auto profile = Line(doc, "XS12_Profile", {200, 120, 250, 100});
    TagSection(*profile, "XS12", 1250, "XS12");
    doc->Layers()->Add("XS12_SectionLine");
    IDispatch* d = palvane::com::FacadeDocument(doc);
    std::vector<std::pair<std::wstring, VARIANT>> args;
    VARIANT thisdrawing;
    ::VariantInit(&thisdrawing);
    thisdrawing.vt = VT_DISPATCH;
    thisdrawing.pdispVal = d;
    args.push_back({L"thisdrawing", thisdrawing});
    for (const auto& f : palvane::keyplan::kOptionFields) {
      std::wstring name(f.name, f.name + std::strlen(f.name));
      std::wstring value;
      if (name == L"TextHeight") value = L"1" + sep + L"5";
      if (name == L"LineLayer") value = L"XS_";
      if (name == L"ChainagePrecision") value = L"2";
      if (name == L"Mike11ChainagePrecision") value = L"1";
      if (name == L"SectionLineWidth") value = L"0" + sep + L"5";
      args.push_back({name, Str(value.c_str())});
    }
    g_boxes.clear();
    VARIANT r;
    const HRESULT hr = CallByName(centerline, L"ExportKeyplanAsAttributes", args, &r);
    Check(SUCCEEDED(hr), "ExportKeyplanAsAttributes by name with 25 named arguments");
    ::VariantClear(&r);
    const std::vector<std::wstring> attribute_messages = g_boxes;
    g_boxes.clear();
    // The labelled keyplan of the same drawing, through the same object.
    VARIANT r2;
    Check(SUCCEEDED(CallByName(centerline, L"ExportKeyplan", args, &r2)), "ExportKeyplan by name");
    ::VariantClear(&r2);
    for (auto& a : args) {
      if (a.second.vt == VT_BSTR) ::VariantClear(&a.second);
    }
    // No message in any locale: the layer name holds no comma.
    Check(attribute_messages.empty(), "attribute export: no message");
    const auto* keyplan = app->documents().size() == 3 ? app->documents()[1].get() : nullptr;
    const auto* labelled = app->documents().size() == 3 ? app->documents()[2].get() : nullptr;
    if (labelled != nullptr) {
      std::vector<std::string> texts;
      for (const auto& e : labelled->model_space()->entities()) {
        if (auto* t = dynamic_cast<palvane::host::memory::MemMText*>(e))
          texts.push_back(t->fields().text);
      }
      // Every flag and the bearing's precision were the empty string: each
      // field is included after its message, the bearing's line left empty.
      Check(texts.size() == 1 && texts[0] == "XS12\\P200mE 120mN\\P\\P1250\\P2950\\PFootbridge",
            "labelled keyplan: the label");
      const std::vector<std::wstring> expected(7, L"Type mismatch");
      Check(g_boxes == expected, "labelled keyplan: seven conversion messages");
    }
    Check(labelled != nullptr, "labelled export: a new drawing");
    Check(keyplan != nullptr, "attribute export: a new drawing");
    if (keyplan != nullptr) {
      const auto* block = keyplan->FindBlock("XS12");
      Check(block != nullptr && block->origin() == (palvane::host::Point3{200, 120, 0}),
            "block XS12 at S");
      std::vector<std::string> values;
      std::vector<double> ys;
      if (block != nullptr) {
        for (const auto& e : block->entities()) {
          if (auto* a = dynamic_cast<palvane::host::memory::MemAttributeDefinition*>(e)) {
            values.push_back(a->fields().value);
            ys.push_back(a->fields().insertion[1]);
          }
        }
      }
      Check(values == std::vector<std::string>{"XS12", "200" + sep8 + "000", "120" + sep8 + "000",
                                               "Footbridge", "1250", "2950"},
            "six attribute values");
      Check(ys.size() == 6 && std::fabs(ys[0] - 98) < 1e-9 && std::fabs(ys[1] - 96) < 1e-9 &&
                std::fabs(ys[2] - 94) < 1e-9 && std::fabs(ys[3] - 92) < 1e-9 &&
                std::fabs(ys[4] - 90) < 1e-9 && std::fabs(ys[5] - 88) < 1e-9,
            "attributes a pitch of 2 below E");
      const palvane::host::memory::MemLWPolyline* line = nullptr;
      if (block != nullptr) {
        for (const auto& e : block->entities()) {
          if (auto* l = dynamic_cast<palvane::host::memory::MemLWPolyline*>(e)) line = l;
        }
      }
      Check(line != nullptr && line->fields().vertices.size() == 2 &&
                line->fields().vertices[0].x == 200 && line->fields().vertices[0].y == 120 &&
                line->fields().vertices[1].x == 250 && line->fields().vertices[1].y == 100 &&
                line->layer()->name() == line_layer &&
                line->fields().vertices[0].start_width == 0.5,
            "the block's line on the chainage's layer");
      const palvane::host::memory::MemBlockReference* reference = nullptr;
      for (const auto& e : keyplan->model_space()->entities()) {
        if (auto* r = dynamic_cast<palvane::host::memory::MemBlockReference*>(e)) reference = r;
      }
      Check(reference != nullptr &&
                reference->fields().insertion == (palvane::host::Point3{200, 120, 0}) &&
                reference->layer()->name() == line_layer && reference->attributes.size() == 6 &&
                reference->attributes[5]->fields().value == "2950",
            "one reference at S with six attributes");
    }
    d->Release();
  }

  // No reach at all: both messages, in order, each in its own box.
  {
    auto app = palvane::host::memory::NewMemApplication();
    auto mem = app->AddDocument("Empty.dwg");
    IDispatch* d = palvane::com::FacadeDocument(Ref<palvane::host::Document>(mem));
    std::vector<std::pair<std::wstring, VARIANT>> args;
    VARIANT thisdrawing;
    ::VariantInit(&thisdrawing);
    thisdrawing.vt = VT_DISPATCH;
    thisdrawing.pdispVal = d;
    args.push_back({L"thisdrawing", thisdrawing});
    for (const auto& f : palvane::keyplan::kOptionFields) {
      args.push_back({std::wstring(f.name, f.name + std::strlen(f.name)), Str(L"")});
    }
    g_boxes.clear();
    VARIANT r;
    Check(SUCCEEDED(CallByName(centerline, L"ExportKeyplan", args, &r)), "ExportKeyplan by name");
    ::VariantClear(&r);
    for (auto& a : args) {
      if (a.second.vt == VT_BSTR) ::VariantClear(&a.second);
    }
    Check(g_boxes == std::vector<std::wstring>{L"You must first create a Reach",
                                               L"You need to make a reach current first"},
          "no reach: the two messages");
    Check(app->documents().size() == 1, "no reach: no new drawing");
    d->Release();
  }

  // The identifier form as a real dialog.
  {
    HMODULE module = ::GetModuleHandleW(L"palvane.dll");
    auto create =
        module != nullptr
            ? reinterpret_cast<HWND (*)(HWND)>(::GetProcAddress(module, "PalvaneCreateNeloForm"))
            : nullptr;
    Check(create != nullptr, "form entry point");
    HWND form = create != nullptr ? create(nullptr) : nullptr;
    Check(form != nullptr, "form created");
    if (form != nullptr) {
      wchar_t text[256];
      ::GetWindowTextW(form, text, 256);
      Check(std::wstring(text) == L"Nelo For Mapinfo", "form caption");
      HWND ok = ::GetDlgItem(form, IDOK), box = ::GetDlgItem(form, 100),
           label = ::GetDlgItem(form, 101);
      ::GetWindowTextW(ok, text, 256);
      Check(std::wstring(text) == L"OK", "OK button");
      ::GetWindowTextW(box, text, 256);
      Check(std::wstring(text) == L"Text1", "text box starts with Text1");
      ::GetWindowTextW(label, text, 256);
      Check(std::wstring(text) == L"Cross - Section Identifier Code", "label text");
      RECT r_box, r_label, r_ok;
      ::GetWindowRect(box, &r_box);
      ::GetWindowRect(label, &r_label);
      ::GetWindowRect(ok, &r_ok);
      Check(r_label.left == r_box.left && r_label.bottom <= r_box.top && r_ok.top >= r_box.bottom,
            "label above the text box, OK below it");
      Check(::GetNextDlgTabItem(form, nullptr, FALSE) == ok &&
                ::GetNextDlgTabItem(form, ok, FALSE) == box,
            "tab order: OK, then the text box");
      ::SendMessageW(ok, BM_CLICK, 0, 0);
      ::SendMessageW(ok, BM_CLICK, 0, 0);
      ::GetWindowTextW(box, text, 256);
      Check(::IsWindow(form) && std::wstring(text) == L"Text1", "OK does nothing; the form stays");
      // The form's window procedure is the library's: it stays loaded
      // while the form is open, even with no object left.
      HWND second = create(nullptr);
      centerline->Release();
      centerline = nullptr;
      auto unload =
          reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(::GetProcAddress(module, "DllCanUnloadNow"));
      Check(unload != nullptr && unload() == S_FALSE, "DllCanUnloadNow: not while a form is open");
      ::DestroyWindow(form);
      Check(unload != nullptr && unload() == S_FALSE, "DllCanUnloadNow: not while one is left");
      ::DestroyWindow(second);
    }
  }

  if (centerline != nullptr) centerline->Release();
  HMODULE dll = ::GetModuleHandleW(L"palvane.dll");
  auto can_unload =
      dll != nullptr
          ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(::GetProcAddress(dll, "DllCanUnloadNow"))
          : nullptr;
  Check(can_unload != nullptr && can_unload() == S_OK, "DllCanUnloadNow after release");

  ::DestroyWindow(g_program_window);
  ::UnhookWindowsHookEx(hook);
  ::CoUninitialize();
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
