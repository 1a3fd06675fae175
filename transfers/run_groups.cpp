#include "transfers/transfers.h"

namespace halvaro::transfers {

const std::vector<const db::Group*>& run_groups() {
  static const std::vector<const db::Group*> groups{&claimant_info_group(), &claimant_tax_period_group(),
                                                    &supplier_buyer_group(),  &invoices_group(),
                                                    &bill_of_entry_group(),   &shipping_bill_group()};
  return groups;
}

}  // namespace halvaro::transfers
