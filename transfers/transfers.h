#pragma once
// The six table transfers of a run, in the order the run calls them. Each is a group of
// source texts, destination texts and field mappings run by the table copy procedure.

#include "db/copy_procedure.h"

namespace halvaro::transfers {

void TransferClaimantInfo(db::TransferState& state);
void TransferClaimantTaxPeriod(db::TransferState& state);
void TransferSupplierBuyer(db::TransferState& state);
void TransferInvoices(db::TransferState& state);
void TransferBillOfEntry(db::TransferState& state);
void TransferShippingBill(db::TransferState& state);

// The groups themselves, for inspection.
const db::Group& claimant_info_group();
const db::Group& claimant_tax_period_group();
const db::Group& supplier_buyer_group();
const db::Group& invoices_group();
const db::Group& bill_of_entry_group();
const db::Group& shipping_bill_group();

// The six groups in the order the run calls their transfers.
const std::vector<const db::Group*>& groups_in_run_order();

}  // namespace halvaro::transfers
