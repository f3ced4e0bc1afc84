// Handler slots: a set slot clears its twin, empty values do not.
#include <gtest/gtest.h>

#include "ravelin/RegularExpression.h"

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
