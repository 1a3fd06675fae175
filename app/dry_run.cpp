#include "app/dry_run.h"

#include <memory>
#include <optional>

#include "app/scratch_copy.h"
#include "db/errors.h"
#include "db/jet_store.h"
#include "platform/file_system.h"

namespace halvaro::app {
namespace {

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Passes everything on with the scratch copy's name replaced by the destination's, so a
// dry run's messages read as the real run's would.
class RenamingSink final : public MessageSink {
 public:
  RenamingSink(MessageSink& sink, std::string scratch, std::string destination)
      : sink_(sink), scratch_(std::move(scratch)), destination_(std::move(destination)) {}
  void show(const Message& message) override {
    Message renamed = message;
    renamed.text = replaced(renamed.text, scratch_, destination_);
    for (std::string& line : renamed.details) line = replaced(line, scratch_, destination_);
    sink_.show(renamed);
  }
  void progress(const Progress& progress) override { sink_.progress(progress); }
  void note(const std::string& line) override { sink_.note(replaced(line, scratch_, destination_)); }

 private:
  MessageSink& sink_;
  std::string scratch_;
  std::string destination_;
};

}  // namespace

TransferRun::Outcome dry_run(MessageSink& sink, const std::string& source_path, const std::string& destination_path,
                             const std::string& report_path, bool* report_failed) {
  std::optional<ScratchCopy> scratch;
  std::string copy_failure;
  try {
    scratch.emplace(platform::path_from_utf8(destination_path), shown_copy_progress(sink, kCopyingForDryRun));
  } catch (const ScratchCopyError& error) {
    copy_failure = error.what();  // reported as the destination's open failure
  }

  // The destination is opened as its scratch copy; nothing else is redirected.
  db::StoreOpener files = db::jet_store_opener();
  db::StoreOpener opener = [&](const std::string& path, db::Access access) -> std::unique_ptr<db::Store> {
    if (access != db::Access::Append) return files(path, access);
    if (path != destination_path && (!scratch || path != platform::utf8_of(scratch->path())))
      throw db::DbError(db::ErrorCode::Unspecified, "a dry run writes only to its scratch copy");
    if (!scratch) throw db::DbError(db::ErrorCode::Unspecified, copy_failure);
    return files(platform::utf8_of(scratch->path()), access);
  };

  RenamingSink renaming(sink, scratch ? platform::utf8_of(scratch->path()) : std::string(), destination_path);
  renaming.note("Dry run: the transfer writes to a scratch copy; " + destination_path + " is not changed.");
  TransferRun run(renaming, opener);
  run.set_safety({.backup = {}, .announce_repeats = true});
  run.set_report_path(report_path);
  TransferRun::Outcome outcome = run.run(source_path, destination_path);
  if (report_failed) *report_failed = run.report_failed();
  return outcome;
}

}  // namespace halvaro::app
