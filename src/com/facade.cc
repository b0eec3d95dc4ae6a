#include "com/facade.h"

#include "com/facade_object.h"

namespace palvane::com {
namespace facade {

std::vector<Ref<host::Entity>> EntitiesArg(const VARIANT& a) {
  Need(a.vt == (VT_ARRAY | VT_DISPATCH) || a.vt == (VT_ARRAY | VT_VARIANT));
  LONG lo = 0, hi = -1;
  ::SafeArrayGetLBound(a.parray, 1, &lo);
  ::SafeArrayGetUBound(a.parray, 1, &hi);
  std::vector<Ref<host::Entity>> items;
  for (LONG i = lo; i <= hi; ++i) {
    VARIANT e;
    ::VariantInit(&e);
    if (a.vt == (VT_ARRAY | VT_DISPATCH)) {
      e.vt = VT_DISPATCH;
      ::SafeArrayGetElement(a.parray, &i, &e.pdispVal);
    } else {
      ::SafeArrayGetElement(a.parray, &i, &e);
    }
    Object* o = e.vt == VT_DISPATCH ? FacadeObject(e.pdispVal) : nullptr;
    const bool ok = o != nullptr && o->entity != nullptr;
    if (ok) items.emplace_back(o->entity);
    ::VariantClear(&e);
    Need(ok);
  }
  return items;
}

void SetXDataArrays(VARIANT* types, VARIANT* values, const host::XData& x) {
  ::VariantClear(types);
  ::VariantClear(values);
  // No data for the application: both stay empty, not arrays.
  if (x.empty()) return;
  SAFEARRAY* codes = ::SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(x.codes.size()));
  SAFEARRAY* items = ::SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(x.values.size()));
  for (LONG i = 0; i < static_cast<LONG>(x.codes.size()); ++i) {
    int16_t code = x.codes[static_cast<size_t>(i)];
    ::SafeArrayPutElement(codes, &i, &code);
    VARIANT item = FromHost(x.values[static_cast<size_t>(i)]);
    ::SafeArrayPutElement(items, &i, &item);
    ::VariantClear(&item);
  }
  types->vt = VT_ARRAY | VT_I2;
  types->parray = codes;
  values->vt = VT_ARRAY | VT_VARIANT;
  values->parray = items;
}

IDispatch* WrapBlock(Ref<host::Block> b) {
  Object* o = New(b);
  AddObjectMembers(o, b);
  o->members[L"Name"].get = [b](const Call& c) { SetText(c.result, b->Name()); };
  o->members[L"Origin"].get = [b](const Call& c) { SetPoint(c.result, b->Origin()); };
  o->members[L"Count"].get = [b](const Call& c) { SetLong(c.result, b->Count()); };
  o->members[L"Item"].method = [b](const Call& c) {
    c.NeedCount(c.count() == 1);
    SetObject(c.result, Wrap(b->Item(LongArg(c.arg(0)))));
  };
  o->members[L"AddLightWeightPolyline"].method = [b](const Call& c) {
    c.NeedCount(c.count() == 1);
    SetObject(c.result, Wrap(Ref<host::Entity>(b->AddLightWeightPolyline(DoublesArg(c.arg(0))))));
  };
  o->members[L"AddMText"].method = [b](const Call& c) {
    c.NeedCount(c.count() == 3);
    SetObject(c.result, Wrap(Ref<host::Entity>(b->AddMText(PointArg(c.arg(0)), DoubleArg(c.arg(1)),
                                                           TextArg(c.arg(2))))));
  };
  o->members[L"AddText"].method = [b](const Call& c) {
    c.NeedCount(c.count() == 3);
    SetObject(c.result, Wrap(Ref<host::Entity>(b->AddText(TextArg(c.arg(0)), PointArg(c.arg(1)),
                                                          DoubleArg(c.arg(2))))));
  };
  o->members[L"AddLine"].method = [b](const Call& c) {
    c.NeedCount(c.count() == 2);
    SetObject(c.result,
              Wrap(Ref<host::Entity>(b->AddLine(PointArg(c.arg(0)), PointArg(c.arg(1))))));
  };
  o->members[L"Add3DPoly"].method = [b](const Call& c) {
    c.NeedCount(c.count() == 1);
    SetObject(c.result, Wrap(Ref<host::Entity>(b->Add3DPoly(DoublesArg(c.arg(0))))));
  };
  o->members[L"AddPoint"].method = [b](const Call& c) {
    c.NeedCount(c.count() == 1);
    SetObject(c.result, Wrap(Ref<host::Entity>(b->AddPoint(PointArg(c.arg(0))))));
  };
  o->members[L"AddAttribute"].method = [b](const Call& c) {
    c.NeedCount(c.count() == 6);
    SetObject(c.result, Wrap(Ref<host::Entity>(b->AddAttribute(
                            DoubleArg(c.arg(0)), LongArg(c.arg(1)), TextArg(c.arg(2)),
                            PointArg(c.arg(3)), TextArg(c.arg(4)), TextArg(c.arg(5))))));
  };
  o->members[L"InsertBlock"].method = [b](const Call& c) {
    // The password, the seventh, is optional: left out or passed as missing.
    c.NeedCount(c.count() == 6 || c.count() == 7);
    Need(c.count() == 6 || c.arg(6).vt == VT_ERROR);
    SetObject(c.result, Wrap(Ref<host::Entity>(b->InsertBlock(
                            PointArg(c.arg(0)), TextArg(c.arg(1)), DoubleArg(c.arg(2)),
                            DoubleArg(c.arg(3)), DoubleArg(c.arg(4)), DoubleArg(c.arg(5))))));
  };
  return o;
}

