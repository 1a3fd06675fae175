#include "jet/builder/system_catalog.h"

#include "jet/builder/build_bytes.h"

namespace halvaro::jet::catalog {

namespace {

ColumnSpec col(const char* name, ColumnType type, uint16_t length = 0) {
  ColumnSpec c;
  c.name = name;
  c.type = type;
  c.length = length;
  return c;
}

IndexSpec index(const char* name, std::vector<const char*> columns, bool primary, bool unique,
                bool ignore_nulls = false) {
  IndexSpec i;
  i.name = name;
  for (const char* c : columns) i.columns.push_back({c, true});
  i.primary = primary;
  i.unique = unique;
  i.ignore_nulls = ignore_nulls;
  return i;
}

// Security ids of the default workgroup as Jet records them in a new database: the
// engine, the Admin user, the Admins group and the Users group.
const Binary kEngineSid = {0x65, 0x89};
const Binary kAdminSid = {0x64, 0x8B};
const Binary kAdminsSid = {0x65, 0x8E};
const Binary kUsersSid = {0x65, 0x8B};

// Access masks Jet grants on its own objects and on new tables and queries.
constexpr int32_t kReadDesign = 393216;
constexpr int32_t kFullTableAccess = 1048319;

std::vector<FieldValue> ace(int32_t object, const Binary& sid, int32_t acm, bool inheritable) {
  return {FieldValue(int64_t{object}), FieldValue(sid), FieldValue(int64_t{acm}), FieldValue(inheritable)};
}

}  // namespace

std::vector<TableSpec> system_tables() {
  using T = ColumnType;
  TableSpec objects{"MSysObjects",
                    {col("Id", T::Long), col("ParentId", T::Long), col("Name", T::Text, 255),
                     col("Type", T::Integer), col("DateCreate", T::DateTime), col("DateUpdate", T::DateTime),
                     col("Owner", T::Binary, 255), col("Flags", T::Long), col("Database", T::Memo),
                     col("Connect", T::Memo), col("ForeignName", T::Text, 255),
                     col("RmtInfoShort", T::Binary, 255), col("RmtInfoLong", T::Ole), col("Lv", T::Ole),
                     col("LvProp", T::Ole), col("LvModule", T::Ole), col("LvExtra", T::Ole)},
                    {index("ParentIdName", {"ParentId", "Name"}, false, true),
                     index("Id", {"Id"}, true, true)},
                    true};
  TableSpec aces{"MSysACEs",
                 {col("ObjectId", T::Long), col("SID", T::Binary, 255), col("ACM", T::Long),
                  col("FInheritable", T::Boolean)},
                 {index("ObjectId", {"ObjectId"}, false, false)},
                 true};
  aces.columns[3].required = true;
  aces.indexes[0].required = true;
  TableSpec queries{"MSysQueries",
                    {col("ObjectId", T::Long), col("Attribute", T::Byte), col("Order", T::Binary, 255),
                     col("Name1", T::Text, 255), col("Name2", T::Text, 255), col("Expression", T::Memo),
                     col("Flag", T::Integer), col("LvExtra", T::Long)},
                    {index("ObjectIdAttribute", {"ObjectId", "Attribute", "Order"}, true, true)},
                    true};
  TableSpec relationships{"MSysRelationships",
                          {col("szRelationship", T::Text, 255), col("grbit", T::Long),
                           col("ccolumn", T::Long), col("icolumn", T::Long), col("szObject", T::Text, 255),
                           col("szColumn", T::Text, 255), col("szReferencedObject", T::Text, 255),
                           col("szReferencedColumn", T::Text, 255)},
                          {index("szObject", {"szObject"}, false, false, true),
                           index("szReferencedObject", {"szReferencedObject"}, false, false, true),
                           index("szRelationship", {"szRelationship"}, false, false, true)},
                          true};
  return {objects, aces, queries, relationships};
}

std::vector<ObjectRow> initial_objects() {
  constexpr int32_t kSystemObject = INT32_MIN;  // Flags 0x80000000
  return {
      {kTablesId, kRootId, "Tables", kTypeContainer, kSystemObject, true, {}},
      {kDatabasesId, kRootId, "Databases", kTypeContainer, kSystemObject, true, {}},
      {kRelationshipsId, kRootId, "Relationships", kTypeContainer, kSystemObject, true, {}},
      {kDatabaseObjectId, kDatabasesId, "MSysDb", kTypeDatabase, kSystemObject, false, {}},
      {2, kTablesId, "MSysObjects", kTypeTable, kSystemObject, true, {}},
      {3, kTablesId, "MSysACEs", kTypeTable, kSystemObject, true, {}},
      {4, kTablesId, "MSysQueries", kTypeTable, kSystemObject, true, {}},
      {5, kTablesId, "MSysRelationships", kTypeTable, kSystemObject, true, {}},
  };
}

std::vector<FieldValue> object_values(const ObjectRow& row, DateTime created) {
  std::vector<FieldValue> v(17);
  v[0] = int64_t{row.id};
  v[1] = int64_t{row.parent_id};
  v[2] = row.name;
  v[3] = int64_t{row.type};
  v[4] = created;
  v[5] = created;
  v[6] = row.system_owner ? kEngineSid : kAdminSid;
  v[7] = int64_t{row.flags};
  if (row.properties) v[14] = *row.properties;
  return v;
}

std::vector<std::vector<FieldValue>> initial_access_entries() {
  return {
      ace(2, kAdminSid, kReadDesign, false),
      ace(3, kAdminSid, kReadDesign, false),
      ace(4, kAdminSid, kReadDesign, false),
      ace(5, kAdminSid, 917504, false),
      ace(kTablesId, kAdminsSid, 983294, true),
      ace(kTablesId, kAdminSid, 393217, false),
      ace(kRelationshipsId, kAdminsSid, 983294, true),
      ace(kRelationshipsId, kAdminSid, 393217, false),
      ace(kDatabasesId, kAdminSid, kReadDesign, false),
      ace(kDatabaseObjectId, kAdminSid, 393230, false),
      ace(kDatabaseObjectId, kUsersSid, 14, false),
      ace(4, kUsersSid, 20, false),
      ace(5, kUsersSid, 20, false),
      ace(2, kUsersSid, 20, false),
      ace(kTablesId, kUsersSid, 1048319, true),
      ace(kRelationshipsId, kUsersSid, 1048575, true),
  };
}

std::vector<std::vector<FieldValue>> access_entries_for(int32_t object_id) {
  // A new object gets full access for every account that has an entry on its
  // container ("Tables").
  return {ace(object_id, kAdminsSid, kFullTableAccess, false),
          ace(object_id, kAdminSid, kFullTableAccess, false),
          ace(object_id, kUsersSid, kFullTableAccess, false)};
}

std::optional<Binary> table_properties(const TableSpec& table) {
  using namespace build;
  bool any = false;
  for (const ColumnSpec& c : table.columns) any = any || c.required;
  if (!any) return std::nullopt;

  // "MR2\0", a block of property names, then one block of values per column.
  Bytes blob = {'M', 'R', '2', 0};
  auto block = [&](uint16_t type, const Bytes& body) {
    add32(blob, static_cast<uint32_t>(6 + body.size()));
    add16(blob, type);
    blob.insert(blob.end(), body.begin(), body.end());
  };
  Bytes names;
  add_name(names, "Required");
  block(0x0080, names);
  for (const ColumnSpec& c : table.columns) {
    if (!c.required) continue;
    Bytes body;
    Bytes header;
    add_name(header, c.name);
    add32(body, static_cast<uint32_t>(4 + header.size()));
    body.insert(body.end(), header.begin(), header.end());
    // One value: length, DDL flag, type (Boolean), name index 0, data length, data.
    add16(body, 9);
    add8(body, 0);
    add8(body, static_cast<uint8_t>(ColumnType::Boolean));
    add16(body, 0);
    add16(body, 1);
    add8(body, 1);
    block(0x0001, body);
  }
  return blob;
}

}  // namespace halvaro::jet::catalog
