#include "tools/key_layout.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <set>
#include <unordered_map>

namespace halvaro::tools {

using jet::CodeKind;
using jet::SortCodes;

namespace {

// The bytes that begin a two-byte sort code: they fill the gaps of the one-byte
// codes (0x08 between space and "!", 0x2B between "]" and "+", 0x33/0x34 after ">",
// 0x37 between "0" and "1", 0x79 after "z") and no key Access wrote uses one alone.
bool is_lead_byte(uint8_t b) {
  return b == 0x08 || b == 0x2B || b == 0x33 || b == 0x34 || b == 0x37 || b == 0x79;
}

constexpr uint8_t kEndText = 0x01;
constexpr uint8_t kNoAccent = 0x02;

}  // namespace

std::string hex(const std::vector<uint8_t>& bytes) {
  std::string s;
  char b[3];
  for (uint8_t x : bytes) {
    std::snprintf(b, sizeof b, "%02X", x);
    s += b;
  }
  return s;
}

std::string entry_text(const SortCodes& c) {
  switch (c.kind) {
    case CodeKind::Simple: return "S" + hex(c.inline_bytes);
    case CodeKind::International: return "I" + hex(c.inline_bytes) + "," + hex(c.extra);
    case CodeKind::Unprintable: return "U" + hex(c.unprintable);
    case CodeKind::Modifier: return "P" + hex({c.modifier});
    case CodeKind::InternationalExt:
      return "Z" + hex(c.inline_bytes) + "," + hex(c.extra) + "," + (c.secondary == 2 ? "1" : "");
    case CodeKind::Ignored: return "X";
  }
  return "X";
}

std::optional<KeyLayout> read_layout(const std::vector<uint8_t>& body) {
  if (body.empty() || body.back() != 0x00) return std::nullopt;
  const auto end = body.end() - 1;
  const auto sort_end = std::find(body.begin(), end, kEndText);
  if (sort_end == end) return std::nullopt;

  KeyLayout layout;
  for (auto it = body.begin(); it != sort_end;) {
    const size_t n = is_lead_byte(*it) ? 2 : 1;
    if (sort_end - it < static_cast<long>(n)) return std::nullopt;
    layout.codes.emplace_back(it, it + static_cast<long>(n));
    it += static_cast<long>(n);
  }
  const auto extra_end = std::find(sort_end + 1, end, kEndText);
  layout.extra.assign(sort_end + 1, extra_end);
  if (extra_end == end) return layout;

  // The unprintable entries follow three end marks; anything else there (a
  // secondary block) is not read here.
  auto it = extra_end;
  for (int k = 0; k < 3; ++k, ++it)
    if (it == end || *it != kEndText) return std::nullopt;
  for (; end - it >= 4; it += 4) {
    const unsigned code = static_cast<unsigned>(it[0] << 8 | it[1]);
    if (!(code & 0x8000) || it[2] != 0x06) return std::nullopt;
    const unsigned offset = code & 0x7FFF;
    if (offset < 7 || (offset - 7) % 4) return std::nullopt;
    layout.unprintables.push_back({(offset - 7) / 4, it[3]});
  }
  if (it != end) return std::nullopt;
  return layout;
}

namespace {

// Where a reading stands: the next character, code, unprintable entry and position.
struct State {
  size_t ci = 0, ti = 0, ui = 0, pi = 0;
  uint64_t key() const { return ((uint64_t{ci} * 1024 + ti) * 1024 + ui) * 1024 + pi; }
};

class Reader {
 public:
  Reader(const std::u16string& text, const KeyLayout& layout, const EntryCheck& allowed)
      : text_(text), layout_(layout), allowed_(allowed) {}

