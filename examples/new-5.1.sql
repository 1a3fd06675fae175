-- An empty database of version 5.1 of the sales-tax application: the destination of a
-- transfer.  Build it with:  halvaro create new-5.1.mdb examples/new-5.1.sql

CREATE TABLE tblClaimantInfo (
  STRegNO TEXT(13) NOT NULL,
  NTN TEXT(10),
  NICOld TEXT(15),
  NICNew TEXT(15),
  ClaimantName TEXT(100),
  Regaddress TEXT(150),
  BusnAddress TEXT(150),
  PhBusn TEXT(20),
  Phreg TEXT(20),
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
  LastLogin DATETIME,
  CONSTRAINT PrimaryKey PRIMARY KEY (STRegNO)
);

CREATE TABLE tblClaimantTaxPeriod (
  STRegNO TEXT(13) NOT NULL,
  Taxperiod TEXT(6) NOT NULL,
  TaxPeriodType TEXT(10),
  TaxPeriodEntryDate DATETIME,
  ActiveTaxPeriod BIT,
  BackupCount LONG,
  LastBackUp DATETIME,
  CONSTRAINT PrimaryKey PRIMARY KEY (STRegNO, Taxperiod)
);

CREATE TABLE tblSupplierBuyer (
  STRegNo TEXT(13) NOT NULL,
  STRegNoSupplier TEXT(13) NOT NULL,
  SupplierName TEXT(50),
  RegAddress TEXT(150),
  SupplierRBuyer TEXT(1) NOT NULL,
  CONSTRAINT PrimaryKey PRIMARY KEY (STRegNo, STRegNoSupplier, SupplierRBuyer)
);

CREATE TABLE tblInvoiceMtr (
  StRegNo TEXT(13) NOT NULL,
  Taxperiod TEXT(6) NOT NULL,
  InvoiceType TEXT(1) NOT NULL,
  InvoiceNo TEXT(20) NOT NULL,
  InvoiceDate TEXT(10),
  Supplier TEXT(13) NOT NULL,
  buyer TEXT(100),
  TotalSalesTax CURRENCY,
  TotalExcludSalTax CURRENCY,
  TotalIncludSalTax CURRENCY,
  TotalSED CURRENCY,
  RefInvoiceNo TEXT(20),
  CONSTRAINT PrimaryKey PRIMARY KEY (StRegNo, Taxperiod, InvoiceType, InvoiceNo, Supplier)
);

CREATE TABLE tblInvoiceDetail (
  ID COUNTER,
  StRegNo TEXT(13),
  Taxperiod TEXT(6),
  Invoicetype TEXT(1),
  InvoiceNo TEXT(20),
  InvoiceDate TEXT(10),
  ItemSerialNo SHORT,
  Supplier TEXT(13),
  buyer TEXT(100),
  pct_code TEXT(12),
  Pct_desc TEXT(100),
  Quantity DOUBLE,
  UoM TEXT(10),
  ExcludSalTax CURRENCY,
  IncludSaleTax CURRENCY,
  SalesTax CURRENCY,
  specialSED CURRENCY,
  CONSTRAINT PrimaryKey PRIMARY KEY (ID)
);
CREATE INDEX InvoiceKey ON tblInvoiceDetail (StRegNo, Taxperiod, Invoicetype, InvoiceNo);

CREATE TABLE tblBillOfEntryMtr (
  StRegNo TEXT(13) NOT NULL,
  billofentryno TEXT(25) NOT NULL,
  billofentrydate DATETIME,
  collectoratecode TEXT(10) NOT NULL,
  betype TEXT(5),
  taxperiod TEXT(6),
  igmno TEXT(20),
  grossweight DOUBLE,
  uomcode TEXT(10),
  importerntn TEXT(10),
  importername TEXT(100),
  CashDate DATETIME,
  totalsalestax CURRENCY,
  TotalSED CURRENCY,
  CashNo TEXT(20),
  CONSTRAINT PrimaryKey PRIMARY KEY (StRegNo, billofentryno, collectoratecode)
);

CREATE TABLE tblBillofEntrydetail (
  ID COUNTER,
  StRegNo TEXT(13),
  taxperiod TEXT(6),
  billofentryno TEXT(25),
  Itemserialno SHORT,
  billofentrydate DATETIME,
  betype TEXT(5),
  collectoratecode TEXT(10),
  pctdesc TEXT(100),
  pctcode TEXT(12),
  quantity DOUBLE,
  uom TEXT(10),
  valueforsalestax CURRENCY,
  salestaxamount CURRENCY,
  SpecialSED CURRENCY,
  CONSTRAINT PrimaryKey PRIMARY KEY (ID)
);
CREATE INDEX BillKey ON tblBillofEntrydetail (StRegNo, billofentryno, collectoratecode);

CREATE TABLE tblShippingBillmtr (
  StRegNo TEXT(13) NOT NULL,
  collectoratecode TEXT(10),
  shippingbillno LONG,
  shippingbilldate DATETIME,
  taxperiod TEXT(6),
  egmno TEXT(20),
  mrno TEXT(20),
  mrdate DATETIME,
  airwaypostalrailwayno TEXT(30),
  airwaypostalrailwaydate DATETIME,
  total_export_value CURRENCY,
  gross_weight DOUBLE,
  UOM TEXT(10),
  exporter_ntn TEXT(10),
  exporter_name TEXT(100),
  FormENo TEXT(20)
);
CREATE INDEX ShippingBillKey ON tblShippingBillmtr (StRegNo, shippingbillno, collectoratecode);

CREATE TABLE tblShippingBilldetail (
  StRegNo TEXT(13),
  taxperiod TEXT(6),
  collectoratecode TEXT(10),
  shippingbillno LONG,
  shippingbilldate DATETIME,
  itemserialno SHORT,
  pctdesc TEXT(100),
  pctcode TEXT(12),
  quantity DOUBLE,
  uom TEXT(10),
  exportvalue CURRENCY
);
CREATE INDEX ShippingBillKey ON tblShippingBilldetail (StRegNo, shippingbillno, collectoratecode);

