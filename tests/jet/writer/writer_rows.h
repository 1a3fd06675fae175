#pragma once
// Rows the writer tests append to the 5.1 tables, and the message of a refusal.

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/writer/database_writer.h"

namespace halvaro::jet::writer_rows {

// The message of the JetError `action` throws; "(no error)" when it throws none.
inline std::string error_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const JetError& e) {
    return e.what();
  }
  return "(no error)";
}

// A row of tblClaimantInfo for the registration number `number`.
inline std::vector<FieldValue> claimant(const DatabaseWriter& w, const TableDef& t, const std::string& number) {
  auto row = w.new_row(t);
  row.at(t.find_column("STRegNO")->position) = FieldValue(number);
  row.at(t.find_column("ClaimantName")->position) = FieldValue("Claimant " + number);
  return row;
}

// The n-th claimant: its number is n in 13 digits.
inline std::vector<FieldValue> claimant(const DatabaseWriter& w, const TableDef& t, int n) {
  char number[16];
  std::snprintf(number, sizeof number, "%013d", n);
  return claimant(w, t, std::string(number));
}

// The n-th invoice of tblInvoiceMtr; the third has a buyer's name beyond ASCII.
inline std::vector<FieldValue> invoice(const DatabaseWriter& w, const TableDef& t, int n) {
  auto row = w.new_row(t);
  auto set = [&](std::string_view column, FieldValue v) { row.at(t.find_column(column)->position) = std::move(v); };
  set("StRegNo", "0301234500017");
  set("Taxperiod", "202401");
  set("InvoiceType", n % 2 ? "P" : "S");
  set("InvoiceNo", "INV-" + std::to_string(n));
  set("InvoiceDate", "17/08/2023");
  set("Supplier", "0402111100011");
  set("buyer", n == 3 ? "Müller & Söhne Trading Co." : "Buyer " + std::to_string(n));
  set("TotalSalesTax", Currency{int64_t{n} * 12345});
  return row;
}

}  // namespace halvaro::jet::writer_rows
