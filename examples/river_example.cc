// A small surveyed river built in memory, then every operation run on it: the
// point along the reach, the view along one section, and both keyplan
// exports. Messages go to standard error; a summary goes to standard output.

#include <cstdio>
#include <string>

#include "automation/centerline_class.h"
#include "host/convert.h"
#include "host/memory/memory_host.h"

using palvane::host::Ref;
using palvane::host::Variant;

namespace {

Ref<palvane::host::LWPolyline> Polyline(const Ref<palvane::host::Document>& doc,
                                        const std::string& layer,
                                        const std::vector<double>& coords) {
  doc->Layers()->Add(layer);
  auto line = doc->ModelSpace()->AddLightWeightPolyline(coords);
  line->SetLayer(layer);
  return line;
}

void Tag(palvane::host::Object& object, const std::string& number, double chainage,
         const std::string& name) {
  object.SetXData({1001, 1000, 1000, 1000, 1040, 1040, 1000, 1000, 1000, 1070},
                  {Variant("TEV"), Variant("SECTION"), Variant(number), Variant("1"),
                   Variant(chainage), Variant(90.0), Variant("Surveyed " + name), Variant(name),
                   Variant(palvane::host::MakeDate(2012, 6, 30)), Variant(int16_t{0})});
}

}  // namespace

int main() {
  auto app = palvane::host::memory::CreateApplication();
  const Ref<palvane::host::Document> doc = app->Documents()->Add();

  // The reach: a centre line with an arc, tagged current.
  auto centre = Polyline(doc, "CentreLine", {0, 0, 400, 0, 600, 200, 1000, 200});
  centre->SetBulge(1, 0.4);
  centre->SetXData({1001, 1000, 1071, 1070, 1000}, {Variant("TEV"), Variant("REACH"), Variant("1"),
                                                    Variant(int16_t{-1}), Variant("")});
  // Five sections across it.
  for (int i = 1; i <= 5; ++i) {
    const std::string n = std::to_string(i);
    const double x = 150.0 * i;
    auto profile = Polyline(doc, n + "_Profile", {x, -40, x, 40});
    Tag(*profile, n, x, "XS" + n);
    doc->Layers()->Add(n + "_SectionCenter");
    auto point = doc->ModelSpace()->AddPoint({x, 0, 0});
    point->SetLayer(n + "_SectionCenter");
    Tag(*point, n, x, "XS" + n);
    doc->Layers()->Add(n + "_SectionLine");
  }
  doc->Layers()->Add("Temp");

  palvane::host::StderrMessageSink sink;
  palvane::automation::CenterlineClass centerline(sink);

  double length = 500, bearing = 0;
  const Variant point = centerline.LWPolyPntAlong(doc, centre, length, bearing);
  if (point.IsArray()) {
    const auto& p = point.AsArrayUnchecked();
    std::printf("point at %g along the reach: %s %s, bearing %s rad\n", length,
                palvane::host::DoubleToText(p[0].AsDoubleUnchecked()).c_str(),
                palvane::host::DoubleToText(p[1].AsDoubleUnchecked()).c_str(),
                palvane::host::DoubleToText(bearing).c_str());
  }

  palvane::keyplan::KeyplanOptions options;
  for (const auto& f : palvane::keyplan::kOptionFields) options.*f.member = "";
  options.SectionNameChkBox = options.ChainageChkBox = options.Mike11ChainageChkBox = "True";
  options.ENChkBox = options.BearingChkBox = options.DescriptionChkBox = "False";
  options.BearingPrecision = options.ChainagePrecision = options.Mike11ChainagePrecision = "1";
  options.SectionLineWidth = "0.5";
  options.TextHeight = "2.5";
  options.LineLayer = "XS_";
  centerline.ExportKeyplan(doc, options);
  centerline.ExportKeyplanAsAttributes(doc, options);
  const auto documents = app->Documents();
  for (int32_t i = 0; i < documents->Count(); ++i) {
    const auto d = documents->Item(i);
    std::printf("%s: %d layers, %d entities in model space\n", d->Name().c_str(),
                d->Layers()->Count(), d->ModelSpace()->Count());
  }

  bool original_data = false;
  auto section = doc->SelectionSets()->Add("Example");
  section->Select(palvane::host::kSelectionSetAll, {8}, {Variant("3_Profile")});
  centerline.ViewSection(doc, section->Item(0).As<palvane::host::LWPolyline>(), original_data);
  std::printf("view along section 3: current layer %s\n", doc->ActiveLayer()->Name().c_str());
  return 0;
}
