#include "cli/inspect.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "chartable/check.h"
#include "chartable/load.h"
#include "cli/io.h"
#include "cli/stdio.h"
#include "conversion/decode.h"
#include "conversion/listing.h"
#include "conversion/report.h"
#include "runtime/utf8.h"

namespace binconv::cli {
namespace {

std::string TablePath(const std::string& dir, const char* name) {
  if (dir.empty() || dir == ".") return name;
  // As the table loader names them, the same on every system.
  return dir + (dir.back() == '/' || dir.back() == '\\' ? "" : "/") + name;
}

std::optional<CharTable> LoadTables(const std::string& dir) {
  auto tables = LoadCharTables(PathFromUtf8(dir));
  if (!tables) {
    PrintError(DescribeTableError(tables.error()));
    return std::nullopt;
  }
  return std::move(tables).value();
}

// Hands the bytes of a file ("-" or empty: standard input) to `consume` in
// chunks; kExitError once a read error has been reported.
int ReadBinary(const std::string& name,
               const std::function<int(std::span<const std::uint8_t>)>& consume) {
  InputFile input;
  if (auto opened = input.Open(name); !opened) {
    PrintError(DescribeIoError(opened.error()));
    return kExitError;
  }
  std::vector<char> buffer(kChunkSize);
  for (;;) {
    auto read = input.Read(buffer);
    if (!read) {
      PrintError(DescribeIoError(read.error()));
      return kExitError;
    }
    if (read.value() == 0) return kExitOk;
    const int status =
        consume(std::span(reinterpret_cast<const std::uint8_t*>(buffer.data()), read.value()));
    if (status != kExitOk) return status;
  }
}

// "page 2 (21)"; page 0 has no lead byte.
std::string PageName(int page) {
  std::string name = "page " + std::to_string(page);
  if (page != 0) name += " (" + EncodeUtf8(LeadCodes[static_cast<std::size_t>(page)]) + ")";
  return name;
}

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string Times(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " time" : " times");
}

void PrintProblem(const std::string& input_name, const EncodeProblem& problem) {
  const char* what =
      problem.kind == EncodeProblem::Kind::kNoCode ? "no code for " : "not a hex digit in a tag ";
  PrintLine(input_name + ":" + std::to_string(problem.line) + ":" + std::to_string(problem.column) +
            ": " + what + DescribeChar(problem.ch));
}

void PrintCoverage(const CoverageReport& report) {
  PrintLine("coverage: " + std::to_string(report.converted()) + " characters converted");
  for (int page = 0; page < kPages; ++page) {
    PrintLine("  " + Padded(PageName(page), 14) +
              std::to_string(report.by_page[static_cast<std::size_t>(page)]));
  }
  PrintLine("  " + Padded("line breaks", 14) + std::to_string(report.line_breaks));
  PrintLine("  " + Padded("spaces", 14) + std::to_string(report.spaces));
  PrintLine("  " + Padded("bytes in tags", 14) + std::to_string(report.tag_digits / 2));

  for (const EncodeProblem::Kind kind :
       {EncodeProblem::Kind::kNoCode, EncodeProblem::Kind::kNotHexInTag}) {
    std::size_t distinct = 0;
    std::size_t total = 0;
    for (const MissingChar& m : report.missing) {
      if (m.kind != kind) continue;
      ++distinct;
      total += m.count;
    }
    if (distinct == 0) continue;
    const char* what = kind == EncodeProblem::Kind::kNoCode ? " without a code, "
                                                            : " in tags that are not hex digits, ";
    PrintLine("coverage: " + std::to_string(distinct) +
              (distinct == 1 ? " character" : " characters") + what + Times(total) + " in all");
    for (const MissingChar& m : report.missing) {
      if (m.kind != kind) continue;
      PrintLine("  " + DescribeChar(m.ch) + " " + Times(m.count) + ", first at " +
                std::to_string(m.first_line) + ":" + std::to_string(m.first_column));
    }
  }
}

}  // namespace

