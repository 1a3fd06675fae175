#pragma once
// The system catalog Jet creates in every database: the definitions of its four
// system tables and the rows they start with. Ids, types, flags, owners and access
// entries are those the Jet engine itself writes into a new Access 2000 file.

#include <cstdint>
#include <optional>
#include <vector>

#include "jet/base/field_value.h"
#include "jet/builder/table_spec.h"

namespace halvaro::jet::catalog {

// Object ids: the containers and the database object have fixed ids; a table's id
// is the page of its definition; saved queries count up from 0x80000000.
constexpr int32_t kRootId = 0x0F000000;
constexpr int32_t kTablesId = 0x0F000001;
constexpr int32_t kDatabasesId = 0x0F000002;
constexpr int32_t kRelationshipsId = 0x0F000003;
constexpr int32_t kDatabaseObjectId = 0x10000000;  // "MSysDb"
constexpr int32_t kFirstQueryId = INT32_MIN;

// MSysObjects.Type values.
constexpr int kTypeTable = 1;
constexpr int kTypeDatabase = 2;
constexpr int kTypeContainer = 3;
constexpr int kTypeQuery = 5;

// The four system tables, in the order of their definition pages (2, 3, 4, 5).
std::vector<TableSpec> system_tables();

// One catalog object, as MSysObjects stores it.
struct ObjectRow {
  int32_t id = 0;
  int32_t parent_id = 0;
  std::string name;
  int type = 0;
  int32_t flags = 0;
  bool system_owner = false;  // owned by the engine rather than the Admin user
  std::optional<Binary> properties;  // LvProp
};

// Rows of MSysObjects: the containers, the database object and the system tables
// (ids 2 to 5), before any user object.
std::vector<ObjectRow> initial_objects();

// Values of an MSysObjects row.
std::vector<FieldValue> object_values(const ObjectRow& row, DateTime created);

// Rows of MSysACEs (ObjectId, SID, ACM, FInheritable): the permissions of the
// catalog's own objects, then those of each user object (tables and queries).
std::vector<std::vector<FieldValue>> initial_access_entries();
std::vector<std::vector<FieldValue>> access_entries_for(int32_t object_id);


// The LvProp of a user table: a Required property on each NOT NULL column;
// nullopt when the table has no properties to record.
std::optional<Binary> table_properties(const TableSpec& table);

}  // namespace halvaro::jet::catalog
