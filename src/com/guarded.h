#pragma once

// The last line of defence of a COM method: nothing thrown may unwind through
// IDispatch::Invoke into the CAD program.

// clang-format off
#include <windows.h>
#include <unknwn.h>
// clang-format on

#include <exception>

#include "host/message_sink.h"
#include "trap/error_trap.h"

namespace palvane::com {

// Runs one call's `work` with a reference held on `object` (released on every
// way out), so that the object outlives a call that releases the caller's last
// reference. Whatever `work` throws is shown once through `sink` and ends the
// call.
template <class F>
void Guarded(IUnknown* object, host::MessageSink& sink, F&& work) noexcept {
  struct Hold {
    explicit Hold(IUnknown* o) : held(o) { held->AddRef(); }
    ~Hold() { held->Release(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    IUnknown* held;
  } hold(object);
  try {
    work();
  } catch (...) {
    trap::ShowUnexpected(sink, std::current_exception());
  }
}

}  // namespace palvane::com
