#include "change_files.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "change_checks.h"
#include "diff.h"
#include "exit_status.h"
#include "file_walks.h"
#include "printers.h"
#include "system.h"
#include "walk.h"

namespace ravelin_cli {
namespace {

using RegexClass::REMatchInfo;
using Outcome = RegularExpression::ChangeOutcome;

// Where Merge puts each replacement, for the diff of --dry-run.
class EditRecorder {
 public:
  void OnMerge(RegularExpression& re, const REMatchInfo& m, unsigned, unsigned, bool&) {
    if (m.empty() || m[0].position < 0) return;
    std::string replacement;
    re.Format(replacement);
    edits_.push_back(Edit{static_cast<std::uint64_t>(m[0].position), m[0].text.size(), replacement.size()});
  }
  const std::vector<Edit>& Edits() const { return edits_; }

 private:
  std::vector<Edit> edits_;
};

// Follows the change walk: the progress line, the files the library
// replaced (as it tells the walk), and the stop after SIGINT, SIGTERM or
// SIGHUP: the first match of a new file ends the run there, once the file
// before is written.
class ChangeTally {
 public:
  explicit ChangeTally(Progress& progress) : progress_(progress) {}

  // Before each run.
  void Start() { current_.clear(); }

  void OnChangeFile(RegularExpression&, std::string fileName, const REMatchInfo&, unsigned, bool& goOn) {
    if (fileName != current_) {
      if (StopSignals::StopSignal() != 0) {
        stopped_ = true;
        goOn = false;
        return;
      }
      current_ = fileName;
      ++files_;
    }
    progress_.Update(files_, ++matches_);
  }
  // What the library told of a file: only a replaced file is changed.
  void Judge(Outcome outcome) {
    if (outcome == Outcome::Replaced) ++changed_;
  }

  unsigned long Changed() const { return changed_; }
  // True when a signal ended a run before a file holding a match.
  bool Stopped() const { return stopped_; }

 private:
  Progress& progress_;
  bool stopped_ = false;
  std::string current_;  // the file whose matches are coming in
  unsigned long files_ = 0;
  unsigned long changed_ = 0;
  unsigned long matches_ = 0;
};

// What the scan found: the files holding a match, the files it refused
// itself, what it passed by and the links it did not follow.
struct Scan {
  MatchScan found;
  std::vector<Blocker> refused;
  Skipped passed;
  std::vector<std::string> linksPassed;
};

// What the change walk did beside the library's own count.
struct Applied {
  std::set<std::string> wanted;  // taken by the scan and not blocked; met again
  std::set<std::string> met;
  std::vector<std::string> leftAlone;  // taken, but no longer to be changed safely
  Skipped gaveUp;                      // the engine could not tell what it becomes
  unsigned long replacements = 0;
  std::vector<RegularExpression::FileChangeProblem> problems;
  bool stoppedBetweenRuns = false;
};

std::set<std::string> BlockedNames(const std::vector<Blocker>& blockers) {
  std::set<std::string> blocked;
  for (const Blocker& b : blockers) blocked.insert(b.file);
  return blocked;
}

class ChangeFilesRun {
 public:
  ChangeFilesRun(const Invocation& inv, Setup& setup, Output& out)
      : inv_(inv), re_(setup.re), roots_(setup.roots), out_(out), walks_(inv, setup) {}

  int Run() {
    if (RefuseStreams()) return kTrouble;
    StopSignals signals;
    const Scan scan = ScanFiles();
    if (const int sig = StopSignals::StopSignal()) {
      Complain("stopped by " + SignalText(sig) + " before any file was changed");
      PrintChangeStats(out_, inv_, 0, 0);
      return 128 + sig;
    }
    std::vector<Blocker> blockers;
    int status = kTrouble;
    if (Refused(scan, blockers, status)) return status;
    return inv_.dryRun ? DryRun(scan, blockers) : Apply(scan, blockers);
  }

 private:
  // change-files writes files in place: standard input, a FIFO or a device
  // named as a PATH cannot be, and the run is refused before it starts.
  bool RefuseStreams() {
    bool refused = false;
    for (const std::string& path : roots_) {
      if (!IsStreamPath(path)) continue;
      Complain(StreamName(path) + ": change-files changes files in place; " +
               (path == "-" ? std::string("standard input") : std::string("a FIFO or a device")) +
               " cannot be changed (merge reads standard input and prints the result)");
      refused = true;
    }
    return refused;
  }

