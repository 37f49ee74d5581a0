#include "scan/relative_search.h"

#include <algorithm>

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

}  // namespace binconv