IDispatch* WrapLayer(Ref<host::Layer> l) {
  Object* o = New(l);
  AddObjectMembers(o, l);
  o->members[L"Name"].get = [l](const Call& c) { SetText(c.result, l->Name()); };
  o->members[L"Name"].put = [l](const Call& c) { l->SetName(TextArg(c.value())); };
  o->members[L"Color"].get = [l](const Call& c) { SetLong(c.result, l->Color()); };
  o->members[L"Color"].put = [l](const Call& c) { l->SetColor(LongArg(c.value())); };
  o->members[L"Freeze"].get = [l](const Call& c) { SetBool(c.result, l->Freeze()); };
  o->members[L"Freeze"].put = [l](const Call& c) { l->SetFreeze(BoolArg(c.value())); };
  o->members[L"LayerOn"].get = [l](const Call& c) { SetBool(c.result, l->LayerOn()); };
  o->members[L"LayerOn"].put = [l](const Call& c) { l->SetLayerOn(BoolArg(c.value())); };
  o->members[L"Lock"].get = [l](const Call& c) { SetBool(c.result, l->Lock()); };
  o->members[L"Lock"].put = [l](const Call& c) { l->SetLock(BoolArg(c.value())); };
  return o;
}

IDispatch* WrapUcs(Ref<host::UCS> u) {
  Object* o = New(u);
  AddObjectMembers(o, u);
  o->members[L"Name"].get = [u](const Call& c) { SetText(c.result, u->Name()); };
  o->members[L"Origin"].get = [u](const Call& c) { SetPoint(c.result, u->Origin()); };
  o->members[L"XVector"].get = [u](const Call& c) { SetPoint(c.result, u->XVector()); };
  o->members[L"YVector"].get = [u](const Call& c) { SetPoint(c.result, u->YVector()); };
  return o;
}

IDispatch* WrapViewport(Ref<host::Viewport> v) {
  Object* o = New(v);
  AddObjectMembers(o, v);
  o->members[L"Direction"].get = [v](const Call& c) { SetPoint(c.result, v->Direction()); };
  o->members[L"Direction"].put = [v](const Call& c) { v->SetDirection(PointArg(c.value())); };
  o->members[L"UCSIconOn"].get = [v](const Call& c) { SetBool(c.result, v->UCSIconOn()); };
  o->members[L"UCSIconOn"].put = [v](const Call& c) { v->SetUCSIconOn(BoolArg(c.value())); };
  o->members[L"UCSIconAtOrigin"].get = [v](const Call& c) {
    SetBool(c.result, v->UCSIconAtOrigin());
  };
  o->members[L"UCSIconAtOrigin"].put = [v](const Call& c) {
    v->SetUCSIconAtOrigin(BoolArg(c.value()));
  };
  return o;
}

IDispatch* WrapSelectionSet(Ref<host::SelectionSet> s) {
  Object* o = New(s);
  AddObjectMembers(o, s);
  o->members[L"Name"].get = [s](const Call& c) { SetText(c.result, s->Name()); };
  o->members[L"Count"].get = [s](const Call& c) { SetLong(c.result, s->Count()); };
  o->members[L"Item"].method = [s](const Call& c) {
    c.NeedCount(c.count() == 1);
    SetObject(c.result, Wrap(s->Item(LongArg(c.arg(0)))));
  };
  o->members[L"Delete"].method = [s](const Call&) { s->Delete(); };
  o->members[L"Select"].method = [s](const Call& c) {
    // The whole drawing: the two points are passed as missing.
    c.NeedCount(c.count() == 5);
    Need(c.arg(1).vt == VT_ERROR && c.arg(2).vt == VT_ERROR);
    Need(c.arg(0).vt == VT_I4);
    std::vector<int16_t> codes;
    std::vector<host::Variant> values;
    CodesAndValues(c, 3, codes, values, false);
    s->Select(LongArg(c.arg(0)), codes, values);
  };
  o->members[L"RemoveItems"].method = [s](const Call& c) {
    c.NeedCount(c.count() == 1);
    s->RemoveItems(EntitiesArg(c.arg(0)));
  };
  return o;
}

