#include "view/section_view.h"

#include "model/layer_names.h"
#include "trap/error_trap.h"

namespace palvane::view {

using host::Point3;
using host::Ref;
using trap::AfterError;
using trap::ErrorTrap;

namespace {

double At(const std::vector<double>& values, int64_t index) {
  if (index < 0 || static_cast<size_t>(index) >= values.size()) {
    throw host::Error::SubscriptOutOfRange();
  }
  return values[static_cast<size_t>(index)];
}

bool BeginsWith(const std::string& name, const std::string& prefix) {
  return name.compare(0, prefix.size(), prefix) == 0;
}

bool Contains(const std::string& name, const std::string& part) {
  return name.find(part) != std::string::npos;
}

// Makes the section line's layer current and freezes or thaws every layer so
// that only the section's own layers show. Each layer gets its Freeze setting
// from every rule that applies, the last one deciding; the current layer is
// never touched. `original_data` leaves the section's 3d layers and its
// section-line layer thawed.
void SetSectionLayers(ErrorTrap& step, const Ref<host::Document>& drawing,
                      const Ref<host::LWPolyline>& section_line, bool original_data) {
  std::string line_layer, prefix;
  step.Do([&] {
    line_layer = section_line->Layer();
    prefix = SectionPrefix(line_layer);
  });

  // Every layer whose name begins with the section line's layer name becomes
  // current in turn; the last one in table order stays current.
  Ref<host::Layers> layers;
  step.Do([&] { layers = drawing->Layers(); });
  step.ForEach([&] { return layers->Count(); },
               [&](int32_t i) {
                 Ref<host::Layer> layer = layers->Item(i);
                 const std::string name = layer->Name();
                 if (BeginsWith(name, line_layer) && drawing->ActiveLayer()->Name() != name) {
                   layer->SetFreeze(false);
                   drawing->SetActiveLayer(layer);
                 }
               });

  using model::AfterUnderscore;
  const std::string center = prefix + std::string(AfterUnderscore(model::kSectionCenterLayer));
  const std::string survey = prefix + std::string(AfterUnderscore(model::kSurveyLayer));
  const std::string lpso = prefix + std::string(AfterUnderscore(model::kSurveyLpsoLayer));
  const std::string linv = prefix + std::string(AfterUnderscore(model::kSurveyLinvLayer));
  const std::string line_layers = prefix + std::string(AfterUnderscore(model::kSectionLineLayer));
  step.ForEach([&] { return layers->Count(); },
               [&](int32_t i) {
                 Ref<host::Layer> layer = layers->Item(i);
                 const std::string name = layer->Name();
                 if (drawing->ActiveLayer()->Name() == name) return;
                 layer->SetFreeze(!BeginsWith(name, prefix));
                 if (Contains(name, center)) layer->SetFreeze(true);
                 if (original_data) return;
                 if (Contains(name, survey)) layer->SetFreeze(true);
                 if (Contains(name, lpso) || Contains(name, linv)) layer->SetFreeze(false);
                 if (Contains(name, line_layers)) layer->SetFreeze(true);
               });

  // The working layer "Temp" always ends thawed; when it is missing, the
  // trap creates it.
  step.Do([&] { drawing->Layers()->Item("Temp")->SetFreeze(false); });
}

}  // namespace

std::string SectionPrefix(const std::string& layer_name) {
  const size_t underscore = layer_name.find('_');
  return underscore == std::string::npos ? "" : layer_name.substr(0, underscore + 1);
}

void ViewSection(host::MessageSink& sink, const Ref<host::Document>& drawing,
                 const Ref<host::LWPolyline>& section_line, bool original_data) {
  ErrorTrap step(sink, [&](const host::Error& e) {
    if (e.number() != host::Error::kKeyNotFound) return AfterError::kShowAndEnd;
    drawing->Layers()->Add("Temp");
    return AfterError::kGoOnSilently;
  });
  trap::RunOperation(sink, [&] {
    std::vector<double> coordinates;
    double elevation = 0;
    Point3 normal{0, 0, 1}, first_world{}, last_world{}, x_point{}, y_point{};
    double angle = 0;
    Ref<host::UCS> ucs;

    step.Do([&] {
      coordinates = section_line->Coordinates();
      const Point3 first{At(coordinates, 0), At(coordinates, 1), section_line->Elevation()};
      elevation = first[2];
      normal = section_line->Normal();
      first_world = drawing->Utility()->TranslateCoordinates(first, host::kObjectCs, host::kWorld,
                                                             false, normal);
      first_world[2] = 0;
    });
    step.Do([&] {
      const int64_t n = static_cast<int64_t>(coordinates.size()) - 1;  // last index
      const Point3 last{At(coordinates, n - 1), At(coordinates, n), elevation};
      last_world = drawing->Utility()->TranslateCoordinates(last, host::kObjectCs, host::kWorld,
                                                            false, normal);
      last_world[2] = 0;
    });
    step.Do([&] { angle = drawing->Utility()->AngleFromXAxis(first_world, last_world); });
    step.Do(
        [&] { x_point = drawing->Utility()->PolarPoint(first_world, angle, kAxisPointDistance); });
    y_point = {first_world[0], first_world[1], first_world[2] + kAxisPointDistance};
    step.Do([&] {
      ucs = drawing->UserCoordinateSystems()->Add(first_world, x_point, y_point, "UCS1");
    });
    step.Do([&] {
      Ref<host::Viewport> viewport = drawing->ActiveViewport();
      viewport->SetDirection(section_line->Normal());
      viewport->SetUCSIconOn(true);
      viewport->SetUCSIconAtOrigin(true);
      drawing->SetActiveViewport(viewport);
    });
    SetSectionLayers(step, drawing, section_line, original_data);
    step.Do([&] { drawing->Regen(host::kAllViewports); });
    step.Do([&] { drawing->SetVariable("UCSFOLLOW", host::Variant(true)); });
    step.Do([&] { drawing->SetActiveUCS(ucs); });
    step.Do([&] { drawing->Application()->ZoomExtents(); });
    step.Do([&] { drawing->Application()->ZoomScaled(0.75, host::kZoomScaledRelative); });
  });
}

}  // namespace palvane::view
