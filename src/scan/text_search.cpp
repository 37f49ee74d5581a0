#include "scan/text_search.h"

#include <algorithm>
#include <string_view>

#include "chartable/encoding.h"
#include "chartable/text_index.h"
#include "codec/encoder.h"
#include "runtime/utf8.h"

namespace binconv {

Result<std::vector<std::vector<std::uint8_t>>, SearchTextFault> EncodeSearchTexts(
    const GameTable& encoding, LineBreaks line_breaks, std::span<const std::string> texts,
    const std::function<bool(std::size_t, const EncodeProblem&)>& passes) {
  using Kind = SearchTextFault::Kind;
  std::vector<std::vector<std::uint8_t>> patterns;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    Encoder encoder(encoding, line_breaks);
    std::vector<std::uint8_t> bytes;
    if (!encoder.FeedUtf8(texts[i], bytes) || !encoder.FinishUtf8(bytes)) {
      return Unexpected(SearchTextFault{Kind::kBadUtf8, i});
    }
    bool passed = false;
    for (const EncodeProblem& problem : encoder.problems()) {
      if (passes && passes(i, problem)) {
        passed = true;
        continue;
      }
      if (problem.kind == ProblemCode::kOddCount) return Unexpected(SearchTextFault{Kind::kOddCount, i});
      return Unexpected(SearchTextFault{Kind::kProblem, i, problem});
    }
    if (bytes.empty() && !passed) return Unexpected(SearchTextFault{Kind::kNoBytes, i});
    patterns.push_back(std::move(bytes));
  }
  return patterns;
}

}  // namespace binconv

