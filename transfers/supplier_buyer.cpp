#include "transfers/transfers.h"

namespace halvaro::transfers {

using db::FieldEntry;

const db::Group& supplier_buyer_group() {
  static const db::Group group{
      .stages = {{
          .label = "Suppliers and buyers",
          .source = "Select * from tblSupplierBuyer",
          .destination = {"tblSupplierBuyer", db::adLockOptimistic, "tblSupplierBuyer"},
          .mapping =
              {
                  FieldEntry{"STRegNo", "STRegNo", 0},
                  FieldEntry{"STRegNoSupplier", "STRegNoSupplier", 0},
                  FieldEntry{"SupplierName", "SupplierName", 0},
                  FieldEntry{"RegAddress", "RegAddress", 0},
                  FieldEntry{"SupplierRBuyer", "SupplierRBuyer", 0},
              },
          .facts = {"tblSupplierBuyer", {"STRegNo", "STRegNoSupplier", "SupplierRBuyer"}},
      }},
  };
  return group;
}

void TransferSupplierBuyer(db::TransferState& state) { db::RunTransfer(supplier_buyer_group(), state); }

}  // namespace halvaro::transfers
