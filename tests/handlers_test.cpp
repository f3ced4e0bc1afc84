// Handler slots: a set slot clears its twin, empty values do not; any
// callable as a handler of every event.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "ravelin/RegularExpression.h"
#include "support/temp_dir.h"

using RegexClass::REMatchInfo;
using RegexClass::RegularExpression;
using R = RegularExpression;

namespace {

void Grepping(R&, const REMatchInfo&, unsigned, unsigned, bool&) {}
void Finding(R&, std::string, bool&) {}

struct Listener {
  int hits = 0;
  void OnGrep(R&, const REMatchInfo&, unsigned, unsigned, bool& goOn) {
    ++hits;
    goOn = false;
  }
  void OnFind(R&, std::string, bool&) { ++hits; }
};

struct Derived : Listener {
  virtual ~Derived() = default;
  virtual void Extra(R&, std::string, bool&) {}
};

}  // namespace

TEST(Handlers, SlotsClearEachOther) {
  R re;
  Listener listener;
  re.SetOnGrepping(&Grepping);
  re.SetOnGreppingClosure(R::OnGreppingClosure(&listener, &Listener::OnGrep));
  EXPECT_EQ(re.GetOnGrepping(), nullptr);
  EXPECT_TRUE(static_cast<bool>(re.GetOnGreppingClosure()));

  re.SetOnGrepping(nullptr);  // a null plain handler keeps the bound one
  EXPECT_TRUE(static_cast<bool>(re.GetOnGreppingClosure()));

  re.SetOnGrepping(&Grepping);
  EXPECT_FALSE(static_cast<bool>(re.GetOnGreppingClosure()));
  re.SetOnGreppingClosure(R::OnGreppingClosure());  // an empty closure keeps the plain one
  EXPECT_EQ(re.GetOnGrepping(), &Grepping);

  re.SetOnFindFiles(&Finding);
  EXPECT_EQ(re.GetOnFindFiles(), &Finding);
  EXPECT_EQ(re.GetOnGreppingFiles(), nullptr);  // events are independent
}

TEST(Handlers, ClosuresCallTheirTarget) {
  R re;
  Listener listener;
  R::OnGreppingClosure grep(&listener, &Listener::OnGrep);
  bool goOn = true;
  grep(re, REMatchInfo(), 1, 0, goOn);
  EXPECT_EQ(listener.hits, 1);
  EXPECT_FALSE(goOn);
  EXPECT_EQ(grep.GetTarget(), &listener);

  Derived derived;  // a target class with virtual functions and a base
  R::OnFindFilesClosure virtualCall(&derived, &Derived::Extra);
  R::OnFindFilesClosure inherited(static_cast<Listener*>(&derived), &Listener::OnFind);
  virtualCall(re, "f", goOn);
  inherited(re, "f", goOn);
  EXPECT_EQ(derived.hits, 1);
  EXPECT_FALSE(virtualCall == inherited);

  R::OnGreppingClosure nullMethod(
      &listener, static_cast<void (Listener::*)(R&, const REMatchInfo&, unsigned, unsigned, bool&)>(nullptr));
  EXPECT_FALSE(static_cast<bool>(nullMethod));  // no function part: not set

  re.SetOnGreppingClosure(grep);
  R copy(re);
  EXPECT_TRUE(copy.GetOnGreppingClosure() == grep);  // copies share the handlers
}

