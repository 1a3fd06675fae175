#pragma once
// Rows a run would append again: master rows of the source whose key (or, for a table
// without one, whose item-query values) the destination already holds. A keyed group
// stops at the first of them; an unkeyed one appends them, with their items, a second
// time.

#include <string>
#include <vector>

#include "app/preflight.h"

namespace halvaro::app {

// One line per stage that would repeat rows (up to the first keyed one of a group, where
// the group stops), e.g. "Shipping bills: 6 of 6 are already
// in tblShippingBillmtr, with 12 items in tblShippingBilldetail; this run appends them
// again". Reads the destination's tables; the files must have passed check_files.
std::vector<std::string> find_repeats(const FileCheck& check, db::Store& destination,
                                      const std::vector<const db::Group*>& groups);

}  // namespace halvaro::app