  // The scan counts the matches of each file (GrepFiles without a handler):
  // it reads every file whole, so that the binary-file rule sees all of it,
  // where a search for a first match may stop reading there.
  Scan ScanFiles() {
    Scan scan;
    const std::set<Identity> records = RecordFiles(inv_);
    Walk walk(walks_.Options());
    walk.OnDone([&](const SearchedFile& file) {
      if (file.Matches() > 0) {
        if (records.count(IdentityOf(file)) != 0) {
          Complain(file.Name() + ": left unchanged: it is the settings record of this run");
          return StopSignals::StopSignal() == 0;
        }
        scan.found.Add(file.Name(), IdentityOf(file));
        std::string reason;
        if (InsideVersionControl(file.Name())) {
          reason = "it lies inside a version-control folder";
        } else if (!BinaryAllowed(inv_) && file.Binary()) {
          reason = "it is a binary file (--binary changes binary files)";
        } else if (file.Identity().links > 1) {
          reason = "it has " + std::to_string(file.Identity().links) +
                   " hard links (a new file would leave the other names with the old text)";
        }
        if (!reason.empty()) scan.refused.push_back({file.Name(), reason});
      }
      return StopSignals::StopSignal() == 0;
    });
    walks_.Run(walk, [&] {
      re_.GrepFiles();
      return StopSignals::StopSignal() == 0;
    });
    re_.SetDirectoryRecursion(false);
    scan.passed = walks_.Passed();
    scan.linksPassed = walk.LinksPassed();
    return scan;
  }

  // Collects every reason to leave a file of the scan alone. True, with the
  // exit status, when the run ends here: something is blocked and
  // --keep-going was not given, or no file holds a match.
  bool Refused(const Scan& scan, std::vector<Blocker>& blockers, int& status) {
    NoteLinksOutside(re_, roots_, scan.linksPassed);
    blockers = scan.refused;
    const std::vector<Blocker> more = FindBlockers(re_, scan.found.Files());
    blockers.insert(blockers.end(), more.begin(), more.end());
    if (!blockers.empty() && !inv_.keepGoing) {
      walks_.Report(scan.passed, true);
      for (const Blocker& b : blockers) Complain(b.file + ": " + b.reason);
      Complain(std::string(inv_.dryRun ? "nothing would be changed" : "nothing changed") +
               ": the files named above hold a match but cannot be changed safely (--keep-going changes the others)");
      PrintChangeStats(out_, inv_, 0, 0);
      status = kTrouble;
      return true;
    }
    if (scan.found.Files().empty()) {
      PrintChangeStats(out_, inv_, 0, 0);
      status = walks_.Report(scan.passed, true) ? kTrouble : kNotFound;
      return true;
    }
    return false;
  }

  // --dry-run: the diff of each file the run would change, nothing written.
  int DryRun(const Scan& scan, const std::vector<Blocker>& blockers) {
    const std::set<std::string> blocked = BlockedNames(blockers);
    walks_.Passed().clear();
    bool anyChange = false;
    for (const std::string& file : scan.found.Files()) {
      if (blocked.count(file) != 0) continue;
      std::string diff;
      if (!Preview(file, diff)) continue;
      if (!diff.empty()) anyChange = true;
      out_.Write(diff);
    }
    bool trouble = walks_.Report(scan.passed, true);
    trouble = walks_.Report(walks_.Passed(), true) || trouble;
    for (const Blocker& b : blockers) Complain(b.file + ": would be left unchanged: " + b.reason);
    if (trouble || !blockers.empty()) return kTrouble;
    return anyChange ? kFound : kNotFound;
  }

