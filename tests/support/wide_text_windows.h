#pragma once
// UTF-8 and Windows' wide characters, and a command line made of arguments, for the
// Windows build's test support.

#include <windows.h>

#include <string>
#include <vector>

namespace halvaro::test::windows {

inline std::wstring wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

inline std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// One argument quoted as the C runtime's parser of a command line reads it back:
// backslashes double only before a quote, and a quote is escaped.
inline void append_quoted(std::wstring& line, const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

// The command line that starts `program` with `arguments`, each arriving as it is.
inline std::wstring command_line(const std::string& program, const std::vector<std::string>& arguments) {
  std::wstring line;
  append_quoted(line, wide(program));
  for (const auto& argument : arguments) {
    line += L' ';
    append_quoted(line, wide(argument));
  }
  return line;
}

}  // namespace halvaro::test::windows
