// The entity kinds that hold text: multi-line and single-line text,
// attribute definitions and attributes.

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include "geometry/vec.h"
#include "host/memory/entities.h"
#include "host/text.h"

namespace palvane::host::memory {

namespace g = palvane::geometry;

namespace {

// Text extents by a plain model of the default font: each character 0.6 of
// the height wide, lines 5/3 of the height apart.
constexpr double kCharWidth = 0.6;
constexpr double kLinePitch = 5.0 / 3.0;

// Visible characters per line of multi-line text, its formatting codes left out.
struct MTextLines {
  size_t count = 1;    // lines, one more than the paragraph breaks
  size_t longest = 0;  // characters shown on the longest line
};
MTextLines MeasureMTextLines(const std::string& text) {
  MTextLines lines;
  size_t current = 0;
  ForEachMTextPiece(
      text,
      [&](std::string_view piece) {
        for (const unsigned char c : piece) current += (c & 0xC0) != 0x80;  // code points
      },
      [&] {
        lines.longest = std::max(lines.longest, current);
        current = 0;
        ++lines.count;
      });
  lines.longest = std::max(lines.longest, current);
  return lines;
}

// The box of a single line of text from `at` along its baseline.
bool TextExtents(const std::string& value, const Point3& at, double height, Point3& min,
                 Point3& max) {
  size_t chars = 0;
  for (unsigned char c : value) chars += (c & 0xC0) != 0x80;
  min = at;
  max = {at[0] + static_cast<double>(chars) * kCharWidth * height, at[1] + height, at[2]};
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Multi-line text

std::string MemMText::TextString() {
  Enter("TextString");
  return fields().text;
}
Point3 MemMText::InsertionPoint() {
  Enter("InsertionPoint");
  return fields().insertion;
}
double MemMText::Width() {
  Enter("Width");
  return fields().width;
}
double MemMText::Height() {
  Enter("Height");
  return fields().height;
}
void MemMText::SetHeight(double h) {
  Enter("SetHeight");
  if (!(h > 0)) throw Error::InvalidInput("the text height must be positive");
  fields().height = h;
  dirty_ = true;
}
void MemMText::Translate(const Point3& d) { fields().insertion = g::Add(fields().insertion, d); }

bool MemMText::Extents(Point3& min, Point3& max) const {
  // Attached at its top left corner. An empty text has a box of no size at
  // its insertion point.
  const MTextLines lines = MeasureMTextLines(fields().text);
  if (lines.longest == 0 && lines.count == 1) {
    min = max = fields().insertion;
    return true;
  }
  const double w = static_cast<double>(lines.longest) * kCharWidth * fields().height;
  const double h =
      fields().height + static_cast<double>(lines.count - 1) * kLinePitch * fields().height;
  min = {fields().insertion[0], fields().insertion[1] - h, fields().insertion[2]};
  max = {fields().insertion[0] + w, fields().insertion[1], fields().insertion[2]};
  return true;
}

EntityCore* MemMText::CloneInto(MemDocument* target) const {
  auto* copy = target->NewEntity<MemMText>(target->NextHandle());
  CopyCoreInto(*copy, target);
  copy->fields().insertion = fields().insertion;
  copy->fields().width = fields().width;
  copy->fields().height = fields().height;
  copy->fields().text = fields().text;
  return copy;
}

// ---------------------------------------------------------------------------
// Single-line text

std::string MemText::TextString() {
  Enter("TextString");
  return fields().text;
}
namespace {

// Text read from a file may lie in a plane of its own: its points are in
// that plane's coordinate system, and the program gives them in the world's.
// A normal of no length (or not finite) is taken as the plan's.
bool InPlan(const TextFields& f) {
  const double length = g::Norm(f.normal);
  return f.normal == Point3{0, 0, 1} || !(length > 0) || !std::isfinite(length);
}
Point3 ToWorld(const TextFields& f, const Point3& p) {
  return InPlan(f) ? p : g::OcsToWorld(p, f.normal);
}

}  // namespace

Point3 MemText::InsertionPoint() {
  Enter("InsertionPoint");
  return ToWorld(fields(), fields().insertion);
}
namespace {

// The program's alignment number of a text's two file numbers: the
// baseline alignments are its first six; the others run top, middle,
// bottom, each left, centre and right.
int32_t AlignmentOf(const TextFields& f) {
  const int32_t h = f.horizontal, v = f.vertical;
  if (v <= 0 || v > 3 || h > 2 || h < 0) return h >= 0 && h <= 5 ? h : 0;
  return 6 + (3 - v) * 3 + h;
}

}  // namespace

Point3 MemText::TextAlignmentPoint() {
  Enter("TextAlignmentPoint");
  // Left-aligned text has none.
  return AlignmentOf(fields()) == 0 ? Point3{0, 0, 0} : ToWorld(fields(), fields().alignment_point);
}
int32_t MemText::Alignment() {
  Enter("Alignment");
  return AlignmentOf(fields());
}
double MemText::Height() {
  Enter("Height");
  return fields().height;
}
void MemText::Translate(const Point3& world) {
  const Point3 d = InPlan(fields()) ? world : g::WorldToOcs(world, fields().normal);
  fields().insertion = g::Add(fields().insertion, d);
  // Left-aligned text has no alignment point to move.
  if (AlignmentOf(fields()) != 0) fields().alignment_point = g::Add(fields().alignment_point, d);
}

bool MemText::Extents(Point3& min, Point3& max) const {
  // From the insertion point, not turned: an approximation, as for
  // multi-line text.
  return TextExtents(fields().text, ToWorld(fields(), fields().insertion), fields().height, min,
                     max);
}

EntityCore* MemText::CloneInto(MemDocument* target) const {
  auto* copy = target->NewEntity<MemText>(target->NextHandle());
  CopyCoreInto(*copy, target);
  copy->fields() = fields();
  return copy;
}

// ---------------------------------------------------------------------------
// Attribute definitions and attributes

std::string MemAttributeDefinition::TagString() {
  Enter("TagString");
  return tag();
}
std::string MemAttributeDefinition::PromptString() {
  Enter("PromptString");
  return prompt();
}
std::string MemAttributeDefinition::TextString() {
  Enter("TextString");
  return fields().value;
}
Point3 MemAttributeDefinition::InsertionPoint() {
  Enter("InsertionPoint");
  return fields().insertion;
}
double MemAttributeDefinition::Height() {
  Enter("Height");
  return fields().height;
}
int32_t MemAttributeDefinition::Mode() {
  Enter("Mode");
  return fields().mode;
}
void MemAttributeDefinition::Translate(const Point3& d) {
  fields().insertion = g::Add(fields().insertion, d);
}
void MemAttributeDefinition::set_tag(std::string_view tag) {
  Load();
  tag_ = doc_->ShareText(tag);
}
void MemAttributeDefinition::set_prompt(std::string_view prompt) {
  Load();
  prompt_ = doc_->ShareText(prompt);
}
bool MemAttributeDefinition::Extents(Point3& min, Point3& max) const {
  return TextExtents(tag(), fields().insertion, fields().height, min, max);
}
EntityCore* MemAttributeDefinition::CloneInto(MemDocument* target) const {
  auto* copy = target->NewEntity<MemAttributeDefinition>(target->NextHandle());
  CopyCoreInto(*copy, target);
  copy->set_tag(tag());
  copy->set_prompt(prompt());
  copy->fields().value = fields().value;
  copy->fields().insertion = fields().insertion;
  copy->fields().height = fields().height;
  copy->fields().mode = fields().mode;
  return copy;
}

std::string MemAttribute::TagString() {
  Enter("TagString");
  return tag();
}
std::string MemAttribute::TextString() {
  Enter("TextString");
  return fields().value;
}
Point3 MemAttribute::InsertionPoint() {
  Enter("InsertionPoint");
  return fields().insertion;
}
double MemAttribute::Height() {
  Enter("Height");
  return fields().height;
}
void MemAttribute::Translate(const Point3& d) {
  fields().insertion = g::Add(fields().insertion, d);
}
void MemAttribute::set_tag(std::string_view tag) {
  Load();
  tag_ = doc_->ShareText(tag);
}
bool MemAttribute::Extents(Point3& min, Point3& max) const {
  return TextExtents(fields().value, fields().insertion, fields().height, min, max);
}
EntityCore* MemAttribute::CloneInto(MemDocument* target) const {
  auto* copy = target->NewEntity<MemAttribute>(target->NextHandle());
  CopyCoreInto(*copy, target);
  copy->set_tag(tag());
  copy->fields().value = fields().value;
  copy->fields().insertion = fields().insertion;
  copy->fields().height = fields().height;
  return copy;
}

}  // namespace palvane::host::memory
