#pragma once

#include <string>
#include <vector>

namespace halvaro::app {

// A modal message box as the transfer run asks for it. The window shows it as a
// message box; the command line prints it.
enum class MessageStyle { Plain = 0, Stop = 16, Information = 64 };

struct Message {
  std::string text;
  MessageStyle style = MessageStyle::Plain;
  std::string title;                 // empty: the application's title, "Halvaro"
  std::vector<std::string> details;  // extra lines (e.g. values that were not stored)
};

// Progress of a long run: which group is being copied and how far it is; before the
// first write, how many source and destination rows are checked, how many source rows
// are read and how much of the
// destination's backup (or a dry run's copy) is made; at the end, how much of a long
// report is saved.
struct Progress {
  enum class Work { CopyingRows, ReadingSource, CopyingFile, SavingReport };
  std::string group;  // e.g. "Bills of entry"; for the other work, what is being done
  long long done = 0;
  long long total = 0;  // 0 when unknown
  Work work = Work::CopyingRows;
};

inline constexpr const char* kCheckingSource = "Checking the source";
inline constexpr const char* kCheckingDestination = "Checking the destination";
inline constexpr const char* kReadingSource = "Reading the source";
inline constexpr const char* kBackingUp = "Backing up the destination";
inline constexpr const char* kCopyingForDryRun = "Copying the destination for the dry run";
inline constexpr const char* kSavingReport = "Saving the report";

// How far a progress is, with what it counts: "3 of 122 MiB", or "516036 rows" when the
// total is unknown.
inline std::string progress_count(const Progress& progress) {
  const char* unit = "rows";
  if (progress.work == Progress::Work::CopyingFile) unit = "MiB";
  if (progress.work == Progress::Work::SavingReport) unit = "entries";
  std::string text = std::to_string(progress.done);
  if (progress.total > 0) text += " of " + std::to_string(progress.total);
  return text + " " + unit;
}

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Returns when the user has acknowledged the message.
  virtual void show(const Message& message) = 0;
  virtual void progress(const Progress& /*progress*/) {}
  // A line that needs no acknowledgement (such as where the backup went): the command
  // line prints it at once; the window has it in the result's details instead.
  virtual void note(const std::string& /*line*/) {}
  // Called now and then during long work with no rows to count yet (the source's
  // tables being read), so that a window keeps painting.
  virtual void busy() {}
};

}  // namespace halvaro::app