  // The ways a character can be read from state `s`, with the state after it.
  std::vector<std::pair<SortCodes, State>> choices(const State& s) const {
    std::vector<std::pair<SortCodes, State>> out;
    const char16_t ch = text_[s.ci];
    auto offer = [&](SortCodes c, State next) {
      if (allowed_(ch, c)) out.emplace_back(std::move(c), next);
    };
    offer(SortCodes{}, State{s.ci + 1, s.ti, s.ui, s.pi});  // ignored
    if (s.ui < layout_.unprintables.size() && layout_.unprintables[s.ui].position == s.pi)
      offer(SortCodes{CodeKind::Unprintable, {}, {}, {layout_.unprintables[s.ui].code}, 0, 0},
            State{s.ci + 1, s.ti, s.ui + 1, s.pi});
    const uint8_t accent = s.pi < layout_.extra.size() ? layout_.extra[s.pi] : kNoAccent;
    // A character spelled as two letters (a ligature) carries no accent code.
    for (size_t n = 1; n <= (accent == kNoAccent ? 2u : 1u) && s.ti + n <= layout_.codes.size(); ++n) {
      std::vector<uint8_t> bytes;
      for (size_t k = 0; k < n; ++k)
        bytes.insert(bytes.end(), layout_.codes[s.ti + k].begin(), layout_.codes[s.ti + k].end());
      SortCodes c = accent == kNoAccent ? SortCodes{CodeKind::Simple, bytes, {}, {}, 0, 0}
                                        : SortCodes{CodeKind::International, bytes, {accent}, {}, 0, 0};
      offer(std::move(c), State{s.ci + 1, s.ti + n, s.ui, s.pi + 1});
    }
    return out;
  }

  // The fewest characters left without codes by any reading of the rest of the
  // text from `s`; kNone when no reading fits.
  static constexpr size_t kNone = SIZE_MAX;
  size_t fewest_ignored(const State& s) {
    if (s.ci == text_.size())
      return s.ti == layout_.codes.size() && s.ui == layout_.unprintables.size() && s.pi >= layout_.extra.size()
                 ? 0
                 : kNone;
    if (auto it = memo_.find(s.key()); it != memo_.end()) return it->second;
    size_t best = kNone;
    for (const auto& [codes, next] : choices(s)) {
      const size_t rest = fewest_ignored(next);
      if (rest != kNone) best = std::min(best, rest + (codes.kind == CodeKind::Ignored));
    }
    memo_[s.key()] = best;
    return best;
  }

 private:
  const std::u16string& text_;
  const KeyLayout& layout_;
  const EntryCheck& allowed_;
  std::unordered_map<uint64_t, size_t> memo_;
};

}  // namespace

std::map<char16_t, SortCodes> agreed_entries(const std::u16string& text, const KeyLayout& layout,
                                             const EntryCheck& allowed) {
  Reader reader(text, layout, allowed);
  std::map<char16_t, SortCodes> agreed;
  const size_t fewest = reader.fewest_ignored(State{});
  if (fewest == Reader::kNone) return agreed;

  // Walk every reading at once, keeping those that leave the fewest characters
  // without codes (as a reading that drops a character can always be made to fit
  // some other way): the states each character can be read from, and the entries it
  // gets.
  std::map<char16_t, std::map<std::string, SortCodes>> options;
  std::vector<std::pair<State, size_t>> layer{{State{}, 0}};
  for (size_t ci = 0; ci < text.size(); ++ci) {
    std::unordered_map<uint64_t, std::pair<State, size_t>> next_layer;
    for (const auto& [s, ignored] : layer)
      for (const auto& [codes, next] : reader.choices(s)) {
        const size_t rest = reader.fewest_ignored(next);
        const size_t total = ignored + (codes.kind == CodeKind::Ignored);
        if (rest == Reader::kNone || total + rest != fewest) continue;
        options[text[ci]].emplace(entry_text(codes), codes);
        next_layer.emplace(next.key(), std::pair{next, total});
      }
    layer.clear();
    for (const auto& [key, entry] : next_layer) layer.push_back(entry);
  }
  for (const auto& [ch, entries] : options)
    if (entries.size() == 1) agreed.emplace(ch, entries.begin()->second);
  return agreed;
}

}  // namespace halvaro::tools