// Count and Item (by 0-based index or by name) of a collection.
template <class Collection, class F>
void AddItem(Object* o, const Ref<Collection>& coll, F wrap) {
  o->members[L"Count"].get = [coll](const Call& c) { SetLong(c.result, coll->Count()); };
  o->members[L"Item"].method = [coll, wrap](const Call& c) {
    c.NeedCount(c.count() == 1);
    const VARIANT& index = c.arg(0);
    if (index.vt == VT_BSTR) {
      if constexpr (requires { coll->Item(std::string()); }) {
        SetObject(c.result, wrap(coll->Item(BstrText(index.bstrVal))));
        return;
      }
    }
    SetObject(c.result, wrap(coll->Item(LongArg(index))));
  };
}

IDispatch* WrapUtility(Ref<host::Utility> u) {
  Object* x = New(u);
  x->members[L"TranslateCoordinates"].method = [u](const Call& c) {
    c.NeedCount(c.count() == 5);
    Need(c.arg(1).vt == VT_I4 && c.arg(2).vt == VT_I4 && c.arg(3).vt == VT_I4);
    SetPoint(c.result,
             u->TranslateCoordinates(PointArg(c.arg(0)), LongArg(c.arg(1)), LongArg(c.arg(2)),
                                     LongArg(c.arg(3)) != 0, PointArg(c.arg(4))));
  };
  x->members[L"AngleFromXAxis"].method = [u](const Call& c) {
    c.NeedCount(c.count() == 2);
    SetDouble(c.result, u->AngleFromXAxis(PointArg(c.arg(0)), PointArg(c.arg(1))));
  };
  x->members[L"PolarPoint"].method = [u](const Call& c) {
    c.NeedCount(c.count() == 3);
    SetPoint(c.result, u->PolarPoint(PointArg(c.arg(0)), DoubleArg(c.arg(1)), DoubleArg(c.arg(2))));
  };
  return x;
}

IDispatch* WrapApplication(Ref<host::Application> app) {
  Object* a = New(app);
  a->members[L"Documents"].get = [app](const Call& c) {
    auto docs = app->Documents();
    Object* ds = New(docs);
    AddItem(ds, docs, [](Ref<host::Document> x) { return Wrap(x); });
    ds->members[L"Add"].method = [docs](const Call& c2) {
      // No template: left out, or passed as missing.
      c2.NeedCount(c2.count() <= 1);
      Need(c2.count() == 0 || c2.arg(0).vt == VT_ERROR);
      SetObject(c2.result, Wrap(docs->Add()));
    };
    SetObject(c.result, ds);
  };
  a->members[L"ActiveDocument"].get = [app](const Call& c) {
    SetObject(c.result, Wrap(app->ActiveDocument()));
  };
  a->members[L"ZoomExtents"].method = [app](const Call&) { app->ZoomExtents(); };
  a->members[L"ZoomScaled"].method = [app](const Call& c) {
    c.NeedCount(c.count() == 2);
    Need(c.arg(1).vt == VT_I4);
    app->ZoomScaled(DoubleArg(c.arg(0)), LongArg(c.arg(1)));
  };
  return a;
}

