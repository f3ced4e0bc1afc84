#include "file_searches.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "file_walks.h"
#include "lines.h"
#include "printers.h"
#include "system.h"
#include "walk.h"

namespace ravelin_cli {
namespace {

using RegexClass::REMatchInfo;

// The matches of one file for the line view. With -q, -l or -L one match is
// enough, and with -m the matches past the lines it may print are dropped.
// (A handler that stops would end the walk of every file after it too.)
class HitCollector {
 public:
  HitCollector(bool firstOnly, long maxLines) : firstOnly_(firstOnly), maxLines_(maxLines) {}
  void Start() {
    hits_.clear();
    linesSeen_ = 0;
    lastLine_ = 0;
    full_ = false;
  }
  void OnGrepFile(RegularExpression&, std::string, const REMatchInfo& m, unsigned line, bool&) {
    if (full_ || m.empty() || m[0].position < 0) return;
    const std::string& text = m[0].text;
    if (maxLines_ >= 0) {
      unsigned last = line;
      for (std::size_t k = 0; k + 1 < text.size(); ++k)
        if (text[k] == '\n') ++last;
      if (last > lastLine_) {
        const unsigned fresh = last - (line > lastLine_ ? line : lastLine_ + 1) + 1;
        if (line > lastLine_ && linesSeen_ >= static_cast<unsigned long>(maxLines_)) {
          full_ = true;
          return;
        }
        linesSeen_ += fresh;
        lastLine_ = last;
      }
    }
    hits_.push_back(Hit{static_cast<std::uint64_t>(m[0].position), text.size(), line});
    if (firstOnly_) full_ = true;
  }
  // A match of a stream, searched as a subject (Grep): its search ends once
  // nothing more of it is wanted, as the search of a file for -l, -L and -q.
  void OnGrep(RegularExpression& re, const REMatchInfo& m, unsigned line, unsigned, bool& goOn) {
    OnGrepFile(re, std::string(), m, line, goOn);
    if (full_) goOn = false;
  }
  // FindFiles found a match somewhere in the file (-l, -L, -q, line by
  // line): it touches a line, which is all the view asks then.
  void Found() { hits_.push_back(Hit{0, 0, 1}); }
  const std::vector<Hit>& Hits() const { return hits_; }

 private:
  bool firstOnly_;
  long maxLines_;
  std::vector<Hit> hits_;
  unsigned long linesSeen_ = 0;
  unsigned lastLine_ = 0;
  bool full_ = false;  // nothing more of this file is wanted
};

// find-files and grep-files over the run's PATHs; a stream PATH (standard
// input, a FIFO, a device) is read whole and searched as the walk searches
// a file.
class FileSearch {
 public:
  FileSearch(const Invocation& inv, Setup& setup, Output& out)
      : inv_(inv), re_(setup.re), roots_(setup.roots), out_(out), walks_(inv, setup) {}

  ExitStatus FindFiles() {
    Printer printer(out_);
    if (!inv_.count) re_.SetOnFindFilesClosure(RegularExpression::OnFindFilesClosure(&printer, &Printer::OnFindFile));
    unsigned long n = 0;
    Walk walk(walks_.Options());
    walk.OnStream([&](const std::string& path) {
      std::string bytes;
      if (!ReadStream(path, bytes)) return true;
      HitCollector hits(true, -1);
      const std::string stopped = SearchStream(bytes, hits);
      if (!hits.Hits().empty()) {
        ++n;
        bool goOn = true;
        if (!inv_.count) printer.OnFindFile(re_, StreamName(path), goOn);
      } else if (!stopped.empty()) {
        walks_.Passed().push_back({StreamName(path), RegularExpression::SearchGaveUp, 0, stopped});
      }
      return true;
    });
    walks_.Run(walk, [&] {
      n += re_.FindFiles();
      return true;
    });
    if (inv_.count) PrintCount(out_, static_cast<std::int64_t>(n));
    if (walks_.Report(walks_.Passed(), true)) return kTrouble;
    return n > 0 ? kFound : kNotFound;
  }

