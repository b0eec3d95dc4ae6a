// A COM method's guard: whatever its work throws is shown once and stays
// inside, and the object is held for exactly the length of the call.
// Windows only, under Wine.

#include "com/guarded.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "host/error.h"

// COM interfaces have no virtual destructors by design.
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace palvane::com {
namespace {

// An object that counts its references and never deletes itself.
class Counted : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
  LONG refs = 1;
};

// A sink that fails while showing, as one might with no memory left.
class FailingSink : public host::MessageSink {
 public:
  void Show(std::string_view) override { throw std::bad_alloc(); }
};

TEST(GuardedTest, EveryKindOfFailureIsShownOnceAndStaysInside) {
  struct Case {
    const char* name;
    void (*fail)();
    const char* message;
  };
  const Case cases[] = {
      {"out of memory", [] { throw std::bad_alloc(); }, "Out of memory"},
      {"automation error", [] { throw host::Error::TypeMismatch(); }, "Type mismatch"},
      {"library fault", [] { throw std::logic_error("bad index"); }, "Internal error: bad index"},
      {"anything else", [] { throw 42; }, "Internal error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Counted object;
    host::RecordingMessageSink sink;
    LONG refs_inside = 0;
    Guarded(&object, sink, [&] {
      refs_inside = object.refs;
      c.fail();
    });
    EXPECT_EQ(refs_inside, 2);  // held while working
    EXPECT_EQ(object.refs, 1);  // released on the way out
    ASSERT_EQ(sink.messages().size(), 1u);
    EXPECT_EQ(sink.messages()[0], c.message);
  }
}

TEST(GuardedTest, CleanWorkShowsNothingAndAFailingSinkLetsNothingOut) {
  Counted object;
  host::RecordingMessageSink quiet;
  int ran = 0;
  Guarded(&object, quiet, [&] { ++ran; });
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(quiet.messages().empty());
  EXPECT_EQ(object.refs, 1);

  FailingSink failing;
  Guarded(&object, failing, [] { throw std::runtime_error("lost"); });  // must not throw
  EXPECT_EQ(object.refs, 1);
}

}  // namespace
}  // namespace palvane::com
