#include "automation/error_trap.h"

namespace palvane::automation {

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

}  // namespace palvane::automation
