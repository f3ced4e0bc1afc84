// Construction, copying, comparison, destruction and the plain properties.
#include "ravelin/RegularExpression.h"

#include <utility>

#include "engine/engine.h"
#include "handlers/events.h"

namespace RegexClass {

RegularExpression::RegularExpression() {
  expressionOptions.insert({CharClasses, Intervals, BkRefs, NoCollate, EscapeInLists, Normal});
  matchOptions.insert(MatchDefault);
}

RegularExpression::RegularExpression(const RegularExpression& other)
    : expressionOptions(other.expressionOptions),
      matchOptions(other.matchOptions),
      // the global locale, not the other's
      expression(other.expression),
      stringToMatch(other.stringToMatch),
      filesToMatch(other.filesToMatch),
      formatString(other.formatString),
      saveExtension(other.saveExtension),
      directoryRecursion(other.directoryRecursion),
      mergeCopy(other.mergeCopy),
      fileThreads(other.fileThreads),
      fileFilter(other.fileFilter),
      lineBounded(other.lineBounded),
      backupNaming(other.backupNaming),
      expressionParsed(other.expressionParsed.load()),
      compiledExpression(other.compiledExpression),
      onMatching(other.onMatching),
      onSearching(other.onSearching),
      onGrepping(other.onGrepping),
      onGreppingFiles(other.onGreppingFiles),
      onFindFiles(other.onFindFiles),
      onMerging(other.onMerging),
      onChangingFiles(other.onChangingFiles),
      onMatchingClosure(other.onMatchingClosure),
      onSearchingClosure(other.onSearchingClosure),
      onGreppingClosure(other.onGreppingClosure),
      onGreppingFilesClosure(other.onGreppingFilesClosure),
      onFindFilesClosure(other.onFindFilesClosure),
      onMergingClosure(other.onMergingClosure),
      onChangingFilesClosure(other.onChangingFilesClosure),
      eventFunctions(detail::EventFunctions::Copy(other.eventFunctions.get())) {}

RegularExpression& RegularExpression::operator=(const RegularExpression& other) {
  if (this == &other) return *this;
  // Copied first: a callable's copy that throws leaves the target as it was.
  std::unique_ptr<detail::EventFunctions> functions = detail::EventFunctions::Copy(other.eventFunctions.get());
  expressionOptions = other.expressionOptions;
  matchOptions = other.matchOptions;
  expression = other.expression;
  stringToMatch = other.stringToMatch;
  filesToMatch = other.filesToMatch;
  formatString = other.formatString;
  saveExtension = other.saveExtension;
  directoryRecursion = other.directoryRecursion;
  mergeCopy = other.mergeCopy;
  fileThreads = other.fileThreads;
  fileFilter = other.fileFilter;
  lineBounded = other.lineBounded;
  backupNaming = other.backupNaming;
  expressionParsed = other.expressionParsed.load();
  compiledExpression = other.compiledExpression;
  onMatching = other.onMatching;
  onSearching = other.onSearching;
  onGrepping = other.onGrepping;
  onGreppingFiles = other.onGreppingFiles;
  onFindFiles = other.onFindFiles;
  onMerging = other.onMerging;
  onChangingFiles = other.onChangingFiles;
  onMatchingClosure = other.onMatchingClosure;
  onSearchingClosure = other.onSearchingClosure;
  onGreppingClosure = other.onGreppingClosure;
  onGreppingFilesClosure = other.onGreppingFilesClosure;
  onFindFilesClosure = other.onFindFilesClosure;
  onMergingClosure = other.onMergingClosure;
  onChangingFilesClosure = other.onChangingFilesClosure;
  eventFunctions = std::move(functions);
  return *this;
}

// The members a move takes over are those the copy takes; what the copy
// leaves at its default (locale, results, working state) stays so here too.
// The source keeps its handler pointers and closures and the locale.
RegularExpression::RegularExpression(RegularExpression&& other) noexcept
    : expressionOptions(std::move(other.expressionOptions)),
      matchOptions(std::move(other.matchOptions)),
      // the global locale, not the other's
      expression(std::move(other.expression)),
      stringToMatch(std::move(other.stringToMatch)),
      filesToMatch(std::move(other.filesToMatch)),
      formatString(std::move(other.formatString)),
      saveExtension(std::move(other.saveExtension)),
      directoryRecursion(other.directoryRecursion),
      mergeCopy(other.mergeCopy),
      fileThreads(other.fileThreads),
      fileFilter(other.fileFilter),
      lineBounded(other.lineBounded),
      backupNaming(other.backupNaming),
      expressionParsed(other.expressionParsed.load()),
      compiledExpression(std::move(other.compiledExpression)),
      onMatching(other.onMatching),
      onSearching(other.onSearching),
      onGrepping(other.onGrepping),
      onGreppingFiles(other.onGreppingFiles),
      onFindFiles(other.onFindFiles),
      onMerging(other.onMerging),
      onChangingFiles(other.onChangingFiles),
      onMatchingClosure(other.onMatchingClosure),
      onSearchingClosure(other.onSearchingClosure),
      onGreppingClosure(other.onGreppingClosure),
      onGreppingFilesClosure(other.onGreppingFilesClosure),
      onFindFilesClosure(other.onFindFilesClosure),
      onMergingClosure(other.onMergingClosure),
      onChangingFilesClosure(other.onChangingFilesClosure),
      eventFunctions(std::move(other.eventFunctions)) {
  other.LeaveMovedFrom();
}

RegularExpression& RegularExpression::operator=(RegularExpression&& other) noexcept {
  if (this == &other) return *this;
  expressionOptions = std::move(other.expressionOptions);
  matchOptions = std::move(other.matchOptions);
  expression = std::move(other.expression);
  stringToMatch = std::move(other.stringToMatch);
  filesToMatch = std::move(other.filesToMatch);
  formatString = std::move(other.formatString);
  saveExtension = std::move(other.saveExtension);
  directoryRecursion = other.directoryRecursion;
  mergeCopy = other.mergeCopy;
  fileThreads = other.fileThreads;
  fileFilter = other.fileFilter;
  lineBounded = other.lineBounded;
  backupNaming = other.backupNaming;
  expressionParsed = other.expressionParsed.load();
  compiledExpression = std::move(other.compiledExpression);
  onMatching = other.onMatching;
  onSearching = other.onSearching;
  onGrepping = other.onGrepping;
  onGreppingFiles = other.onGreppingFiles;
  onFindFiles = other.onFindFiles;
  onMerging = other.onMerging;
  onChangingFiles = other.onChangingFiles;
  onMatchingClosure = other.onMatchingClosure;
  onSearchingClosure = other.onSearchingClosure;
  onGreppingClosure = other.onGreppingClosure;
  onGreppingFilesClosure = other.onGreppingFilesClosure;
  onFindFilesClosure = other.onFindFilesClosure;
  onMergingClosure = other.onMergingClosure;
  onChangingFilesClosure = other.onChangingFilesClosure;
  eventFunctions = std::move(other.eventFunctions);
  other.LeaveMovedFrom();
  return *this;
}

void RegularExpression::LeaveMovedFrom() noexcept {
  expressionOptions.clear();
  matchOptions.clear();
  expression.clear();
  stringToMatch.clear();
  filesToMatch.clear();
  formatString.clear();
  saveExtension.clear();
  expressionParsed = false;
  compiledExpression.reset();
}

RegularExpression::~RegularExpression() { DeallocateStack(); }

bool RegularExpression::operator==(const RegularExpression& other) const {
  return expressionOptions == other.expressionOptions && matchOptions == other.matchOptions &&
         expression == other.expression && stringToMatch == other.stringToMatch && filesToMatch == other.filesToMatch &&
         formatString == other.formatString && saveExtension == other.saveExtension &&
         directoryRecursion == other.directoryRecursion && mergeCopy == other.mergeCopy;
}

std::string RegularExpression::GetExpression() const { return expression; }
void RegularExpression::SetExpression(const std::string& text) { SetExpression(std::string_view(text)); }
void RegularExpression::SetExpression(std::string_view text) {
  expression.assign(text.data(), text.size());
  expressionParsed = false;
}
std::string RegularExpression::GetStringToMatch() const { return stringToMatch; }
void RegularExpression::SetStringToMatch(const std::string& text) { stringToMatch = text; }
void RegularExpression::SetStringToMatch(std::string_view text) { stringToMatch.assign(text.data(), text.size()); }
std::string RegularExpression::GetFilesToMatch() const { return filesToMatch; }
void RegularExpression::SetFilesToMatch(const std::string& spec) { filesToMatch = spec; }
void RegularExpression::SetFilesToMatch(std::string_view spec) { filesToMatch.assign(spec.data(), spec.size()); }
std::string RegularExpression::GetFormatString() const { return formatString; }
void RegularExpression::SetFormatString(const std::string& format) { formatString = format; }
void RegularExpression::SetFormatString(std::string_view format) { formatString.assign(format.data(), format.size()); }
std::string RegularExpression::GetSaveExtension() const { return saveExtension; }
void RegularExpression::SetSaveExtension(const std::string& extension) { saveExtension = extension; }
void RegularExpression::SetSaveExtension(std::string_view extension) {
  saveExtension.assign(extension.data(), extension.size());
}
bool RegularExpression::GetDirectoryRecursion() const { return directoryRecursion; }
void RegularExpression::SetDirectoryRecursion(bool on) { directoryRecursion = on; }
bool RegularExpression::GetMergeCopy() const { return mergeCopy; }
void RegularExpression::SetMergeCopy(bool on) { mergeCopy = on; }
std::locale RegularExpression::GetLocale() const { return locale; }
void RegularExpression::SetLocale(const std::locale& loc) { locale = loc; }
unsigned RegularExpression::GetFileThreads() const { return fileThreads; }
void RegularExpression::SetFileThreads(unsigned threads) { fileThreads = threads == 0 ? 1 : threads; }
RegularExpression::FileFilter* RegularExpression::GetFileFilter() const { return fileFilter; }
void RegularExpression::SetFileFilter(FileFilter* filter) { fileFilter = filter; }
bool RegularExpression::GetLineBounded() const { return lineBounded; }
void RegularExpression::SetLineBounded(bool on) { lineBounded = on; }
RegularExpression::BackupNaming RegularExpression::GetBackupNaming() const { return backupNaming; }
void RegularExpression::SetBackupNaming(BackupNaming naming) { backupNaming = naming; }

}  // namespace RegexClass
