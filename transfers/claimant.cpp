// The claimant's profile and tax periods: single-table copies.
#include "transfers/transfers.h"

namespace halvaro::transfers {

using db::FieldEntry;

const db::Group& claimant_info_group() {
  // The first transfer of a run finds the connections just opened: no CloseRecordSet.
  static const db::Group group{
      .recycle_before_each_stage = false,
      .stages = {{
          .label = "Claimant profile",
          .source = "Select * from tblClaimantInfo",
          .destination = {"tblClaimantInfo", db::adLockOptimistic, "tblClaimantInfo"},
          .mapping =
              {
                  FieldEntry{"STRegNO", "STRegNo", 0},
                  FieldEntry{"NTN", "NTN", 0},
                  FieldEntry{"NICOld", "NicOld", 0},
                  FieldEntry{"NICNew", "NicNew", 0},
                  FieldEntry{"ClaimantName", "ClaimantName", 0},
                  FieldEntry{"Regaddress", "regaddress", 0},
                  FieldEntry{"BusnAddress", "BusnAddress", 0},
                  FieldEntry{"PhBusn", "PhBusn", 0},
                  FieldEntry{"Phreg", "PhReg", 0},
                  FieldEntry{"Mobile", "Mobile", 0},
                  FieldEntry{"Email", "Email", 0},
                  FieldEntry{"Fax", "Fax", 0},
                  FieldEntry{"ClaimantClaimType", "ClaimantClaimType", 0},
                  FieldEntry{"CollectorateCode", "CollectorateCode", "NIL"},
                  FieldEntry{"bankcode", "bankcode", "NIL"},
                  FieldEntry{"AccNo", "AccNo", "NIL"},
                  FieldEntry{"BankName", "BankName", "NIL"},
                  FieldEntry{"BranchAddress", "BranchAddress", "NIL"},
                  FieldEntry{"AccountTitile", "AccountTitile", "NIL"},
                  FieldEntry{"AccountType", "AccountType", "NIL"},
              },
          .facts = {"tblClaimantInfo", {"STRegNo"}},
      }},
  };
  return group;
}

const db::Group& claimant_tax_period_group() {
  static const db::Group group{
      .stages = {{
          .label = "Claimant tax periods",
          .source = "Select * from tblClaimantTaxPeriod",
          .destination = {"tblClaimantTaxPeriod", db::adLockOptimistic, "tblClaimantTaxPeriod"},
          .mapping =
              {
                  FieldEntry{"STRegNO", "STRegNo", 0},
                  FieldEntry{"Taxperiod", "Taxperiod", 0},
                  FieldEntry{"TaxPeriodType", "TaxPeriodType", 0},
                  FieldEntry{"TaxPeriodEntryDate", "TaxPeriodEntryDate", 0},
                  FieldEntry{"ActiveTaxPeriod", "ActiveTaxPeriod", 0},
                  FieldEntry{"BackupCount", "BackupCount", 0},
                  FieldEntry{"LastBackUp", "LastBackUp", 0},
              },
          .facts = {"tblClaimantTaxPeriod", {"STRegNo", "Taxperiod"}},
      }},
  };
  return group;
}

void TransferClaimantInfo(db::TransferState& state) { db::RunTransfer(claimant_info_group(), state); }
void TransferClaimantTaxPeriod(db::TransferState& state) { db::RunTransfer(claimant_tax_period_group(), state); }

}  // namespace halvaro::transfers
