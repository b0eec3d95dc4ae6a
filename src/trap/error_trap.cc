#include "trap/error_trap.h"

#include <new>
#include <string>

namespace palvane::trap {

void ErrorTrap::Handle(const host::Error& e) {
  AfterError after;
  try {
    after = policy_(e);
  } catch (const host::Error& inner) {
    // The trap's own recovery failed: report that and end.
    sink_.Show(inner.description());
    throw OperationEnded{};
  }
  switch (after) {
    case AfterError::kShowAndEnd:
      sink_.Show(e.description());
      throw OperationEnded{};
    case AfterError::kShowAndGoOn:
      sink_.Show(e.description());
      return;
    case AfterError::kGoOnSilently:
      return;
  }
}

void ShowUnexpected(host::MessageSink& sink, const std::exception_ptr& failure) noexcept {
  // The texts of the automation runtime's "Out of memory" (7) and
  // "Internal error" (51), the latter with what the library knows of it.
  try {
    try {
      std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
      sink.Show("Out of memory");
    } catch (const host::Error& e) {
      sink.Show(e.description());
    } catch (const std::exception& e) {
      sink.Show(std::string("Internal error: ") + e.what());
    } catch (...) {
      sink.Show("Internal error");
    }
  } catch (...) {
    // The sink itself failed (no memory left even for the message): nothing
    // more can be shown, and nothing may leave the operation.
  }
}

}  // namespace palvane::trap
