// The automation facade refuses what the CAD program's reference says the
// program refuses, and reports failures as the program does, so that the
// adapter's faults show under test. Windows only, under Wine.

#include "com/facade.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/dispatch.h"
#include "support/river.h"

namespace palvane::testing {
namespace {

// Calls member `name` of `object` directly, as any automation client does.
struct Called {
  HRESULT hr;
  SCODE scode;
  std::string description;
  UINT arg_err;
};
Called Invoke(IDispatch* object, const wchar_t* name, WORD kind, std::vector<VARIANT> args) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
  if (FAILED(hr)) return {hr, 0, "", 0};
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (kind & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  VARIANT result;
  ::VariantInit(&result);
  EXCEPINFO info{};
  UINT arg_err = 99;
  hr = object->Invoke(id, IID_NULL, 0, kind, &params, &result, &info, &arg_err);
  ::VariantClear(&result);
  for (VARIANT& a : args) ::VariantClear(&a);
  Called called{hr, info.scode, com::Utf8(info.bstrDescription), arg_err};
  ::SysFreeString(info.bstrDescription);
  ::SysFreeString(info.bstrSource);
  ::SysFreeString(info.bstrHelpFile);
  return called;
}

VARIANT I2(int16_t value) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_I2;
  v.iVal = value;
  return v;
}

VARIANT Array(VARTYPE type, std::vector<VARIANT> items) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_ARRAY | type;
  v.parray = ::SafeArrayCreateVector(type, 0, static_cast<ULONG>(items.size()));
  for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
    VARIANT& item = items[static_cast<size_t>(i)];
    if (type == VT_VARIANT) {
      ::SafeArrayPutElement(v.parray, &i, &item);
    } else {
      ::SafeArrayPutElement(v.parray, &i, &item.iVal);
    }
    ::VariantClear(&item);
  }
  return v;
}

class FacadeTest : public ::testing::Test {
 protected:
  FacadeTest() {
    line = AddPolyline(Ref<host::Document>(river.mem), "CL", {0, 0, 10, 0});
    document = com::FacadeDocument(Ref<host::Document>(river.mem));
    polyline = com::FacadeEntity(Ref<host::Entity>(line));
  }
  ~FacadeTest() override {
    document->Release();
    polyline->Release();
  }
  Drawing river;
  Ref<host::LWPolyline> line;
  IDispatch* document;
  IDispatch* polyline;
};

TEST_F(FacadeTest, SystemVariablesOnlyInTheirOwnType) {
  VARIANT on;
  ::VariantInit(&on);
  on.vt = VT_BOOL;
  on.boolVal = VARIANT_TRUE;
  const Called refused =
      Invoke(document, L"SetVariable", DISPATCH_METHOD, {com::Text("UCSFOLLOW"), on});
  EXPECT_EQ(refused.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(river.mem->variables()["UCSFOLLOW"], host::Variant(int16_t{0}));
  EXPECT_EQ(Invoke(document, L"SetVariable", DISPATCH_METHOD, {com::Text("UCSFOLLOW"), I2(1)}).hr,
            S_OK);
  EXPECT_EQ(river.mem->variables()["UCSFOLLOW"], host::Variant(int16_t{1}));
}

TEST_F(FacadeTest, ExtendedDataValuesInTheirGroupCodesType) {
  auto codes = [] { return Array(VT_I2, {I2(1001), I2(1000), I2(1071), I2(1070), I2(1000)}); };
  // The reach number as text where a 32-bit integer belongs: refused.
  Called refused = Invoke(polyline, L"SetXData", DISPATCH_METHOD,
                          {codes(), Array(VT_VARIANT, {com::Text("TEV"), com::Text("REACH"),
                                                       com::Text("12"), I2(-1), com::Text("")})});
  EXPECT_EQ(refused.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(refused.scode, host::Error::kInvalidInput);
  EXPECT_TRUE(line->GetXData("TEV").empty());
  const Called taken = Invoke(polyline, L"SetXData", DISPATCH_METHOD,
                              {codes(), Array(VT_VARIANT, {com::Text("TEV"), com::Text("REACH"),
                                                           com::Long(12), I2(-1), com::Text("")})});
  EXPECT_EQ(taken.hr, S_OK);
  EXPECT_EQ(line->GetXData("TEV").values[2], host::Variant(int32_t{12}));
}

TEST_F(FacadeTest, MissingKeyAndPutByReference) {
  IDispatch* layers = nullptr;
  {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Layers")};
    ASSERT_EQ(document->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    ::VariantInit(&result);
    ASSERT_EQ(
        document->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
        S_OK);
    ASSERT_EQ(result.vt, VT_DISPATCH);
    layers = result.pdispVal;
  }
  const Called missing = Invoke(layers, L"Item", DISPATCH_METHOD, {com::Text("absent")});
  EXPECT_EQ(missing.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(missing.scode, static_cast<SCODE>(0x80200014));
  EXPECT_EQ(missing.description, "Key not found");
  layers->Release();
  // The program's object properties take a plain put, never a put by reference.
  EXPECT_EQ(Invoke(polyline, L"Layer", DISPATCH_PROPERTYPUTREF, {com::Text("CL")}).hr,
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Invoke(polyline, L"Layer", DISPATCH_PROPERTYPUT, {com::Text("CL")}).hr, S_OK);
}

// Arguments are refused as type-info dispatch refuses them: the failure's
// code itself, no exception information, and the argument at fault.
TEST_F(FacadeTest, ArgumentFaultsComeBackAsTypeInfoDispatchGivesThem) {
  const Called first =
      Invoke(polyline, L"SetBulge", DISPATCH_METHOD, {com::Text("not a number"), com::Double(0.5)});
  EXPECT_EQ(first.hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(first.arg_err, 1u);  // rgvarg holds the arguments last to first
  EXPECT_EQ(first.description, "");
  const Called second =
      Invoke(polyline, L"SetBulge", DISPATCH_METHOD, {com::Long(0), com::Text("not a number")});
  EXPECT_EQ(second.hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(second.arg_err, 0u);
  EXPECT_EQ(Invoke(polyline, L"GetBulge", DISPATCH_METHOD, {}).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(line->GetBulge(0), 0);

  // A property put without its named argument.
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Layer")};
  ASSERT_EQ(polyline->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
  VARIANT value = com::Text("CL2");
  DISPPARAMS unnamed{&value, nullptr, 1, 0};
  UINT arg_err = 99;
  EXPECT_EQ(
      polyline->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, &arg_err),
      DISP_E_PARAMNOTFOUND);
  ::VariantClear(&value);
  EXPECT_EQ(line->Layer(), "CL");

  // Through the adapter, as the runtime reports them to a script.
  const com::DispatchPtr object(polyline);
  VARIANT result;
  ::VariantInit(&result);
  EXPECT_ERROR(object.Call(L"GetBulge", DISPATCH_METHOD, {com::Text("x")}, &result), 13);
  EXPECT_ERROR(object.Call(L"GetBulge", DISPATCH_METHOD, {}, &result), 450);
}

}  // namespace
}  // namespace palvane::testing
