// The handler slots, three per event (plain, bound, callable): a set slot
// clears the other two, an empty one clears nothing else.
#include <memory>
#include <utility>

#include "handlers/events.h"
#include "ravelin/RegularExpression.h"

namespace RegexClass {
namespace detail {
namespace {

// Clears the callable of one event, if any is set.
template <class Function>
void ClearFunction(EventFunctions* functions, std::shared_ptr<const Function> EventFunctions::*slot) {
  if (functions != nullptr) (functions->*slot).reset();
}

// Stores f as the callable of one event; true when it is set.
template <class Function>
bool StoreFunction(std::unique_ptr<EventFunctions>& functions, std::shared_ptr<const Function> EventFunctions::*slot,
                   Function f) {
  if (!f) {
    ClearFunction(functions.get(), slot);
    return false;
  }
  auto stored = std::make_shared<const Function>(std::move(f));
  if (!functions) functions = std::make_unique<EventFunctions>();
  (*functions).*slot = std::move(stored);
  return true;
}

// A copy of one event's callable, or an empty one.
template <class Function>
Function LoadFunction(const EventFunctions* functions, std::shared_ptr<const Function> EventFunctions::*slot) {
  if (functions == nullptr || !(functions->*slot)) return Function();
  return *(functions->*slot);
}

template <class Function>
void CopyFunction(const EventFunctions& from, EventFunctions& to,
                  std::shared_ptr<const Function> EventFunctions::*slot) {
  if (from.*slot) to.*slot = std::make_shared<const Function>(*(from.*slot));
}

}  // namespace

std::unique_ptr<EventFunctions> EventFunctions::Copy(const EventFunctions* from) {
  if (from == nullptr) return nullptr;
  auto to = std::make_unique<EventFunctions>();
  CopyFunction(*from, *to, &EventFunctions::matching);
  CopyFunction(*from, *to, &EventFunctions::searching);
  CopyFunction(*from, *to, &EventFunctions::grepping);
  CopyFunction(*from, *to, &EventFunctions::merging);
  CopyFunction(*from, *to, &EventFunctions::greppingFiles);
  CopyFunction(*from, *to, &EventFunctions::findFiles);
  CopyFunction(*from, *to, &EventFunctions::changingFiles);
  return to;
}

}  // namespace detail

void RegularExpression::SetOnMatching(OnMatchingHandler h) {
  onMatching = h;
  if (h == nullptr) return;
  onMatchingClosure = OnMatchingClosure();
  detail::ClearFunction(eventFunctions.get(), &detail::EventFunctions::matching);
}
RegularExpression::OnMatchingHandler RegularExpression::GetOnMatching() const { return onMatching; }
void RegularExpression::SetOnMatchingClosure(const OnMatchingClosure& c) {
  onMatchingClosure = c;
  if (!c) return;
  onMatching = nullptr;
  detail::ClearFunction(eventFunctions.get(), &detail::EventFunctions::matching);
}
RegularExpression::OnMatchingClosure RegularExpression::GetOnMatchingClosure() const { return onMatchingClosure; }
void RegularExpression::SetOnMatchingFunction(OnMatchingFunction f) {
  if (!detail::StoreFunction(eventFunctions, &detail::EventFunctions::matching, std::move(f))) return;
  onMatching = nullptr;
  onMatchingClosure = OnMatchingClosure();
}
RegularExpression::OnMatchingFunction RegularExpression::GetOnMatchingFunction() const {
  return detail::LoadFunction(eventFunctions.get(), &detail::EventFunctions::matching);
}

void RegularExpression::SetOnSearching(OnSearchingHandler h) {
  onSearching = h;
  if (h == nullptr) return;
  onSearchingClosure = OnSearchingClosure();
  detail::ClearFunction(eventFunctions.get(), &detail::EventFunctions::searching);
}
RegularExpression::OnSearchingHandler RegularExpression::GetOnSearching() const { return onSearching; }
void RegularExpression::SetOnSearchingClosure(const OnSearchingClosure& c) {
  onSearchingClosure = c;
  if (!c) return;
  onSearching = nullptr;
  detail::ClearFunction(eventFunctions.get(), &detail::EventFunctions::searching);
}
RegularExpression::OnSearchingClosure RegularExpression::GetOnSearchingClosure() const { return onSearchingClosure; }
void RegularExpression::SetOnSearchingFunction(OnSearchingFunction f) {
  if (!detail::StoreFunction(eventFunctions, &detail::EventFunctions::searching, std::move(f))) return;
  onSearching = nullptr;
  onSearchingClosure = OnSearchingClosure();
}
RegularExpression::OnSearchingFunction RegularExpression::GetOnSearchingFunction() const {
  return detail::LoadFunction(eventFunctions.get(), &detail::EventFunctions::searching);
}

void RegularExpression::SetOnGrepping(OnGreppingHandler h) {
  onGrepping = h;
  if (h == nullptr) return;
  onGreppingClosure = OnGreppingClosure();
  detail::ClearFunction(eventFunctions.get(), &detail::EventFunctions::grepping);
}
RegularExpression::OnGreppingHandler RegularExpression::GetOnGrepping() const { return onGrepping; }
void RegularExpression::SetOnGreppingClosure(const OnGreppingClosure& c) {
  onGreppingClosure = c;
  if (!c) return;
  onGrepping = nullptr;
  detail::ClearFunction(eventFunctions.get(), &detail::EventFunctions::grepping);
}
RegularExpression::OnGreppingClosure RegularExpression::GetOnGreppingClosure() const { return onGreppingClosure; }
void RegularExpression::SetOnGreppingFunction(OnGreppingFunction f) {
  if (!detail::StoreFunction(eventFunctions, &detail::EventFunctions::grepping, std::move(f))) return;
  onGrepping = nullptr;
  onGreppingClosure = OnGreppingClosure();
}
RegularExpression::OnGreppingFunction RegularExpression::GetOnGreppingFunction() const {
  return detail::LoadFunction(eventFunctions.get(), &detail::EventFunctions::grepping);
}

void RegularExpression::SetOnMerging(OnMergingHandler h) {
  onMerging = h;
  if (h == nullptr) return;
  onMergingClosure = OnMergingClosure();
  detail::ClearFunction(eventFunctions.get(), &detail::EventFunctions::merging);
}
RegularExpression::OnMergingHandler RegularExpression::GetOnMerging() const { return onMerging; }
void RegularExpression::SetOnMergingClosure(const OnMergingClosure& c) {
  onMergingClosure = c;
  if (!c) return;
  onMerging = nullptr;
  detail::ClearFunction(eventFunctions.get(), &detail::EventFunctions::merging);
}
RegularExpression::OnMergingClosure RegularExpression::GetOnMergingClosure() const { return onMergingClosure; }
void RegularExpression::SetOnMergingFunction(OnMergingFunction f) {
  if (!detail::StoreFunction(eventFunctions, &detail::EventFunctions::merging, std::move(f))) return;
  onMerging = nullptr;
  onMergingClosure = OnMergingClosure();
}
RegularExpression::OnMergingFunction RegularExpression::GetOnMergingFunction() const {
  return detail::LoadFunction(eventFunctions.get(), &detail::EventFunctions::merging);
}

void RegularExpression::SetOnGreppingFiles(OnGreppingFilesHandler h) {
  onGreppingFiles = h;
  if (h == nullptr) return;
  onGreppingFilesClosure = OnGreppingFilesClosure();
  detail::ClearFunction(eventFunctions.get(), &detail::EventFunctions::greppingFiles);
}
RegularExpression::OnGreppingFilesHandler RegularExpression::GetOnGreppingFiles() const { return onGreppingFiles; }
void RegularExpression::SetOnGreppingFilesClosure(const OnGreppingFilesClosure& c) {
  onGreppingFilesClosure = c;
  if (!c) return;
  onGreppingFiles = nullptr;
  detail::ClearFunction(eventFunctions.get(), &detail::EventFunctions::greppingFiles);
}
RegularExpression::OnGreppingFilesClosure RegularExpression::GetOnGreppingFilesClosure() const {
  return onGreppingFilesClosure;
}
void RegularExpression::SetOnGreppingFilesFunction(OnGreppingFilesFunction f) {
  if (!detail::StoreFunction(eventFunctions, &detail::EventFunctions::greppingFiles, std::move(f))) return;
  onGreppingFiles = nullptr;
  onGreppingFilesClosure = OnGreppingFilesClosure();
}
RegularExpression::OnGreppingFilesFunction RegularExpression::GetOnGreppingFilesFunction() const {
  return detail::LoadFunction(eventFunctions.get(), &detail::EventFunctions::greppingFiles);
}

void RegularExpression::SetOnFindFiles(OnFindFilesHandler h) {
  onFindFiles = h;
  if (h == nullptr) return;
  onFindFilesClosure = OnFindFilesClosure();
  detail::ClearFunction(eventFunctions.get(), &detail::EventFunctions::findFiles);
}
RegularExpression::OnFindFilesHandler RegularExpression::GetOnFindFiles() const { return onFindFiles; }
void RegularExpression::SetOnFindFilesClosure(const OnFindFilesClosure& c) {
  onFindFilesClosure = c;
  if (!c) return;
  onFindFiles = nullptr;
  detail::ClearFunction(eventFunctions.get(), &detail::EventFunctions::findFiles);
}
RegularExpression::OnFindFilesClosure RegularExpression::GetOnFindFilesClosure() const { return onFindFilesClosure; }
void RegularExpression::SetOnFindFilesFunction(OnFindFilesFunction f) {
  if (!detail::StoreFunction(eventFunctions, &detail::EventFunctions::findFiles, std::move(f))) return;
  onFindFiles = nullptr;
  onFindFilesClosure = OnFindFilesClosure();
}
RegularExpression::OnFindFilesFunction RegularExpression::GetOnFindFilesFunction() const {
  return detail::LoadFunction(eventFunctions.get(), &detail::EventFunctions::findFiles);
}

void RegularExpression::SetOnChangingFiles(OnChangingFilesHandler h) {
  onChangingFiles = h;
  if (h == nullptr) return;
  onChangingFilesClosure = OnChangingFilesClosure();
  detail::ClearFunction(eventFunctions.get(), &detail::EventFunctions::changingFiles);
}
RegularExpression::OnChangingFilesHandler RegularExpression::GetOnChangingFiles() const { return onChangingFiles; }
void RegularExpression::SetOnChangingFilesClosure(const OnChangingFilesClosure& c) {
  onChangingFilesClosure = c;
  if (!c) return;
  onChangingFiles = nullptr;
  detail::ClearFunction(eventFunctions.get(), &detail::EventFunctions::changingFiles);
}
RegularExpression::OnChangingFilesClosure RegularExpression::GetOnChangingFilesClosure() const {
  return onChangingFilesClosure;
}
void RegularExpression::SetOnChangingFilesFunction(OnChangingFilesFunction f) {
  if (!detail::StoreFunction(eventFunctions, &detail::EventFunctions::changingFiles, std::move(f))) return;
  onChangingFiles = nullptr;
  onChangingFilesClosure = OnChangingFilesClosure();
}
RegularExpression::OnChangingFilesFunction RegularExpression::GetOnChangingFilesFunction() const {
  return detail::LoadFunction(eventFunctions.get(), &detail::EventFunctions::changingFiles);
}

}  // namespace RegexClass
