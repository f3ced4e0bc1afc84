// Raising events and building match vectors, the same way everywhere.
#ifndef RAVELIN_HANDLERS_EVENTS_H
#define RAVELIN_HANDLERS_EVENTS_H

#include <cstdint>
#include <memory>
#include <utility>

#include "engine/engine.h"
#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace detail {

// The callables set as handlers, one per event; null when none is set. Each
// is shared with the operations raising it, so that one replaced while it
// runs lives to its end; copies of the object copy them (Copy).
struct EventFunctions {
  std::shared_ptr<const RegularExpression::OnMatchingFunction> matching;
  std::shared_ptr<const RegularExpression::OnSearchingFunction> searching;
  std::shared_ptr<const RegularExpression::OnGreppingFunction> grepping;
  std::shared_ptr<const RegularExpression::OnMergingFunction> merging;
  std::shared_ptr<const RegularExpression::OnGreppingFilesFunction> greppingFiles;
  std::shared_ptr<const RegularExpression::OnFindFilesFunction> findFiles;
  std::shared_ptr<const RegularExpression::OnChangingFilesFunction> changingFiles;

  // A deep copy of from (each callable copied), or null when it holds none.
  static std::unique_ptr<EventFunctions> Copy(const EventFunctions* from);
};

// The handlers of one event as an operation raises them: the plain and bound
// slots and the callable, at most one of them set (the setters clear the
// others). Taken when the operation starts, or at each event.
template <class Plain, class Bound, class Function>
class EventHandlers {
 public:
  EventHandlers(Plain plain, const Bound& bound, const EventFunctions* functions,
                std::shared_ptr<const Function> EventFunctions::*slot)
      : plain_(plain), bound_(bound), function_(functions != nullptr ? functions->*slot : nullptr) {}

  // True when a handler is set.
  bool Set() const { return plain_ != nullptr || static_cast<bool>(bound_) || function_ != nullptr; }

  // Calls the plain handler if set, else the bound one, else the callable;
  // false when none is. What a handler throws passes on.
  template <class... Args>
  bool Raise(RegularExpression& re, Args&&... args) const {
    if (plain_ != nullptr) {
      plain_(re, std::forward<Args>(args)...);
    } else if (bound_) {
      bound_(re, std::forward<Args>(args)...);
    } else if (function_ != nullptr) {
      (*function_)(re, std::forward<Args>(args)...);
    } else {
      return false;
    }
    return true;
  }

 private:
  Plain plain_;
  Bound bound_;
  std::shared_ptr<const Function> function_;
};

using MatchingHandlers = EventHandlers<RegularExpression::OnMatchingHandler, RegularExpression::OnMatchingClosure,
                                       RegularExpression::OnMatchingFunction>;
using SearchingHandlers = EventHandlers<RegularExpression::OnSearchingHandler, RegularExpression::OnSearchingClosure,
                                        RegularExpression::OnSearchingFunction>;
using GreppingHandlers = EventHandlers<RegularExpression::OnGreppingHandler, RegularExpression::OnGreppingClosure,
                                       RegularExpression::OnGreppingFunction>;
using MergingHandlers = EventHandlers<RegularExpression::OnMergingHandler, RegularExpression::OnMergingClosure,
                                      RegularExpression::OnMergingFunction>;
using GreppingFilesHandlers =
    EventHandlers<RegularExpression::OnGreppingFilesHandler, RegularExpression::OnGreppingFilesClosure,
                  RegularExpression::OnGreppingFilesFunction>;
using FindFilesHandlers = EventHandlers<RegularExpression::OnFindFilesHandler, RegularExpression::OnFindFilesClosure,
                                        RegularExpression::OnFindFilesFunction>;
using ChangingFilesHandlers =
    EventHandlers<RegularExpression::OnChangingFilesHandler, RegularExpression::OnChangingFilesClosure,
                  RegularExpression::OnChangingFilesFunction>;

// One entry of a match vector, written over entry so that its string keeps
// its storage: the text of sub and its position from base, or "" and -1 for
// a part that did not take part. Every match vector is built from this.
inline void SetMatchEntry(REMatch& entry, const boost::csub_match& sub, const char* base) {
  if (sub.matched) {
    entry.text.assign(sub.first, sub.second);
    entry.position = static_cast<std::int64_t>(sub.first - base);
  } else {
    entry.text.clear();
    entry.position = -1;
  }
}

// The vector of a string match: every mark, then the prefix and the suffix.
REMatchInfo StringMatchVector(const MatchView& view);
// The vector of a file match: one entry per mark.
REMatchInfo FileMatchVector(const MatchView& view);
// The same, written over out: its entries keep their storage.
void FillFileMatchVector(const MatchView& view, REMatchInfo& out);

// Publishes a match in one of the object's match slots for the length of a
// scope. When the scope ends, by return or exception, the slot gets back what
// it held before: null, unless a handler of an outer operation on the same
// object is running, whose match then becomes current again.
class MatchSlot {
 public:
  MatchSlot(const MatchView*& slot, const MatchView* view) : slot_(slot), previous_(slot) { slot_ = view; }
  ~MatchSlot() { slot_ = previous_; }
  MatchSlot(const MatchSlot&) = delete;
  MatchSlot& operator=(const MatchSlot&) = delete;

 private:
  const MatchView*& slot_;
  const MatchView* previous_;
};

}  // namespace detail
}  // namespace RegexClass

#endif  // RAVELIN_HANDLERS_EVENTS_H
