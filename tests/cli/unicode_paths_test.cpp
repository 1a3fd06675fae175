// Files whose folders and names are Urdu words with blanks between them, as a user in
// Pakistan names them: every file the command line is given or makes from another's
// name (the backup beside the destination, the report) lands where its name says, on
// POSIX and on Windows alike.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/file_system.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

namespace fs = std::filesystem;

fs::path urdu(const char8_t* name) { return fs::path(name); }
std::string text_of(const fs::path& path) { return platform::utf8_of(path); }

// The tables and views of the old version's example, and one claimant with his tax
// periods and two partners.
std::string old_database_script() {
  std::ifstream in(source_dir() / "examples" / "old-version.sql");
  std::stringstream all;
  all << in.rdbuf();
  const std::string text = all.str();
  return text.substr(0, text.find("\nINSERT INTO")) +
         "\nINSERT INTO tblClaimantInfo (STRegNo, ClaimantName) VALUES ('3277876543210', 'Ravi Textile Mills');\n"
         "INSERT INTO tblClaimantTaxPeriod (STRegNo, Taxperiod, TaxPeriodType) VALUES ('3277876543210', '202401', "
         "'Monthly');\n"
         "INSERT INTO tblClaimantTaxPeriod (STRegNo, Taxperiod, TaxPeriodType) VALUES ('3277876543210', '202402', "
         "'Monthly');\n"
         "INSERT INTO tblSupplierBuyer (STRegNo, STRegNoSupplier, SupplierName, RegAddress, SupplierRBuyer) VALUES "
         "('3277876543210', '0699001122334', 'Indus Cotton Ginners', 'Ghotki', 'S');\n"
         "INSERT INTO tblSupplierBuyer (STRegNo, STRegNoSupplier, SupplierName, RegAddress, SupplierRBuyer) VALUES "
         "('3277876543210', '0811223344556', 'Metro Garments', 'Karachi', 'B');\n";
}

// A path as the JSON report writes it: a backslash (Windows' separator) escaped.
std::string json_text(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

// The paths as text with / between names, sorted.
std::vector<std::string> texts_of(const std::vector<fs::path>& paths) {
  std::vector<std::string> texts;
  for (const auto& path : paths) texts.push_back(platform::utf8_of(path.generic_u8string()));
  std::sort(texts.begin(), texts.end());
  return texts;
}

// Every file and folder below `top`, relative to it.
std::vector<std::string> everything_below(const fs::path& top) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::recursive_directory_iterator(top)) found.push_back(fs::relative(entry.path(), top));
  return texts_of(found);
}

TEST(UnicodePaths, UrduFolderAndFileNamesWithBlanksForEveryFileOfATransfer) {
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  TempDir dir;
  const fs::path records = urdu(u8"ٹیکس ریکارڈ");
  const fs::path reports = urdu(u8"رپورٹیں اور نقلیں");
  fs::create_directories(dir.path() / records / urdu(u8"نیا سال"));
  fs::create_directory(dir.path() / reports);

  // The old database, made by the program itself from a script of that folder.
  const fs::path script = dir.path() / records / urdu(u8"پرانا خاکہ.sql");
  std::ofstream(script) << old_database_script();
  const fs::path source = dir.path() / records / urdu(u8"پرانا ڈیٹا.mdb");
  const auto made = run_halvaro({"create", text_of(source), text_of(script)}, ErrorOutput::merged);
  ASSERT_EQ(made.status, 0) << made.out;

  const fs::path destination = dir.path() / records / urdu(u8"نیا سال") / urdu(u8"نئی فائل 5.1.mdb");
  fs::copy_file(new_empty, destination);
  fs::permissions(destination, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  const std::string empty_bytes = file_bytes(destination);
  const fs::path report = dir.path() / reports / urdu(u8"منتقلی کی رپورٹ.json");

  const auto moved = run_halvaro({"transfer", text_of(source), text_of(destination), "--report", text_of(report)},
                                 ErrorOutput::merged);
  EXPECT_EQ(moved.status, 0) << moved.out;
  EXPECT_NE(moved.out.find("All data moved successfully...!"), std::string::npos) << moved.out;

  // The backup: beside the destination, its name the destination's with the moment
  // added, the destination as it was before the run; the output names it.
  std::vector<fs::path> backups;
  for (const auto& entry : fs::directory_iterator(destination.parent_path()))
    if (entry.path() != destination) backups.push_back(entry.path());
  ASSERT_EQ(backups.size(), 1u) << "beside the destination: none or more than the backup";
  const std::string backup_name = text_of(backups[0].filename());
  EXPECT_EQ(backup_name.rfind(text_of(urdu(u8"نئی فائل 5.1.backup-")), 0), 0u) << backup_name;
  EXPECT_EQ(backups[0].extension().string(), ".mdb");
  EXPECT_EQ(file_bytes(backups[0]), empty_bytes);
  EXPECT_NE(moved.out.find("Backup of the destination: " + text_of(backups[0])), std::string::npos) << moved.out;

  // The report where it was asked for, naming both files and the rows it moved.
  ASSERT_TRUE(fs::exists(report)) << moved.out;
  const std::string account = file_bytes(report);
  EXPECT_NE(account.find("\"source_file\": \"" + json_text(text_of(source)) + "\""), std::string::npos) << account;
  EXPECT_NE(account.find("\"destination_file\": \"" + json_text(text_of(destination)) + "\""), std::string::npos)
      << account;
  EXPECT_NE(account.find("\"rows\": 2, \"moved\": 2"), std::string::npos) << account;  // the tax periods
  EXPECT_NE(account.find("\"rows\": 1, \"moved\": 1"), std::string::npos) << account;  // the claimant

  // The rows are in the destination, which is whole.
  const auto listing = run_halvaro({"dump", text_of(destination)});
  EXPECT_NE(listing.out.find("tblClaimantInfo  1 row\n"), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find("tblSupplierBuyer  2 rows\n"), std::string::npos) << listing.out;
  const auto check = run_halvaro({"check", text_of(destination)});
  EXPECT_EQ(check.status, 0) << check.out;

  // Nothing landed under a name mangled on its way (a code page's question marks, bytes
  // read as another encoding).
  std::vector<fs::path> expected = {records,
                                    records / urdu(u8"نیا سال"),
                                    records / urdu(u8"نیا سال") / urdu(u8"نئی فائل 5.1.mdb"),
                                    records / urdu(u8"نیا سال") / backups[0].filename(),
                                    records / urdu(u8"پرانا خاکہ.sql"),
                                    records / urdu(u8"پرانا ڈیٹا.mdb"),
                                    reports,
                                    reports / urdu(u8"منتقلی کی رپورٹ.json")};
  EXPECT_EQ(everything_below(dir.path()), texts_of(expected));
}

}  // namespace
}  // namespace halvaro::test
