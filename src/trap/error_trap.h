#pragma once

// The error traps of the operations. An operation's body runs inside
// RunOperation; its statements run through an ErrorTrap, which decides per
// error whether to show the error's description and end the operation, show
// it and go on with the next statement, or go on silently.

#include <exception>
#include <functional>
#include <utility>

#include "host/error.h"
#include "host/message_sink.h"

namespace palvane::trap {

enum class AfterError { kShowAndEnd, kShowAndGoOn, kGoOnSilently };

// Thrown by a trap to leave the operation; caught only by RunOperation.
struct OperationEnded {};

class ErrorTrap {
 public:
  using Policy = std::function<AfterError(const host::Error&)>;

  ErrorTrap(host::MessageSink& sink, Policy policy) : sink_(sink), policy_(std::move(policy)) {}

  // Runs one statement under the trap.
  template <class F>
  void Do(F&& statement) {
    try {
      std::forward<F>(statement)();
    } catch (const host::Error& e) {
      Handle(e);
    }
  }

  // Runs the test of a conditional. When the test itself fails, execution
  // goes on with the first statement of its true branch: the result is true.
  template <class F>
  bool If(F&& test) {
    try {
      return std::forward<F>(test)();
    } catch (const host::Error& e) {
      Handle(e);
      return true;
    }
  }

  // Runs `body` for each index of a collection of `count()` items. A failing
  // count skips the loop; a failing body goes on with the next item.
  template <class CountF, class BodyF>
  void ForEach(CountF&& count, BodyF&& body) {
    int32_t n = 0;
    try {
      n = count();
    } catch (const host::Error& e) {
      Handle(e);
      return;
    }
    for (int32_t i = 0; i < n; ++i) Do([&] { body(i); });
  }

  // Shows the message or ends the operation, as the policy says for `e`.
  void Handle(const host::Error& e);

  host::MessageSink& sink() { return sink_; }

 private:
  host::MessageSink& sink_;
  Policy policy_;
};

// Shows the one message for a failure that is not an automation error (out
// of memory, a fault of the library's own) and ends the operation.
void ShowUnexpected(host::MessageSink& sink, const std::exception_ptr& failure) noexcept;

// Runs an operation's body; a trap that ends the operation returns here. An
// operation never fails its call: any other exception that reaches this
// frame is shown once through `sink` and ends the operation, so that nothing
// unwinds into the caller (the CAD program, through COM).
template <class F>
void RunOperation(host::MessageSink& sink, F&& body) noexcept {
  try {
    std::forward<F>(body)();
  } catch (const OperationEnded&) {
  } catch (...) {
    ShowUnexpected(sink, std::current_exception());
  }
}

}  // namespace palvane::trap
