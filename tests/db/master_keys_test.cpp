#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/copy_procedure.h"
#include "db/master_keys.h"

namespace halvaro::test {
namespace {

using db::ResultTable;
using Rows = std::vector<std::vector<FieldValue>>;

// Masters whose leading values repeat (two claimants, three periods) and whose invoice
// numbers do not, more of them than a piece keeps one prefix of each for: the leading
// pieces keep their few prefixes once, the invoice numbers one per master.
TEST(MasterKeysTest, ExplainsUnreachedItemsByMastersAddedBeforeAndAfterAPieceHasManyValues) {
  const std::vector<db::QueryPiece> query{
      db::literal("Select * from Items where StRegNo = '"), db::source_value("Stregno", "StRegNo"),
      db::literal("' And TaxPeriod = '"),                    db::source_value("taxperiod", "TaxPeriod"),
      db::literal("' And InvoiceNo = '"),                    db::source_value("InvoiceNo", "InvoiceNo"),
      db::literal("'")};
  const size_t masters = 10000;
  auto claimant = [](size_t i) { return std::string(i % 2 ? "B" : "A"); };
  auto period = [](size_t i) { return std::to_string(202401 + i % 3); };
  auto invoice = [](size_t i) { return "INV-" + std::to_string(i); };

  ResultTable items({"InvoiceNo", "StRegNo", "TaxPeriod"},
                    Rows{{invoice(7), claimant(7), period(7)},
                         {invoice(9000), claimant(9000), period(9000)},
                         {invoice(5), "C", period(5)},
                         {"INV-X", claimant(9000), period(9000)},
                         {invoice(9000), claimant(9000), period(9001)},
                         {invoice(8), "b", period(9)}});
  db::MasterKeys keys(query, items, masters);
  for (size_t i = 0; i < masters; ++i) keys.add({claimant(i), period(i), invoice(i)});

  // Rows whose every value some master has: the keys cannot say more.
  const std::string found_all = "no master reaches it: its master's item query did not find it";
  EXPECT_EQ(keys.why_unreached(items, 0), found_all);
  EXPECT_EQ(keys.why_unreached(items, 1), found_all);
  EXPECT_EQ(keys.why_unreached(items, 2), "no master reaches it: no master has StRegNo \"C\"");
  EXPECT_EQ(keys.why_unreached(items, 3),
            "no master reaches it: no master has InvoiceNo \"INV-X\" with the same StRegNo, TaxPeriod");
  // Master 9000's invoice with master 9001's period (the claimant differs too).
  EXPECT_EQ(keys.why_unreached(items, 4),
            "no master reaches it: no master has InvoiceNo \"INV-9000\" with the same StRegNo, TaxPeriod");
  // Letter case aside, as the item queries compare: master 8 is "A", 202403.
  EXPECT_EQ(keys.why_unreached(items, 5),
            "no master reaches it: no master has InvoiceNo \"INV-8\" with the same StRegNo, TaxPeriod");
}

}  // namespace
}  // namespace halvaro::test
