-- An old-version database of the sales-tax application, for trying Halvaro.
-- Build it with:  halvaro create old-version.mdb examples/old-version.sql
-- Tables, keys and views are those the old version has; every row below is invented.

CREATE TABLE tblClaimantInfo (
  STRegNo TEXT(13) NOT NULL,
  NTN TEXT(10),
  NicOld TEXT(15),
  NicNew TEXT(15),
  ClaimantName TEXT(100),
  regaddress TEXT(150),
  BusnAddress TEXT(150),
  PhBusn TEXT(20),
  PhReg TEXT(20),
  Mobile TEXT(20),
  Email TEXT(50),
  Fax TEXT(20),
  ClaimantClaimType TEXT(30),
  CollectorateCode TEXT(10),
  bankcode TEXT(10),
  AccNo TEXT(30),
  BankName TEXT(50),
  BranchAddress TEXT(150),
  AccountTitile TEXT(100),
  AccountType TEXT(20),
  Remarks MEMO,
  CONSTRAINT PrimaryKey PRIMARY KEY (STRegNo)
);

CREATE TABLE tblClaimantTaxPeriod (
  STRegNo TEXT(13) NOT NULL,
  Taxperiod TEXT(6) NOT NULL,
  TaxPeriodType TEXT(10),
  TaxPeriodEntryDate DATETIME,
  ActiveTaxPeriod BIT,
  BackupCount LONG,
  LastBackUp DATETIME,
  CONSTRAINT PrimaryKey PRIMARY KEY (STRegNo, Taxperiod)
);

CREATE TABLE tblSupplierBuyer (
  STRegNo TEXT(13) NOT NULL,
  STRegNoSupplier TEXT(13) NOT NULL,
  SupplierName TEXT(100),
  RegAddress TEXT(150),
  SupplierRBuyer TEXT(1) NOT NULL,
  CONSTRAINT PrimaryKey PRIMARY KEY (STRegNo, STRegNoSupplier, SupplierRBuyer)
);

CREATE TABLE tblInvoice (
  StRegNo TEXT(13) NOT NULL,
  TaxPeriod TEXT(6) NOT NULL,
  InvoiceType TEXT(1) NOT NULL,
  InvoiceNo TEXT(20) NOT NULL,
  InvoiceDate DATETIME,
  STRegNoSupplier TEXT(13),
  TotalSalesTax CURRENCY,
  TotalExcludSalTax CURRENCY,
  TotalIncludSalTax CURRENCY,
  TotalSED CURRENCY,
  CONSTRAINT PrimaryKey PRIMARY KEY (StRegNo, TaxPeriod, InvoiceType, InvoiceNo)
);
CREATE INDEX Partner ON tblInvoice (StRegNo, STRegNoSupplier);

CREATE TABLE tblInvoiceItem (
  StRegNo TEXT(13) NOT NULL,
  TaxPeriod TEXT(6) NOT NULL,
  InvoiceType TEXT(1) NOT NULL,
  InvoiceNo TEXT(20) NOT NULL,
  InvoiceDate DATETIME NOT NULL,
  STRegNoSupplier TEXT(13),
  ItemSerialNo SHORT,
  pct_code TEXT(12),
  pct_desc TEXT(100),
  quantity DOUBLE,
  uom TEXT(10),
  ExcludSalTax CURRENCY,
  IncludSaleTax CURRENCY,
  SalesTax CURRENCY,
  specialSED CURRENCY
);
CREATE INDEX InvoiceKey ON tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo);

CREATE TABLE tblBillOfEntry (
  StRegNo TEXT(13) NOT NULL,
  taxperiod TEXT(6),
  billofentryno TEXT(25) NOT NULL,
  billofentrydate DATETIME,
  collectoratecode TEXT(10) NOT NULL,
  betype TEXT(5),
  igmno TEXT(20),
  grossweight DOUBLE,
  uomcode TEXT(10),
  importerntn TEXT(10),
  importername TEXT(100),
  CashDate DATETIME,
  totalsalestax CURRENCY,
  TotalSED CURRENCY,
  CONSTRAINT PrimaryKey PRIMARY KEY (StRegNo, billofentryno, collectoratecode)
);

CREATE TABLE tblBillOfEntryItem (
  StRegNo TEXT(13) NOT NULL,
  taxperiod TEXT(6),
  billofentryno TEXT(25) NOT NULL,
  billofentrydate DATETIME NOT NULL,
  betype TEXT(5),
  collectoratecode TEXT(10),
  itemserialno SHORT,
  pctcode TEXT(12),
  pctdesc TEXT(100),
  quantity DOUBLE,
  uom TEXT(10),
  valueforsalestax CURRENCY,
  salestaxamount CURRENCY,
  SpecialSED CURRENCY
);
CREATE INDEX BillKey ON tblBillOfEntryItem (StRegNo, billofentryno, collectoratecode);

