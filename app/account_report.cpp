#include "app/account_report.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "app/file_copy.h"
#include "platform/file_system.h"

namespace halvaro::app {
namespace {

bool ends_with_json(const std::string& path) {
  return path.size() >= 5 && path.compare(path.size() - 5, 5, ".json") == 0;
}

// Counts the listed rows and values as they are written, for a long report's progress.
class Tally {
 public:
  static constexpr uint64_t kEvery = 1024;

  Tally(const RunReport& report, const ReportProgress& progress) : progress_(progress) {
    if (!progress_) return;
    for (const db::SourceAccount& source : report.account.sources)
      total_ += source.not_moved.size() + source.more_than_once.size() + source.changed.size();
    total_ += report.not_stored.size() + report.account.base.not_read();
    if (total_ < kEvery) progress_ = {};
  }
  void step() {
    if (progress_ && ++done_ % kEvery == 0) progress_(done_, total_);
  }
  void finish() {
    if (progress_ && done_ % kEvery != 0) progress_(done_, total_);
  }

 private:
  ReportProgress progress_;
  uint64_t done_ = 0;
  uint64_t total_ = 0;
};

std::string json_key(const std::vector<std::pair<std::string, std::string>>& key) {
  std::string out = "{";
  for (size_t i = 0; i < key.size(); ++i)
    out += (i ? ", " : "") + json_string(key[i].first) + ": " + json_string(key[i].second);
  return out + "}";
}

void json_rows(std::ostream& out, const db::ListedRows& rows, bool with_times, Tally& tally) {
  out << "[";
  bool first = true;
  rows.for_each([&](const db::ListedRow& row) {
    out << (first ? "\n        " : ",\n        ") << "{\"key\": " << json_key(row.key);
    if (with_times) out << ", \"times\": " << row.times;
    out << ", \"reason\": " << json_string(row.reason) << "}";
    first = false;
    tally.step();
  });
  out << (rows.empty() ? "]" : "\n      ]");
}

void text_rows(std::ostream& out, const char* heading, const db::RunAccount& account,
               db::ListedRows db::SourceAccount::*list, Tally& tally) {
  bool first = true;
  for (const db::SourceAccount& source : account.sources) {
    (source.*list).for_each([&](const db::ListedRow& row) {
      if (first) out << "\n" << heading << "\n";
      first = false;
      out << "  " << source.name << " [" << row.key_text() << "]: " << row.reason << "\n";
      tally.step();
    });
  }
}

std::string padded(std::string text, size_t width, bool right) {
  if (text.size() >= width) return text;
  return right ? std::string(width - text.size(), ' ') + text : text + std::string(width - text.size(), ' ');
}

// The tables behind the views: each table's rows and those no view reads.
void text_base_tables(std::ostream& out, const db::BaseAccount& base, Tally& tally) {
  if (base.tables.empty() && base.error.empty()) return;
  out << "\nTables the views read          rows  read by views  not read\n";
  if (!base.error.empty()) out << "  could not be accounted for: " << base.error << "\n";
  for (const db::BaseTableAccount& t : base.tables)
    out << "  " << padded(t.name, 24, false) << padded(std::to_string(t.rows), 10, true)
        << padded(std::to_string(t.read_by_views), 15, true) << padded(std::to_string(t.not_read.size()), 10, true)
        << "\n";
  if (base.not_read() == 0) return;
  out << "\nNot read by any view\n";
  for (const db::BaseTableAccount& t : base.tables)
    t.not_read.for_each([&](const db::ListedRow& row) {
      out << "  " << t.name << " [" << row.key_text() << "]: " << row.reason << "\n";
      tally.step();
    });
}

}  // namespace

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += char(c);  // UTF-8 passes unchanged
        }
    }
  }
  return out + "\"";
}

