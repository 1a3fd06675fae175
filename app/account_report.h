#pragma once
// The whole account of a run as a saved report: JSON for a file name ending in ".json",
// readable text for any other name.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "db/run_account.h"
#include "db/spooled_list.h"

namespace halvaro::app {

struct RunReport {
  std::string source_path;
  std::string destination_path;
  std::string result;                  // the final message
  std::vector<std::string> warnings;   // what makes the account less certain, shown first
  db::TextLines not_stored;            // values and steps that were not stored, as listed
  db::RunAccount account;
};

std::string report_text(const RunReport& report);
std::string report_json(const RunReport& report);

// How far saving a long report is: the listed rows and values written and how many
// the report names. Called every thousand or so of them and at the end, only for reports
// that name that many.
using ReportProgress = std::function<void(uint64_t written, uint64_t total)>;

// Writes the report in the form its name asks for, whole or not at all, never in place
// of a file that is there (see WholeFile). Throws std::runtime_error naming the file
// and the reason.
void write_report(const std::string& path, const RunReport& report, const ReportProgress& progress = {});

// A report file beside the destination, named after it and the time of the run:
// "/data/new.mdb" -> "/data/new-report-20261207-001500.txt".
std::string report_path_beside(const std::string& destination, DateTime when);

// JSON string literal of UTF-8 text, quotes included.
std::string json_string(std::string_view text);

}  // namespace halvaro::app
