#include "cli/common.h"

#include <filesystem>
#include <system_error>
#include <tuple>

#include "chartable/load.h"
#include "cli/io.h"
#include "cli/problems.h"
#include "codec/write.h"
#include "messages/messages.h"
#include "runtime/describe.h"
#include "runtime/file.h"
#include "runtime/utf8.h"

namespace binconv::cli {

std::string InputName(const ParsedArgs& args) {
  return args.positionals.empty() ? std::string(kStdioName) : args.positionals.front();
}

LineBreaks LineBreaksOf(const ParsedArgs& args) {
  return args.Has("exact") ? LineBreaks::kCrLf : LineBreaks::kAny;
}

std::filesystem::path OutputPathOf(const ParsedArgs& args, OutputDefault fallback) {
  std::optional<std::string> value = args.Value("output");
  switch (fallback) {
    case OutputDefault::kStandardOutput:
      return PathOfArg(value.value_or(kStdioName));
    case OutputDefault::kCurrentFolder:
      return PathOfArg(value.value_or("."));
    case OutputDefault::kNameBox:
      break;
  }
  // The name box trims only the ASCII space, so the bytes are trimmed as they
  // are: a name that is not UTF-8 stays a valid name on POSIX.
  std::string_view name = value ? std::string_view(*value) : std::string_view();
  const std::size_t first = name.find_first_not_of(' ');
  name = first == std::string_view::npos
             ? std::string_view()
             : name.substr(first, name.find_last_not_of(' ') - first + 1);
  if (name.empty()) return PathOfArg(EncodeUtf8(kDefaultOutputName));
  return PathOfArg(name);
}

Reported<std::string> ReadWholeInput(messages::Language language, const std::string& name) {
  std::string bytes;
  // Read to its size at once, rather than copied as it grows: a big .tbl is
  // then held once.
  std::error_code unknown;
  if (name != kStdioName) {
    const std::uintmax_t size = std::filesystem::file_size(PathFromUtf8(name), unknown);
    if (!unknown) bytes.reserve(static_cast<std::size_t>(size));
  }
  auto read = ReadBytes(language, name, [&](std::string_view chunk) -> Reported<> {
    bytes.append(chunk);
    return Unit{};
  });
  if (!read) return Unexpected(read.error());
  return bytes;
}

std::string Position(const std::string& file, std::size_t line, std::size_t column) {
  return file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": ";
}

// The window's words first, in Japanese as it shows them, then where.
void PrintListingError(const std::string& listing_name, const Problem& error) {
  PrintLine(messages::Message(messages::Language::kJapanese, error));
  PrintLine(Position(listing_name, error.line, error.column) + DescribeChar(error.ch));
}

void PrintOddCount(messages::Language language, const std::string& input_name) {
  Problem problem{ProblemCode::kListingOddCount, input_name};
  PrintLine(messages::Message(messages::Language::kJapanese, problem));
  PrintLine(messages::Describe(language, problem));
}

Unexpected<ExitStatus> RejectBadUtf8(messages::Language language, const std::string& input_name,
                                     const TextPlaceCounter& places, std::size_t offset,
                                     std::string_view chunk) {
  Problem problem{ProblemCode::kBadUtf8, input_name};
  std::tie(problem.line, problem.column) = places.PlaceOf(offset, chunk);
  problem.detail = places.NotUtf8DetailOf(chunk);
  ReportProblem(language, problem);
  return Failure(ExitStatus::kRejected);
}

Reported<> StreamToOutput(const ParsedArgs& args,
                          const std::function<Reported<>(std::string_view, std::string&)>& step,
                          const std::function<Reported<>(std::string&)>& finish) {
  auto opened = OpenOutput(args.language, OutputPathOf(args, OutputDefault::kStandardOutput));
  if (!opened) return Failure(ReportOutputError(args.language, opened.error()));
  OutputSink& sink = *opened.value();
  std::string out;
  auto write = [&](Reported<> status) -> Reported<> {
    auto written = sink.Write(Bytes(out));
    out.clear();
    return written ? status : Failure(ReportOutputError(args.language, written.error()));
  };
  Reported<> status = ReadBytes(args.language, InputName(args), [&](std::string_view chunk) {
    return write(step(chunk, out));
  });
  if (status) status = write(finish(out));
  if (status) {
    if (auto committed = sink.Commit(); !committed) {
      status = Failure(ReportOutputError(args.language, committed.error()));
    }
  }
  if (!status) sink.Abort();
  return status;
}

std::string PageName(messages::Language language, int page) {
  std::string name = messages::Say(language, "page {n}", {{"n", std::to_string(page)}});
  if (page != 0) name += " (" + EncodeUtf8(LeadCodes[static_cast<std::size_t>(page)]) + ")";
  return name;
}

std::string Padded(std::string text, std::size_t width) {
  // Columns as a terminal shows them: kana, kanji and full-width forms take
  // two, the half-width katakana one; a byte that starts no character none.
  std::size_t columns = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) == 0x80) continue;
    std::uint32_t ch = byte;
    if (byte >= 0xE0 && i + 2 < text.size()) {
      ch = (byte & 0x0Fu) << 12 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6 |
           (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
    }
    columns += ch >= 0x2E80 && !(ch >= 0xFF61 && ch <= 0xFF9F) ? 2 : 1;
  }
  if (columns < width) text.append(width - columns, ' ');
  return text;
}

}  // namespace binconv::cli
