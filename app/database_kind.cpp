#include "app/database_kind.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <exception>

#include "jet/catalog/database.h"

namespace halvaro::app {

namespace {

// The tables only one of the two versions has.
constexpr std::array<std::string_view, 6> kOldVersionOnly{
    "tblInvoice", "tblInvoiceItem", "tblBillOfEntry", "tblBillOfEntryItem", "tblShippingBill",
    "tblShippingBillItem"};
constexpr std::array<std::string_view, 6> kVersion51Only{
    "tblInvoiceMtr", "tblInvoiceDetail", "tblBillOfEntryMtr", "tblBillofEntrydetail",
    "tblShippingBillmtr", "tblShippingBilldetail"};

bool same_name(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

// How many of `wanted` are among `held`.
template <size_t N>
size_t count_held(const std::array<std::string_view, N>& wanted, const std::vector<std::string>& held) {
  return std::ranges::count_if(wanted, [&](std::string_view name) {
    return std::ranges::any_of(held, [&](const std::string& table) { return same_name(table, name); });
  });
}

}  // namespace

DatabaseKindResult database_kind(const std::vector<std::string>& table_names) {
  const size_t old_tables = count_held(kOldVersionOnly, table_names);
  const size_t new_tables = count_held(kVersion51Only, table_names);
  if (old_tables == kOldVersionOnly.size() && new_tables == 0) return {DatabaseKind::OldVersion, {}};
  if (new_tables == kVersion51Only.size() && old_tables == 0) return {DatabaseKind::Version51, {}};
  if (old_tables > 0 && new_tables > 0)
    return {DatabaseKind::Neither, "it holds tables of both the old version and version 5.1"};
  return {DatabaseKind::Neither,
          "it holds neither the invoice, bill-of-entry and shipping-bill tables of the old version "
          "nor those of version 5.1"};
}

DatabaseKindResult database_kind_of_file(const std::filesystem::path& path) {
  try {
    return database_kind(jet::Database::open(path)->table_names());
  } catch (const std::exception& failure) {
    return {DatabaseKind::Unreadable, failure.what()};
  }
}

}  // namespace halvaro::app
