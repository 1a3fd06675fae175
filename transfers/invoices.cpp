// Invoices with their items, in two halves: purchase invoices and debit notes, then
// sales invoices and credit notes. Both halves write the same columns; each first opens
// the invoice table through a query that tells whether invoices of its kinds exist, and
// the item table through a pessimistic "Select *" before reopening it by name.
#include "transfers/transfers.h"

namespace halvaro::transfers {
namespace {

using db::FieldEntry;
using db::literal;
using db::source_value;

// The invoice date is stored as "dd/mm/yyyy" text.
constexpr std::string_view kInvoiceDatePattern = "dd/mm/yyyy";

const std::vector<FieldEntry>& invoice_mapping() {
  static const std::vector<FieldEntry> mapping{
      FieldEntry{"StRegNo", "StRegNo", 0},
      FieldEntry{"Taxperiod", "TaxPeriod", 0},
      FieldEntry{"InvoiceType", "InvoiceType", 0},
      FieldEntry{"InvoiceNo", "InvoiceNo", 0},
      FieldEntry{"InvoiceDate", "InvoiceDate", 0, kInvoiceDatePattern},
      FieldEntry{"Supplier", "STRegNoSupplier", 0},
      FieldEntry{"buyer", "Buyer", 0},
      FieldEntry{"TotalSalesTax", "TotalSalesTax", 0},
      FieldEntry{"TotalExcludSalTax", "TotalExcludSalTax", 0},
      FieldEntry{"TotalIncludSalTax", "TotalIncludSalTax", 0},
      FieldEntry{"TotalSED", {}, 0},
  };
  return mapping;
}

const std::vector<FieldEntry>& item_mapping() {
  static const std::vector<FieldEntry> mapping{
      FieldEntry{"StRegNo", "StRegNo", 0},
      FieldEntry{"Taxperiod", "TaxPeriod", 0},
      FieldEntry{"Invoicetype", "InvoiceType", 0},
      FieldEntry{"InvoiceNo", "InvoiceNo", 0},
      FieldEntry{"InvoiceDate", "InvoiceDate", 0, kInvoiceDatePattern},
      FieldEntry{"ItemSerialNo", "ItemSerialNo", 0},
      FieldEntry{"Supplier", "STRegNoSupplier", 0},
      FieldEntry{"buyer", "Buyer", 0},
      FieldEntry{"pct_code", "pct_code", 0},
      FieldEntry{"Pct_desc", "pct_desc", 0},
      FieldEntry{"Quantity", "quantity", 0},
      FieldEntry{"UoM", "uom", 0},
      FieldEntry{"ExcludSalTax", "ExcludSalTax", 0},
      FieldEntry{"IncludSaleTax", "IncludSaleTax", 0},
      FieldEntry{"SalesTax", "SalesTax", 0},
      FieldEntry{"specialSED", {}, 0},
  };
  return mapping;
}

std::vector<db::QueryPiece> item_query(std::string_view first_piece) {
  return {
      literal(first_piece),
      source_value("Stregno", "StRegNo"),
      literal("' And TaxPeriod = '"),
      source_value("taxperiod", "TaxPeriod"),
      literal("' And InvoiceType = '"),
      source_value("InvoiceType", "InvoiceType"),
      literal("' And InvoiceNo = '"),
      source_value("InvoiceNo", "InvoiceNo"),
      literal("' and cstr(invoicedate) = '"),
      source_value("Invoicedate", "invoicedate", "cstr(invoicedate)"),
      literal("' and stregnosupplier = '"),
      source_value("STRegNoSupplier", "stregnosupplier"),
      literal("'"),
  };
}

constexpr std::string_view kInvoiceKey[] = {"StRegNo", "TaxPeriod", "InvoiceType", "InvoiceNo", "InvoiceDate",
                                            "STRegNoSupplier"};

db::SourceFacts invoice_facts(std::string_view name) {
  return {name, {std::begin(kInvoiceKey), std::end(kInvoiceKey)},
          {"TotalSalesTax", "TotalExcludSalTax", "TotalIncludSalTax"}};
}

db::SourceFacts item_facts(std::string_view name) {
  std::vector<std::string_view> key(std::begin(kInvoiceKey), std::end(kInvoiceKey));
  key.push_back("ItemSerialNo");
  return {name, key, {"quantity", "ExcludSalTax", "IncludSaleTax", "SalesTax"}};
}

db::Stage half(std::string_view label, std::string_view source_name, std::string_view source,
               std::string_view existence_query, std::string_view item_view, std::string_view item_view_piece) {
  return db::Stage{
      .label = label,
      .source = source,
      .destination = {existence_query, db::adLockOptimistic, "tblInvoiceMtr"},
      .mapping = invoice_mapping(),
      .detail =
          db::DetailCopy{
              .query = item_query(item_view_piece),
              .destination = {"Select *  from tblInvoiceDetail", db::adLockPessimistic, "tblInvoiceDetail"},
              .mapping = item_mapping(),
              .view = item_facts(item_view),
          },
      .facts = invoice_facts(source_name),
  };
}

}  // namespace

const db::Group& invoices_group() {
  static const db::Group group{
      .recycle_before_each_stage = true,
      .recycle_at_end = true,
      .stages =
          {
              half("Purchase and debit-note invoices", "VwPurchaseDebitMtr", "Select * from VwPurchaseDebitMtr",
                   "Select * from tblInvoiceMtr Where (InvoiceType = 'P'  or Invoicetype = 'D')", "VwPurchaseDebit",
                   "Select * from VwPurchaseDebit where StRegNo = '"),
              half("Sales and credit-note invoices", "VwSalesCreditMtr", "Select * from VwSalesCreditMtr",
                   "Select * from tblInvoiceMtr  Where InvoiceType = 'S'  OR Invoicetype = 'C'", "VwSalesCredit",
                   "Select * from VwSalesCredit where StRegNo = '"),
          },
  };
  return group;
}

void TransferInvoices(db::TransferState& state) { db::RunTransfer(invoices_group(), state); }

}  // namespace halvaro::transfers