namespace binconv {
namespace {

constexpr char32_t kBreak = GameTextIndex::kBreakUnit;

// A text as the index keys it: a .tbl's "\n" is a line break.
std::u32string UnitsOf(std::u16string_view text) {
  std::u32string units;
  for (const char16_t ch : text) units += ch == u'\n' ? kBreak : char32_t{ch};
  return units;
}

bool HasTagMark(const GameTextIndex& index, std::u32string_view text) {
  return std::any_of(text.begin(), text.end(), [&](char32_t unit) {
    return index.MarkOf(unit) != detail::Special::kNone;
  });
}

// What decode shows for the code as text; nothing when it shows a tag (a
// control's label, a text with a tag mark, an end token of line breaks).
std::u32string ShownText(const GameTextIndex& index, const GameCode& code) {
  if (code.kind == GameCodeKind::kControl) return {};
  std::u32string text = UnitsOf(code.text);
  if (code.kind == GameCodeKind::kEnd &&
      std::all_of(text.begin(), text.end(), [](char32_t u) { return u == kBreak; })) {
    return {};
  }
  if (HasTagMark(index, text)) return {};
  if (code.kind == GameCodeKind::kLineBreak) text += kBreak;
  return text;
}

// An alias shows in place of its code's text, as typed (a CR or LF in it is
// that unit, as the index has it).
std::u32string AliasText(const GameTextIndex& index, const GameCode& code,
                         const GameTextAlias& alias) {
  if (code.kind == GameCodeKind::kControl || alias.text.empty()) return {};
  std::u32string text(alias.text.begin(), alias.text.end());
  if (HasTagMark(index, text)) return {};
  if (code.kind == GameCodeKind::kLineBreak) text += kBreak;
  return text;
}

}  // namespace

TextSearch::Pattern TextSearch::PatternOf(const GameTable& table, LineBreaks line_breaks,
                                          std::u16string_view units) {
  Pattern pattern;
  std::u16string tags;  // a run of tags, whose bytes the encoder gives
  auto end_tags = [&] {
    if (tags.empty()) return;
    Encoder encoder(table, line_breaks);
    std::vector<std::uint8_t> bytes;
    encoder.Feed(tags, bytes);
    encoder.Finish(bytes);
    tags.clear();
    if (!bytes.empty()) pattern.pieces.push_back({{}, std::move(bytes)});
  };
  for (std::size_t k = 0; k < units.size();) {
    const char16_t ch = units[k];
    const detail::Special special = detail::ClassifySpecial(ch);
    if (special == detail::Special::kTagOpen) {
      std::size_t close = k + 1;
      while (close < units.size() &&
             detail::ClassifySpecial(units[close]) != detail::Special::kTagClose) {
        ++close;
      }
      close = std::min(close + 1, units.size());
      tags.append(units, k, close - k);
      k = close;
      continue;
    }
    end_tags();
    char32_t unit = ch;
    std::size_t taken = 1;
    if (special == detail::Special::kLineBreak) {
      unit = kBreak;
    } else if (ch == u'\r' && k + 1 < units.size() && units[k + 1] == u'\n') {
      unit = kBreak;
      taken = 2;
    } else if ((ch == u'\r' || ch == u'\n') && line_breaks == LineBreaks::kAny) {
      unit = kBreak;
    }
    if (pattern.pieces.empty() || !pattern.pieces.back().bytes.empty()) pattern.pieces.emplace_back();
    pattern.pieces.back().text += unit;
    k += taken;
  }
  end_tags();
  return pattern;
}

Result<TextSearch, SearchTextFault> TextSearch::Of(const GameTable& table, LineBreaks line_breaks,
                                                   std::span<const std::string> texts) {
  TextSearch search(table);
  const GameTextIndex& index = table.text_index();
  const std::span<const GameCode> codes = table.codes();

  std::vector<const GameTextAlias*> aliases;
  for (const GameTextAlias& alias : table.aliases()) aliases.push_back(&alias);
  std::stable_sort(aliases.begin(), aliases.end(),
                   [](const auto* a, const auto* b) { return a->code < b->code; });
  // One spelling: every text one unit of one code, and no code's bytes
  // begin another's, so that the encoder's bytes are the only ones.
  bool one_spelling = index.read_back().none_open();
  std::vector<std::uint32_t> owner(std::size_t{kBreak} + 1, UINT32_MAX);
  std::vector<bool> shown_anywhere(owner.size(), false);
  std::size_t longest = 1;
  auto keep = [&](std::uint32_t code, std::u32string text) {
    if (text.empty()) return;
    longest = std::max(longest, codes[code].bytes.size());
    if (text.size() != 1 || (owner[text[0]] != UINT32_MAX && owner[text[0]] != code)) {
      one_spelling = false;
    } else {
      owner[text[0]] = code;
    }
    search.shown_.push_back({static_cast<std::uint32_t>(search.shown_units_.size()),
                             static_cast<std::uint32_t>(text.size())});
    for (const char32_t unit : text) shown_anywhere[unit] = true;
    search.shown_units_ += text;
  };
  auto alias = aliases.begin();
  for (std::uint32_t i = 0; i < codes.size(); ++i) {
    search.shown_of_.push_back(static_cast<std::uint32_t>(search.shown_.size()));
    keep(i, ShownText(index, codes[i]));
    for (; alias != aliases.end() && (*alias)->code == i; ++alias) {
      keep(i, AliasText(index, codes[i], **alias));
    }
  }
  search.shown_of_.push_back(static_cast<std::uint32_t>(search.shown_.size()));
  // A character no code has alone may still be shown inside a code of
  // several: such a text is found by decoding only.
  bool passed = false;
  auto encoded = EncodeSearchTexts(table, line_breaks, texts,
                                   [&](std::size_t, const EncodeProblem& problem) {
                                     const bool shown = problem.kind == ProblemCode::kNoCode &&
                                                        problem.ch < kBreak &&
                                                        shown_anywhere[problem.ch];
                                     passed = passed || shown;
                                     return shown;
                                   });
  if (!encoded) return Unexpected(encoded.error());
  search.bytes_ = std::move(encoded).value();
  search.one_spelling_ = one_spelling && !passed;

  for (const std::string& text : texts) {
    Pattern pattern = PatternOf(table, line_breaks, DecodeUtf8(text).value());
    std::size_t reach = kMaxGameUnitBytes;
    for (const Piece& piece : pattern.pieces) reach += piece.text.size() * longest + piece.bytes.size();
    search.lookahead_ = std::max(search.lookahead_, reach);
    search.FindStarts(pattern);
    search.patterns_.push_back(std::move(pattern));
  }
  return search;
}

std::span<const TextSearch::Shown> TextSearch::ShownBy(std::uint32_t code) const {
  return std::span(shown_).subspan(shown_of_[code], shown_of_[code + 1] - shown_of_[code]);
}

void TextSearch::FindStarts(Pattern& pattern) const {
  pattern.first_pairs.assign(std::size_t{1} << 10, 0);
  auto pair = [&](std::uint8_t first, std::uint8_t second) {
    const unsigned key = unsigned{second} << 8 | first;
    pattern.first_pairs[key >> 6] |= std::uint64_t{1} << (key & 63);
  };
  auto pairs_after = [&](std::uint8_t first, const std::array<bool, 256>& follow) {
    for (unsigned b = 0; b < 256; ++b) {
      if (follow[b]) pair(first, static_cast<std::uint8_t>(b));
    }
  };
  std::array<bool, 256> every;
  every.fill(true);
  const Piece& first = pattern.pieces.front();
  if (first.text.empty()) {
    pattern.first_bytes[first.bytes.front()] = true;
    if (first.bytes.size() > 1) {
      pair(first.bytes[0], first.bytes[1]);
    } else {
      pairs_after(first.bytes[0], every);
    }
    return;
  }
  const std::u32string_view text = first.text;
  const bool last = pattern.pieces.size() == 1;
  const std::span<const GameCode> codes = table_.codes();
  pattern.starts.assign(codes.size(), false);
  // Per count of characters a one-byte first code matches: what may follow.
  std::vector<std::optional<std::array<bool, 256>>> follows(text.size() + 1);
  for (std::uint32_t i = 0; i < codes.size(); ++i) {
    const std::vector<std::uint8_t>& bytes = codes[i].bytes;
    for (const Shown shown : ShownBy(i)) {
      const std::u32string_view all = std::u32string_view(shown_units_).substr(shown.from, shown.size);
      for (std::size_t k = 0; k < all.size(); ++k) {
        const std::u32string_view tail = all.substr(k);
        const bool begins = tail.size() <= text.size() && text.starts_with(tail);
        const bool holds = tail.size() > text.size() && last && tail.starts_with(text);
        if (!begins && !holds) continue;
        pattern.starts[i] = true;
        pattern.first_bytes[bytes[0]] = true;
        if (bytes.size() > 1) {
          pair(bytes[0], bytes[1]);
        } else if (holds) {
          pairs_after(bytes[0], every);
        } else {
          if (!follows[tail.size()]) follows[tail.size()] = FollowBytes(pattern, tail.size());
          pairs_after(bytes[0], *follows[tail.size()]);
        }
      }
    }
  }
}

std::array<bool, 256> TextSearch::FollowBytes(const Pattern& pattern, std::size_t done) const {
  std::array<bool, 256> follow{};
  const std::u32string_view text = pattern.pieces.front().text;
  const bool last = pattern.pieces.size() == 1;
  if (done == text.size()) {
    // Tags' bytes follow a text, or anything at the end.
    if (last) {
      follow.fill(true);
    } else {
      follow[pattern.pieces[1].bytes.front()] = true;
    }
    return follow;
  }
  const std::u32string_view left = text.substr(done);
  const std::span<const GameCode> codes = table_.codes();
  for (std::uint32_t i = 0; i < codes.size(); ++i) {
    for (const Shown shown : ShownBy(i)) {
      const std::u32string_view all = std::u32string_view(shown_units_).substr(shown.from, shown.size);
      if (all.size() <= left.size() ? left.starts_with(all) : last && all.starts_with(left)) {
        follow[codes[i].bytes[0]] = true;
      }
    }
  }
  return follow;
}

bool TextSearch::MatchesAt(std::size_t index, std::span<const std::uint8_t> bytes) const {
  const Pattern& pattern = patterns_[index];
  const Piece& first = pattern.pieces.front();
  if (first.text.empty()) return Rest(pattern, bytes, 0, 0, 0);
  if (bytes.empty()) return false;
  const GameTableUnit unit = table_.reader().ReadUnit(bytes, true);
  if (unit.kind != GameUnitKind::kCode || !pattern.starts[unit.code]) return false;
  const std::u32string_view text = first.text;
  const bool last = pattern.pieces.size() == 1;
  for (const Shown shown : ShownBy(unit.code)) {
    const std::u32string_view all = std::u32string_view(shown_units_).substr(shown.from, shown.size);
    for (std::size_t k = 0; k < all.size(); ++k) {
      const std::u32string_view tail = all.substr(k);
      if (tail.size() <= text.size()) {
        if (text.starts_with(tail) && Rest(pattern, bytes, unit.size, 0, tail.size())) return true;
      } else if (last && tail.starts_with(text)) {
        return true;
      }
    }
  }
  return false;
}

// Whether the pattern goes on from bytes[at], where a code ended with `done`
// characters of piece `piece` matched.
bool TextSearch::Rest(const Pattern& pattern, std::span<const std::uint8_t> bytes, std::size_t at,
                      std::size_t piece, std::size_t done) const {
  for (;;) {
    if (piece == pattern.pieces.size()) return true;
    const Piece& now = pattern.pieces[piece];
    if (now.text.empty()) {
      const std::span<const std::uint8_t> rest = bytes.subspan(at);
      if (rest.size() < now.bytes.size() ||
          !std::equal(now.bytes.begin(), now.bytes.end(), rest.begin())) {
        return false;
      }
      at += now.bytes.size();
      ++piece;
      continue;
    }
    if (done == now.text.size()) {
      ++piece;
      done = 0;
      continue;
    }
    break;
  }
  if (at >= bytes.size()) return false;
  const GameTableUnit unit = table_.reader().ReadUnit(bytes.subspan(at), true);
  if (unit.kind != GameUnitKind::kCode) return false;
  const std::u32string_view left = std::u32string_view(pattern.pieces[piece].text).substr(done);
  const bool last = piece + 1 == pattern.pieces.size();
  for (const Shown shown : ShownBy(unit.code)) {
    const std::u32string_view all = std::u32string_view(shown_units_).substr(shown.from, shown.size);
    if (all.size() <= left.size()) {
      if (left.starts_with(all) && Rest(pattern, bytes, at + unit.size, piece, done + all.size())) {
        return true;
      }
    } else if (last && all.starts_with(left)) {
      return true;
    }
  }
  return false;
}

Result<Unit, IoError> SearchTexts(const ReadInput& read, const TextSearch& search,
                                  std::size_t chunk_size,
                                  const std::function<bool(const ByteMatch&)>& found,
                                  const ScanProgress& progress, bool decode_always) {
  if (search.one_spelling_ && !decode_always) {
    return SearchBytes(read, &search.table_, search.bytes_, chunk_size, found, progress);
  }
  std::array<bool, 256> any{};
  std::vector<std::uint64_t> any_pair(std::size_t{1} << 10, 0);
  for (const auto& pattern : search.patterns_) {
    for (std::size_t b = 0; b < any.size(); ++b) any[b] = any[b] || pattern.first_bytes[b];
    for (std::size_t w = 0; w < any_pair.size(); ++w) any_pair[w] |= pattern.first_pairs[w];
  }
  // The pair's key is its two bytes, the first lowest.
  // The bit itself, not a bool, so that four of them are or-ed without branches.
  auto has_pair = [](const std::uint64_t* pairs, const std::uint8_t* at) -> std::uint64_t {
    const unsigned key = unsigned{at[1]} << 8 | at[0];
    return pairs[key >> 6] >> (key & 63) & 1;
  };
  const std::uint64_t* const pairs = any_pair.data();
  const GameUnitReader& reader = search.table_.reader();
  return ScanWindows(
      read, chunk_size, search.lookahead_, 1,
      [&](const ScanWindow& w) {
        const std::uint8_t* base = w.bytes.data();
        // Tries the texts at `at`; false to stop.
        auto try_at = [&](std::size_t at, bool paired) {
          const std::span<const std::uint8_t> rest = w.bytes.subspan(at);
          for (std::size_t i = 0; i < search.patterns_.size(); ++i) {
            const auto& pattern = search.patterns_[i];
            if (paired ? !has_pair(pattern.first_pairs.data(), base + at) : !pattern.first_bytes[base[at]]) {
              continue;
            }
            if (!search.MatchesAt(i, rest)) continue;
            // A unit begun by the byte before would take the match's first byte.
            const bool after_lead = at > 0 && reader.ReadUnit(w.bytes.subspan(at - 1), true).size > 1;
            if (!found(ByteMatch{w.offset + at, i, after_lead})) return false;
          }
          return true;
        };
        // Every position but the input's last has a byte after it.
        const std::size_t paired_to = std::min(w.to, w.bytes.size() - 1);
        std::size_t at = w.from;
        const std::uint64_t* const wanted = pairs;  // kept in a register through the calls
        // Four positions a test: a match is rare, so a branch for each is mostly waste.
        for (; at + 4 <= paired_to; at += 4) {
          if (!(has_pair(wanted, base + at) | has_pair(wanted, base + at + 1) |
                has_pair(wanted, base + at + 2) | has_pair(wanted, base + at + 3))) {
            continue;
          }
          for (std::size_t k = at; k < at + 4; ++k) {
            if (has_pair(wanted, base + k) && !try_at(k, true)) return false;
          }
        }
        for (; at < paired_to; ++at) {
          if (has_pair(wanted, base + at) && !try_at(at, true)) return false;
        }
        for (; at < w.to; ++at) {
          if (any[base[at]] && !try_at(at, false)) return false;
        }
        return true;
      },
      progress);
}

}  // namespace binconv
