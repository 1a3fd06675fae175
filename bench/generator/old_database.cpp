#include "bench/generator/old_database.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "jet/writer/database_writer.h"
#include "sql/create_script.h"

namespace halvaro::bench {

using namespace halvaro::jet;
using namespace halvaro::sql::script;

namespace {

const std::filesystem::path kSchema = std::filesystem::path(HALVARO_EXAMPLES_DIR) / "old-version.sql";

// Appends rows given as column name / value pairs.
class Appender {
 public:
  explicit Appender(DatabaseWriter& writer) : writer_(writer) {}
  void add(const std::string& table, std::initializer_list<std::pair<const char*, FieldValue>> values) {
    const TableDef& t = writer_.table(table);
    std::vector<FieldValue> row = writer_.new_row(t);
    for (const auto& [name, value] : values) {
      const Column* c = t.find_column(name);
      if (!c) throw JetError(table + " has no column " + name);
      row[c->position] = value;
    }
    writer_.append(t, std::move(row));
    ++rows_;
  }
  long rows() const { return rows_; }

 private:
  DatabaseWriter& writer_;
  long rows_ = 0;
};

std::string digits(std::mt19937& rng, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>('0' + static_cast<int>(rng() % 10));
  return s;
}

Currency money(double v) { return Currency{static_cast<int64_t>(std::llround(v * 100)) * 100}; }

const char* kCompanies[] = {"Indus", "Ravi", "Chenab", "Jhelum", "Margalla", "Karakoram", "Mehran", "Bolan",
                            "Khyber", "Sutlej", "Thar", "Hunza", "Swat", "Kaghan", "Potohar", "Cholistan"};
const char* kTrades[] = {"Textile Mills", "Cotton Ginners", "Dyes & Chemicals", "Packaging", "Garments",
                         "Steel Re-Rolling", "Marble & Granite", "Rice Mills", "Leather Works", "Sugar Mills"};
struct Goods {
  const char* pct;
  const char* desc;
  const char* uom;
};
const Goods kGoods[] = {{"5201.0010", "Raw cotton, ginned", "KG"},   {"3204.1100", "Disperse dyes", "KG"},
                        {"4819.1000", "Corrugated cartons", "PCS"},  {"6203.4200", "Trousers of cotton", "DOZ"},
                        {"5208.5200", "Printed cotton fabric", "MTR"}, {"6302.6000", "Terry towels", "KG"},
                        {"7214.2000", "Deformed steel bars", "TON"}, {"6802.9100", "Polished marble slabs", "SQM"}};

}  // namespace

long write_old_database(long invoices, const std::filesystem::path& out) {
  std::ifstream in(kSchema);
  if (!in) throw JetError("cannot read the schema " + kSchema.string());
  std::stringstream text;
  text << in.rdbuf();
  CreateScript script;
  script.builder = DatabaseBuilder(local_now());
  parse_create_script(text.str(), script);  // the example's own rows are not used
  script.builder.write(out);

  auto writer = DatabaseWriter::open(out);
  Appender add(*writer);
  std::mt19937 rng(20240101);
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };

