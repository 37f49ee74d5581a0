#include "cli/problems.h"

#include "cli/common.h"
#include "cli/io.h"
#include "messages/messages.h"

namespace binconv::cli {

std::string Describe(const Problem& p) {
  return messages::Describe(messages::Language::kEnglish, p);
}

std::string Describe(const IoError& error) {
  return messages::Message(messages::Language::kEnglish, error);
}

void ReportProblem(const Problem& problem, std::string_view more) {
  PrintError(Describe(problem) + std::string(more));
}

Reported<> ReportJobError(const JobError& error,
                          const std::function<Reported<>(const std::vector<Problem>&)>& reject) {
  if (const auto* io = std::get_if<IoError>(&error)) {
    PrintError(Describe(*io));
    return Failure(ExitStatus::kError);
  }
  return reject(std::get<std::vector<Problem>>(error));
}

std::string DescribeFormatOptionError(FormatWordErrorCode code) {
  switch (code) {
    case FormatWordErrorCode::kNoType:
      return "no TYPE (u16le u16be u24le u24be u32le u32be)";
    case FormatWordErrorCode::kUnknownType:
      return "not a TYPE (u16le u16be u24le u24be u32le u32be)";
    case FormatWordErrorCode::kUnknownWord:
      return "not header=N, base=N, map=…, relative=…, window=LO..HI or bank=N";
    case FormatWordErrorCode::kBadNumber:
      return "not a decimal or 0x hex number";
    case FormatWordErrorCode::kBadValue:
      return "map= takes linear, lorom or hirom; relative= takes self or table";
    case FormatWordErrorCode::kRepeated:
      return "given twice";
    case FormatWordErrorCode::kRelativeWith:
      return "relative= counts from a pointer, so header=, base= and map= don't apply";
    case FormatWordErrorCode::kBadRange:
      return "window= takes LO..HI with LO <= HI; bank= takes a size above 0";
  }
  return "?";
}

std::string DescribeMapError(PointerMapErrorCode code) {
  switch (code) {
    case PointerMapErrorCode::kBelowHeader:
      return "it lies inside the header";
    case PointerMapErrorCode::kDoesNotFit:
      return "its value doesn't fit the type";
    case PointerMapErrorCode::kNotMappedBack:
    case PointerMapErrorCode::kNotAnAddress:
      return "the map has no address for it";
    case PointerMapErrorCode::kBeforeStart:
      return "it lies before the start of the file";
    case PointerMapErrorCode::kPastLastOffset:
      return "it lies past the last offset a file can have";
    case PointerMapErrorCode::kOutsideWindow:
      return "its value lies outside the format's window";
  }
  return "?";
}

std::string DescribeUnreachable(const UnreachableTarget& target, const std::string& game) {
  const std::string offset = OffsetHex(target.offset);
  if (!target.why) return "OFFSET " + offset + " lies past the end of " + game;
  return "no pointer of this format can point at " + offset + ": " + DescribeMapError(*target.why);
}

}  // namespace binconv::cli
