#include "scan/relative_search.h"

#include <algorithm>
#include <map>
#include <utility>

#include "chartable/encoding.h"

namespace binconv {
namespace {

constexpr std::u16string_view kGojuon =
    u"あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろわをん";
// ぁ .. ゖ and their katakana ァ .. ヶ.
constexpr char16_t kFirstHiragana = u'\u3041';
constexpr char16_t kLastHiragana = u'\u3096';
constexpr char16_t kFirstKatakana = u'\u30A1';
constexpr char16_t kLastKatakana = u'\u30F6';

char16_t ToHiragana(char16_t ch) {
  if (ch >= kFirstKatakana && ch <= kLastKatakana) {
    return static_cast<char16_t>(ch - kFirstKatakana + kFirstHiragana);
  }
  return ch;
}

}  // namespace

std::string_view NameOf(KanaOrder order) { return order == KanaOrder::kJis ? "jis" : "gojuon"; }

std::optional<KanaOrder> KanaOrderNamed(std::string_view name) {
  for (const KanaOrder order : {KanaOrder::kJis, KanaOrder::kGojuon}) {
    if (name == NameOf(order)) return order;
  }
  return std::nullopt;
}

std::optional<int> KanaIndex(KanaOrder order, char16_t ch) {
  const char16_t h = ToHiragana(ch);
  if (order == KanaOrder::kJis) {
    if (h >= kFirstHiragana && h <= kLastHiragana) return h - kFirstHiragana;
    return std::nullopt;
  }
  const std::size_t at = kGojuon.find(h);
  if (at == std::u16string_view::npos) return std::nullopt;
  return static_cast<int>(at);
}

char16_t KanaAt(KanaOrder order, int index, bool katakana) {
  const char16_t h = order == KanaOrder::kJis ? static_cast<char16_t>(kFirstHiragana + index)
                                              : kGojuon[static_cast<std::size_t>(index)];
  return katakana ? static_cast<char16_t>(h - kFirstHiragana + kFirstKatakana) : h;
}

int KanaCount(KanaOrder order) {
  return order == KanaOrder::kJis ? kLastHiragana - kFirstHiragana + 1
                                  : static_cast<int>(kGojuon.size());
}

int IndexOfA(KanaOrder order) { return *KanaIndex(order, u'あ'); }

Result<RelativeWord, RelativeWordError> RelativeWordOf(std::u16string_view word, KanaOrder order) {
  RelativeWord compiled{order, {}};
  int low = 0;
  int high = -1;
  for (const char16_t ch : word) {
    const std::optional<int> place = KanaIndex(order, ch);
    compiled.places.push_back(place);
    if (!place) continue;
    if (high < 0) {
      low = high = *place;
    } else {
      low = std::min(low, *place);
      high = std::max(high, *place);
    }
  }
  if (high <= low) return Unexpected(RelativeWordError::kTooFewKana);
  if (high - low > 255) return Unexpected(RelativeWordError::kTooWide);
  return compiled;
}

Result<RelativeQuery, Problem> RelativeQueryOf(std::u16string_view word,
                                               std::span<const KanaOrder> orders) {
  RelativeQuery query;
  for (const char16_t ch : word) {
    if (KanaIndex(KanaOrder::kJis, ch)) {
      query.katakana = ch >= kFirstKatakana;
      break;
    }
  }
  // No order at all takes no word: as too few kana of none.
  Problem why{ProblemCode::kKanaTooFew};
  bool told = false;
  for (const KanaOrder order : orders) {
    auto compiled = RelativeWordOf(word, order);
    if (compiled) {
      query.words.push_back(std::move(compiled).value());
    } else if (!told) {
      told = true;
      if (compiled.error() == RelativeWordError::kTooWide) why.code = ProblemCode::kKanaTooFar;
      why.what = NameOf(order);
    }
  }
  if (query.words.empty()) return Unexpected(std::move(why));
  return query;
}

Result<Unit, IoError> SearchRelative(const ReadInput& read, std::span<const RelativeWord> words,
                                     std::size_t chunk_size,
                                     const std::function<bool(const RelativeMatch&)>& found,
                                     const ScanProgress& progress) {
  struct Check {
    std::size_t at;
    int place;
  };
  // Per word: its first kana, and the others checked against it.
  struct Plan {
    std::size_t length;
    Check first;
    std::vector<Check> rest;
  };
  std::vector<Plan> plans;
  std::size_t longest = 1;
  for (const RelativeWord& w : words) {
    Plan plan{w.places.size(), {0, -1}, {}};
    for (std::size_t i = 0; i < w.places.size(); ++i) {
      if (!w.places[i]) continue;
      if (plan.first.place < 0) {
        plan.first = {i, *w.places[i]};
      } else {
        plan.rest.push_back({i, *w.places[i]});
      }
    }
    longest = std::max(longest, plan.length);
    plans.push_back(std::move(plan));
  }
  return ScanWindows(
      read, chunk_size, longest - 1, 0,
      [&](const ScanWindow& window) {
        const std::uint8_t* base = window.bytes.data();
        const std::size_t size = window.bytes.size();
        for (std::size_t p = window.from; p < window.to; ++p) {
          for (std::size_t k = 0; k < plans.size(); ++k) {
            const Plan& plan = plans[k];
            if (plan.first.place < 0 || p + plan.length > size) continue;
            // The code of the order's place 0 that the first kana implies.
            const int zero = base[p + plan.first.at] - plan.first.place;
            bool all = true;
            for (const Check& c : plan.rest) {
              if (base[p + c.at] != zero + c.place) {
                all = false;
                break;
              }
            }
            if (!all) continue;
            const int a = zero + IndexOfA(words[k].order);
            if (!found(RelativeMatch{window.offset + p, k, a})) return false;
          }
        }
        return true;
      },
      progress);
}

Result<RelativeFound, IoError> SearchRelativeBest(
    const ReadInput& read, const RelativeQuery& query, std::size_t chunk_size,
    const std::function<bool(const RelativeMatch&)>& found, const ScanProgress& progress) {
  struct Vote {
    std::uint64_t count = 0;
    std::uint64_t first = 0;  // how many matches came before its first
    RelativeMatch match;
  };
  // Per word and あ code: how many matches agree, and the first of them.
  std::map<std::pair<std::size_t, int>, Vote> votes;
  RelativeFound result;
  auto scanned = SearchRelative(
      read, query.words, chunk_size,
      [&](const RelativeMatch& m) {
        auto [it, fresh] = votes.try_emplace({m.word, m.code_of_a}, Vote{0, result.matches, m});
        ++it->second.count;
        ++result.matches;
        return found(m);
      },
      progress);
  if (!scanned) return Unexpected(scanned.error());
  const Vote* best = nullptr;
  for (const auto& [key, vote] : votes) {
    if (best == nullptr || vote.count > best->count ||
        (vote.count == best->count && vote.first < best->first)) {
      best = &vote;
    }
  }
  if (best == nullptr) return result;
  result.best = best->match;
  result.tbl =
      RelativeTblCodes(query.words[best->match.word], best->match.code_of_a, query.katakana);
  return result;
}

RelativeGuess GuessOf(const RelativeQuery& query, const RelativeMatch& match) {
  const RelativeWord& word = query.words[match.word];
  const KanaOrder order = word.order;
  RelativeGuess guess;
  guess.order = order;
  int low = KanaCount(order);
  for (const auto& place : word.places) {
    if (place) low = std::min(low, *place);
  }
  const int zero = match.code_of_a - IndexOfA(order);
  for (int g = 0; g < KanaCount(KanaOrder::kGojuon) && guess.kana.size() < 5; ++g) {
    const char16_t ch = KanaAt(KanaOrder::kGojuon, g, query.katakana);
    const int place = *KanaIndex(order, ch);
    const int code = zero + place;
    if (place < low || code < 0 || code > 255) continue;
    guess.kana += ch;
    guess.codes.push_back(static_cast<std::uint8_t>(code));
  }
  if (match.code_of_a >= 0 && match.code_of_a <= 255) {
    guess.code_of_a = static_cast<std::uint8_t>(match.code_of_a);
  }
  return guess;
}

std::vector<GameCode> RelativeTblCodes(const RelativeWord& word, int code_of_a, bool katakana) {
  const int zero = code_of_a - IndexOfA(word.order);
  std::vector<GameCode> codes;
  for (int place = 0; place < KanaCount(word.order); ++place) {
    const int code = zero + place;
    if (code < 0 || code > 255 || IsReservedByte(static_cast<std::uint8_t>(code))) continue;
    codes.push_back(GameCode{{static_cast<std::uint8_t>(code)},
                             GameCodeKind::kText,
                             std::u16string(1, KanaAt(word.order, place, katakana))});
  }
  return codes;
}

}  // namespace binconv