void write_json(std::ostream& out, const RunReport& report, Tally& tally) {
  out << ("{\n  \"result\": " + json_string(report.result) + ",\n");
  out << ("  \"source_file\": " + json_string(report.source_path) + ",\n");
  out << ("  \"destination_file\": " + json_string(report.destination_path) + ",\n");
  if (!report.warnings.empty()) {
    out << "  \"warnings\": [";
    for (size_t i = 0; i < report.warnings.size(); ++i) out << (i ? ", " : "") << json_string(report.warnings[i]);
    out << "],\n";
  }
  out << ("  \"sources\": [");
  for (size_t i = 0; i < report.account.sources.size(); ++i) {
    const db::SourceAccount& s = report.account.sources[i];
    out << (std::string(i ? ",\n" : "\n") + "    {\"name\": " + json_string(s.name) + ", \"group\": " + json_string(s.group));
    if (!s.read) {
      out << (", \"rows\": null, \"read_error\": " + json_string(s.read_error) + "}");
      continue;
    }
    out << ", \"rows\": " << s.rows << ", \"moved\": " << s.moved
        << ", \"moved_more_than_once\": " << s.more_than_once.size() << ",\n      \"not_moved\": ";
    json_rows(out, s.not_moved, false, tally);
    out << ",\n      \"more_than_once\": ";
    json_rows(out, s.more_than_once, true, tally);
    out << ",\n      \"changed\": ";
    json_rows(out, s.changed, false, tally);
    out << "}";
  }
  out << ("\n  ],\n  \"base_tables\": [");
  const db::BaseAccount& base = report.account.base;
  for (size_t i = 0; i < base.tables.size(); ++i) {
    const db::BaseTableAccount& t = base.tables[i];
    out << (std::string(i ? ",\n" : "\n") + "    {\"name\": " + json_string(t.name) + ", \"views\": [");
    for (size_t v = 0; v < t.views.size(); ++v) out << (v ? ", " : "") << json_string(t.views[v]);
    out << "], \"rows\": " << t.rows << ", \"read_by_views\": " << t.read_by_views << ",\n      \"not_read\": ";
    json_rows(out, t.not_read, false, tally);
    out << "}";
  }
  out << "\n  ],";
  if (!base.error.empty()) out << ("\n  \"base_tables_error\": " + json_string(base.error) + ",");
  out << ("\n  \"totals\": [");
  for (size_t i = 0; i < report.account.totals.size(); ++i) {
    const db::TotalLine& t = report.account.totals[i];
    out << (std::string(i ? ",\n" : "\n") + "    {\"StRegNo\": " + json_string(t.claimant) +
           ", \"TaxPeriod\": " + json_string(t.period) + ", \"source\": " + json_string(t.source) +
           ", \"column\": " + json_string(t.column) + ", \"source_total\": " + to_string(t.source_total) +
           ", \"appended\": " + to_string(t.appended) + ", \"difference\": " + to_string(t.difference()) +
           ", \"listed_rows\": " + to_string(t.listed) + "}");
  }
  out << ("\n  ],\n  \"values_not_stored\": [");
  bool first = true;
  report.not_stored.for_each([&](const std::string& line) {
    out << (first ? "\n    " : ",\n    ") << json_string(line);
    first = false;
    tally.step();
  });
  out << (report.not_stored.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

void write_text(std::ostream& out, const RunReport& report, Tally& tally) {
  const db::RunAccount& account = report.account;
  out << "Halvaro transfer report\n";
  out << ("Source:      " + report.source_path + "\n");
  out << ("Destination: " + report.destination_path + "\n");
  out << ("Result:      " + report.result + "\n");
  for (const std::string& warning : report.warnings) out << ("Warning:     " + warning + "\n");
  out << "\n";
  out << "Source                  rows    moved  more than once  not moved\n";
  for (const db::SourceAccount& s : account.sources) {
    out << ("  " + padded(s.name, 20, false));
    if (!s.read) {
      out << ("  could not be read: " + s.read_error + "\n");
      continue;
    }
    out << (padded(std::to_string(s.rows), 6, true) + padded(std::to_string(s.moved), 9, true) +
           padded(std::to_string(s.more_than_once.size()), 16, true) +
           padded(std::to_string(s.not_moved.size()), 11, true) + "\n");
  }
  text_rows(out, "Not moved", account, &db::SourceAccount::not_moved, tally);
  text_rows(out, "Moved more than once", account, &db::SourceAccount::more_than_once, tally);
  text_rows(out, "Moved with a changed value", account, &db::SourceAccount::changed, tally);
  text_base_tables(out, account.base, tally);
  if (!report.not_stored.empty()) {
    out << "\nValues not stored\n";
    report.not_stored.for_each([&](const std::string& line) {
      out << "  " << line << "\n";
      tally.step();
    });
  }
  out << "\nTotals per claimant and tax period (a * marks a difference; the listed rows account for it)\n";
  out << "  StRegNo        period  source              column                     source       appended   difference\n";
  for (const db::TotalLine& t : account.totals) {
    bool differs = !db::is_zero(t.difference());
    out << ((differs ? "* " : "  ") + padded(t.claimant, 15, false) + padded(t.period, 8, false) +
           padded(t.source, 20, false) + padded(t.column, 18, false) + padded(to_string(t.source_total), 16, true) +
           padded(to_string(t.appended), 15, true) + padded(to_string(t.difference()), 13, true));
    if (differs) out << ("  listed rows " + to_string(t.listed));
    out << "\n";
  }
}

std::string report_text(const RunReport& report) {
  std::ostringstream out;
  Tally uncounted(report, {});
  write_text(out, report, uncounted);
  return out.str();
}

std::string report_json(const RunReport& report) {
  std::ostringstream out;
  Tally uncounted(report, {});
  write_json(out, report, uncounted);
  return out.str();
}

void write_report(const std::string& path, const RunReport& report, const ReportProgress& progress) {
  const auto failed = [&path](const std::string& reason) {
    return std::runtime_error("Could not write the report " + path + ": " + reason);
  };
  // Whole or not at all under its name (see WholeFile), and never in place of a file.
  const std::filesystem::path name = platform::path_from_utf8(path);
  std::optional<WholeFile> file;
  try {
    file.emplace(name);
  } catch (const std::runtime_error& error) {
    throw failed(error.what());
  }
  {
    FileOutput out(file->file());
    // Written as it is made: a long account is never held whole.
    Tally tally(report, progress);
    if (ends_with_json(path))
      write_json(out, report, tally);
    else
      write_text(out, report, tally);
    out.flush();
    tally.finish();
    if (out.error()) throw failed(out.error().message());
  }
  bool named = false;
  try {
    named = file->publish(name);
  } catch (const std::runtime_error& error) {
    throw failed(error.what());
  }
  if (!named) throw failed("a file of that name is there already");
}

std::string report_path_beside(const std::string& destination, DateTime when) {
  const std::filesystem::path path = platform::path_from_utf8(destination);
  CivilTime t = to_civil(when);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "-report-%04d%02d%02d-%02d%02d%02d.txt", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  // The report's name in place of the destination's: its folder keeps the separators
  // it was given in (on Windows, a '/' is not turned into a '\\' before the name).
  std::filesystem::path report = path;
  report.replace_filename(platform::path_from_utf8(platform::utf8_of(path.stem()) + stamp));
  return platform::utf8_of(report);
}

}  // namespace halvaro::app