  // The change walk: one library walk per PATH that takes only the files
  // the scan found and were not blocked, each judged by Select.
  int Apply(const Scan& scan, const std::vector<Blocker>& blockers) {
    Progress progress;
    if (inv_.interactive) progress.Disable();
    ChangeTally tally(progress);
    re_.SetOnChangingFilesClosure(RegularExpression::OnChangingFilesClosure(&tally, &ChangeTally::OnChangeFile));
    Applied applied;
    const std::set<std::string> blocked = BlockedNames(blockers);
    for (const std::string& file : scan.found.Files())
      if (blocked.count(file) == 0) applied.wanted.insert(file);
    walks_.Passed().clear();
    bool skippedAny = walks_.Report(scan.passed, true);
    Walk changing(walks_.Options());
    changing.OnlyNames(&applied.wanted);
    changing.OnSelect([&](const SearchedFile& file) { return Select(file, scan.found, applied); });
    changing.OnChanged([&](const std::string&, Outcome outcome, const RegularExpression::FileChangeProblem*,
                           unsigned long) { tally.Judge(outcome); });
    walks_.Run(changing, [&] {
      if (StopSignals::StopSignal() != 0) {
        applied.stoppedBetweenRuns = true;
        return false;
      }
      tally.Start();
      applied.replacements += re_.ChangeFiles();
      if (const auto* p = re_.GetChangeFilesErrors())
        applied.problems.insert(applied.problems.end(), p->begin(), p->end());
      return !quit_ && StopSignals::StopSignal() == 0;
    });
    // What this walk passed by is not reported: the scan has named the
    // paths it could not read, a search the engine gave up on is among the
    // problems (SearchFailed) or in gaveUp, and a file the scan took that
    // this walk did not meet again is named by Conclude.
    progress.Clear();
    skippedAny = walks_.Report(applied.gaveUp, true) || skippedAny;
    return Conclude(scan, blockers, applied, tally, skippedAny);
  }

  // Whether the change walk changes a file it meets: one the scan took,
  // still the same file, with one link, whose new bytes differ from the old
  // (and, with --interactive, that the user approves).
  bool Select(const SearchedFile& file, const MatchScan& found, Applied& applied) {
    if (applied.wanted.count(file.Name()) == 0 || !applied.met.insert(file.Name()).second) return false;
    if (!found.Holds(file.Name(), IdentityOf(file))) {
      applied.leftAlone.push_back(file.Name() + ": left unchanged: it is no longer the file the scan found");
      return false;
    }
    if (file.Identity().links > 1) {
      applied.leftAlone.push_back(file.Name() + ": left unchanged: it has " + std::to_string(file.Identity().links) +
                                  " hard links");
      return false;
    }
    if (quit_) return false;
    if (StopSignals::StopSignal() != 0) return true;  // the tally ends the run at its first match
    // What the file becomes, from the bytes in hand: a file that stays
    // the same is not written; the diff is made only to be shown.
    const std::string old(file.First(), static_cast<std::size_t>(file.Last() - file.First()));
    std::string merged;
    std::vector<Edit> edits;
    Skipped& passed = walks_.Passed();
    const std::size_t skippedBefore = passed.size();
    if (!MergeBytes(file.Name(), old, merged, edits)) {
      applied.gaveUp.insert(applied.gaveUp.end(), passed.begin() + static_cast<std::ptrdiff_t>(skippedBefore),
                            passed.end());
      passed.resize(skippedBefore);
      return false;
    }
    if (merged == old) return false;  // nothing to write
    return !inv_.interactive || Approve(file.Name(), UnifiedDiff(file.Name(), old, merged, edits));
  }

  // Says what the change walk left alone and how the run ended.
  int Conclude(const Scan& scan, const std::vector<Blocker>& blockers, Applied& applied, const ChangeTally& tally,
               bool skippedAny) {
    const bool stopped = StopSignals::StopSignal() != 0;
    if (!stopped && !quit_) {
      for (const std::string& file : scan.found.Files())
        if (applied.wanted.count(file) != 0 && applied.met.count(file) == 0)
          applied.leftAlone.push_back(file + ": left unchanged: it was not found again where the scan found it");
    }
    for (const RegularExpression::FileChangeProblem& p : applied.problems) Complain(Describe(p));
    for (const Blocker& b : blockers) Complain(b.file + ": left unchanged: " + b.reason);
    for (const std::string& line : applied.leftAlone) Complain(line);
    if (!applied.leftAlone.empty()) skippedAny = true;
    if (const int sig = StopSignals::StopSignal()) {
      const unsigned long changed = tally.Changed();
      Complain("stopped by " + SignalText(sig) + ": " + std::to_string(changed) +
               (changed == 1 ? " file changed" : " files changed") +
               (tally.Stopped() || applied.stoppedBetweenRuns || quit_ ? ", the files after them untouched"
                                                                       : ", the run had ended"));
      PrintChangeStats(out_, inv_, applied.replacements, changed);
      return 128 + sig;
    }
    PrintChangeStats(out_, inv_, applied.replacements, tally.Changed());
    if (!applied.problems.empty() || !blockers.empty() || skippedAny) return kTrouble;
    return applied.replacements > 0 ? kFound : kNotFound;
  }

