#include "keyplan/export.h"

#include <array>
#include <optional>
#include <unordered_set>

#include "geometry/vec.h"
#include "host/convert.h"
#include "keyplan/label.h"
#include "model/layer_names.h"
#include "model/lookup.h"
#include "model/section.h"
#include "trap/error_trap.h"

namespace palvane::keyplan {

using host::Point3;
using host::Ref;
using trap::AfterError;
using trap::ErrorTrap;

namespace {

// A working value a failed step did not produce: using it fails like passing
// an empty argument.
template <class T>
const T& Need(const std::optional<T>& value) {
  if (!value) throw host::Error::InvalidProcedureCall();
  return *value;
}

double At(const std::vector<double>& values, int64_t index) {
  if (index < 0 || static_cast<size_t>(index) >= values.size()) {
    throw host::Error::SubscriptOutOfRange();
  }
  return values[static_cast<size_t>(index)];
}

// The first (or last) vertex of a polyline in world coordinates.
Point3 WorldVertex(const Ref<host::Document>& drawing, const Ref<host::LWPolyline>& line,
                   bool last) {
  const std::vector<double> coordinates = line->Coordinates();
  const int64_t x_index = last ? static_cast<int64_t>(coordinates.size()) - 2 : 0;
  const Point3 ocs{At(coordinates, x_index), At(coordinates, x_index + 1), line->Elevation()};
  return drawing->Utility()->TranslateCoordinates(ocs, host::kObjectCs, host::kWorld, false,
                                                  line->Normal());
}

enum class AttributeValue { kSectionName, kEasting, kNorthing, kTitle, kChainage, kMike11 };
struct AttributeField {
  std::string tag;
  std::string prompt;
  AttributeValue value;
};
// Made once: every section's block passes the same texts.
const std::array<AttributeField, 6>& AttributeFields() {
  static const std::array<AttributeField, 6> kFields{{
      {"XS_ID", "Enter Cross-Section Identifier Code", AttributeValue::kSectionName},
      {"Easting", "Enter Easting", AttributeValue::kEasting},
      {"Northing", "Enter Northing", AttributeValue::kNorthing},
      {"XS_TYPE", "Enter Name of Structure", AttributeValue::kTitle},
      {"ISIS_CHAIN", "Enter ISIS Chainage", AttributeValue::kChainage},
      {"MIKE11_CHAIN", "Enter MIKE 11 Chainage", AttributeValue::kMike11},
  }};
  return kFields;
}

// The last section tag item the exports read: the section name.
constexpr size_t kLastItemUsed = 7;

class Exporter {
 public:
  Exporter(host::MessageSink& sink, const Ref<host::Document>& drawing,
           const KeyplanOptions& options, KeyplanKind kind)
      : sink_(sink),
        step_(sink, [](const host::Error&) { return AfterError::kShowAndGoOn; }),
        drawing_(drawing),
        o_(options),
        kind_(kind) {}

  SectionWatch on_section;

  KeyplanMade made() const {
    return {keyplan_, made_.tags_restored, reach_ ? reach_->ReachNo : std::string()};
  }

  void Run(const std::function<Ref<host::Application>()>& application) {
    bool found = false;
    step_.Do([&] { reach_ = model::GetCurrentReach(sink_, drawing_, found); });
    if (!found) {
      sink_.Show("You need to make a reach current first");
      return;
    }
    std::string name;
    step_.Do([&] { name = drawing_->Name(); });
    step_.Do([&] { source_ = drawing_->Application()->Documents()->Item(name); });
    step_.Do([&] { keyplan_ = application()->Documents()->Add(); });
    for (const auto& layer :
         {std::pair{kCentreLineLayer, 5}, {"SECTION_LINE", 7}, {kSectionLineTextLayer, 7}}) {
      step_.Do([&] { keyplan_->Layers()->Add(layer.first)->SetColor(layer.second); });
    }
    if (kind_ == KeyplanKind::kAttributes) {
      step_.Do([&] { text_height_ = ReadMeasure(o_.TextHeight); });
    }
    step_.Do([&] { source_->Activate(); });
    const std::vector<Ref<host::Entity>> centre_line{Ref<host::Entity>(reach_->Profile)};
    std::vector<Ref<host::Entity>> copies;
    step_.Do([&] { copies = source_->CopyObjects(centre_line, keyplan_->ModelSpace()); });
    step_.Do([&] {
      if (copies.empty()) throw host::Error::SubscriptOutOfRange();
      copies[0]->SetLayer(kCentreLineLayer);
    });

    Ref<host::Layers> layers;
    auto count_layers = [&] {
      layers = source_->Layers();
      return layers->Count();
    };
    step_.ForEach(count_layers, [&](int32_t i) { MakeSectionLayer(layers->Item(i)->Name()); });
    int32_t total = 0;
    step_.ForEach(
        [&] { return total = count_layers(); },
        [&](int32_t i) {
          if (i == 0 && kind_ == KeyplanKind::kAttributes) {
            filled_blocks_.reserve(static_cast<size_t>(total));  // at most a block per layer
          }
          DrawSection(layers->Item(i)->Name());
        });
    if (on_section) on_section("", 0);

    step_.Do([&] { keyplan_->PurgeAll(); });
    step_.Do([&] { keyplan_->Activate(); });
    step_.Do([&] { keyplan_->Application()->ZoomExtents(); });
  }

