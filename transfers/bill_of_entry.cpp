#include "transfers/transfers.h"

namespace halvaro::transfers {

using db::FieldEntry;
using db::literal;
using db::source_value;

const db::Group& bill_of_entry_group() {
  static const db::Group group{
      .stages = {{
          .label = "Bills of entry",
          .source = "SELECT *  FROM  vwBillOfentryMtr",
          .destination = {"tblBillOfEntryMtr", db::adLockOptimistic, "tblBillOfEntryMtr"},
          .mapping =
              {
                  FieldEntry{"StRegNo", "StRegNo", 0},
                  FieldEntry{"billofentryno", "billofentryno", 0},
                  FieldEntry{"billofentrydate", "billofentrydate", 0},
                  FieldEntry{"collectoratecode", "collectoratecode", 0},
                  FieldEntry{"betype", "betype", 0},
                  FieldEntry{"taxperiod", "taxperiod", 0},
                  FieldEntry{"igmno", "igmno", 0},
                  FieldEntry{"grossweight", "grossweight", 0},
                  FieldEntry{"uomcode", "uomcode", 0},
                  FieldEntry{"importerntn", "importerntn", 0},
                  FieldEntry{"importername", "importername", 0},
                  FieldEntry{"CashDate", "CashDate", 0},
                  FieldEntry{"totalsalestax", "totalsalestax", 0},
                  FieldEntry{"TotalSED", {}, 0},
              },
          .detail =
              db::DetailCopy{
                  // The bill's own values, read from the source row.
                  .query =
                      {
                          literal("Select * from vwbillofentry where StRegNo = '"),
                          source_value("Stregno", "StRegNo"),
                          literal("' And TaxPeriod = '"),
                          source_value("taxperiod", "TaxPeriod"),
                          literal("' And BeType = '"),
                          source_value("betype", "BeType"),
                          literal("'  and cstr(BillOfEntryNo) = '"),
                          source_value("billofentryno", "BillOfEntryNo", "cstr(BillOfEntryNo)"),
                          literal("' and cstr(BillofEntryDate) = '"),
                          source_value("billofentrydate", "BillofEntryDate", "cstr(BillofEntryDate)"),
                          literal("' and collectorateCode = '"),
                          source_value("collectoratecode", "collectorateCode"),
                          literal("'"),
                      },
                  .destination = {"tblBillofEntrydetail"},
                  .mapping =
                      {
                          FieldEntry{"StRegNo", "StRegNo", 0},
                          FieldEntry{"taxperiod", "taxperiod", 0},
                          FieldEntry{"billofentryno", "billofentryno", 0},
                          FieldEntry{"Itemserialno", "itemserialno", 0},
                          FieldEntry{"billofentrydate", "billofentrydate", 0},
                          FieldEntry{"betype", "betype", 0},
                          FieldEntry{"collectoratecode", "collectoratecode", 0},
                          FieldEntry{"pctdesc", "pctdesc", 0},
                          FieldEntry{"pctcode", "pctcode", 0},
                          FieldEntry{"quantity", "quantity", 0},
                          FieldEntry{"uom", "uom", 0},
                          FieldEntry{"valueforsalestax", "valueforsalestax", 0},
                          FieldEntry{"salestaxamount", "salestaxamount", 0},
                          FieldEntry{"SpecialSED", {}, 0},
                      },
                  .view = {"vwbillofentry",
                           {"StRegNo", "taxperiod", "betype", "billofentryno", "billofentrydate", "collectoratecode",
                            "itemserialno"},
                           {"quantity", "valueforsalestax", "salestaxamount"}},
              },
          .facts = {"vwBillOfentryMtr",
                    {"StRegNo", "taxperiod", "betype", "billofentryno", "billofentrydate", "collectoratecode"},
                    {"grossweight", "totalsalestax"}},
      }},
  };
  return group;
}

void TransferBillOfEntry(db::TransferState& state) { db::RunTransfer(bill_of_entry_group(), state); }

}  // namespace halvaro::transfers