namespace {

int captureless = 0;  // calls of the captureless lambdas below

struct Boom : std::runtime_error {
  Boom() : std::runtime_error("boom") {}
};

// Counts its calls in its own state and in a count shared with the test.
struct Counter {
  std::shared_ptr<int> calls = std::make_shared<int>(0);
  int own = 0;
  template <class... A>
  void operator()(A&&...) {
    ++own;
    ++*calls;
  }
};

struct Bound {
  int calls = 0;
  template <class... A>
  void On(R&, A...) {
    ++calls;
  }
};

// A captureless lambda with exactly the arguments of a plain handler.
template <class Plain>
struct CapturelessOf;
template <class... A>
struct CapturelessOf<void (*)(R&, A...)> {
  static auto Make() {
    return [](R&, A...) { ++captureless; };
  }
};

// One event: its slots, and an operation over one subject and one file
// ("a-a", expression "a") that raises it Raised times.
#define EVENT_SLOTS(E)                                                                         \
  static constexpr const char* kName = #E;                                                     \
  using Function = R::On##E##Function;                                                         \
  template <class F>                                                                           \
  static void Set(R& re, F&& f) {                                                              \
    re.SetOn##E(std::forward<F>(f));                                                           \
  }                                                                                            \
  static void SetCaptureless(R& re) { re.SetOn##E(CapturelessOf<R::On##E##Handler>::Make()); } \
  static bool Plain(const R& re) { return re.GetOn##E() != nullptr; }                          \
  static bool Bound(const R& re) { return static_cast<bool>(re.GetOn##E##Closure()); }         \
  static bool Callable(const R& re) { return static_cast<bool>(re.GetOn##E##Function()); }     \
  static int Own(const R& re) {                                                                \
    const R::On##E##Function f = re.GetOn##E##Function();                                      \
    return f.target<Counter>() != nullptr ? f.target<Counter>()->own : -1;                     \
  }                                                                                            \
  static void Bind(R& re, struct Bound& b) { re.SetOn##E##Closure(R::On##E##Closure(&b, &Bound::On)); }

namespace event {
struct Matching {
  EVENT_SLOTS(Matching)
  static constexpr int kRaised = 1;
  static void Run(R& re) { re.Match(); }
};
struct Searching {
  EVENT_SLOTS(Searching)
  static constexpr int kRaised = 1;
  static void Run(R& re) { re.Search(); }
};
struct Grepping {
  EVENT_SLOTS(Grepping)
  static constexpr int kRaised = 2;
  static void Run(R& re) { re.Grep(); }
};
struct Merging {
  EVENT_SLOTS(Merging)
  static constexpr int kRaised = 2;
  static void Run(R& re) {
    std::string out;
    re.Merge(out);
  }
};
struct GreppingFiles {
  EVENT_SLOTS(GreppingFiles)
  static constexpr int kRaised = 2;
  static void Run(R& re) { re.GrepFiles(); }
};
struct FindFiles {
  EVENT_SLOTS(FindFiles)
  static constexpr int kRaised = 1;
  static void Run(R& re) { re.FindFiles(); }
};
struct ChangingFiles {
  EVENT_SLOTS(ChangingFiles)
  static constexpr int kRaised = 2;
  static void Run(R& re) { re.ChangeFiles(); }
};
}  // namespace event
#undef EVENT_SLOTS

// Every form of handler on one event, and the rules between them.
template <class E>
void CheckEvent() {
  SCOPED_TRACE(E::kName);
  const ravelin_test::TempDir dir;
  const std::string file = dir.Join("f.txt");
  R re;
  re.SetExpression("a");
  re.SetStringToMatch("a-a");
  re.SetFilesToMatch(file);
  re.SetFormatString("a");  // ChangeFiles writes the file as it was
  re.SetFileThreads(3);     // file events still come on the calling thread
  auto run = [&](R& object) {
    dir.Write("f.txt", "a-a");
    E::Run(object);
  };

  // A capturing lambda, a std::function and a functor through the same setter.
  int calls = 0;
  E::Set(re, [&calls](auto&&...) { ++calls; });
  EXPECT_TRUE(E::Callable(re));
  EXPECT_FALSE(E::Plain(re));  // the plain getter answers null
  EXPECT_FALSE(E::Bound(re));
  run(re);
  EXPECT_EQ(calls, E::kRaised);
  Counter counter;
  E::Set(re, counter);
  run(re);
  EXPECT_EQ(*counter.calls, E::kRaised);
  EXPECT_EQ(calls, E::kRaised);  // the lambda was replaced

  // A captureless lambda sets the plain slot and clears the callable.
  captureless = 0;
  E::SetCaptureless(re);
  EXPECT_TRUE(E::Plain(re));
  EXPECT_FALSE(E::Callable(re));
  run(re);
  EXPECT_EQ(captureless, E::kRaised);
  EXPECT_EQ(*counter.calls, E::kRaised);

  // A set callable clears the plain slot; a closure clears the callable; an
  // empty callable or null plain handler clears nothing else.
  E::Set(re, counter);
  EXPECT_FALSE(E::Plain(re));
  E::Set(re, nullptr);
  EXPECT_TRUE(E::Callable(re));
  Bound bound;
  E::Bind(re, bound);
  EXPECT_FALSE(E::Callable(re));
  E::Set(re, [&calls](auto&&...) { ++calls; });
  EXPECT_FALSE(E::Bound(re));
  E::Bind(re, bound);
  E::Set(re, typename E::Function());  // empty: the closure stays
  EXPECT_TRUE(E::Bound(re));
  run(re);
  EXPECT_EQ(bound.calls, E::kRaised);

  // What a callable throws reaches the caller; the object works on.
  E::Set(re, [](auto&&...) { throw Boom(); });
  EXPECT_THROW(run(re), Boom);

  // Copies copy the callable with its state; a move takes it over.
  *counter.calls = 0;
  E::Set(re, counter);
  R copy(re);
  run(copy);
  EXPECT_EQ(E::Own(copy), E::kRaised);
  EXPECT_EQ(E::Own(re), 0);  // its own copy, not shared
  R assigned;
  assigned = copy;
  R moved(std::move(copy));
  EXPECT_FALSE(E::Callable(copy));  // NOLINT(bugprone-use-after-move): the moved-from state is documented
  run(moved);
  run(assigned);
  EXPECT_EQ(*counter.calls, 3 * E::kRaised);
  EXPECT_EQ(E::Own(moved), 2 * E::kRaised);
}

}  // namespace

TEST(Handlers, AnyCallableOnEveryEvent) {
  CheckEvent<event::Matching>();
  CheckEvent<event::Searching>();
  CheckEvent<event::Grepping>();
  CheckEvent<event::Merging>();
  CheckEvent<event::GreppingFiles>();
  CheckEvent<event::FindFiles>();
  CheckEvent<event::ChangingFiles>();
}