  ExitStatus GrepFiles() {
    const LineLook look = LineLookOf(inv_, roots_);
    LineView view(look, out_);
    const bool firstOnly = !inv_.invert && (inv_.quiet || inv_.filesWith || inv_.filesWithout);
    HitCollector hits(firstOnly, inv_.invert ? -1 : inv_.maxCount);
    // When a file's first match is all that counts (line by line, any match
    // touches a line) or no line may be printed, FindFiles tells enough.
    const bool findOnly = (firstOnly && re_.GetLineBounded()) || inv_.maxCount == 0;
    if (!findOnly)
      re_.SetOnGreppingFilesClosure(RegularExpression::OnGreppingFilesClosure(&hits, &HitCollector::OnGrepFile));
    // As grep: success is a selected line, with -L too.
    bool selectedAny = false;
    bool stoppedAny = false;  // the engine gave up on a file, said as it came
    // Prints one file or stream once its matches are in hits; false ends the walk.
    const auto show = [&](const std::string& name, std::string_view bytes, bool binary, const std::string* stopped) {
      const unsigned long selected = view.File(name, bytes, hits.Hits(), !inv_.text && binary, stopped != nullptr);
      if (selected > 0) selectedAny = true;
      if (stopped != nullptr) {
        // Said here, where the file's output ends, rather than after the run.
        stoppedAny = true;
        out_.Flush();
        const std::size_t lines = LineCount(bytes.substr(0, DecidedPart(bytes, hits.Hits())));
        Complain(name + ": the search stopped early" +
                 (lines > 0 ? " after line " + std::to_string(lines) : std::string()) +
                 ", nothing of the file is shown past that point: " + *stopped);
      }
      return !(inv_.quiet && selectedAny);
    };
    Walk walk(walks_.Options());
    walk.OnBegin([&] { hits.Start(); });
    walk.OnDone([&](const SearchedFile& file) {
      if (findOnly && inv_.maxCount != 0 && file.Matches() > 0) hits.Found();
      return show(file.Name(), std::string_view(file.First(), static_cast<std::size_t>(file.Last() - file.First())),
                  file.Binary(), file.Stopped() ? &file.StopReason() : nullptr);
    });
    walk.OnStream([&](const std::string& path) {
      std::string bytes;
      if (!ReadStream(path, bytes)) return true;
      hits.Start();
      const std::string stopped = SearchStream(bytes, hits);
      return show(StreamName(path), bytes, bytes.find('\0') != std::string::npos, stopped.empty() ? nullptr : &stopped);
    });
    walks_.Run(walk, [&] {
      if (findOnly) {
        re_.FindFiles();
      } else {
        re_.GrepFiles();
      }
      return !(inv_.quiet && selectedAny);
    });
    // As grep: -q with a match succeeds whatever else happened.
    if (inv_.quiet && selectedAny) {
      if (!inv_.noMessages) walks_.Report(walks_.Passed(), false);
      return kFound;
    }
    if (walks_.Report(walks_.Passed(), false) || stoppedAny) return kTrouble;
    return selectedAny ? kFound : kNotFound;
  }

 private:
  // Reads a PATH the walk does not open (IsStreamPath) to its end. False,
  // with the reason among the skipped paths, when it cannot be read.
  bool ReadStream(const std::string& path, std::string& bytes) {
    const int error = path == "-" ? ReadStandardInputBytes(bytes) : ReadFileBytes(path, bytes);
    if (error == 0) return true;
    walks_.Passed().push_back({StreamName(path), RegularExpression::Unreadable, static_cast<unsigned long>(error), ""});
    return false;
  }

  // Searches the bytes of a stream as the file walk searches a file: the
  // expression in the normal syntax with Icase alone of the compile options,
  // the match options, line by line unless -U. Each match goes to hits. The
  // engine's message when it gave up part-way, else "".
  std::string SearchStream(const std::string& bytes, HitCollector& hits) {
    RegularExpression stream(re_);
    stream.ClearExpressionOptions();
    stream.AddExpressionOption(RegularExpression::Normal);
    if (re_.IsExpressionOption(RegularExpression::Icase)) stream.AddExpressionOption(RegularExpression::Icase);
    stream.SetStringToMatch(bytes);
    stream.SetOnGreppingClosure(RegularExpression::OnGreppingClosure(&hits, &HitCollector::OnGrep));
    stream.Grep();
    return stream.GetLastSearchError();
  }

  const Invocation& inv_;
  RegularExpression& re_;
  const std::vector<std::string>& roots_;
  Output& out_;
  FileWalks walks_;
};

}  // namespace

ExitStatus FindFiles(const Invocation& inv, Setup& setup, Output& out) {
  return FileSearch(inv, setup, out).FindFiles();
}

ExitStatus GrepFiles(const Invocation& inv, Setup& setup, Output& out) {
  return FileSearch(inv, setup, out).GrepFiles();
}

}  // namespace ravelin_cli
