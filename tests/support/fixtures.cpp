#include "tests/support/fixtures.h"

#include "jet/catalog/database.h"
#include "jet/tables/table_scan.h"

#include <fstream>
#include <cstdlib>
#include <random>
#include <stdexcept>

namespace halvaro::test {

namespace fs = std::filesystem;

fs::path fixtures_dir() {
  const char* chosen = std::getenv("HALVARO_FIXTURES_DIR");
  fs::path dir = chosen != nullptr ? chosen : HALVARO_FIXTURES_DIR;
  return fs::is_directory(dir) ? fs::canonical(dir) : fs::path{};
}

fs::path source_dir() { return HALVARO_SOURCE_DIR; }

std::string file_bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

uint32_t zero_data_page(const fs::path& file, std::string_view table, bool last) {
  uint32_t page = 0, page_size = 0;
  {
    auto db = jet::Database::open(file);
    const auto pages = jet::table_data_pages(db->pages(), db->table(table));
    if (pages.empty()) throw std::runtime_error("table " + std::string(table) + " has no data page");
    page = last ? pages.back() : pages.front();
    page_size = db->pages().page_size();
  }
  std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
  f.seekp(static_cast<std::streamoff>(page) * page_size);
  f << std::string(page_size, '\0');
  return page;
}

fs::path built_databases_dir() { return HALVARO_BUILT_DATABASES; }

std::string halvaro_binary() { return HALVARO_BINARY; }

CommandResult run_halvaro(const std::vector<std::string>& arguments, ErrorOutput errors) {
  return run_program(halvaro_binary(), arguments, errors);
}

fs::path database_path(std::string_view name) {
  const fs::path fixtures = fixtures_dir();
  if (!fixtures.empty() && fs::exists(fixtures / name)) return fixtures / name;
  const fs::path built = built_databases_dir() / name;
  return fs::exists(built) ? built : fs::path{};
}

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = fs::temp_directory_path() / ("halvaro-test-" + std::to_string(rd()));
    if (fs::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

fs::path TempDir::copy_in(const fs::path& file) const {
  auto target = path_ / file.filename();
  fs::copy_file(file, target, fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  return target;
}

}  // namespace halvaro::test
