#include "support/river.h"

#include "host/variant.h"
#include "support/hosts.h"

namespace palvane::testing {

Drawing::Drawing() : app(host::memory::NewMemApplication()) {
  mem = app->AddDocument("River.dwg");
  doc = Seen(Ref<host::Document>(mem));
}

Ref<host::LWPolyline> AddPolyline(const Ref<host::Document>& doc, const std::string& layer,
                                  const std::vector<double>& coords,
                                  const std::vector<double>& bulges, bool closed) {
  doc->Layers()->Add(layer);
  Ref<host::LWPolyline> p = doc->ModelSpace()->AddLightWeightPolyline(coords);
  p->SetLayer(layer);
  for (size_t i = 0; i < bulges.size(); ++i) p->SetBulge(static_cast<int32_t>(i), bulges[i]);
  p->SetClosed(closed);
  return p;
}

Ref<host::PointEntity> AddPoint(const Ref<host::Document>& doc, const std::string& layer,
                                const Point3& at) {
  doc->Layers()->Add(layer);
  Ref<host::PointEntity> p = doc->ModelSpace()->AddPoint(at);
  p->SetLayer(layer);
  return p;
}

void TagReach(host::Object& object, const std::string& reach_no, bool current,
              const std::string& photos) {
  object.SetXData(
      {1001, 1000, 1071, 1070, 1000},
      {host::Variant("TEV"), host::Variant("REACH"), host::Variant(reach_no),
       host::Variant(int16_t{current ? int16_t{-1} : int16_t{0}}), host::Variant(photos)});
}

void TagSection(host::Object& object, const std::string& section_no, double chainage,
                double bearing, const std::string& title, const std::string& name, size_t items) {
  std::vector<int16_t> codes{1001, 1000, 1000, 1000, 1040, 1040, 1000, 1000, 1000, 1070};
  std::vector<host::Variant> values{host::Variant("TEV"),        host::Variant("SECTION"),
                                    host::Variant(section_no),   host::Variant("1"),
                                    host::Variant(chainage),     host::Variant(bearing),
                                    host::Variant(title),        host::Variant(name),
                                    host::Variant("2012-06-30"), host::Variant(int16_t{0})};
  codes.resize(items);
  values.resize(items);
  object.SetXData(codes, values);
}

void SetTagItem(host::Object& object, size_t item, const host::Variant& value, int16_t code) {
  const host::XData tag = object.GetXData("TEV");
  std::vector<int16_t> codes = tag.codes;
  std::vector<host::Variant> values = tag.values;
  ASSERT_LT(item, values.size());
  codes[item] = code;
  values[item] = value;
  object.SetXData(codes, values);
}

Section AddSection(const Ref<host::Document>& doc, const std::string& section_no,
                   const std::vector<double>& coords, double chainage, double bearing,
                   const std::string& title, const std::string& name) {
  Section s;
  s.profile = AddPolyline(doc, section_no + "_Profile", coords);
  TagSection(*s.profile, section_no, chainage, bearing, title, name);
  s.center = AddPoint(doc, section_no + "_SectionCenter", {coords[0], coords[1], 0});
  TagSection(*s.center, section_no, chainage, bearing, title, name);
  doc->Layers()->Add(section_no + "_SectionLine");
  return s;
}

}  // namespace palvane::testing
