#include "cli/strings_options.h"

#include "cli/into.h"
#include "cli/io.h"
#include "script/placement.h"

namespace binconv::cli {

std::optional<StringRunOptions> StringRunOptionsOf(const ParsedArgs& args) {
  StringRunOptions options;
  std::optional<std::uint64_t> min;
  if (!NumberOption(args, "min", min)) return std::nullopt;
  if (min) {
    if (*min == 0) {
      PrintError("--min needs at least 1 character");
      return std::nullopt;
    }
    options.min_chars = static_cast<std::size_t>(*min);
  }
  if (auto end = args.Value("end")) {
    options.end = ParseByte(*end);
    if (!options.end) {
      PrintError("--end takes one byte as two hex digits, such as 00 or FF, not '" + *end + "'");
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace binconv::cli
