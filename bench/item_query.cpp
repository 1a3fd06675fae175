// Time of one item query (the per-master-row query built from the master's values)
// at growing data sizes: it must stay flat, since it runs once per master row.
//
//   bench_item_query [FILE.mdb]
//
// Generates old-version invoice tables at 1x, 4x and 16x of old-medium's size
// (5,000 invoices, ~5 items each) and, given a file, also runs over that file.

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "jet/catalog/database.h"
#include "sql/query_engine.h"
#include "sql/regional.h"

using namespace halvaro;
using namespace halvaro::sql;

namespace {

// Rows made on the fly, so that 16x needs no memory outside the engine.
class GeneratedSource : public TableSource {
 public:
  explicit GeneratedSource(int invoices) : invoices_(invoices) {}

  std::optional<SourceTable> find_table(std::string_view name) const override {
    if (name == "tblSupplierBuyer") {
      return SourceTable{"tblSupplierBuyer",
                         {{"STRegNo", Kind::Text}, {"STRegNoSupplier", Kind::Text}, {"SupplierName", Kind::Text}}};
    }
    SourceTable table{std::string(name),
                      {{"StRegNo", Kind::Text},
                       {"TaxPeriod", Kind::Text},
                       {"InvoiceType", Kind::Text},
                       {"InvoiceNo", Kind::Text},
                       {"InvoiceDate", Kind::Date},
                       {"STRegNoSupplier", Kind::Text}}};
    if (name == "tblInvoice") {
      table.columns.push_back({"TotalSalesTax", Kind::Currency});
      return table;
    }
    if (name == "tblInvoiceItem") {
      table.columns.push_back({"ItemSerialNo", Kind::Long});
      table.columns.push_back({"pct_desc", Kind::Text});
      table.columns.push_back({"quantity", Kind::Double});
      table.columns.push_back({"ExcludSalTax", Kind::Currency});
      return table;
    }
    return std::nullopt;
  }

  std::optional<SavedQuery> find_query(std::string_view name) const override {
    const char* join =
        " LEFT JOIN tblSupplierBuyer ON (T.StRegNo = tblSupplierBuyer.STRegNo AND T.STRegNoSupplier = "
        "tblSupplierBuyer.STRegNoSupplier) WHERE T.InvoiceType = 'P' OR T.InvoiceType = 'D'";
    if (name == "VwPurchaseDebitMtr") {
      return SavedQuery{"VwPurchaseDebitMtr",
                        "SELECT T.*, tblSupplierBuyer.SupplierName AS Buyer FROM tblInvoice AS T" + std::string(join)};
    }
    if (name == "VwPurchaseDebit") {
      return SavedQuery{"VwPurchaseDebit",
                        "SELECT T.*, tblSupplierBuyer.SupplierName AS Buyer FROM tblInvoiceItem AS T" + std::string(join)};
    }
    return std::nullopt;
  }

  void scan(const SourceTable& table, const std::function<void(std::span<const FieldValue>)>& visit) const override {
    if (table.name == "tblSupplierBuyer") {
      for (int s = 0; s < 500; ++s) {
        FieldValue row[] = {claimant(s), supplier(s), "Supplier " + std::to_string(s)};
        visit(row);
      }
      return;
    }
    bool items = table.name == "tblInvoiceItem";
    for (int i = 0; i < invoices_; ++i) {
      FieldValue key[] = {claimant(i), period(i), i % 10 < 9 ? "P" : "S", "INV-" + std::to_string(i), date(i),
                          supplier(i)};
      if (!items) {
        FieldValue row[] = {key[0], key[1], key[2], key[3], key[4], key[5], Currency{i * 10000LL + 1234}};
        visit(row);
        continue;
      }
      for (int n = 1; n <= 1 + i % 9; ++n) {
        FieldValue row[] = {key[0], key[1], key[2], key[3], key[4], key[5], int64_t{n}, "cotton fabric", 2.5,
                            Currency{n * 10000LL}};
        visit(row);
      }
    }
  }

 private:
  static std::string claimant(int i) { return "03012345000" + std::to_string(10 + i % 2); }
  static std::string supplier(int i) { return "04021111" + std::to_string(10000 + i % 500); }
  static std::string period(int i) { return "2023" + std::to_string(10 + i % 3); }
  static DateTime date(int i) { return DateTime{45000.0 + i % 365 + (i % 4 == 0 ? 0.6076 : 0.0)}; }
  int invoices_;
};

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string item_query(const ResultSet& master, size_t row) {
  auto value = [&](const char* column) { return text_form(master.rows[row][static_cast<size_t>(master.find_column(column))]); };
  return "Select * from VwPurchaseDebit where StRegNo = '" + value("Stregno") + "' And TaxPeriod = '" +
         value("taxperiod") + "' And InvoiceType = '" + value("InvoiceType") + "' And InvoiceNo = '" +
         value("InvoiceNo") + "' and cstr(invoicedate) = '" + value("Invoicedate") + "' and stregnosupplier = '" +
         value("STRegNoSupplier") + "'";
}

void measure(const char* label, QueryEngine& engine) {
  auto start = std::chrono::steady_clock::now();
  ResultSet master = engine.execute("Select * from VwPurchaseDebitMtr");
  double master_time = seconds_since(start);
  start = std::chrono::steady_clock::now();
  engine.execute("Select * from VwPurchaseDebit");
  double load_time = seconds_since(start);  // evaluates the item view into a table, returns every row
  start = std::chrono::steady_clock::now();
  size_t found = engine.execute(item_query(master, 0)).rows.size();
  double first_time = seconds_since(start);  // builds the index of the item-query shape
  const size_t sample = std::min<size_t>(2000, master.rows.size());
  start = std::chrono::steady_clock::now();
  for (size_t i = 0; i < sample; ++i) {
    found += engine.execute(item_query(master, i * master.rows.size() / sample)).rows.size();
  }
  double per_query = seconds_since(start) / static_cast<double>(sample);
  std::printf("%-22s masters %7zu  master query %7.3f s  whole item view %7.3f s  first item query %7.3f s  "
              "item query %7.1f us  (%zu items)\n",
              label, master.rows.size(), master_time, load_time, first_time, per_query * 1e6, found);
}

}  // namespace

int main(int argc, char** argv) {
  for (int scale : {1, 4, 16}) {
    QueryEngine engine(std::make_shared<GeneratedSource>(5000 * scale));
    std::string label = "generated " + std::to_string(scale) + "x";
    measure(label.c_str(), engine);
  }
  if (argc > 1) {
    QueryEngine engine(std::shared_ptr<const jet::Database>(jet::Database::open(argv[1])));
    measure(argv[1], engine);
  }
  return 0;
}