 private:
  // A section's profile polyline and record, read afresh; false (after the
  // messages) when the record holds none of this section's own values.
  bool ReadSection(const std::string& section_no, Ref<host::LWPolyline>& profile,
                   model::TEVSection& record) {
    step_.Do([&] { profile = model::FindSectionProfile(sink_, drawing_, section_no); });
    bool readable = false;
    step_.Do([&] {
      record.Profile = profile;
      if (record.RetrieveValues(drawing_)) made_.tags_restored = true;
      readable = true;
    });
    // A tag that fails after the items an export uses (the water date, the
    // through flag) still gives this section's own values: it is drawn,
    // after the message.
    return readable || record.LoadedThrough(kLastItemUsed);
  }

  // First pass: one layer in the keyplan per section, named after its chainage.
  void MakeSectionLayer(const std::string& layer_name) {
    const auto section_no = model::SectionNumberOf(layer_name);
    if (!section_no) return;
    if (on_section) on_section(layer_name, 1);
    Ref<host::LWPolyline> profile;
    model::TEVSection record(sink_);
    if (!ReadSection(*section_no, profile, record)) return;
    std::optional<std::string> line_layer;
    step_.Do([&] { line_layer = LayerChainage(o_.LineLayer, record.Chainage); });
    step_.Do([&] { keyplan_->Activate(); });
    step_.Do([&] { keyplan_->Layers()->Add(Need(line_layer))->SetColor(7); });
    step_.Do([&] { source_->Activate(); });
  }

  // Second pass: the section's line and its label or attribute block.
  void DrawSection(const std::string& layer_name) {
    const auto section_no = model::SectionNumberOf(layer_name);
    if (!section_no) return;
    if (on_section) on_section(layer_name, 2);
    Ref<host::LWPolyline> profile;
    model::TEVSection record(sink_);
    const bool readable = ReadSection(*section_no, profile, record);
    std::optional<Point3> start, end;
    step_.Do([&] { start = WorldVertex(drawing_, profile, false); });
    step_.Do([&] { end = WorldVertex(drawing_, profile, true); });
    // Nothing is drawn from values this section could not provide.
    if (!readable || !start || !end) return;
    const std::string line_layer = LayerChainage(o_.LineLayer, record.Chainage);
    if (kind_ == KeyplanKind::kLabels) {
      DrawLabelledLine(record, *start, *end, line_layer);
    } else {
      DrawAttributeBlock(*section_no, record, *start, *end, line_layer);
    }
  }

  void DrawLabelledLine(const model::TEVSection& record, Point3 s, const Point3& e,
                        const std::string& line_layer) {
    Ref<host::LWPolyline> line;
    step_.Do([&] {
      line = keyplan_->ModelSpace()->AddLightWeightPolyline({s[0], s[1], e[0], e[1]});
    });
    step_.Do([&] { line->SetLayer(line_layer); });
    step_.Do([&] {
      const double width = ReadMeasure(o_.SectionLineWidth);
      line->SetWidth(0, width, width);
    });
    step_.Do([&] { source_->Activate(); });

    const LabelValues values{&record, s[0], s[1], [&] { return reach_->Profile->Length(); }};
    const std::string label = ComposeLabel(step_, o_, values);
    s[2] = e[2];

    // The label goes on the line's extension beyond its first vertex, its
    // box centre half the text height plus half the box's plan diagonal away.
    Ref<host::MText> text;
    std::optional<Point3> box_min, box_max, centre, target;
    std::optional<double> radius, angle;
    step_.Do([&] { text = keyplan_->ModelSpace()->AddMText(s, 0, label); });
    step_.Do([&] { text->SetHeight(ReadMeasure(o_.TextHeight)); });
    step_.Do([&] {
      Point3 lo, hi;
      text->GetBoundingBox(lo, hi);
      box_min = lo;
      box_max = hi;
    });
    step_.Do([&] {
      const Point3& lo = Need(box_min);
      const Point3& hi = Need(box_max);
      centre = Point3{lo[0] + (hi[0] - lo[0]) / 2, lo[1] + (hi[1] - lo[1]) / 2, 0};
    });
    step_.Do([&] { radius = geometry::PlanDistance(Need(centre), Need(box_max)); });
    step_.Do([&] { angle = keyplan_->Utility()->AngleFromXAxis(e, s); });
    step_.Do([&] {
      target = keyplan_->Utility()->PolarPoint(s, Need(angle),
                                               ReadMeasure(o_.TextHeight) / 2 + Need(radius));
    });
    step_.Do([&] { text->Move(Need(centre), Need(target)); });
    step_.Do([&] { text->SetLayer(kSectionLineTextLayer); });
  }