IDispatch* Wrap(Ref<host::Document> d) {
  if (!d) return nullptr;
  Object* o = New(d);
  o->members[L"Name"].get = [d](const Call& c) { SetText(c.result, d->Name()); };
  o->members[L"Application"].get = [d](const Call& c) {
    SetObject(c.result, WrapApplication(d->Application()));
  };
  o->members[L"Utility"].get = [d](const Call& c) {
    SetObject(c.result, WrapUtility(d->Utility()));
  };
  o->members[L"ModelSpace"].get = [d](const Call& c) {
    SetObject(c.result, WrapBlock(d->ModelSpace()));
  };
  o->members[L"Blocks"].get = [d](const Call& c) {
    auto bs = d->Blocks();
    Object* x = New(bs);
    AddItem(x, bs, [](Ref<host::Block> b) { return WrapBlock(b); });
    x->members[L"Add"].method = [bs](const Call& c2) {
      c2.NeedCount(c2.count() == 2);
      SetObject(c2.result, WrapBlock(bs->Add(PointArg(c2.arg(0)), TextArg(c2.arg(1)))));
    };
    SetObject(c.result, x);
  };
  o->members[L"Layers"].get = [d](const Call& c) {
    auto ls = d->Layers();
    Object* x = New(ls);
    AddItem(x, ls, [](Ref<host::Layer> l) { return WrapLayer(l); });
    x->members[L"Add"].method = [ls](const Call& c2) {
      c2.NeedCount(c2.count() == 1);
      SetObject(c2.result, WrapLayer(ls->Add(TextArg(c2.arg(0)))));
    };
    SetObject(c.result, x);
  };
  o->members[L"UserCoordinateSystems"].get = [d](const Call& c) {
    auto us = d->UserCoordinateSystems();
    Object* x = New(us);
    AddItem(x, us, [](Ref<host::UCS> u) { return WrapUcs(u); });
    x->members[L"Add"].method = [us](const Call& c2) {
      c2.NeedCount(c2.count() == 4);
      SetObject(c2.result, WrapUcs(us->Add(PointArg(c2.arg(0)), PointArg(c2.arg(1)),
                                           PointArg(c2.arg(2)), TextArg(c2.arg(3)))));
    };
    SetObject(c.result, x);
  };
  o->members[L"SelectionSets"].get = [d](const Call& c) {
    auto ss = d->SelectionSets();
    Object* x = New(ss);
    AddItem(x, ss, [](Ref<host::SelectionSet> s) { return WrapSelectionSet(s); });
    x->members[L"Add"].method = [ss](const Call& c2) {
      c2.NeedCount(c2.count() == 1);
      SetObject(c2.result, WrapSelectionSet(ss->Add(TextArg(c2.arg(0)))));
    };
    SetObject(c.result, x);
  };
  o->members[L"ActiveLayer"].get = [d](const Call& c) {
    SetObject(c.result, WrapLayer(d->ActiveLayer()));
  };
  o->members[L"ActiveLayer"].put = [d](const Call& c) {
    d->SetActiveLayer(Unwrap<host::Layer>(c.value()));
  };
  o->members[L"ActiveViewport"].get = [d](const Call& c) {
    SetObject(c.result, WrapViewport(d->ActiveViewport()));
  };
  o->members[L"ActiveViewport"].put = [d](const Call& c) {
    d->SetActiveViewport(Unwrap<host::Viewport>(c.value()));
  };
  o->members[L"ActiveUCS"].get = [d](const Call& c) {
    SetObject(c.result, WrapUcs(d->ActiveUCS()));
  };
  o->members[L"ActiveUCS"].put = [d](const Call& c) {
    d->SetActiveUCS(Unwrap<host::UCS>(c.value()));
  };
  o->members[L"CopyObjects"].method = [d](const Call& c) {
    // The owner is given; the id pairs are left out or passed as missing.
    c.NeedCount(c.count() == 2 || c.count() == 3);
    Need(c.count() == 2 || c.arg(2).vt == VT_ERROR);
    SetObjects(c.result, d->CopyObjects(EntitiesArg(c.arg(0)), Unwrap<host::Block>(c.arg(1))));
  };
  o->members[L"GetVariable"].method = [d](const Call& c) {
    c.NeedCount(c.count() == 1);
    const std::string name = TextArg(c.arg(0));
    VARIANT v = FromHost(d->GetVariable(name));
    if (VariableType(name) == VT_I2 && v.vt != VT_I2) {
      VARIANT i2;
      ::VariantInit(&i2);
      Need(SUCCEEDED(::VariantChangeType(&i2, &v, 0, VT_I2)));
      ::VariantClear(&v);
      v = i2;
    }
    *c.result = v;
  };
  o->members[L"SetVariable"].method = [d](const Call& c) {
    c.NeedCount(c.count() == 2);
    const std::string name = TextArg(c.arg(0));
    // The value must come in the variable's own type; the program does not
    // convert it (its reference tells callers to convert, as with CInt).
    const VARTYPE type = VariableType(name);
    if (type != VT_EMPTY && c.arg(1).vt != type) {
      throw host::Error::InvalidInput("system variable " + name + " takes a value of another type");
    }
    d->SetVariable(name, ValueArg(c.arg(1)));
  };
  o->members[L"Regen"].method = [d](const Call& c) {
    c.NeedCount(c.count() == 1);
    Need(c.arg(0).vt == VT_I4);
    d->Regen(LongArg(c.arg(0)));
  };
  o->members[L"Activate"].method = [d](const Call&) { d->Activate(); };
  o->members[L"PurgeAll"].method = [d](const Call&) { d->PurgeAll(); };
  return o;
}

}  // namespace facade

using facade::FacadeObject;
using facade::Object;
using facade::Wrap;

IDispatch* FacadeDocument(const host::Ref<host::Document>& document) { return Wrap(document); }
IDispatch* FacadeEntity(const host::Ref<host::Entity>& entity) { return Wrap(entity); }

host::Ref<host::Entity> FacadeEntityTarget(IDispatch* object) {
  Object* o = object != nullptr ? FacadeObject(object) : nullptr;
  return o != nullptr ? host::Ref<host::Entity>(o->entity) : host::Ref<host::Entity>();
}

}  // namespace palvane::com
