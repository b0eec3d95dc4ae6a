#include "trap/error_trap.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace palvane::trap {
namespace {

using host::Error;

TEST(ErrorTrapTest, ShowAndGoOnRunsTheNextStatementAndTheTrueBranch) {
  host::RecordingMessageSink sink;
  ErrorTrap step(sink, [](const Error&) { return AfterError::kShowAndGoOn; });
  std::vector<std::string> ran;
  RunOperation(sink, [&] {
    step.Do([&] { throw Error::TypeMismatch(); });
    step.Do([&] { ran.push_back("after"); });
    if (step.If([&]() -> bool { throw Error::Overflow(); })) ran.push_back("branch");
    if (step.If([] { return false; })) ran.push_back("false branch");
    step.ForEach([] { return 3; },
                 [&](int32_t i) {
                   if (i == 1) throw Error::SubscriptOutOfRange();
                   ran.push_back("item " + std::to_string(i));
                 });
    step.ForEach([]() -> int32_t { throw Error::ObjectNotSet(); },
                 [&](int32_t) { ran.push_back("never"); });
  });
  EXPECT_EQ(ran, (std::vector<std::string>{"after", "branch", "item 0", "item 2"}));
  EXPECT_EQ(sink.messages(),
            (std::vector<std::string>{"Type mismatch", "Overflow", "Subscript out of range",
                                      "Object variable or With block variable not set"}));
}

TEST(ErrorTrapTest, ShowAndEndStopsAtTheFirstError) {
  host::RecordingMessageSink sink;
  ErrorTrap step(sink, [](const Error&) { return AfterError::kShowAndEnd; });
  std::vector<std::string> ran;
  RunOperation(sink, [&] {
    step.Do([&] { ran.push_back("first"); });
    step.Do([&] { throw Error(-1, "Host said no"); });
    step.Do([&] { ran.push_back("never"); });
  });
  EXPECT_EQ(ran, std::vector<std::string>{"first"});
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"Host said no"});
}

TEST(ErrorTrapTest, PolicyDecidesPerErrorAndItsOwnFailureEnds) {
  host::RecordingMessageSink sink;
  int recovered = 0;
  ErrorTrap step(sink, [&](const Error& e) {
    if (e.number() == Error::kKeyNotFound) {
      if (++recovered == 2) throw Error(77, "Recovery failed");
      return AfterError::kGoOnSilently;
    }
    return AfterError::kShowAndEnd;
  });
  std::vector<std::string> ran;
  RunOperation(sink, [&] {
    step.Do([&] { throw Error::KeyNotFound(); });
    step.Do([&] { ran.push_back("after silent"); });
    step.Do([&] { throw Error::KeyNotFound(); });
    step.Do([&] { ran.push_back("never"); });
  });
  EXPECT_EQ(ran, std::vector<std::string>{"after silent"});
  EXPECT_EQ(sink.messages(), std::vector<std::string>{"Recovery failed"});
}

// Whatever the policy, an exception that is no automation error never leaves
// the operation: one message, and the operation ends there.
TEST(ErrorTrapTest, OtherExceptionsShowOneMessageAndEnd) {
  struct Case {
    std::exception_ptr thrown;
    std::string message;
  };
  const std::vector<Case> cases{
      {std::make_exception_ptr(std::bad_alloc()), "Out of memory"},
      {std::make_exception_ptr(std::runtime_error("broken invariant")),
       "Internal error: broken invariant"},
      {std::make_exception_ptr(42), "Internal error"},
  };
  for (const Case& c : cases) {
    for (AfterError policy : {AfterError::kShowAndGoOn, AfterError::kGoOnSilently}) {
      host::RecordingMessageSink sink;
      ErrorTrap step(sink, [&](const Error&) { return policy; });
      std::vector<std::string> ran;
      RunOperation(sink, [&] {
        step.Do([&] { ran.push_back("first"); });
        step.Do([&] { std::rethrow_exception(c.thrown); });
        step.Do([&] { ran.push_back("never"); });
      });
      EXPECT_EQ(ran, std::vector<std::string>{"first"});
      EXPECT_EQ(sink.messages(), std::vector<std::string>{c.message});
    }
  }
}

// A sink that cannot show the message either still lets the call return
// (the frame is noexcept: an escaping exception would end the test program).
TEST(ErrorTrapTest, AFailingSinkDoesNotEscapeTheOperation) {
  struct FailingSink : host::MessageSink {
    int shown = 0;
    void Show(std::string_view) override {
      ++shown;
      throw std::bad_alloc();
    }
  } sink;
  RunOperation(sink, [&] { throw std::runtime_error("first failure"); });
  EXPECT_EQ(sink.shown, 1);
}

}  // namespace
}  // namespace palvane::trap
