// Raising events and building match vectors, the same way everywhere.
#ifndef RAVELIN_HANDLERS_EVENTS_H
#define RAVELIN_HANDLERS_EVENTS_H

#include <cstdint>

#include "engine/engine.h"
#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace detail {

// True when either slot of an event is set.
template <class Plain, class Bound>
bool HasHandler(Plain plain, const Bound& bound) {
  return plain != nullptr || static_cast<bool>(bound);
}

// Calls the plain handler if set, else the bound one; false when neither is.
template <class Plain, class Bound, class... Args>
bool Raise(RegularExpression& re, Plain plain, const Bound& bound, Args&&... args) {
  if (plain != nullptr) {
    plain(re, std::forward<Args>(args)...);
    return true;
  }
  if (bound) {
    bound(re, std::forward<Args>(args)...);
    return true;
  }
  return false;
}

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