  void DrawAttributeBlock(const std::string& section_no, const model::TEVSection& record,
                          const Point3& s, const Point3& e, const std::string& line_layer) {
    Ref<host::Block> block;
    step_.Do([&] { block = keyplan_->Blocks()->Add(s, section_no); });
    // Two source layers can name one section, or two sections whose numbers
    // differ in letter case only one block: its definition is filled once.
    // The program may hand out a new object for the same block on every
    // call, and folds letter case in any script: blocks are told apart by
    // handle.
    std::string key;
    if (block) step_.Do([&] { key = block->Handle(); });
    const bool fill = !key.empty() && filled_blocks_.insert(key).second;
    if (fill) {
      Ref<host::LWPolyline> line;
      step_.Do([&] { line = block->AddLightWeightPolyline({s[0], s[1], e[0], e[1]}); });
      step_.Do([&] { line->SetLayer(line_layer); });
      step_.Do([&] {
        line->SetWidth(0, ReadMeasure(o_.SectionLineWidth), ReadMeasure(o_.SectionLineWidth));
      });
      const double h = text_height_;
      Point3 at{e[0], e[1], 0};
      for (const AttributeField& field : AttributeFields()) {
        at[1] -= h / 3 + h;
        std::string value;
        // The two chainages are composed as steps of their own.
        if (field.value == AttributeValue::kChainage) {
          step_.Do([&] {
            value = o_.ChainagePrefix +
                    NumberText(record.Chainage, ReadPrecision(o_.ChainagePrecision)) +
                    o_.ChainageSuffix;
          });
        } else if (field.value == AttributeValue::kMike11) {
          step_.Do([&] {
            value = o_.Mike11ChainagePrefix +
                    NumberText(reach_->Profile->Length() - record.Chainage,
                               ReadPrecision(o_.Mike11ChainagePrecision)) +
                    o_.Mike11ChainageSuffix;
          });
        }
        Ref<host::AttributeDefinition> definition;
        step_.Do([&] {
          switch (field.value) {
            case AttributeValue::kSectionName:
              value = record.SectionName;
              break;
            case AttributeValue::kEasting:
              value = host::FormatFixed(s[0], 3);
              break;
            case AttributeValue::kNorthing:
              value = host::FormatFixed(s[1], 3);
              break;
            case AttributeValue::kTitle:
              value = record.Title;
              break;
            case AttributeValue::kChainage:
            case AttributeValue::kMike11:
              break;
          }
          definition = block->AddAttribute(h, 0, field.prompt, at, field.tag, value);
        });
        step_.Do([&] { definition->SetLayer(line_layer); });
      }
    }
    Ref<host::BlockReference> reference;
    step_.Do([&] { reference = keyplan_->ModelSpace()->InsertBlock(s, section_no, 1, 1, 1, 0); });
    step_.Do([&] { reference->SetLayer(line_layer); });
    step_.Do([&] { source_->Activate(); });
  }

  host::MessageSink& sink_;
  ErrorTrap step_;
  Ref<host::Document> drawing_;
  const KeyplanOptions& o_;
  KeyplanKind kind_;
  std::optional<model::TEVReach> reach_;
  Ref<host::Document> source_, keyplan_;
  double text_height_ = 0;
  std::unordered_set<std::string> filled_blocks_;
  KeyplanMade made_;
};

}  // namespace

KeyplanMade ExportKeyplan(host::MessageSink& sink,
                          const std::function<Ref<host::Application>()>& application,
                          const Ref<host::Document>& drawing, const KeyplanOptions& options,
                          KeyplanKind kind, const SectionWatch& on_section) {
  Exporter exporter(sink, drawing, options, kind);
  exporter.on_section = on_section;
  trap::RunOperation(sink, [&] { exporter.Run(application); });
  return exporter.made();
}

}  // namespace palvane::keyplan
