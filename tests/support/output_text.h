#pragma once
// Picking apart what a program printed, line by line.

#include <cstddef>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace halvaro::test {

// The lines of `text`, without their line ends; a last line without one counts.
inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// `text` split at every `separator`, whatever quotes there are: n separators, n + 1 parts.
inline std::vector<std::string> split_at(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == separator) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// The fields numbered `fields` (from 1, in rising order) of each line, split at every
// `separator` whatever quotes there are, joined again by it: what `cut -d, -f1,2,5`
// prints. A line short of a field leaves it out.
inline std::string cut_fields(const std::string& text, std::initializer_list<size_t> fields, char separator = ',') {
  std::string out;
  for (const std::string& line : lines_of(text)) {
    const std::vector<std::string> parts = split_at(line, separator);
    bool first = true;
    for (size_t field : fields) {
      if (field == 0 || field > parts.size()) continue;
      if (!first) out += separator;
      out += parts[field - 1];
      first = false;
    }
    out += '\n';
  }
  return out;
}

}  // namespace halvaro::test
