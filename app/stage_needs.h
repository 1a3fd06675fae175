#pragma once
// What one stage of a transfer reads and writes, worked out from its own description
// (query texts and mapping tables), so that a check of the files before a run can never
// drift from what the run does.

#include <string>
#include <vector>

#include "db/copy_procedure.h"

namespace halvaro::app {

// Every stage of the groups, in the order the run meets them.
std::vector<const db::Stage*> stages_of(const std::vector<const db::Group*>& groups);

// The table a destination recordset appends to (its second text when it has one).
std::string destination_table(const db::DestinationOpen& open);

// The table or view a "Select * from NAME" text reads ("" when it is not one).
std::string whole_table_name(std::string_view select_text);

// The view an item query reads, and the view's columns its WHERE clause compares.
struct ItemQueryNeeds {
  std::string view;
  std::vector<std::string> columns;
};
ItemQueryNeeds item_query_needs(const std::vector<db::QueryPiece>& pieces);

// The item query built for a master row whose values are all empty.
std::string item_query_for_empty_values(const std::vector<db::QueryPiece>& pieces);

// Columns of the master query's rows that the stage reads: the mapping's sources and the
// master values the item query is built from.
std::vector<std::string> master_columns_read(const db::Stage& stage);

// Columns of the destination master row that the item query reads back once it is stored.
std::vector<std::string> saved_columns_read(const db::Stage& stage);

// Names compared as the access layer compares them: letter case ignored.
bool same_name(std::string_view a, std::string_view b);

// Adds `name` unless a name equal to it but for letter case is already there.
void add_name(std::vector<std::string>& names, std::string_view name);

}  // namespace halvaro::app
