#pragma once

// The in-memory drawing host: a complete implementation of the host
// interface over drawings held in memory. It is the embedded default behind
// the command line (drawings come from and go to files through src/dxf) and
// the test double: it can record every host operation called and make a
// chosen one fail.
//
// Objects handed out stay valid as long as their application lives. What a
// caller needs beyond the host interface, it reads through an Inspector.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "host/memory/fields.h"

namespace palvane::host::memory {

// Records the host operations called and injects failures. An operation is
// named "Interface.Member", such as "Layers.Item" or "LWPolyline.Coordinate".
class CallMonitor {
 public:
  // Logs the call when recording, and raises the planned error when this is
  // the planned occurrence of a planned operation.
  void Enter(const char* object, const char* member) {
    if (recording_ || !faults_.empty()) EnterSlow(object, member);
  }

  void StartRecording() { recording_ = true; }
  void StopRecording() { recording_ = false; }
  const std::vector<std::string>& calls() const { return calls_; }
  void ClearCalls() { calls_.clear(); }
  // How often `operation` was called while recording.
  int CountOf(const std::string& operation) const;

  // The `occurrence`-th call (from 1, counted from now) of `operation` fails
  // with `number` and `description`. With `every` set, every call from that
  // one on fails.
  void FailAt(std::string operation, int occurrence, int32_t number, std::string description,
              bool every = false);
  // The same, raising `failure` instead: an exception that is no automation
  // error, such as std::bad_alloc.
  void FailWith(std::string operation, int occurrence, std::exception_ptr failure);
  void ClearFaults() { faults_.clear(); }

 private:
  void EnterSlow(const char* object, const char* member);
  struct Fault {
    std::string operation;
    int occurrence;
    int32_t number;
    std::string description;
    bool every;
    std::exception_ptr failure;
    int seen = 0;
  };
  bool recording_ = false;
  std::vector<std::string> calls_;
  std::vector<Fault> faults_;
};

class MemDocument;

// Creates a new application with no open drawing. `new_drawing`, when given,
// is applied to every drawing Documents.Add makes (the file layer's template,
// for drawings meant to be saved).
std::shared_ptr<Application> CreateApplication(
    std::function<void(Document&)> new_drawing = nullptr);

// Opens a drawing of this host that was read but not opened yet (as the
// file layer reads one): it joins its application's documents and becomes
// active.
void Open(Document& document);

// Closes a drawing of this host: its application lets it go, and the last
// other open drawing becomes active. References still held keep the drawing
// alive but no longer open.
void Close(Document& document);

// What a test or a tool reads of an in-memory drawing beyond the host
// interface. Made from a document of this host (an invalid call otherwise).
class Inspector {
 public:
  explicit Inspector(Document& document);

  // Every host operation called on the drawing's application, and faults.
  CallMonitor& monitor() const;
  // What the drawing's view shows.
  const ViewState& view() const;
  // The entity of a handle, in any block or among a reference's attributes;
  // empty when the drawing has none.
  Ref<Entity> EntityOfHandle(uint64_t handle) const;
  // Its type in the exchange format ("LWPOLYLINE", "POINT", ...).
  static std::string KindOf(Entity& entity);
  // Model-space entities of one such type, in the order they were made.
  std::vector<Ref<Entity>> EntitiesOfKind(std::string_view kind) const;
  // How often extended data was written into the drawing's objects.
  uint64_t extended_data_writes() const;

 private:
  MemDocument* document_;
};

}  // namespace palvane::host::memory
