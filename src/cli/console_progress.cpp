#include "cli/console_progress.h"

#include <chrono>
#include <optional>
#include <thread>

#include "core/net/judgement.h"

namespace tesselwick::cli {

namespace {

// How long one wait for answers lasts: short enough that Ctrl+C and the
// status line respond at once, long enough to cost nothing.
constexpr std::chrono::milliseconds kWaitStep{100};
// How often the wait for the PAD file looks at it and at Ctrl+C.
constexpr std::chrono::milliseconds kPadFileStep{20};

// The first `limit` bytes of a text, not ending inside a UTF-8 sequence.
std::string Shortened(std::string text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

// The length of the well-formed UTF-8 sequence of two to four bytes that
// `text` begins with, or 0 when it begins with none.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto at = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = at(0);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    // No overlong forms and no surrogates.
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (at(1) < low || at(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (at(i) < 0x80 || at(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

std::string PrintableText(std::string_view text) {
  std::string printable;
  printable.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // C0 controls and DEL.
    if (byte < 0x20 || byte == 0x7F) {
      printable += '?';
      ++i;
      continue;
    }
    if (byte < 0x80) {
      printable += text[i];
      ++i;
      continue;
    }
    // A whole UTF-8 sequence stays unless it encodes a C1 control (U+0080 to
    // U+009F, which start with 0xC2 0x80 to 0xC2 0x9F).
    const std::size_t length = Utf8SequenceLength(text.substr(i));
    if (length > 0) {
      const auto second = static_cast<unsigned char>(text[i + 1]);
      if (byte == 0xC2 && second < 0xA0) {
        printable += '?';
      } else {
        printable.append(text.substr(i, length));
      }
      i += length;
      continue;
    }
    // A byte that is no part of UTF-8: a C1 control to a terminal that reads
    // single bytes; other bytes are letters there.
    printable += (byte < 0xA0) ? '?' : text[i];
    ++i;
  }
  return printable;
}

std::string SiteLine(const SiteRecord& site, const Judgement& judgement) {
  std::string line = judgement.Word();
  line += "  " + PrintableText(site.Title);
  if (!judgement.Passed()) line += "  (" + PrintableText(ReasonText(judgement)) + ")";
  return line;
}

ConsoleRunProgress::ConsoleRunProgress(std::ostream& out, std::ostream& err, bool showStatus,
                                       int columns, const std::atomic<bool>* interrupted,
                                       std::string padUrl)
    : out_(out),
      err_(err),
      showStatus_(showStatus),
      // One column is left free, so the line never wraps.
      columns_(static_cast<std::size_t>(columns > 20 ? columns - 1 : 19)),
      interrupted_(interrupted),
      padUrl_(std::move(padUrl)) {}

bool ConsoleRunProgress::Interrupted() const {
  return interrupted_ != nullptr && interrupted_->load();
}

void ConsoleRunProgress::ShowStatus(const std::string& text) {
  if (!showStatus_) return;
  const std::string line = Shortened(PrintableText(text), columns_);
  if (line == lastStatus_ && statusShown_ > 0) return;
  ClearStatus();
  err_ << line << std::flush;
  statusShown_ = line.size();
  lastStatus_ = line;
}

void ConsoleRunProgress::ClearStatus() {
  if (statusShown_ == 0) return;
  // Overwritten with blanks rather than an escape code, so it works on any
  // terminal.
  err_ << '\r' << std::string(statusShown_, ' ') << '\r' << std::flush;
  statusShown_ = 0;
}

void ConsoleRunProgress::Wait(BackgroundFetch& padFile) {
  ShowStatus("Fetching your PAD file " + padUrl_ + " ...");
  while (!padFile.Done()) {
    if (Interrupted()) padFile.Stop();
    std::this_thread::sleep_for(kPadFileStep);
  }
  ClearStatus();
  if (padFile.Stopping() && padFile.Result().cancelled) stopped_ = true;
}

void ConsoleRunProgress::FollowSites(SiteRun& run) {
  sitesRequested_ = true;
  run_ = &run;
  while (run.Step(kWaitStep, *this)) ShowStatus(status_);
  run_ = nullptr;
  ClearStatus();
  unfinished_ = run.Sites().size() - run.Finished();
  if (run.Stopped() && unfinished_ > 0) stopped_ = true;
}

void ConsoleRunProgress::SiteFinished(std::size_t index, const FetchResult&,
                                      const Judgement& judgement) {
  ClearStatus();
  if (judgement.Passed()) {
    ++passed_;
  } else {
    ++failed_;
  }
  out_ << SiteLine(run_->Sites()[index], judgement) << std::endl;
}

void ConsoleRunProgress::Awaiting(const std::vector<std::size_t>& indices) {
  status_ = "[" + std::to_string(run_->Finished()) + "/" + std::to_string(run_->Sites().size()) +
            "] " + std::to_string(passed_) + " passed, " + std::to_string(failed_) + " failed";
  if (run_->Stopped()) {
    status_ += "; stopping";
    return;
  }
  for (std::size_t i = 0; i < indices.size(); ++i)
    status_ += (i == 0 ? "; waiting for " : ", ") + run_->Sites()[indices[i]].Title.str();
}

bool ConsoleRunProgress::StopRequested() { return Interrupted(); }

}  // namespace tesselwick::cli
