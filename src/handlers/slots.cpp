// The fourteen handler slots: a set slot clears its twin.
#include "ravelin/RegularExpression.h"

namespace RegexClass {

void RegularExpression::SetOnMatching(OnMatchingHandler h) {
  onMatching = h;
  if (h != nullptr) onMatchingClosure = OnMatchingClosure();
}
RegularExpression::OnMatchingHandler RegularExpression::GetOnMatching() const { return onMatching; }
void RegularExpression::SetOnMatchingClosure(const OnMatchingClosure& c) {
  onMatchingClosure = c;
  if (c) onMatching = nullptr;
}
RegularExpression::OnMatchingClosure RegularExpression::GetOnMatchingClosure() const { return onMatchingClosure; }

void RegularExpression::SetOnSearching(OnSearchingHandler h) {
  onSearching = h;
  if (h != nullptr) onSearchingClosure = OnSearchingClosure();
}
RegularExpression::OnSearchingHandler RegularExpression::GetOnSearching() const { return onSearching; }
void RegularExpression::SetOnSearchingClosure(const OnSearchingClosure& c) {
  onSearchingClosure = c;
  if (c) onSearching = nullptr;
}
RegularExpression::OnSearchingClosure RegularExpression::GetOnSearchingClosure() const { return onSearchingClosure; }

void RegularExpression::SetOnGrepping(OnGreppingHandler h) {
  onGrepping = h;
  if (h != nullptr) onGreppingClosure = OnGreppingClosure();
}
RegularExpression::OnGreppingHandler RegularExpression::GetOnGrepping() const { return onGrepping; }
void RegularExpression::SetOnGreppingClosure(const OnGreppingClosure& c) {
  onGreppingClosure = c;
  if (c) onGrepping = nullptr;
}
RegularExpression::OnGreppingClosure RegularExpression::GetOnGreppingClosure() const { return onGreppingClosure; }

void RegularExpression::SetOnMerging(OnMergingHandler h) {
  onMerging = h;
  if (h != nullptr) onMergingClosure = OnMergingClosure();
}
RegularExpression::OnMergingHandler RegularExpression::GetOnMerging() const { return onMerging; }
void RegularExpression::SetOnMergingClosure(const OnMergingClosure& c) {
  onMergingClosure = c;
  if (c) onMerging = nullptr;
}
RegularExpression::OnMergingClosure RegularExpression::GetOnMergingClosure() const { return onMergingClosure; }

void RegularExpression::SetOnGreppingFiles(OnGreppingFilesHandler h) {
  onGreppingFiles = h;
  if (h != nullptr) onGreppingFilesClosure = OnGreppingFilesClosure();
}
RegularExpression::OnGreppingFilesHandler RegularExpression::GetOnGreppingFiles() const { return onGreppingFiles; }
void RegularExpression::SetOnGreppingFilesClosure(const OnGreppingFilesClosure& c) {
  onGreppingFilesClosure = c;
  if (c) onGreppingFiles = nullptr;
}
RegularExpression::OnGreppingFilesClosure RegularExpression::GetOnGreppingFilesClosure() const {
  return onGreppingFilesClosure;
}

void RegularExpression::SetOnFindFiles(OnFindFilesHandler h) {
  onFindFiles = h;
  if (h != nullptr) onFindFilesClosure = OnFindFilesClosure();
}
RegularExpression::OnFindFilesHandler RegularExpression::GetOnFindFiles() const { return onFindFiles; }
void RegularExpression::SetOnFindFilesClosure(const OnFindFilesClosure& c) {
  onFindFilesClosure = c;
  if (c) onFindFiles = nullptr;
}
RegularExpression::OnFindFilesClosure RegularExpression::GetOnFindFilesClosure() const { return onFindFilesClosure; }

void RegularExpression::SetOnChangingFiles(OnChangingFilesHandler h) {
  onChangingFiles = h;
  if (h != nullptr) onChangingFilesClosure = OnChangingFilesClosure();
}
RegularExpression::OnChangingFilesHandler RegularExpression::GetOnChangingFiles() const { return onChangingFiles; }
void RegularExpression::SetOnChangingFilesClosure(const OnChangingFilesClosure& c) {
  onChangingFilesClosure = c;
  if (c) onChangingFiles = nullptr;
}
RegularExpression::OnChangingFilesClosure RegularExpression::GetOnChangingFilesClosure() const {
  return onChangingFilesClosure;
}

}  // namespace RegexClass