CREATE TABLE tblShippingBill (
  StRegNo TEXT(13) NOT NULL,
  taxperiod TEXT(6),
  collectoratecode TEXT(10),
  shippingbillno LONG,
  shippingbilldate DATETIME,
  egmno TEXT(20),
  mrno TEXT(20),
  mrdate DATETIME,
  airwaypostalrailwayno TEXT(30),
  airwaypostalrailwaydate DATETIME,
  total_export_value CURRENCY,
  gross_weight DOUBLE,
  Uom TEXT(10),
  exporter_ntn TEXT(10),
  exporter_name TEXT(100)
);
CREATE INDEX ShippingBillKey ON tblShippingBill (StRegNo, shippingbillno, collectoratecode);

CREATE TABLE tblShippingBillItem (
  StRegNo TEXT(13) NOT NULL,
  taxperiod TEXT(6),
  collectoratecode TEXT(10),
  shippingbillno LONG NOT NULL,
  shippingbilldate DATETIME NOT NULL,
  itemserialno SHORT,
  pctcode TEXT(12),
  pctdesc TEXT(100),
  quantity DOUBLE,
  Uom TEXT(10),
  exportvalue CURRENCY
);
CREATE INDEX ShippingBillKey ON tblShippingBillItem (StRegNo, shippingbillno, collectoratecode);

CREATE VIEW VwPurchaseDebitMtr AS
  SELECT tblInvoice.StRegNo, tblInvoice.TaxPeriod, tblInvoice.InvoiceType, tblInvoice.InvoiceNo, tblInvoice.InvoiceDate, tblInvoice.STRegNoSupplier, tblSupplierBuyer.SupplierName AS Buyer, tblInvoice.TotalSalesTax, tblInvoice.TotalExcludSalTax, tblInvoice.TotalIncludSalTax, tblInvoice.TotalSED FROM tblInvoice LEFT JOIN tblSupplierBuyer ON (tblInvoice.StRegNo = tblSupplierBuyer.STRegNo AND tblInvoice.STRegNoSupplier = tblSupplierBuyer.STRegNoSupplier) WHERE tblInvoice.InvoiceType = 'P' OR tblInvoice.InvoiceType = 'D';

CREATE VIEW VwPurchaseDebit AS
  SELECT tblInvoiceItem.StRegNo, tblInvoiceItem.TaxPeriod, tblInvoiceItem.InvoiceType, tblInvoiceItem.InvoiceNo, tblInvoiceItem.InvoiceDate, tblInvoiceItem.ItemSerialNo, tblInvoiceItem.STRegNoSupplier, tblSupplierBuyer.SupplierName AS Buyer, tblInvoiceItem.pct_code, tblInvoiceItem.pct_desc, tblInvoiceItem.quantity, tblInvoiceItem.uom, tblInvoiceItem.ExcludSalTax, tblInvoiceItem.IncludSaleTax, tblInvoiceItem.SalesTax, tblInvoiceItem.specialSED FROM tblInvoiceItem LEFT JOIN tblSupplierBuyer ON (tblInvoiceItem.StRegNo = tblSupplierBuyer.STRegNo AND tblInvoiceItem.STRegNoSupplier = tblSupplierBuyer.STRegNoSupplier) WHERE tblInvoiceItem.InvoiceType = 'P' OR tblInvoiceItem.InvoiceType = 'D';

CREATE VIEW VwSalesCreditMtr AS
  SELECT tblInvoice.StRegNo, tblInvoice.TaxPeriod, tblInvoice.InvoiceType, tblInvoice.InvoiceNo, tblInvoice.InvoiceDate, tblInvoice.STRegNoSupplier, tblSupplierBuyer.SupplierName AS Buyer, tblInvoice.TotalSalesTax, tblInvoice.TotalExcludSalTax, tblInvoice.TotalIncludSalTax, tblInvoice.TotalSED FROM tblInvoice LEFT JOIN tblSupplierBuyer ON (tblInvoice.StRegNo = tblSupplierBuyer.STRegNo AND tblInvoice.STRegNoSupplier = tblSupplierBuyer.STRegNoSupplier) WHERE tblInvoice.InvoiceType IN ('S', 'C');

CREATE VIEW VwSalesCredit AS
  SELECT tblInvoiceItem.StRegNo, tblInvoiceItem.TaxPeriod, tblInvoiceItem.InvoiceType, tblInvoiceItem.InvoiceNo, tblInvoiceItem.InvoiceDate, tblInvoiceItem.ItemSerialNo, tblInvoiceItem.STRegNoSupplier, tblSupplierBuyer.SupplierName AS Buyer, tblInvoiceItem.pct_code, tblInvoiceItem.pct_desc, tblInvoiceItem.quantity, tblInvoiceItem.uom, tblInvoiceItem.ExcludSalTax, tblInvoiceItem.IncludSaleTax, tblInvoiceItem.SalesTax, tblInvoiceItem.specialSED FROM tblInvoiceItem LEFT JOIN tblSupplierBuyer ON (tblInvoiceItem.StRegNo = tblSupplierBuyer.STRegNo AND tblInvoiceItem.STRegNoSupplier = tblSupplierBuyer.STRegNoSupplier) WHERE tblInvoiceItem.InvoiceType IN ('S', 'C');

