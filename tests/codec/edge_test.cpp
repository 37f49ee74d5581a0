// Texts whose special characters fall at every offset around the fast paths'
// block edges and around the edge of a read, fed as the commands feed them:
// encode, convert and write against the reference model, decode cut against
// decode whole. Built with BINCONV_SMALL_BLOCKS (the fuzz preset), the edges
// lie a few units apart.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "chartable/encoding.h"
#include "codec/convert.h"
#include "codec/decode.h"
#include "codec/encode.h"
#include "codec/encoder.h"
#include "codec/listing.h"
#include "runtime/block_size.h"
#include "runtime/utf8.h"
#include "support/encoded.h"
#include "support/files.h"
#include "support/gtest_support.h"
#include "support/reference.h"

namespace binconv {
namespace {

constexpr char16_t kFiller = u'A';  // a two-byte code in the default tables
constexpr std::size_t kCut = 40;    // where a read ends, in units or bytes of the text
constexpr std::size_t kLead = 2 * kEncodeBlock + 64;

struct EdgeCase {
  const char* name;
  std::u16string special;
  LineBreaks line_breaks = LineBreaks::kCrLf;
};

const EdgeCase kEdgeCases[] = {
    {"TwoCodePair", u"世界"},  // the UTF-8 walk's pair of three-byte sequences
    {"Kana", u"あいうえ"},
    {"HalfWidthKana", u"ｱｲ"},
    {"CrLf", u"\r\n"},
    {"LoneCrExact", u"\rA"},
    {"LoneCrAny", u"\r", LineBreaks::kAny},
    {"LoneLfAny", u"\n", LineBreaks::kAny},
    {"Tag", u"<1A2B>"},
    {"FullWidthSpace", u"\u3000"},
    {"FourBytes", u"\U0001F600"},
    {"NoCode", u"\u5F41"},
};

// The bytes of a listing by the writer's rule, spelt out: separators and line
// breaks dropped, pairs of hex digits; none when it can't be written. The
// encoder also refuses a CR or LF that is not part of a CR LF, as the text
// had it without a code.
std::optional<std::vector<std::uint8_t>> LiteralBytes(std::u16string_view listing,
                                                      bool lone_breaks_refused) {
  std::vector<int> digits;
  for (std::size_t i = 0; i < listing.size(); ++i) {
    const char16_t c = listing[i];
    const bool pair =
        listing.substr(i, 2) == u"\r\n" || (i > 0 && listing.substr(i - 1, 2) == u"\r\n");
    if ((c == u'\r' || c == u'\n') && !pair && lone_breaks_refused) return std::nullopt;
    if (c == u' ' || c == u'\u3000' || c == u'\r' || c == u'\n') continue;
    if (c >= u'0' && c <= u'9') {
      digits.push_back(c - u'0');
    } else if (c >= u'A' && c <= u'F') {
      digits.push_back(c - u'A' + 10);
    } else if (c >= u'a' && c <= u'f') {
      digits.push_back(c - u'a' + 10);
    } else {
      return std::nullopt;
    }
  }
  if (digits.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(digits[i] * 16 + digits[i + 1]));
  }
  return bytes;
}

// Every offset from four before to four after each block edge (the first two
// of each block), and around a read's edge.
std::set<std::size_t> EdgeOffsets(std::size_t listing_per_filler) {
  std::set<std::size_t> offsets;
  for (const std::size_t block : {kEncodeBlock, kConvertBlock,
                                  std::max<std::size_t>(1, kListingBlock / listing_per_filler)}) {
    for (std::size_t m = 1; m <= 2; ++m) {
      for (std::size_t at = m * block > 4 ? m * block - 4 : 0; at <= m * block + 4; ++at) {
        offsets.insert(at);
      }
    }
  }
  for (std::size_t at = kCut - 8; at <= kCut + 4; ++at) offsets.insert(at);
  return offsets;
}

// The pieces of a text a command would be handed: the first character alone
// (a text's first piece is decoded whole, so the direct ways start on the
// second), then the rest whole or cut at kCut.
template <class Text>
std::vector<Text> Pieces(const Text& text, bool cut) {
  if (!cut || text.size() <= kCut + 1) return {text.substr(0, 1), text.substr(1)};
  return {text.substr(0, 1), text.substr(1, kCut), text.substr(1 + kCut)};
}

class EdgeTest : public testing::TestWithParam<EdgeCase> {};

TEST_P(EdgeTest, EveryPathMatchesTheReferenceAroundEveryEdge) {
  const EdgeCase& c = GetParam();
  const CharTable& table = test::DefaultTables();
  const LineBreaks breaks = c.line_breaks;

  // A first text takes each past the length at which the fast paths start
  // (and makes the UTF-8 encoder's byte table); they stay on for every text
  // after it.
  const std::u16string lead(kLead, kFiller);
  const std::string lead8 = EncodeUtf8(lead);
  const GameTable encoding = GameTableOf(table);
  Encoder e8(encoding, breaks);
  Encoder e16(encoding, breaks);
  CodeConverter c8(encoding, breaks);
  CodeConverter c16(encoding, breaks);
  {
    std::vector<std::uint8_t> bytes;
    std::u16string listing16;
    std::string listing8;
    ASSERT_TRUE(e8.FeedUtf8(std::string_view(lead8).substr(0, kLead - 64), bytes));
    ASSERT_TRUE(e8.FeedUtf8(std::string_view(lead8).substr(kLead - 64), bytes));
    ASSERT_TRUE(e8.FinishUtf8(bytes));
    e16.Feed(lead, bytes);
    e16.Finish(bytes);
    ASSERT_TRUE(c8.FeedUtf8(lead8, listing8));
    ASSERT_TRUE(c8.FinishUtf8(listing8));
    c16.Feed(lead, listing16);
    c16.Finish(listing16);
  }
  const std::size_t per_filler = ConvertToCode(std::u16string(1, kFiller), encoding).size();
  test::ReferenceModel reference(table);
  Decoder decoder(encoding);

  for (const std::size_t offset : EdgeOffsets(per_filler)) {
    // The filler ahead of the offset is the one alone in the first piece.
    const std::u16string text =
        std::u16string(offset + 1, kFiller) + c.special + std::u16string(12, kFiller);
    const std::string text8 = EncodeUtf8(text);
    const std::u16string listing = reference.Convert(text, breaks);
    const std::optional<std::vector<std::uint8_t>> bytes = LiteralBytes(listing, true);
    const std::optional<std::vector<std::uint8_t>> listed = LiteralBytes(listing, false);
    for (const bool cut : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(offset) + (cut ? " cut" : ""));
      std::vector<std::uint8_t> out8;
      std::vector<std::uint8_t> out16;
      for (const std::string& piece : Pieces(text8, cut)) ASSERT_TRUE(e8.FeedUtf8(piece, out8));
      ASSERT_TRUE(e8.FinishUtf8(out8));
      for (const std::u16string& piece : Pieces(text, cut)) e16.Feed(piece, out16);
      e16.Finish(out16);
      for (Encoder* e : {&e8, &e16}) {
        EXPECT_EQ(bytes.has_value(), e->problems().empty());
        e->clear_problems();
      }
      if (bytes) {
        EXPECT_EQ(*bytes, out8);
        EXPECT_EQ(*bytes, out16);
      }

      std::string listing8;
      std::u16string listing16;
      for (const std::string& piece : Pieces(text8, cut)) ASSERT_TRUE(c8.FeedUtf8(piece, listing8));
      ASSERT_TRUE(c8.FinishUtf8(listing8));
      for (const std::u16string& piece : Pieces(text, cut)) c16.Feed(piece, listing16);
      c16.Finish(listing16);
      EXPECT_U16_EQ(listing, DecodeUtf8(listing8).value());
      EXPECT_U16_EQ(listing, listing16);

      // write: spaces ahead move the listing over every offset of its blocks.
      for (std::size_t shift = 0; shift < (cut ? 1 : per_filler); ++shift) {
        const std::u16string shifted = std::u16string(shift, u' ') + listing;
        ListingParser parser;
        std::vector<std::uint8_t> written;
        for (const std::u16string& piece : Pieces(shifted, cut)) parser.Feed(piece, written);
        const bool good = !parser.Finish().has_value();
        EXPECT_EQ(listed.has_value(), good) << "shift " << shift;
        if (listed && good) {
          EXPECT_EQ(*listed, written) << "shift " << shift;
        }
      }

      if (bytes) {
        std::u16string whole;
        decoder.Feed(*bytes, whole);
        decoder.Finish(whole);
        std::u16string decoded;
        const std::span<const std::uint8_t> all(*bytes);
        const std::size_t at = cut ? std::min(kCut, all.size()) : all.size();
        decoder.Feed(all.first(at), decoded);
        decoder.Feed(all.subspan(at), decoded);
        decoder.Finish(decoded);
        EXPECT_U16_EQ(whole, decoded);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Specials, EdgeTest, testing::ValuesIn(kEdgeCases),
                         test::CaseName<EdgeCase>);

}  // namespace
}  // namespace binconv
