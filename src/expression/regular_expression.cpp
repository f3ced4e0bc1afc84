// Construction, copying, comparison, destruction and the plain properties.
#include "ravelin/RegularExpression.h"

#include "engine/engine.h"

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
      onChangingFilesClosure(other.onChangingFilesClosure) {}

RegularExpression& RegularExpression::operator=(const RegularExpression& other) {
  if (this == &other) return *this;
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
  return *this;
}

RegularExpression::~RegularExpression() { DeallocateStack(); }

bool RegularExpression::operator==(const RegularExpression& other) const {
  return expressionOptions == other.expressionOptions && matchOptions == other.matchOptions &&
         expression == other.expression && stringToMatch == other.stringToMatch && filesToMatch == other.filesToMatch &&
         formatString == other.formatString && saveExtension == other.saveExtension &&
         directoryRecursion == other.directoryRecursion && mergeCopy == other.mergeCopy;
}

std::string RegularExpression::GetExpression() const { return expression; }
void RegularExpression::SetExpression(const std::string& text) {
  expression = text;
  expressionParsed = false;
}
std::string RegularExpression::GetStringToMatch() const { return stringToMatch; }
void RegularExpression::SetStringToMatch(const std::string& text) { stringToMatch = text; }
std::string RegularExpression::GetFilesToMatch() const { return filesToMatch; }
void RegularExpression::SetFilesToMatch(const std::string& spec) { filesToMatch = spec; }
std::string RegularExpression::GetFormatString() const { return formatString; }
void RegularExpression::SetFormatString(const std::string& format) { formatString = format; }
std::string RegularExpression::GetSaveExtension() const { return saveExtension; }
void RegularExpression::SetSaveExtension(const std::string& extension) { saveExtension = extension; }
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