CREATE VIEW vwBillOfentryMtr AS
  SELECT tblBillOfEntry.StRegNo, tblBillOfEntry.billofentryno, tblBillOfEntry.billofentrydate, tblBillOfEntry.collectoratecode, tblBillOfEntry.betype, tblBillOfEntry.taxperiod, tblBillOfEntry.igmno, tblBillOfEntry.grossweight, tblBillOfEntry.uomcode, tblBillOfEntry.importerntn, tblBillOfEntry.importername, tblBillOfEntry.CashDate, tblBillOfEntry.totalsalestax, tblBillOfEntry.TotalSED FROM tblBillOfEntry;

CREATE VIEW vwbillofentry AS
  SELECT tblBillOfEntryItem.StRegNo, tblBillOfEntryItem.taxperiod, tblBillOfEntryItem.billofentryno, tblBillOfEntryItem.itemserialno, tblBillOfEntryItem.billofentrydate, tblBillOfEntryItem.betype, tblBillOfEntryItem.collectoratecode, tblBillOfEntryItem.pctdesc, tblBillOfEntryItem.pctcode, tblBillOfEntryItem.quantity, tblBillOfEntryItem.uom, tblBillOfEntryItem.valueforsalestax, tblBillOfEntryItem.salestaxamount, tblBillOfEntryItem.SpecialSED FROM tblBillOfEntryItem;

CREATE VIEW VwShippingBillMtr AS
  SELECT tblShippingBill.StRegNo, tblShippingBill.collectoratecode, tblShippingBill.shippingbillno, tblShippingBill.shippingbilldate, tblShippingBill.taxperiod, tblShippingBill.egmno, tblShippingBill.mrno, tblShippingBill.mrdate, tblShippingBill.airwaypostalrailwayno, tblShippingBill.airwaypostalrailwaydate, tblShippingBill.total_export_value, tblShippingBill.gross_weight, tblShippingBill.Uom AS UomMtr, tblShippingBill.exporter_ntn, tblShippingBill.exporter_name FROM tblShippingBill;

CREATE VIEW VwShippingBill AS
  SELECT tblShippingBillItem.StRegNo, tblShippingBillItem.taxperiod, tblShippingBillItem.collectoratecode, tblShippingBillItem.shippingbillno, tblShippingBillItem.shippingbilldate, tblShippingBillItem.itemserialno, tblShippingBillItem.pctdesc, tblShippingBillItem.pctcode, tblShippingBillItem.quantity, tblShippingBillItem.Uom AS UomDetail, tblShippingBillItem.exportvalue FROM tblShippingBillItem;