  // What the file becomes: Merge over its bytes, with the expression,
  // options and format of the run, is what ChangeFiles writes. False, with
  // the reason among the skipped paths, when it cannot be told.
  bool MergeBytes(const std::string& name, const std::string& old, std::string& merged, std::vector<Edit>& edits) {
    // The matches the walk finds, as it finds them (see AsFilesAreSearched).
    RegularExpression merger = AsFilesAreSearched(re_);
    merger.SetOnChangingFilesClosure(RegularExpression::OnChangingFilesClosure());
    merger.SetStringToMatch(old);
    merger.SetMergeCopy(true);
    EditRecorder recorder;
    merger.SetOnMergingClosure(RegularExpression::OnMergingClosure(&recorder, &EditRecorder::OnMerge));
    merger.Merge(merged);
    if (!merger.GetLastSearchError().empty()) {
      walks_.Passed().push_back({name, RegularExpression::SearchGaveUp, 0, merger.GetLastSearchError()});
      return false;
    }
    // Merge leaves an empty subject alone, as sed and perl -p leave an empty
    // file: so does change-files.
    if (old.empty()) merged.clear();
    edits = recorder.Edits();
    return true;
  }

  // --dry-run: the unified diff of the file the scan found under name into
  // what the run makes of it; "" when it stays the same. False, with the
  // reason among the skipped paths, when it cannot be told.
  bool Preview(const std::string& name, std::string& diff) {
    std::string old;
    const int error = ReadFileBytes(name, old);
    if (error != 0) {
      walks_.Passed().push_back(
          {name, RegularExpression::Unreadable, static_cast<unsigned long>(error), std::string()});
      return false;
    }
    std::string merged;
    std::vector<Edit> edits;
    if (!MergeBytes(name, old, merged, edits)) return false;
    diff = merged == old ? std::string() : UnifiedDiff(name, old, merged, edits);
    return true;
  }

  // --interactive: the file's diff on standard output, the question on
  // standard error, the answer a line of standard input. y changes the file,
  // n leaves it, a changes it and all after it, q (or the end of the input)
  // leaves it and all after it.
  bool Approve(const std::string& name, const std::string& diff) {
    if (approveAll_) return true;
    if (quit_) return false;
    out_.Write(diff);
    out_.Flush();
    for (;;) {
      std::fprintf(stderr, "ravelin: change %s? [y,n,a,q] ", name.c_str());
      std::fflush(stderr);
      // No answer (the end of the input, or a stop signal): none from here on.
      std::string answer;
      const int read = StopSignals::ReadAnswer(answer);
      if (read <= 0) {
        if (read < 0) std::fputc('\n', stderr);  // the message goes on a line of its own
        quit_ = true;
        return false;
      }
      switch (answer.empty() ? '\0' : answer[0]) {
        case 'y':
        case 'Y':
          return true;
        case 'n':
        case 'N':
          return false;
        case 'a':
        case 'A':
          approveAll_ = true;
          return true;
        case 'q':
        case 'Q':
          quit_ = true;
          return false;
        default:
          break;
      }
    }
  }

  const Invocation& inv_;
  RegularExpression& re_;
  const std::vector<std::string>& roots_;
  Output& out_;
  FileWalks walks_;
  bool approveAll_ = false;  // --interactive: "a" was answered
  bool quit_ = false;        // --interactive: "q" was answered
};

}  // namespace

int ChangeFiles(const Invocation& inv, Setup& setup, Output& out) { return ChangeFilesRun(inv, setup, out).Run(); }

}  // namespace ravelin_cli
