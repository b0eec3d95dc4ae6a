#include <string>

#include "host/memory/memory_host.h"

namespace palvane::host::memory {

// ---------------------------------------------------------------------------
// Call monitor

void CallMonitor::EnterSlow(const char* object, const char* member) {
  std::string operation = std::string(object) + "." + member;
  for (Fault& f : faults_) {
    if (f.operation != operation) continue;
    ++f.seen;
    if (f.seen == f.occurrence || (f.every && f.seen > f.occurrence)) {
      if (recording_) calls_.push_back(operation + " (failed)");
      if (f.failure) std::rethrow_exception(f.failure);
      throw Error(f.number, f.description);
    }
  }
  if (recording_) calls_.push_back(std::move(operation));
}

int CallMonitor::CountOf(const std::string& operation) const {
  return static_cast<int>(std::count(calls_.begin(), calls_.end(), operation));
}

void CallMonitor::FailAt(std::string operation, int occurrence, int32_t number,
                         std::string description, bool every) {
  faults_.push_back(
      Fault{std::move(operation), occurrence, number, std::move(description), every, nullptr});
}

void CallMonitor::FailWith(std::string operation, int occurrence, std::exception_ptr failure) {
  faults_.push_back(Fault{std::move(operation), occurrence, 0, "", false, std::move(failure)});
}

}  // namespace palvane::host::memory
