#pragma once

// What the drawing fuzz targets share: reading a drawing whole, as the
// operations would, and describing it object by object to compare two
// drawings.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "host/memory/entities.h"
#include "host/memory/memory_host.h"

namespace palvane::fuzzing {

using host::memory::MemDocument;

// Reads everything that is read on first use, and marks every other entity
// changed, so that it is written from its fields.
inline void ReadWhole(MemDocument& doc) {
  bool change = false;
  for (const auto& block : doc.blocks()) {
    for (auto* entity : block->entities()) {
      entity->Load();
      (void)entity->xdata();
      if ((change = !change)) entity->set_dirty(true);
    }
  }
}

class Description {
 public:
  std::string text;

 private:
  std::map<uint64_t, size_t> handles_;

 public:
  // Texts as an ASCII file holds them: a control character as a caret and
  // a letter, which the reader keeps as written.
  void Word(const std::string& s) {
    for (const char c : s) {
      if (static_cast<unsigned char>(c) < 0x20) {
        text += '^';
        text += static_cast<char>(c + 0x40);
      } else {
        text += c;
      }
    }
    text += '|';
  }
  // Numbers by their bits: a drawing read again must give each one back
  // exactly. Every NaN is the same NaN.
  void Number(double d) {
    uint64_t bits = 0;
    if (d == d) std::memcpy(&bits, &d, sizeof bits);
    char buf[24];
    std::snprintf(buf, sizeof buf, "%llx|", static_cast<unsigned long long>(d == d ? bits : 1));
    text += buf;
  }
  void Point(const host::Point3& p) {
    for (double d : p) Number(d);
  }
  void Value(const host::Variant& v) {
    using T = host::Variant::Type;
    Word(std::to_string(static_cast<int>(v.type())));
    switch (v.type()) {
      case T::kDouble:
        Number(v.AsDoubleUnchecked());
        break;
      case T::kArray:
        for (const host::Variant& item : v.AsArrayUnchecked()) Value(item);
        break;
      case T::kString:
        Word(v.AsStringUnchecked());
        break;
      case T::kInteger:
        Word(std::to_string(v.AsIntegerUnchecked()));
        break;
      case T::kLong:
        Word(std::to_string(v.AsLongUnchecked()));
        break;
      case T::kBoolean:
        Word(std::to_string(v.AsBooleanUnchecked()));
        break;
      case T::kDate:
        Number(v.AsDateUnchecked().serial);
        break;
      default:
        break;
    }
  }
  // An object's handle and extended data. Objects the file gave no handle
  // (tables of R12 files, entities missing one) get fresh handles on every
  // read, so handles are compared by pattern: each is numbered in the order
  // first met.
  void Object(const host::memory::ObjectCore& o) {
    const auto [at, fresh] = handles_.emplace(o.handle(), handles_.size());
    Word("#" + std::to_string(at->second));
    for (const auto& item : o.xdata()) {
      Word(std::to_string(item.code));
      Value(item.value);
    }
  }
};

// Every layer, coordinate system, block and entity, with the fields the
// host models.
inline std::string Describe(MemDocument& doc) {
  using namespace host::memory;
  Description d;
  for (const auto& layer : doc.layers()) {
    d.Object(*layer);
    d.Word(layer->name());
    d.Word(std::to_string(layer->frozen()) + std::to_string(layer->on()) +
           std::to_string(layer->color()));
  }
  for (const auto& ucs : doc.ucss()) {
    d.Object(*ucs);
    d.Word(ucs->name());
    d.Point(ucs->origin);
    d.Point(ucs->x_axis);
    d.Point(ucs->y_axis);
  }
  for (const auto& block : doc.blocks()) {
    d.Word("block " + block->name());
    d.Point(block->origin());
    for (auto* e : block->entities()) {
      d.Word(e->TypeName());
      d.Object(*e);
      d.Word(e->layer() != nullptr ? e->layer()->name() : "-");
      d.Word(std::to_string(e->color()));
      if (auto* line = dynamic_cast<MemLWPolyline*>(e)) {
        for (const auto& v : line->fields().vertices) {
          for (double n : {v.x, v.y, v.bulge, v.start_width, v.end_width}) d.Number(n);
        }
        d.Word(std::to_string(line->fields().closed));
        d.Number(line->fields().elevation);
        d.Number(line->fields().constant_width);
        d.Number(line->fields().thickness);
        d.Point(line->fields().normal);
      } else if (auto* point = dynamic_cast<MemPoint*>(e)) {
        d.Point(point->fields().position);
      } else if (auto* text = dynamic_cast<MemMText*>(e)) {
        d.Point(text->fields().insertion);
        d.Number(text->fields().width);
        d.Number(text->fields().height);
        d.Word(text->fields().text);
      } else if (auto* def = dynamic_cast<MemAttributeDefinition*>(e)) {
        d.Word(def->tag());
        d.Word(def->prompt());
        d.Word(def->fields().value);
        d.Point(def->fields().insertion);
        d.Number(def->fields().height);
        d.Word(std::to_string(def->fields().mode));
      } else if (auto* ref = dynamic_cast<MemBlockReference*>(e)) {
        d.Word(ref->block_name());
        d.Point(ref->fields().insertion);
        d.Point(ref->fields().scale);
        d.Number(ref->fields().rotation);
        for (const MemAttribute* a : ref->attributes) {
          d.Object(*a);
          d.Word(a->tag());
          d.Word(a->fields().value);
          d.Point(a->fields().insertion);
          d.Number(a->fields().height);
        }
      }
    }
  }
  return d.text;
}

}  // namespace palvane::fuzzing
