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
      PrintError(messages::Say(args.language, "--min needs at least 1 character"));
      return Failure(ExitStatus::kError);
    }
    options.min_chars = static_cast<std::size_t>(**min);
  }
  if (auto end = args.Value("end")) {
    options.end = ParseByte(*end);
    if (!options.end) {
      PrintError(messages::Say(args.language,
                               "--end takes one byte as two hex digits, such as 00 or FF, not "
                               "'{value}'",
                               {{"value", *end}}));
      return Failure(ExitStatus::kError);
    }
  }
  return options;
}

}  // namespace binconv::cli
