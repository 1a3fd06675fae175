#pragma once
// A fresh file whose table T (G TEXT(60), N LONG) has one index, ByGroup (G, N), and a
// writer of that index's tree, for tests that insert keys of their own making.

#include <filesystem>
#include <fstream>
#include <memory>

#include "jet/catalog/database.h"
#include "jet/indexes/index_writer.h"
#include "jet/pages/page_store.h"
#include "sql/create_script.h"

namespace halvaro::test {

struct IndexTree {
  std::shared_ptr<jet::PageStore> pages;
  std::unique_ptr<jet::IndexWriter> index;
};

inline IndexTree index_tree(const std::filesystem::path& file) {
  const auto script = std::filesystem::path(file).replace_extension(".sql");
  std::ofstream(script) << "CREATE TABLE T (G TEXT(60), N LONG);\nCREATE INDEX ByGroup ON T (G, N);\n";
  sql::script::create_database(file, script);
  IndexTree tree{jet::PageStore::open(file), nullptr};
  const jet::TableDef table = jet::Database::open(tree.pages, file)->table("T");
  tree.index = std::make_unique<jet::IndexWriter>(*tree.pages, table.definition_page,
                                                  table.real_indexes.at(0).root_page,
                                                  [pages = tree.pages.get()] { return pages->allocate(); });
  return tree;
}

}  // namespace halvaro::test
