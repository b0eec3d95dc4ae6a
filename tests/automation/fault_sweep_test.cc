// Every host call an operation makes, failed in turn. A clean run of each
// operation records its host calls; then, for each recorded call (operation
// and occurrence), a fresh drawing runs the operation again with exactly that
// call failing. The run must not crash, must show the messages its error
// trap's policy calls for, must go on or end as that policy says, and must
// never build a keyplan object out of another section's values.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "host/convert.h"
#include "support/keyplan_fixture.h"

namespace palvane::testing {
namespace {

using host::memory::MemAttributeDefinition;
using host::memory::MemBlockReference;
using host::memory::MemDocument;
using host::memory::MemLWPolyline;
using host::memory::MemMText;

constexpr int32_t kInjectedNumber = -2147467259;  // E_FAIL
constexpr char kInjected[] = "Injected host failure";
constexpr std::string_view kFailedMark = " (failed)";

// The errors a statement meets when it uses what an earlier, failed
// statement did not produce.
bool IsConsequence(const std::string& message) {
  return message == host::Error::ObjectNotSet().description() ||
         message == host::Error::InvalidProcedureCall().description() ||
         message == host::Error::SubscriptOutOfRange().description() ||
         message == host::Error::KeyNotFound().description();
}

// The keyplan river with what the sweep also needs: a section layer whose
// profile is missing, the section layers ViewSection switches, and no layer
// "Temp", so that its silent creation is part of every run.
struct SweepRiver : KeyplanRiver {
  SweepRiver() {
    river.doc->Layers()->Add("4_SectionLine");  // no profile on 4_Profile
    for (const char* layer : {"1_3d", "1_3d_LPSO", "1_SectionCenter_Old", "2_3d"}) {
      river.doc->Layers()->Add(layer);
    }
    section_line = AddPolyline(river.doc, "1_SectionLine", {100, -50, 100, 50});
  }
  Ref<host::LWPolyline> section_line;
};

// One keyplan object as far as a section decides it: what identifies it,
// its layer, and the texts it shows.
struct KeyplanObject {
  std::string key;
  std::string layer;
  std::vector<std::string> texts;
};

std::string At(const Point3& p) {
  return host::FormatFixed(p[0], 3) + "," + host::FormatFixed(p[1], 3);
}

std::string Vertices(const MemLWPolyline& line) {
  std::string out;
  for (const auto& v : line.fields().vertices) out += At({v.x, v.y, 0}) + " ";
  return out;
}

std::vector<std::string> LabelParts(const std::string& text) {
  std::vector<std::string> parts;
  size_t from = 0;
  while (from <= text.size()) {
    const size_t to = std::min(text.find("\\P", from), text.size());
    if (to > from) parts.push_back(text.substr(from, to - from));
    from = to + 2;
  }
  return parts;
}

// The section-made objects of a keyplan: lines, labels, blocks, their
// contents and references. The centre line is the reach's, not a section's.
std::vector<KeyplanObject> SectionObjects(const MemDocument& keyplan) {
  std::vector<KeyplanObject> out;
  for (const auto* line : EntitiesOf<MemLWPolyline>(*keyplan.model_space())) {
    if (line->has_xdata()) continue;  // the reach's centre line, copied with its tag
    out.push_back({"line " + Vertices(*line), line->layer()->name(), {}});
  }
  for (const auto* text : EntitiesOf<MemMText>(*keyplan.model_space())) {
    out.push_back({"label", text->layer()->name(), LabelParts(text->fields().text)});
  }
  for (const auto& block : keyplan.blocks()) {
    if (block->name().front() == '*') continue;
    const std::string name = "block " + block->name();
    out.push_back({name + " at " + At(block->origin()), "", {}});
    for (const auto* line : EntitiesOf<MemLWPolyline>(*block)) {
      out.push_back({name + " line " + Vertices(*line), line->layer()->name(), {}});
    }
    for (const auto* def : EntitiesOf<MemAttributeDefinition>(*block)) {
      out.push_back({name + " " + def->tag(), def->layer()->name(), {def->fields().value}});
    }
  }
  for (const auto* ref : EntitiesOf<MemBlockReference>(*keyplan.model_space())) {
    KeyplanObject object{"reference " + ref->block_name() + " at " + At(ref->fields().insertion),
                         ref->layer()->name(),
                         {}};
    for (const auto& a : ref->attributes) object.texts.push_back(a->fields().value);
    out.push_back(std::move(object));
  }
  return out;
}

// How many sections a keyplan drew: its section lines, or its block
// references.
size_t SectionsDrawn(const std::vector<KeyplanObject>& objects) {
  return static_cast<size_t>(std::count_if(objects.begin(), objects.end(), [](const auto& o) {
    return o.key.starts_with("line ") || o.key.starts_with("reference ");
  }));
}

// Whether `made` could come from the clean run's object `clean` with some
// steps failed: the same identity, its own layer or the default one, and
// only texts the clean object shows (or none).
bool Explains(const KeyplanObject& clean, const KeyplanObject& made) {
  if (clean.key != made.key) return false;
  if (made.layer != clean.layer && made.layer != "0") return false;
  return std::all_of(made.texts.begin(), made.texts.end(), [&](const std::string& text) {
    return text.empty() ||
           std::find(clean.texts.begin(), clean.texts.end(), text) != clean.texts.end();
  });
}

struct OperationCase {
  const char* name;
  // Runs the operation on a fresh river.
  std::function<void(SweepRiver&)> run;
  bool ends_on_error;  // ViewSection; the exports go on
};

void PrintTo(const OperationCase& c, std::ostream* os) { *os << c.name; }

const OperationCase kVariants[] = {
    {"ViewSection",
     [](SweepRiver& r) { r.centerline.ViewSection(r.river.doc, r.section_line, false); }, true},
    {"ViewSectionOriginalData",
     [](SweepRiver& r) { r.centerline.ViewSection(r.river.doc, r.section_line, true); }, true},
    {"ExportKeyplan", [](SweepRiver& r) { r.centerline.ExportKeyplan(r.river.doc, r.options); },
     false},
    {"ExportKeyplanAsAttributes",
     [](SweepRiver& r) { r.centerline.ExportKeyplanAsAttributes(r.river.doc, r.options); }, false},
};

struct Outcome {
  std::vector<std::string> calls;
  std::vector<std::string> messages;
  std::vector<KeyplanObject> objects;
  bool keyplan_made = false;
  std::set<size_t> failed;  // the calls that failed
};

// Runs `variant` on a fresh river, recording its calls; with `fault`, the
// `occurrence`-th call of that operation fails with `number`.
Outcome RunOnce(const OperationCase& variant, const std::string& fault = "", int occurrence = 0,
                int32_t number = kInjectedNumber) {
  SweepRiver r;
  auto& monitor = r.river.app->monitor();
  if (!fault.empty()) monitor.FailAt(fault, occurrence, number, kInjected);
  monitor.StartRecording();
  variant.run(r);
  monitor.StopRecording();
  Outcome out{monitor.calls(), r.sink.messages(), {}, r.Keyplan() != nullptr, {}};
  // The monitor marks the call it failed; the sweep compares the calls made.
  for (size_t i = 0; i < out.calls.size(); ++i) {
    std::string& call = out.calls[i];
    if (!call.ends_with(kFailedMark)) continue;
    call.resize(call.size() - kFailedMark.size());
    out.failed.insert(i);
  }
  if (const MemDocument* keyplan = r.Keyplan()) out.objects = SectionObjects(*keyplan);
  return out;
}

// The operation and occurrence of each recorded call.
std::vector<std::pair<std::string, int>> Occurrences(const std::vector<std::string>& calls) {
  std::map<std::string, int> seen;
  std::vector<std::pair<std::string, int>> out;
  for (const auto& call : calls) out.emplace_back(call, ++seen[call]);
  return out;
}

std::vector<std::string> Prefix(const std::vector<std::string>& calls, size_t n) {
  return {calls.begin(), calls.begin() + static_cast<ptrdiff_t>(std::min(n, calls.size()))};
}

class FaultSweepTest : public ::testing::TestWithParam<OperationCase> {};

TEST_P(FaultSweepTest, EveryHostCallFailedInTurn) {
  const OperationCase& variant = GetParam();
  const Outcome clean = RunOnce(variant);
  ASSERT_GT(clean.calls.size(), 20u);
  const std::vector<KeyplanObject>& whole = clean.objects;
  // The second pass over the layers draws the sections; when its count
  // fails, the loop is skipped and none is drawn.
  size_t drawing_loop = clean.calls.size();
  std::pair<size_t, size_t> source_lookup{clean.calls.size(), clean.calls.size()};
  if (variant.ends_on_error) {
    EXPECT_TRUE(clean.messages.empty()) << clean.messages.front();
  } else {
    // Sections 1 to 3 drawn, section 4 (no profile) only reported.
    ASSERT_TRUE(clean.keyplan_made);
    EXPECT_EQ(SectionsDrawn(whole), 3u);
    EXPECT_NE(std::find(clean.messages.begin(), clean.messages.end(), "Section 4 Has no profile"),
              clean.messages.end());
    const auto counts = Occurrences(clean.calls);
    for (size_t i = 0; i < counts.size(); ++i) {
      if (counts[i].first == "Layers.Count" && counts[i].second == 2) drawing_loop = i;
    }
    ASSERT_LT(drawing_loop, clean.calls.size());
    // The source drawing is found by its name among the application's
    // documents; every layer is read through it.
    const auto name_at = std::find(clean.calls.begin(), clean.calls.end(), "Document.Name");
    const auto item_at = std::find(name_at, clean.calls.end(), "Documents.Item");
    ASSERT_NE(item_at, clean.calls.end());
    source_lookup = {static_cast<size_t>(name_at - clean.calls.begin()),
                     static_cast<size_t>(item_at - clean.calls.begin())};
  }
  // The keyplan's last statement zooms it; the run reaches it after any
  // fault but one in that statement, in the reach lookup or in making the
  // keyplan itself.
  const std::string last_call = clean.calls.back();

  const auto occurrences = Occurrences(clean.calls);
  std::printf("%s: %zu host calls, each failed in turn\n", variant.name, occurrences.size());
  RecordProperty("host_calls", static_cast<int>(occurrences.size()));
  for (size_t k = 0; k < occurrences.size(); ++k) {
    const auto& [operation, occurrence] = occurrences[k];
    SCOPED_TRACE(::testing::Message() << "call " << k << ": " << operation << " #" << occurrence);
    const Outcome run = RunOnce(variant, operation, occurrence);

    // Everything up to the failing call ran as before.
    ASSERT_EQ(Prefix(run.calls, k + 1), Prefix(clean.calls, k + 1));
    const auto injected = std::count(run.messages.begin(), run.messages.end(), kInjected);
    ASSERT_EQ(injected, 1) << "the failure is shown once";

    if (variant.ends_on_error) {
      // One message and the end: no call after the failing one.
      EXPECT_EQ(run.messages, std::vector<std::string>{kInjected});
      EXPECT_EQ(run.calls.size(), k + 1);
      continue;
    }

    const std::string no_reach = "You need to make a reach current first";
    if (std::find(run.messages.begin(), run.messages.end(), no_reach) != run.messages.end()) {
      // The reach lookup failed: without the current reach there is nothing
      // to export, and the run ends there.
      EXPECT_EQ(run.messages, (std::vector<std::string>{kInjected, no_reach}));
      EXPECT_EQ(run.calls.size(), k + 1);
      EXPECT_FALSE(run.keyplan_made);
      continue;
    }

    // One message and on: the other messages are the clean run's, or the
    // errors of statements that use what the failed one did not make.
    std::multiset<std::string> extra(run.messages.begin(), run.messages.end());
    extra.erase(extra.find(kInjected));
    for (const auto& m : clean.messages) {
      if (auto at = extra.find(m); at != extra.end()) extra.erase(at);
    }
    for (const auto& m : extra) EXPECT_TRUE(IsConsequence(m)) << m;

    if (k + 2 >= clean.calls.size()) {
      // A fault in the last statement (the keyplan's application, then its
      // zoom): nothing comes after it.
      EXPECT_EQ(run.calls.size(), k + 1);
    } else if (run.keyplan_made) {
      EXPECT_EQ(run.calls.back(), last_call) << "the run ended early";
    } else {
      // Without a keyplan drawing its statements fail before they reach the
      // host; the source's sections are still read.
      EXPECT_GT(run.calls.size(), k + 1);
    }

    // A fault costs at most the section it struck: every other one is drawn,
    // unless it struck the loop that draws them or the lookup of the source
    // drawing they are read from.
    const bool loop_lost = k + 1 == drawing_loop || k == drawing_loop;
    const bool source_lost = k >= source_lookup.first && k <= source_lookup.second;
    if (run.keyplan_made && !loop_lost && !source_lost) {
      EXPECT_GE(SectionsDrawn(run.objects) + 1, SectionsDrawn(whole));
    }

    for (const KeyplanObject& made : run.objects) {
      const bool own = std::any_of(whole.begin(), whole.end(),
                                   [&](const KeyplanObject& c) { return Explains(c, made); });
      EXPECT_TRUE(own) << made.key << " on " << made.layer << " shows another section's values";
    }
  }
}

// The one silent case: a lookup by an absent name in ViewSection creates
// the layer "Temp" and goes on, from any call.
TEST(FaultSweepSilentTest, KeyNotFoundAnywhereInViewSectionCreatesTempAndGoesOn) {
  const OperationCase& variant = kVariants[0];
  const Outcome clean = RunOnce(variant);
  // The clean run's lookup of the missing "Temp" failed; the trap's own
  // recovery made the last layer, after fetching the layers.
  const size_t recovery =
      static_cast<size_t>(std::find(clean.calls.rbegin(), clean.calls.rend(), "Layers.Add").base() -
                          clean.calls.begin() - 1);
  ASSERT_LT(recovery, clean.calls.size());
  ASSERT_EQ(clean.calls[recovery - 1], "Document.Layers");
  const auto occurrences = Occurrences(clean.calls);
  for (size_t k = 0; k < occurrences.size(); ++k) {
    const auto& [operation, occurrence] = occurrences[k];
    SCOPED_TRACE(::testing::Message() << "call " << k << ": " << operation << " #" << occurrence);
    const Outcome run = RunOnce(variant, operation, occurrence, host::Error::kKeyNotFound);
    if (k + 1 == recovery || k == recovery) {
      // A call of the trap's own recovery, after the clean run's lookup of
      // the missing "Temp": its failure is shown, and ends the operation.
      EXPECT_EQ(run.messages, std::vector<std::string>{kInjected});
      EXPECT_EQ(run.calls.size(), k + 1);
      continue;
    }
    ASSERT_EQ(Prefix(run.calls, k + 1), Prefix(clean.calls, k + 1));
    EXPECT_EQ(std::count(run.messages.begin(), run.messages.end(), kInjected), 0);
    ASSERT_GE(run.calls.size(), k + 3);
    EXPECT_EQ(run.calls[k + 1], "Document.Layers");
    EXPECT_EQ(run.calls[k + 2], "Layers.Add");
  }
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultSweepTest, ::testing::ValuesIn(kVariants),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace palvane::testing
