// palvane keyplan: the current reach's keyplan exported to a new drawing,
// with labelled section lines or attribute blocks, and a picture of it.

#include "commands/keyplan.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>

#include "automation/centerline_class.h"
#include "command.h"
#include "drawing_files.h"
#include "failure.h"
#include "host/check.h"
#include "host/error.h"
#include "model/layer_names.h"
#include "operation_host.h"
#include "outputs.h"
#include "picture/plan.h"
#include "pictures.h"

namespace palvane::tools {

std::string keyplan::KeyplanOptions::*OptionMember(std::string_view name) {
  for (const auto& f : keyplan::kOptionFields) {
    if (name == f.name) return f.member;
  }
  return nullptr;
}

keyplan::KeyplanOptions BuildOptions(const KeyplanArgs& a) {
  keyplan::KeyplanOptions o = a.values;
  std::set<std::string> on;
  for (std::string_view rest = a.fields; !rest.empty();) {
    const size_t comma = std::min(rest.find(','), rest.size());
    const std::string word(rest.substr(0, comma));
    rest.remove_prefix(std::min(comma + 1, rest.size()));
    if (word.empty()) continue;
    std::string known;
    bool found = false;
    for (const LabelField& field : kLabelFields) {
      known += std::string(known.empty() ? "" : ", ") + field.word;
      found = found || word == field.word;
    }
    if (!found) throw Failure{2, "unknown field \"" + word + "\" in --fields (" + known + ")"};
    on.insert(word);
  }
  for (const LabelField& field : kLabelFields) {
    o.*OptionMember(std::string(field.option) + "ChkBox") = on.count(field.word) ? "True" : "False";
  }
  // --option sets one string by its own name and wins over the flags above.
  for (const std::string& option : a.options) {
    const size_t eq = option.find('=');
    const std::string name = option.substr(0, eq);
    bool known = false;
    for (const auto& f : keyplan::kOptionFields) {
      if (name == f.name) {
        if (eq == std::string::npos) throw Failure{2, "--option " + name + " needs =VALUE"};
        o.*f.member = option.substr(eq + 1);
        known = true;
      }
    }
    if (!known) throw Failure{2, "unknown option string \"" + name + "\" in --option"};
  }
  // Values set through --option go to the export as given.
  for (const auto& f : keyplan::kOptionFields) {
    if (!SetByOption(a, f.name)) CheckOptionValue(f.name, o.*f.member);
  }
  return o;
}

bool SetByOption(const KeyplanArgs& a, std::string_view name) {
  return std::any_of(a.options.begin(), a.options.end(), [&](const std::string& option) {
    return std::string_view(option).substr(0, option.find('=')) == name;
  });
}

namespace {

// The flag that sets an option string, for messages: " (--text-height)".
std::string FlagOf(std::string_view name) {
  for (const MeasureFlag& measure : kMeasureFlags) {
    if (name == measure.option) return std::string(" (") + measure.flag + ")";
  }
  for (const LabelField& field : kLabelFields) {
    if (name == std::string(field.option) + "Precision") {
      return std::string(" (--") + field.word + "-precision)";
    }
  }
  return "";
}

}  // namespace

void CheckOptionValue(std::string_view name, const std::string& value) {
  std::string rule;
  bool usable = true;
  try {
    // The ...ChkBox flags come from --fields, always True or False.
    if (name.ends_with("Precision")) {
      rule = "a whole number of decimals, 0 or more";
      keyplan::ReadPrecision(value);
    } else if (name == "TextHeight") {
      rule = "a height above 0";
      const double height = keyplan::ReadMeasure(value);
      usable = height > 0 && std::isfinite(height);
    } else if (name == "SectionLineWidth") {
      rule = "a width of 0 or more";
      const double width = keyplan::ReadMeasure(value);
      usable = width >= 0 && std::isfinite(width);
    }
  } catch (const host::Error&) {
    usable = false;
  }
  if (!usable) {
    throw Failure{
        2, std::string(name) + FlagOf(name) + " must be " + rule + ", not \"" + value + "\""};
  }
}

// ------------------------------------------------------------------ the command

namespace {

// Adds one flag for every option string but the ...ChkBox flags.
void AddKeyplanFlags(CLI::App& command, KeyplanArgs& k, std::vector<CLI::Option*>& label_only) {
  for (const auto& f : keyplan::kOptionFields) {
    const std::string_view name = f.name;
    std::string flag, help;
    bool from_fields = false;
    for (const LabelField& field : kLabelFields) {
      if (!name.starts_with(field.option)) continue;
      const std::string_view part = name.substr(field.option.size());
      const std::string what = field.what;
      if (part == "Prefix") {
        flag = std::string("--") + field.word + "-prefix";
        help = "Text before " + what;
      } else if (part == "Suffix") {
        flag = std::string("--") + field.word + "-suffix";
        help = "Text after " + what;
      } else if (part == "Precision") {
        flag = std::string("--") + field.word + "-precision";
        help = "Decimals of " + what;
      } else if (part == "ChkBox") {
        from_fields = true;
      }
    }
    for (const MeasureFlag& measure : kMeasureFlags) {
      if (name == measure.option) {
        flag = measure.flag;
        help = measure.help;
      }
    }
    if (from_fields) continue;
    // Every option string has a flag: a new one needs its row above.
    PALVANE_CHECK(!flag.empty());
    std::string& value = k.values.*f.member;
    auto* option = command.add_option(flag, value, help);
    if (!value.empty()) option->capture_default_str();
    // The attribute export reads no affix and no bearing precision.
    if (name.ends_with("Prefix") || name.ends_with("Suffix") || name == "BearingPrecision") {
      label_only.push_back(option);
    }
  }
}

// Refuses, before any work, what the export could not use.
keyplan::KeyplanOptions CheckedOptions(const KeyplanArgs& a) {
  if (a.attributes && !a.label_flags_given.empty()) {
    std::string flags;
    for (const std::string& f : a.label_flags_given) flags += (flags.empty() ? "" : ", ") + f;
    throw Failure{2, "--attributes writes every field in its attribute block and reads no " +
                         flags + ": leave " + (a.label_flags_given.size() == 1 ? "it" : "them") +
                         " out, or drop --attributes"};
  }
  CheckDrawingPath(a.out);
  if (SameFile(a.drawing, a.out)) {
    throw Failure{2, "the keyplan would overwrite the source drawing; choose another -o"};
  }
  CheckPictureArgs(a.picture, {{a.drawing, "the source drawing"}, {a.out, "the keyplan"}},
                   a.overwrite);
  keyplan::KeyplanOptions options = BuildOptions(a);
  // The flags' measures are given in the invariant form; the export reads
  // them as the program's user types them, in the locale's form.
  for (const auto& f : keyplan::kOptionFields) {
    const std::string_view name = f.name;
    if ((name != "TextHeight" && name != "SectionLineWidth") || SetByOption(a, name)) continue;
    std::string& value = options.*f.member;
    value = OperationConversions().DoubleToText(host::InvariantConversions().TextToDouble(value));
  }
  // The prefix starts every section line's layer name: one the drawing
  // refuses is refused here once, not for every section.
  try {
    if (!SetByOption(a, "LineLayer")) keyplan::CheckLineLayerPrefix(options.LineLayer);
  } catch (const host::Error& e) {
    throw Failure{2, "LineLayer (--line-layer) \"" + options.LineLayer +
                         "\" makes layer names the drawing refuses: " + e.description()};
  }
  CheckReplaceable(a.out, a.overwrite);
  return options;
}

int Run(const KeyplanArgs& a) {
  const keyplan::KeyplanOptions options = CheckedOptions(a);
  OpenedDrawing drawing(a.drawing);
  Progress& progress = drawing.progress();
  const model::LengthUnit unit = model::UnitsOf(*drawing.document()).unit;
  // Progress counts the sections, which the export draws in its second pass.
  int32_t sections = 0, drawn = 0;
  {
    const auto layers = drawing.document()->Layers();
    const int32_t count = layers->Count();
    for (int32_t i = 0; i < count; ++i) {
      sections += model::SectionNumberOf(layers->Item(i)->Name()) ? 1 : 0;
    }
  }
  SectionMessageSink sink;
  automation::CenterlineClass centerline(sink, OperationConversions());
  centerline.SetSectionWatch([&](const std::string& layer, int pass) {
    sink.Watch(layer);
    if (pass == 2) progress.Count(++drawn, sections);
  });
  progress.Phase(a.attributes ? "exporting the attribute keyplan" : "exporting the keyplan");
  std::string keyplan_name, reach;  // reach: the one the title block names
  bool restored = false;
  {
    // The adapter's objects (and through them the drawings) are let go
    // before the drawings are saved or closed.
    keyplan::KeyplanMade made;
    if (a.attributes) {
      centerline.ExportKeyplanAsAttributes(drawing.Seen(), options, &made);
    } else {
      centerline.ExportKeyplan(drawing.Seen(), options, &made);
    }
    if (!made.drawing) {
      Say("no keyplan was made");
      return 1;
    }
    keyplan_name = made.drawing->Name();
    restored = made.tags_restored;
    reach = made.reach;
  }
  if (const size_t troubled = sink.sections_with_problems(); troubled > 0) {
    Say(std::to_string(troubled) + " of " + std::to_string(sections) +
        " sections had problems; palvane check " + a.drawing + " lists them with their causes");
  }
  const host::Ref<host::Document> keyplan = drawing.application().Documents()->Item(keyplan_name);
  const bool save_source = restored && a.update_source;
  // The source is not saved: let it go before the keyplan's file is made,
  // so that the two drawings and the keyplan's bytes are never held at once.
  if (!save_source) drawing.Close();
  Outputs outputs(progress);
  outputs.AddDrawing(*keyplan, a.out, a.overwrite);
  if (a.picture.any()) {
    progress.Phase("drawing the keyplan");
    AddPictures(outputs, picture::PlanOfKeyplan(*keyplan, options.LineLayer), a.picture,
                a.attributes ? "Keyplan (attributes)" : "Keyplan", a.drawing, reach, unit,
                a.overwrite);
  }
  if (save_source) outputs.AddDrawing(*drawing.document(), a.drawing, true);
  outputs.Commit();
  if (restored) {
    if (a.update_source) {
      Say("restored section tags were saved into " + a.drawing);
    } else {
      Say("section tags were restored from centre points but not saved; "
          "use --update-source to save them into " +
          a.drawing);
    }
  }
  return 0;
}

}  // namespace

Command AddKeyplan(CLI::App& cli) {
  auto k = std::make_shared<KeyplanArgs>();
  CLI::App* app =
      cli.add_subcommand("keyplan", "Export the current reach's keyplan to a new drawing");
  app->add_option("DRAWING", k->drawing, "The source drawing (DXF)")->required();
  app->add_option("-o", k->out, "The keyplan drawing to write")->required();
  app->add_flag("--attributes", k->attributes, "One attribute block per section instead of labels");
  AddPictureOptions(*app, k->picture, "the keyplan");
  app->add_flag("--overwrite", k->overwrite, "Replace OUT and the pictures if they exist");
  app->add_flag("--update-source", k->update_source,
                "Save section tags restored from centre points into DRAWING");
  app->add_option("--option", k->options,
                  "NAME=VALUE: set one of the 24 option strings by its own name "
                  "(wins over the flags below)");
  auto label_only = std::make_shared<std::vector<CLI::Option*>>();
  label_only->push_back(
      app->add_option("--fields", k->fields,
                      "Label fields that are on: name,en,bearing,chainage,mike11,description")
          ->capture_default_str());
  AddKeyplanFlags(*app, *k, *label_only);
  app->callback([k, label_only] {
    for (const CLI::Option* option : *label_only) {
      if (option->count() > 0) k->label_flags_given.push_back(option->get_name());
    }
  });
  return {app, [k] { return Run(*k); }};
}

}  // namespace palvane::tools