int RunDecode(const ParsedArgs& args) {
  std::optional<CharTable> table = LoadTables(args.Value("tables").value_or("."));
  if (!table) return kExitError;
  auto opened = OpenOutput(PathFromUtf8(args.Value("output").value_or(kStdioName)));
  if (!opened) return ReportOutputError(opened.error());
  OutputSink& sink = *opened.value();
  Utf8Output output(sink);
  DecodeOptions options;
  if (args.Has("crlf")) options.line_break = u"\r\n";
  Decoder decoder(*table, options);
  std::u16string text;

  int status = ReadBinary(args.positionals.empty() ? kStdioName : args.positionals.front(),
                          [&](std::span<const std::uint8_t> bytes) {
                            text.clear();
                            decoder.Feed(bytes, text);
                            auto written = output.Write(text);
                            return written ? kExitOk : ReportOutputError(written.error());
                          });
  if (status == kExitOk) {
    text.clear();
    decoder.Finish(text);
    auto done = output.Write(text);
    if (done) done = output.Finish();
    if (done) done = sink.Commit();
    if (!done) status = ReportOutputError(done.error());
  }
  if (status != kExitOk) sink.Abort();
  return status;
}

int RunCheckTables(const ParsedArgs& args) {
  const std::string dir = args.Value("tables").value_or(".");
  std::optional<CharTable> table = LoadTables(dir);
  if (!table) return kExitError;
  const TableCheck check = CheckCharTable(*table);
  const std::array<std::string, 2> names{TablePath(dir, kMainTableFile),
                                         TablePath(dir, kExtendedTableFile)};
  std::string out;
  for (const TableFinding& finding : check.findings) {
    out += "warning: " + DescribeTableFinding(finding, names) + "\n";
  }
  out += "cells per page (not empty, of which conversion can produce):\n";
  for (int page = 0; page < kPages; ++page) {
    const PageUsage& usage = check.pages[static_cast<std::size_t>(page)];
    out += "  " + Padded(PageName(page), 14) + Padded(std::to_string(usage.used), 5) +
           std::to_string(usage.producible) + "\n";
  }
  if (check.duplicates.empty()) {
    out += "no character stands in more than one cell\n";
  } else {
    out += "characters in more than one cell (the first one wins):\n";
    for (const DuplicateChar& duplicate : check.duplicates) {
      std::string codes;
      for (const CellCode& code : duplicate.cells) {
        codes += (codes.empty() ? "" : ", ") + DescribeCode(code);
      }
      out += "  " + DescribeChar(duplicate.ch) + " at " + codes + "\n";
    }
  }
  out += std::to_string(check.findings.size()) +
         (check.findings.size() == 1 ? " finding\n" : " findings\n");

  auto sink = OpenOutput(kStdioName);
  if (!sink) return ReportOutputError(sink.error());
  auto written =
      sink.value()->Write(std::span(reinterpret_cast<const std::uint8_t*>(out.data()), out.size()));
  if (!written) return ReportOutputError(written.error());
  return check.findings.empty() ? kExitOk : kExitRejected;
}

int RunEncodeWithReport(const ParsedArgs& args, const CharTable& table,
                        const std::filesystem::path& output) {
  const std::string input_name =
      args.positionals.empty() ? std::string(kStdioName) : args.positionals.front();
  std::u16string text;
  const int read = ReadText(input_name, [&](std::u16string_view chunk) {
    text += chunk;
    return kExitOk;
  });
  if (read != kExitOk) return read;

  const bool keep_going = args.Has("keep-going");
  const EncodeOutcome outcome = EncodeWithReport(
      text, table, args.Has("exact") ? LineBreaks::kCrLf : LineBreaks::kAny, keep_going);
  for (const EncodeProblem& problem : outcome.problems) PrintProblem(input_name, problem);
  if (outcome.odd_count) {
    PrintLine(EncodeUtf8(MessageFor(ListingErrorCode::kOddCount)));
    PrintLine(input_name + ": the hex digits do not pair up");
  }
  if (args.Has("report")) PrintCoverage(outcome.report);

  const std::string shown = output.string();
  if (!outcome.writable()) {
    PrintLine("nothing written to " + shown);
    return kExitRejected;
  }
  if (auto done = ReplaceFileAtomically(output, outcome.bytes); !done) {
    return ReportOutputError(done.error());
  }
  if (outcome.dropped != 0 || args.Has("report")) {
    std::string line = "wrote " + std::to_string(outcome.bytes.size()) + " bytes to " + shown;
    if (outcome.dropped != 0) {
      line += " WITHOUT the " + std::to_string(outcome.dropped) +
              (outcome.dropped == 1 ? " character" : " characters") + " listed above";
    }
    PrintLine(line);
  }
  return kExitOk;
}

}  // namespace binconv::cli