-- Invented data for trying the program: two claimants of an old-version database.
INSERT INTO tblClaimantInfo (STRegNo, NTN, NicOld, NicNew, ClaimantName, regaddress, BusnAddress, PhBusn, PhReg, Mobile, Email, Fax, ClaimantClaimType, CollectorateCode, bankcode, AccNo, BankName, BranchAddress, AccountTitile, AccountType, Remarks) VALUES ('3277876543210', '7654321-0', '35202-1234567-1', '35202-1234567-1', 'Ravi Textile Mills (Pvt) Ltd', '14-B Industrial Estate, Kot Lakhpat, Lahore', 'Plot 22, Sundar Industrial Estate, Lahore', '042-35123456', '042-35123457', '0300-4567890', 'accounts@ravitextile.example', '042-35123458', 'Manufacturer', 'LHR', '0042', '0042-7788990011', 'Industrial Bank of Punjab', 'Gulberg Branch, Lahore', 'Ravi Textile Mills (Pvt) Ltd', 'Current', 'Monthly filer since 2019');
INSERT INTO tblClaimantInfo (STRegNo, NTN, NicOld, NicNew, ClaimantName, regaddress, BusnAddress, PhBusn, PhReg, Mobile, Email, Fax, ClaimantClaimType, CollectorateCode, bankcode, AccNo, BankName, BranchAddress, AccountTitile, AccountType, Remarks) VALUES ('1700456789012', '4455667-8', NULL, '17301-7654321-3', 'Khyber Marble & Granite', 'Warsak Road, Peshawar', 'Warsak Road, Peshawar', '091-5811223', '', ' ', NULL, '', 'Exporter', '', NULL, '', '', NULL, 'Khyber Marble & Granite', 'Savings', NULL);
INSERT INTO tblClaimantTaxPeriod (STRegNo, Taxperiod, TaxPeriodType, TaxPeriodEntryDate, ActiveTaxPeriod, BackupCount, LastBackUp) VALUES ('3277876543210', '202401', 'Monthly', #2024-01-05 09:10:00#, False, 0, #2024-01-20 17:45:00#);
INSERT INTO tblClaimantTaxPeriod (STRegNo, Taxperiod, TaxPeriodType, TaxPeriodEntryDate, ActiveTaxPeriod, BackupCount, LastBackUp) VALUES ('3277876543210', '202402', 'Monthly', #2024-02-05 09:11:00#, False, 1, NULL);
INSERT INTO tblClaimantTaxPeriod (STRegNo, Taxperiod, TaxPeriodType, TaxPeriodEntryDate, ActiveTaxPeriod, BackupCount, LastBackUp) VALUES ('3277876543210', '202403', 'Monthly', #2024-03-05 09:12:00#, False, NULL, NULL);
INSERT INTO tblClaimantTaxPeriod (STRegNo, Taxperiod, TaxPeriodType, TaxPeriodEntryDate, ActiveTaxPeriod, BackupCount, LastBackUp) VALUES ('3277876543210', '202404', 'Monthly', #2024-04-05 09:13:00#, True, 3, #2024-04-20 17:45:00#);
INSERT INTO tblClaimantTaxPeriod (STRegNo, Taxperiod, TaxPeriodType, TaxPeriodEntryDate, ActiveTaxPeriod, BackupCount, LastBackUp) VALUES ('1700456789012', '202402', 'Monthly', #2024-02-05 09:14:00#, False, 4, NULL);
INSERT INTO tblClaimantTaxPeriod (STRegNo, Taxperiod, TaxPeriodType, TaxPeriodEntryDate, ActiveTaxPeriod, BackupCount, LastBackUp) VALUES ('1700456789012', '202403', 'Monthly', #2024-03-05 09:15:00#, False, 5, NULL);
INSERT INTO tblClaimantTaxPeriod (STRegNo, Taxperiod, TaxPeriodType, TaxPeriodEntryDate, ActiveTaxPeriod, BackupCount, LastBackUp) VALUES ('1700456789012', '202404', 'Monthly', #2024-04-05 09:16:00#, True, 6, #2024-04-20 17:45:00#);
INSERT INTO tblSupplierBuyer (STRegNo, STRegNoSupplier, SupplierName, RegAddress, SupplierRBuyer) VALUES ('3277876543210', '0699001122334', 'Indus Cotton Ginners', 'Ghotki, Sindh', 'S');
INSERT INTO tblSupplierBuyer (STRegNo, STRegNoSupplier, SupplierName, RegAddress, SupplierRBuyer) VALUES ('3277876543210', '0699001122335', 'Sadiq Dyes & Chemicals', 'Faisalabad Road, Sheikhupura', 'S');
INSERT INTO tblSupplierBuyer (STRegNo, STRegNoSupplier, SupplierName, RegAddress, SupplierRBuyer) VALUES ('3277876543210', '0699001122336', 'Al-Noor Packaging', 'Sunder Adda, Lahore', 'S');
INSERT INTO tblSupplierBuyer (STRegNo, STRegNoSupplier, SupplierName, RegAddress, SupplierRBuyer) VALUES ('3277876543210', '0811223344556', 'Metro Garments Karachi', 'SITE Area, Karachi', 'B');
INSERT INTO tblSupplierBuyer (STRegNo, STRegNoSupplier, SupplierName, RegAddress, SupplierRBuyer) VALUES ('3277876543210', '0811223344557', 'D''Souza Fabrics & Co.', 'Saddar, Karachi', 'B');
INSERT INTO tblSupplierBuyer (STRegNo, STRegNoSupplier, SupplierName, RegAddress, SupplierRBuyer) VALUES ('3277876543210', '0811223344558', 'Hamdard Uniforms Trading Company of Pakistan Private Limited (Export)', 'Blue Area, Islamabad', 'B');
INSERT INTO tblSupplierBuyer (STRegNo, STRegNoSupplier, SupplierName, RegAddress, SupplierRBuyer) VALUES ('3277876543210', '0811223344559', 'Böhler Textil Handel GmbH', 'Hamburg', 'B');
INSERT INTO tblSupplierBuyer (STRegNo, STRegNoSupplier, SupplierName, RegAddress, SupplierRBuyer) VALUES ('3277876543210', '0811223344560', NULL, 'Unknown', 'B');
INSERT INTO tblSupplierBuyer (STRegNo, STRegNoSupplier, SupplierName, RegAddress, SupplierRBuyer) VALUES ('1700456789012', '0922334455667', 'Chitral Stone Quarries', 'Chitral', 'S');
INSERT INTO tblSupplierBuyer (STRegNo, STRegNoSupplier, SupplierName, RegAddress, SupplierRBuyer) VALUES ('1700456789012', '0922334455668', 'کراچی ماربل ہاؤس', 'Karachi', 'B');
INSERT INTO tblSupplierBuyer (STRegNo, STRegNoSupplier, SupplierName, RegAddress, SupplierRBuyer) VALUES ('1700456789012', '0922334455669', '', ' ', 'B');
INSERT INTO tblInvoice (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, TotalSalesTax, TotalExcludSalTax, TotalIncludSalTax, TotalSED) VALUES ('3277876543210', '202401', 'P', 'ICG-1187', #2024-01-08 00:00:00#, '0699001122334', 2050.8750, 11393.7500, 13444.6250, 125.5);
INSERT INTO tblInvoice (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, TotalSalesTax, TotalExcludSalTax, TotalIncludSalTax, TotalSED) VALUES ('3277876543210', '202401', 'P', 'SDC/24/015', #2024-01-19 11:20:00#, '0699001122335', 1027.3275, 5707.3750, 6734.7025, 0);
INSERT INTO tblInvoice (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, TotalSalesTax, TotalExcludSalTax, TotalIncludSalTax, TotalSED) VALUES ('3277876543210', '202402', 'P', 'AN-PK''22', #2024-02-02 00:00:00#, '0699001122336', 1078.7175, 5992.8750, 7071.5925, 0);
INSERT INTO tblInvoice (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, TotalSalesTax, TotalExcludSalTax, TotalIncludSalTax, TotalSED) VALUES ('3277876543210', '202402', 'D', 'DN-0007', #2024-02-14 00:00:00#, '0699001122335', -382.9275, -2127.3750, -2510.3025, 0);
INSERT INTO tblInvoice (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, TotalSalesTax, TotalExcludSalTax, TotalIncludSalTax, TotalSED) VALUES ('3277876543210', '202403', 'P', 'ICG-1240', #2024-03-03 00:00:00#, '0699001122399', 407.6325, 2264.6250, 2672.2575, 0);
INSERT INTO tblInvoice (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, TotalSalesTax, TotalExcludSalTax, TotalIncludSalTax, TotalSED) VALUES ('3277876543210', '202401', 'S', 'RTM-24-0001', #2024-01-10 00:00:00#, '0811223344556', 4136.6250, 22981.2500, 27117.8750, 0);
INSERT INTO tblInvoice (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, TotalSalesTax, TotalExcludSalTax, TotalIncludSalTax, TotalSED) VALUES ('3277876543210', '202401', 'S', 'RTM-24-0002', #2024-01-22 15:05:00#, '0811223344557', 1284.2775, 7134.8750, 8419.1525, 0);
INSERT INTO tblInvoice (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, TotalSalesTax, TotalExcludSalTax, TotalIncludSalTax, TotalSED) VALUES ('3277876543210', '202402', 'S', 'RTM-24-0031', #2024-02-11 00:00:00#, '0811223344558', 2611.2600, 14507.0000, 17118.2600, 0);
INSERT INTO tblInvoice (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, TotalSalesTax, TotalExcludSalTax, TotalIncludSalTax, TotalSED) VALUES ('3277876543210', '202403', 'S', 'RTM-24-0058', #2024-03-09 00:00:00#, '0811223344559', 6768.7875, 37604.3750, 44373.1625, 0);
INSERT INTO tblInvoice (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, TotalSalesTax, TotalExcludSalTax, TotalIncludSalTax, TotalSED) VALUES ('3277876543210', '202403', 'C', 'CN-24-003', #2024-03-21 00:00:00#, '0811223344556', -531.1575, -2950.8750, -3482.0325, 0);
INSERT INTO tblInvoice (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, TotalSalesTax, TotalExcludSalTax, TotalIncludSalTax, TotalSED) VALUES ('3277876543210', '202404', 'S', 'RTM-24-0077', #2024-04-02 00:00:00#, '0811223344560', 0.0000, 0.0000, 0.0000, 0);
INSERT INTO tblInvoice (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, TotalSalesTax, TotalExcludSalTax, TotalIncludSalTax, TotalSED) VALUES ('1700456789012', '202402', 'P', 'CSQ-55', #2024-02-06 00:00:00#, '0922334455667', 1541.2275, 8562.3750, 10103.6025, 0);
INSERT INTO tblInvoice (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, TotalSalesTax, TotalExcludSalTax, TotalIncludSalTax, TotalSED) VALUES ('1700456789012', '202403', 'S', 'KMG-301', #2024-03-15 00:00:00#, '0922334455668', 3011.5350, 16730.7500, 19742.2850, 0);
INSERT INTO tblInvoice (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, TotalSalesTax, TotalExcludSalTax, TotalIncludSalTax, TotalSED) VALUES ('1700456789012', '202404', 'S', 'KMG-322', #2024-04-11 00:00:00#, '0922334455669', 629.9775, 3499.8750, 4129.8525, 0);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202401', 'P', 'ICG-1187', #2024-01-08 00:00:00#, '0699001122334', 1, '5201.0010', 'Raw cotton, ginned', 12.5, 'KG', 1715.6250, 2024.4375, 308.8125, 17.16);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202401', 'P', 'ICG-1187', #2024-01-08 00:00:00#, '0699001122334', 2, '3204.1100', 'Disperse dyes', 25.0, 'KG', 3706.2500, 4373.3750, 667.1250, 0);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202401', 'P', 'ICG-1187', #2024-01-08 00:00:00#, '0699001122334', 3, '4819.1000', 'Corrugated cartons', 37.5, 'PCS', 5971.8750, 7046.8125, 1074.9375, 59.72);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202401', 'P', 'SDC/24/015', #2024-01-19 11:20:00#, '0699001122335', 1, '3204.1100', 'Disperse dyes', 13.5, 'KG', 1852.8750, 2186.3925, 333.5175, 18.53);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202401', 'P', 'SDC/24/015', #2024-01-19 11:20:00#, '0699001122335', 2, '4819.1000', 'Corrugated cartons', 26.0, 'PCS', 3854.5000, 4548.3100, 693.8100, 0);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202402', 'P', 'AN-PK''22', #2024-02-02 00:00:00#, '0699001122336', 1, '4819.1000', 'Corrugated cartons', 14.5, 'PCS', 1990.1250, 2348.3475, 358.2225, 19.90);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202402', 'P', 'AN-PK''22', #2024-02-02 00:00:00#, '0699001122336', 2, '6203.4200', 'Trousers of cotton', 27.0, NULL, 4002.7500, 4723.2450, 720.4950, 0);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202402', 'D', 'DN-0007', #2024-02-14 00:00:00#, '0699001122335', 1, '6203.4200', 'Trousers of cotton', 15.5, 'DOZ', -2127.3750, -2510.3025, -382.9275, 21.27);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202403', 'P', 'ICG-1240', #2024-03-03 00:00:00#, '0699001122399', 1, '5208.5200', 'Printed cotton fabric', 16.5, 'MTR', 2264.6250, 2672.2575, 407.6325, 22.65);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202401', 'S', 'RTM-24-0001', #2024-01-10 00:00:00#, '0811223344556', 1, '6302.6000', 'Terry towels', 17.5, 'KG', 2401.8750, 2834.2125, 432.3375, 24.02);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202401', 'S', 'RTM-24-0001', #2024-01-10 00:00:00#, '0811223344556', 2, '5201.0010', 'Raw cotton, ginned', 30.0, 'KG', 4447.5000, 5248.0500, 800.5500, 0);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202401', 'S', 'RTM-24-0001', #2024-01-10 00:00:00#, '0811223344556', 3, '3204.1100', 'Disperse dyes', 42.5, 'KG', 6768.1250, 7986.3875, 1218.2625, 67.68);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202401', 'S', 'RTM-24-0001', #2024-01-10 00:00:00#, '0811223344556', 4, '4819.1000', 'Corrugated cartons', 55.0, 'PCS', 9363.7500, 11049.2250, 1685.4750, 0);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202401', 'S', 'RTM-24-0002', #2024-01-22 15:05:00#, '0811223344557', 1, '5201.0010', 'Raw cotton, ginned', 18.5, 'KG', 2539.1250, 2996.1675, 457.0425, 25.39);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202401', 'S', 'RTM-24-0002', #2024-01-22 15:05:00#, '0811223344557', 2, '3204.1100', 'Disperse dyes', 31.0, 'KG', 4595.7500, 5422.9850, 827.2350, 0);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202402', 'S', 'RTM-24-0031', #2024-02-11 00:00:00#, '0811223344558', 1, '3204.1100', 'Disperse dyes', 19.5, 'KG', 2676.3750, 3158.1225, 481.7475, 26.76);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202402', 'S', 'RTM-24-0031', #2024-02-11 00:00:00#, '0811223344558', 2, '4819.1000', 'Corrugated cartons', 32.0, 'PCS', 4744.0000, 5597.9200, 853.9200, 0);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202402', 'S', 'RTM-24-0031', #2024-02-11 00:00:00#, '0811223344558', 3, '6203.4200', 'Trousers of cotton', 44.5, 'DOZ', 7086.6250, 8362.2175, 1275.5925, 70.87);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202403', 'S', 'RTM-24-0058', #2024-03-09 00:00:00#, '0811223344559', 1, '4819.1000', 'Corrugated cartons', 20.5, 'PCS', 2813.6250, 3320.0775, 506.4525, 28.14);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202403', 'S', 'RTM-24-0058', #2024-03-09 00:00:00#, '0811223344559', 2, '6203.4200', 'Trousers of cotton', 33.0, 'DOZ', 4892.2500, 5772.8550, 880.6050, 0);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202403', 'S', 'RTM-24-0058', #2024-03-09 00:00:00#, '0811223344559', 3, '5208.5200', 'Printed cotton fabric', 45.5, 'MTR', 7245.8750, 8550.1325, 1304.2575, 72.46);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202403', 'S', 'RTM-24-0058', #2024-03-09 00:00:00#, '0811223344559', 4, '6302.6000', 'Terry towels', 58.0, 'KG', 9874.5000, 11651.9100, 1777.4100, 0);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202403', 'S', 'RTM-24-0058', #2024-03-09 00:00:00#, '0811223344559', 5, '5201.0010', 'Raw cotton, ginned', 70.5, 'KG', 12778.1250, 15078.1875, 2300.0625, 127.78);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('3277876543210', '202403', 'C', 'CN-24-003', #2024-03-21 00:00:00#, '0811223344556', 1, '6203.4200', 'Trousers of cotton', 21.5, 'DOZ', -2950.8750, -3482.0325, -531.1575, 29.51);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('1700456789012', '202402', 'P', 'CSQ-55', #2024-02-06 00:00:00#, '0922334455667', 1, '6302.6000', 'Terry towels', 23.5, 'KG', 3225.3750, 3805.9425, 580.5675, 32.25);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('1700456789012', '202402', 'P', 'CSQ-55', #2024-02-06 00:00:00#, '0922334455667', 2, '5201.0010', 'Raw cotton, ginned', 36.0, 'KG', 5337.0000, 6297.6600, 960.6600, 0);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('1700456789012', '202403', 'S', 'KMG-301', #2024-03-15 00:00:00#, '0922334455668', 1, '5201.0010', 'Raw cotton, ginned', 24.5, 'KG', 3362.6250, 3967.8975, 605.2725, 33.63);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('1700456789012', '202403', 'S', 'KMG-301', #2024-03-15 00:00:00#, '0922334455668', 2, '3204.1100', 'Disperse dyes', 37.0, 'KG', 5485.2500, 6472.5950, 987.3450, 0);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('1700456789012', '202403', 'S', 'KMG-301', #2024-03-15 00:00:00#, '0922334455668', 3, '4819.1000', 'Corrugated cartons', 49.5, 'PCS', 7882.8750, 9301.7925, 1418.9175, 78.83);
INSERT INTO tblInvoiceItem (StRegNo, TaxPeriod, InvoiceType, InvoiceNo, InvoiceDate, STRegNoSupplier, ItemSerialNo, pct_code, pct_desc, quantity, uom, ExcludSalTax, IncludSaleTax, SalesTax, specialSED) VALUES ('1700456789012', '202404', 'S', 'KMG-322', #2024-04-11 00:00:00#, '0922334455669', 1, '3204.1100', 'Disperse dyes', 25.5, 'KG', 3499.8750, 4129.8525, 629.9775, 35.00);
INSERT INTO tblBillOfEntry (StRegNo, taxperiod, billofentryno, billofentrydate, collectoratecode, betype, igmno, grossweight, uomcode, importerntn, importername, CashDate, totalsalestax, TotalSED) VALUES ('3277876543210', '202401', 'KPPI-HC-77120', #2024-01-12 00:00:00#, 'KPPI', 'HC', 'IGM-4411', 1520.5, 'KG', '3344556-7', 'Ravi Textile Mills (Pvt) Ltd', #2024-01-13 00:00:00#, 92012.59, 0);
INSERT INTO tblBillOfEntry (StRegNo, taxperiod, billofentryno, billofentrydate, collectoratecode, betype, igmno, grossweight, uomcode, importerntn, importername, CashDate, totalsalestax, TotalSED) VALUES ('3277876543210', '202402', 'KPPI-HC-80233', #2024-02-16 00:00:00#, 'KPPI', 'HC', 'IGM-4590', 880.0, 'KG', '3344556-7', 'Ravi Textile Mills (Pvt) Ltd', NULL, 49512.59, 0);
INSERT INTO tblBillOfEntry (StRegNo, taxperiod, billofentryno, billofentrydate, collectoratecode, betype, igmno, grossweight, uomcode, importerntn, importername, CashDate, totalsalestax, TotalSED) VALUES ('1700456789012', '202403', 'PSHI-HC-10021', #2024-03-04 00:00:00#, 'PSHI', 'HC', NULL, 12000.0, 'TON', '4455667-8', 'Khyber Marble & Granite', #2024-03-05 00:00:00#, 120062.93, 0);
INSERT INTO tblBillOfEntryItem (StRegNo, taxperiod, billofentryno, billofentrydate, betype, collectoratecode, itemserialno, pctcode, pctdesc, quantity, uom, valueforsalestax, salestaxamount, SpecialSED) VALUES ('3277876543210', '202401', 'KPPI-HC-77120', #2024-01-12 00:00:00#, 'HC', 'KPPI', 1, '8445.1100', 'Carding machine parts', 1, 'NOS', 250000.00, 42500.00, 0);
INSERT INTO tblBillOfEntryItem (StRegNo, taxperiod, billofentryno, billofentrydate, betype, collectoratecode, itemserialno, pctcode, pctdesc, quantity, uom, valueforsalestax, salestaxamount, SpecialSED) VALUES ('3277876543210', '202401', 'KPPI-HC-77120', #2024-01-12 00:00:00#, 'HC', 'KPPI', 2, '8445.1100', 'Carding machine parts', 2, 'NOS', 291250.50, 49512.59, 0);
INSERT INTO tblBillOfEntryItem (StRegNo, taxperiod, billofentryno, billofentrydate, betype, collectoratecode, itemserialno, pctcode, pctdesc, quantity, uom, valueforsalestax, salestaxamount, SpecialSED) VALUES ('3277876543210', '202402', 'KPPI-HC-80233', #2024-02-16 00:00:00#, 'HC', 'KPPI', 1, '8445.1100', 'Carding machine parts', 1, 'NOS', 291250.50, 49512.59, 0);
INSERT INTO tblBillOfEntryItem (StRegNo, taxperiod, billofentryno, billofentrydate, betype, collectoratecode, itemserialno, pctcode, pctdesc, quantity, uom, valueforsalestax, salestaxamount, SpecialSED) VALUES ('1700456789012', '202403', 'PSHI-HC-10021', #2024-03-04 00:00:00#, 'HC', 'PSHI', 1, '8464.1000', 'Stone cutting machine', 1, 'NOS', 332501.00, 56525.17, 0);
INSERT INTO tblBillOfEntryItem (StRegNo, taxperiod, billofentryno, billofentrydate, betype, collectoratecode, itemserialno, pctcode, pctdesc, quantity, uom, valueforsalestax, salestaxamount, SpecialSED) VALUES ('1700456789012', '202403', 'PSHI-HC-10021', #2024-03-04 00:00:00#, 'HC', 'PSHI', 2, '8464.1000', 'Stone cutting machine', 2, 'NOS', 373751.50, 63537.76, 0);
INSERT INTO tblShippingBill (StRegNo, taxperiod, collectoratecode, shippingbillno, shippingbilldate, egmno, mrno, mrdate, airwaypostalrailwayno, airwaypostalrailwaydate, total_export_value, gross_weight, Uom, exporter_ntn, exporter_name) VALUES ('3277876543210', '202402', 'KEPZ', 5501201, #2024-02-20 00:00:00#, 'EGM-211', 'MR-9911', #2024-02-21 00:00:00#, 'AWB-157-88112233', #2024-02-22 00:00:00#, 41250.75, 860.5, 'KG', '7654321-0', 'Ravi Textile Mills (Pvt) Ltd');
INSERT INTO tblShippingBill (StRegNo, taxperiod, collectoratecode, shippingbillno, shippingbilldate, egmno, mrno, mrdate, airwaypostalrailwayno, airwaypostalrailwaydate, total_export_value, gross_weight, Uom, exporter_ntn, exporter_name) VALUES ('3277876543210', '202403', 'KEPZ', 5501388, #2024-03-18 00:00:00#, 'EGM-240', NULL, NULL, '', #2024-03-19 00:00:00#, 18800.00, 410.0, NULL, '7654321-0', 'Ravi Textile Mills (Pvt) Ltd');
INSERT INTO tblShippingBill (StRegNo, taxperiod, collectoratecode, shippingbillno, shippingbilldate, egmno, mrno, mrdate, airwaypostalrailwayno, airwaypostalrailwaydate, total_export_value, gross_weight, Uom, exporter_ntn, exporter_name) VALUES ('1700456789012', '202404', 'PSHE', 7700015, #2024-04-09 00:00:00#, 'EGM-12', 'MR-331', #2024-04-10 00:00:00#, 'RR-55/2024', #2024-04-10 00:00:00#, 96500.00, 24000.0, 'TON', '4455667-8', 'Khyber Marble & Granite');
INSERT INTO tblShippingBillItem (StRegNo, taxperiod, collectoratecode, shippingbillno, shippingbilldate, itemserialno, pctcode, pctdesc, quantity, Uom, exportvalue) VALUES ('3277876543210', '202402', 'KEPZ', 5501201, #2024-02-20 00:00:00#, 1, '6302.6000', 'Terry towels', 100, 'KG', 20625.38);
INSERT INTO tblShippingBillItem (StRegNo, taxperiod, collectoratecode, shippingbillno, shippingbilldate, itemserialno, pctcode, pctdesc, quantity, Uom, exportvalue) VALUES ('3277876543210', '202402', 'KEPZ', 5501201, #2024-02-20 00:00:00#, 2, '6302.6000', 'Terry towels', 200, 'KG', 20625.38);
INSERT INTO tblShippingBillItem (StRegNo, taxperiod, collectoratecode, shippingbillno, shippingbilldate, itemserialno, pctcode, pctdesc, quantity, Uom, exportvalue) VALUES ('3277876543210', '202403', 'KEPZ', 5501388, #2024-03-18 00:00:00#, 1, '6302.6000', 'Terry towels', 100, '', 18800.00);
INSERT INTO tblShippingBillItem (StRegNo, taxperiod, collectoratecode, shippingbillno, shippingbilldate, itemserialno, pctcode, pctdesc, quantity, Uom, exportvalue) VALUES ('1700456789012', '202404', 'PSHE', 7700015, #2024-04-09 00:00:00#, 1, '6802.9100', 'Polished marble slabs', 100, 'SQM', 48250.00);
INSERT INTO tblShippingBillItem (StRegNo, taxperiod, collectoratecode, shippingbillno, shippingbilldate, itemserialno, pctcode, pctdesc, quantity, Uom, exportvalue) VALUES ('1700456789012', '202404', 'PSHE', 7700015, #2024-04-09 00:00:00#, 2, '6802.9100', 'Polished marble slabs', 200, 'SQM', 48250.00);