  const long claimants = 2 + invoices / 32000;
  const long periods_per_claimant = std::max(4L, invoices / 250 / claimants);
  const long partners = std::max(10L, invoices / 10);
  std::vector<std::string> claimant_ids;
  for (long c = 0; c < claimants; ++c) {
    std::string id = "32" + digits(rng, 11);
    claimant_ids.push_back(id);
    std::string name = std::string(kCompanies[c % 16]) + " " + kTrades[c % 10] + " (Pvt) Ltd";
    add.add("tblClaimantInfo", {{"STRegNo", id}, {"NTN", digits(rng, 7) + "-" + digits(rng, 1)},
                                {"ClaimantName", name}, {"regaddress", "Plot " + std::to_string(10 + c) + ", Industrial Estate, Lahore"},
                                {"PhBusn", "042-" + digits(rng, 8)}, {"Email", c % 2 ? FieldValue() : FieldValue("accounts@example.pk")},
                                {"ClaimantClaimType", "Manufacturer"}, {"CollectorateCode", "LHR"},
                                {"bankcode", "00" + digits(rng, 2)}, {"AccNo", digits(rng, 14)},
                                {"BankName", "Industrial Bank"}, {"AccountTitile", name}, {"AccountType", "Current"}});
  }
  std::vector<std::pair<std::string, std::string>> periods;  // claimant, period
  for (long c = 0; c < claimants; ++c)
    for (long p = 0; p < periods_per_claimant; ++p) {
      std::string period = std::to_string(2000 + p / 12) + (p % 12 < 9 ? "0" : "") + std::to_string(p % 12 + 1);
      periods.push_back({claimant_ids[static_cast<size_t>(c)], period});
      add.add("tblClaimantTaxPeriod", {{"STRegNo", claimant_ids[static_cast<size_t>(c)]}, {"Taxperiod", period},
                                       {"TaxPeriodType", "Monthly"}, {"TaxPeriodEntryDate", from_civil({2000 + static_cast<int>(p / 12), static_cast<int>(p % 12) + 1, 5, 9, 30, 0})},
                                       {"ActiveTaxPeriod", p + 1 == periods_per_claimant}, {"BackupCount", int64_t{p % 3}}});
    }
  struct Partner {
    std::string claimant, id, kind;
  };
  std::vector<Partner> partner_list;
  for (long i = 0; i < partners; ++i) {
    Partner p{claimant_ids[static_cast<size_t>(i % claimants)], "06" + digits(rng, 11), i % 2 ? "B" : "S"};
    partner_list.push_back(p);
    add.add("tblSupplierBuyer", {{"STRegNo", p.claimant}, {"STRegNoSupplier", p.id},
                                 {"SupplierName", std::string(kCompanies[pick(16)]) + " " + kTrades[pick(10)]},
                                 {"RegAddress", "Karachi"}, {"SupplierRBuyer", p.kind}});
  }
  for (long i = 0; i < invoices; ++i) {
    const auto& [claimant, period] = periods[static_cast<size_t>(rng() % periods.size())];
    unsigned roll = pick(20);
    const char* type = roll < 9 ? "P" : roll < 10 ? "D" : roll < 19 ? "S" : "C";
    Partner partner = partner_list[static_cast<size_t>(rng() % partner_list.size())];
    std::string number = "INV-" + std::to_string(100000 + i);
    int year = std::stoi(period.substr(0, 4)), month = std::stoi(period.substr(4));
    DateTime date = from_civil({year, month, 1 + static_cast<int>(pick(28)), 0, 0, 0});
    int items = 1 + static_cast<int>(pick(9));
    double sign = (*type == 'C' || *type == 'D') ? -1 : 1, total = 0;
    for (int k = 1; k <= items; ++k) {
      const Goods& g = kGoods[pick(8)];
      double qty = 1 + pick(500), value = sign * qty * (50 + pick(2000)) / 10.0;
      total += value;
      add.add("tblInvoiceItem", {{"StRegNo", claimant}, {"TaxPeriod", period}, {"InvoiceType", type},
                                 {"InvoiceNo", number}, {"InvoiceDate", date}, {"STRegNoSupplier", partner.id},
                                 {"ItemSerialNo", int64_t{k}}, {"pct_code", g.pct}, {"pct_desc", g.desc},
                                 {"quantity", qty}, {"uom", g.uom}, {"ExcludSalTax", money(value)},
                                 {"IncludSaleTax", money(value * 1.18)}, {"SalesTax", money(value * 0.18)},
                                 {"specialSED", money(0)}});
    }
    add.add("tblInvoice", {{"StRegNo", claimant}, {"TaxPeriod", period}, {"InvoiceType", type}, {"InvoiceNo", number},
                           {"InvoiceDate", date}, {"STRegNoSupplier", partner.id}, {"TotalSalesTax", money(total * 0.18)},
                           {"TotalExcludSalTax", money(total)}, {"TotalIncludSalTax", money(total * 1.18)},
                           {"TotalSED", money(0)}});
  }
  for (long i = 0; i < invoices / 5; ++i) {
    const auto& [claimant, period] = periods[static_cast<size_t>(rng() % periods.size())];
    int year = std::stoi(period.substr(0, 4)), month = std::stoi(period.substr(4));
    DateTime date = from_civil({year, month, 1 + static_cast<int>(pick(28)), 0, 0, 0});
    std::string number = "KPPI-HC-" + std::to_string(500000 + i);
    int items = 1 + static_cast<int>(pick(7));
    double tax = 0;
    for (int k = 1; k <= items; ++k) {
      const Goods& g = kGoods[pick(8)];
      double value = 10000 + pick(900000);
      tax += value * 0.17;
      add.add("tblBillOfEntryItem", {{"StRegNo", claimant}, {"taxperiod", period}, {"billofentryno", number},
                                     {"billofentrydate", date}, {"betype", "HC"}, {"collectoratecode", "KPPI"},
                                     {"itemserialno", int64_t{k}}, {"pctcode", g.pct}, {"pctdesc", g.desc},
                                     {"quantity", double(1 + pick(50))}, {"uom", g.uom},
                                     {"valueforsalestax", money(value)}, {"salestaxamount", money(value * 0.17)},
                                     {"SpecialSED", money(0)}});
    }
    add.add("tblBillOfEntry", {{"StRegNo", claimant}, {"taxperiod", period}, {"billofentryno", number},
                               {"billofentrydate", date}, {"collectoratecode", "KPPI"}, {"betype", "HC"},
                               {"igmno", "IGM-" + std::to_string(4000 + i)}, {"grossweight", double(100 + pick(20000))},
                               {"uomcode", "KG"}, {"importerntn", digits(rng, 7) + "-" + digits(rng, 1)},
                               {"importername", "Importer " + std::to_string(i % 97)}, {"CashDate", date},
                               {"totalsalestax", money(tax)}, {"TotalSED", money(0)}});
  }
  for (long i = 0; i < invoices / 5; ++i) {
    const auto& [claimant, period] = periods[static_cast<size_t>(rng() % periods.size())];
    int year = std::stoi(period.substr(0, 4)), month = std::stoi(period.substr(4));
    DateTime date = from_civil({year, month, 1 + static_cast<int>(pick(28)), 0, 0, 0});
    int64_t number = 5500000 + i;
    int items = 1 + static_cast<int>(pick(7));
    double total = 0;
    for (int k = 1; k <= items; ++k) {
      const Goods& g = kGoods[pick(8)];
      double value = 1000 + pick(90000);
      total += value;
      add.add("tblShippingBillItem", {{"StRegNo", claimant}, {"taxperiod", period}, {"collectoratecode", "KEPZ"},
                                      {"shippingbillno", number}, {"shippingbilldate", date}, {"itemserialno", int64_t{k}},
                                      {"pctcode", g.pct}, {"pctdesc", g.desc}, {"quantity", double(1 + pick(900))},
                                      {"Uom", g.uom}, {"exportvalue", money(value)}});
    }
    add.add("tblShippingBill", {{"StRegNo", claimant}, {"taxperiod", period}, {"collectoratecode", "KEPZ"},
                                {"shippingbillno", number}, {"shippingbilldate", date}, {"egmno", "EGM-" + std::to_string(i)},
                                {"mrno", "MR-" + std::to_string(i)}, {"mrdate", date}, {"airwaypostalrailwayno", "AWB-" + digits(rng, 8)},
                                {"airwaypostalrailwaydate", date}, {"total_export_value", money(total)},
                                {"gross_weight", double(10 + pick(5000))}, {"Uom", "KG"},
                                {"exporter_ntn", digits(rng, 7) + "-" + digits(rng, 1)}, {"exporter_name", "Exporter " + std::to_string(i % 89)}});
  }
  writer->close();
  return add.rows();
}

}  // namespace halvaro::bench
