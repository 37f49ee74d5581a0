#include "cli/strings_options.h"

#include "cli/into.h"
#include "cli/io.h"
#include "script/placement.h"

namespace binconv::cli {

Reported<StringRunOptions> StringRunOptionsOf(const ParsedArgs& args) {
  StringRunOptions options;
  const auto min = NumberOption(args, "min");
  if (!min) return Unexpected(min.error());
  if (*min) {
    if (**min == 0) {
      PrintError("--min needs at least 1 character");
      return Failure(kExitError);
    }
    options.min_chars = static_cast<std::size_t>(**min);
  }
  if (auto end = args.Value("end")) {
    options.end = ParseByte(*end);
    if (!options.end) {
      PrintError("--end takes one byte as two hex digits, such as 00 or FF, not '" + *end + "'");
      return Failure(kExitError);
    }
  }
  return options;
}

namespace {

std::variant<StringRunFinder, GameStringRunFinder> FinderOf(const CommandEncoding& encoding,
                                                           const StringRunOptions& options) {
  if (encoding.game) {
    return std::variant<StringRunFinder, GameStringRunFinder>(
        std::in_place_type<GameStringRunFinder>, *encoding.game, options);
  }
  return std::variant<StringRunFinder, GameStringRunFinder>(
      std::in_place_type<StringRunFinder>, encoding.tables->loaded.table, options);
}

}  // namespace

AnyStringRunFinder::AnyStringRunFinder(const CommandEncoding& encoding,
                                       const StringRunOptions& options)
    : finder_(FinderOf(encoding, options)) {}

void AnyStringRunFinder::Feed(std::span<const std::uint8_t> bytes,
                              const StringRunFinder::Found& found) {
  std::visit([&](auto& f) { f.Feed(bytes, found); }, finder_);
}

void AnyStringRunFinder::Finish(const StringRunFinder::Found& found) {
  std::visit([&](auto& f) { f.Finish(found); }, finder_);
}

}  // namespace binconv::cli
