#include "transfers/transfers.h"

namespace halvaro::transfers {

using db::FieldEntry;
using db::literal;
using db::saved_value;
using db::source_value;

const db::Group& shipping_bill_group() {
  static const db::Group group{
      .stages = {{
          .label = "Shipping bills",
          .source = "SELECT *  FROM  VwShippingBillMtr",
          .destination = {"tblShippingBillmtr", db::adLockOptimistic, "tblShippingBillmtr"},
          .mapping =
              {
                  FieldEntry{"StRegNo", "StRegNo", 0},
                  FieldEntry{"collectoratecode", "collectoratecode", 0},
                  FieldEntry{"shippingbillno", "shippingbillno", 0},
                  FieldEntry{"shippingbilldate", "shippingbilldate", 0},
                  FieldEntry{"taxperiod", "taxperiod", 0},
                  FieldEntry{"egmno", "egmno", 0},
                  FieldEntry{"mrno", "mrno", 0},
                  FieldEntry{"mrdate", "mrdate", 0},
                  FieldEntry{"airwaypostalrailwayno", "airwaypostalrailwayno", 0},
                  FieldEntry{"airwaypostalrailwaydate", "airwaypostalrailwaydate", 0},
                  FieldEntry{"total_export_value", "total_export_value", 0},
                  FieldEntry{"gross_weight", "gross_weight", 0},
                  FieldEntry{"UOM", "UomMtr", 0},
                  FieldEntry{"exporter_ntn", "exporter_ntn", 0},
                  FieldEntry{"exporter_name", "exporter_name", 0},
              },
          .detail =
              db::DetailCopy{
                  // Number, date and collectorate are read back from the shipping bill
                  // just stored, so they are its stored values (defaults included).
                  .query =
                      {
                          literal("Select * from VwShippingBill where StRegNo = '"),
                          source_value("Stregno", "StRegNo"),
                          literal("' And TaxPeriod = '"),
                          source_value("taxperiod", "TaxPeriod"),
                          literal("' And cstr(ShippingBillNo) = '"),
                          saved_value("shippingbillno", "ShippingBillNo", "cstr(ShippingBillNo)"),
                          literal("' and cstr(Shippingbilldate)= '"),
                          saved_value("shippingbilldate", "Shippingbilldate", "cstr(Shippingbilldate)"),
                          literal("' and CollectorateCode = '"),
                          saved_value("collectoratecode", "CollectorateCode"),
                          literal("'"),
                      },
                  .destination = {"tblShippingBilldetail"},
                  .mapping =
                      {
                          FieldEntry{"StRegNo", "StRegNo", 0},
                          FieldEntry{"taxperiod", "taxperiod", 0},
                          FieldEntry{"collectoratecode", "collectoratecode", 0},
                          FieldEntry{"shippingbillno", "shippingbillno", 0},
                          FieldEntry{"shippingbilldate", "shippingbilldate", 0},
                          FieldEntry{"itemserialno", "itemserialno", 0},
                          FieldEntry{"pctdesc", "pctdesc", 0},
                          FieldEntry{"pctcode", "pctcode", 0},
                          FieldEntry{"quantity", "quantity", 0},
                          FieldEntry{"uom", "UomDetail", 0},
                          FieldEntry{"exportvalue", "exportvalue", 0},
                      },
                  .view = {"VwShippingBill",
                           {"StRegNo", "taxperiod", "shippingbillno", "shippingbilldate", "collectoratecode",
                            "itemserialno"},
                           {"quantity", "exportvalue"}},
              },
          .facts = {"VwShippingBillMtr",
                    {"StRegNo", "taxperiod", "shippingbillno", "shippingbilldate", "collectoratecode"},
                    {"total_export_value", "gross_weight"}},
      }},
  };
  return group;
}

void TransferShippingBill(db::TransferState& state) { db::RunTransfer(shipping_bill_group(), state); }

}  // namespace halvaro::transfers
