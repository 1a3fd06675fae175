#include "app/run_guard.h"

#include <exception>

#include "app/backup.h"
#include "app/preflight.h"
#include "app/repeat_check.h"
#include "db/run_account.h"
#include "platform/file_system.h"
#include "transfers/transfers.h"

namespace halvaro::app {

std::string backup_beside(const std::string& destination, const CopyProgress& progress) {
  return platform::utf8_of(make_backup(platform::path_from_utf8(destination), std::chrono::system_clock::now(), progress));
}

namespace {

// Rows of the tables behind the views that no view delivers, told before anything is
// written: the run will not move them.
void announce_rows_not_read(const db::BaseAccount& base, MessageSink& sink) {
  if (base.not_read() == 0 && base.error.empty()) return;
  std::vector<std::string> lines;
  size_t shown = 0;
  base.lines(lines, shown, db::RunAccount::kRowsShown);
  sink.show({"The source holds rows that no view reads; this run will not move them...!", MessageStyle::Information,
             {}, lines});
}

}  // namespace

Guard guard_first_write(db::TransferState& state, const FileCheck& check, MessageSink& sink, const RunSafety& safety,
                        const std::string& source_path, const std::string& destination_path) {
  Guard guard;
  const auto& groups = transfers::groups_in_run_order();
  if (!check.fit()) {
    sink.show(unfit_files_message(check, source_path, destination_path));
    return guard;
  }

  std::vector<std::string> repeats = find_repeats(check, state.Con_Destination.store(), groups);
  if (safety.announce_repeats && !repeats.empty())
    sink.show({"The destination already holds rows that this run would append again...!", MessageStyle::Information,
               {}, repeats});
  for (const std::string& line : repeats) guard.result_lines.push_back("Already in the destination: " + line);
  if (safety.announce_repeats) announce_rows_not_read(check.base, sink);

  if (safety.backup) {
    std::string copy;
    try {
      copy = safety.backup(destination_path, shown_copy_progress(sink, kBackingUp));
    } catch (const std::exception& error) {
      sink.show({"The destination could not be backed up; nothing was written...!", MessageStyle::Stop,
                 "Halvaro: File Error", {error.what()}});
      return guard;
    }
    sink.note("Backup of the destination: " + copy);
    guard.result_lines.push_back("Backup of the destination before this run: " + copy);
  }
  guard.proceed = true;
  return guard;
}

}  // namespace halvaro::app
