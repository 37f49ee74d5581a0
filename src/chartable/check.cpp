#include "chartable/check.h"

#include <unordered_map>

#include "chartable/encoding.h"
#include "runtime/describe.h"
#include "runtime/hex.h"

namespace binconv {
namespace {

std::string Location(const CellOrigin& origin, const std::array<std::string, 2>& file_names) {
  if (origin.line == 0) return "(set by code)";
  return file_names[origin.file] + ":" + std::to_string(origin.line) + ":" +
         std::to_string(origin.column);
}

std::string WhatConversionMakesOf(char16_t ch) {
  switch (detail::ClassifySpecial(ch)) {
    case detail::Special::kTagOpen:
      return "the start of a tag";
    case detail::Special::kTagClose:
      return "the end of a tag";
    case detail::Special::kLineBreak:
      return "a line break (24)";
    case detail::Special::kSpace:
      return "a space (50)";
    case detail::Special::kNone:
      break;
  }
  return "part of a line break";
}

std::string WhatAGameReads(std::uint8_t byte) {
  if (const int page = PageOfLeadByte(byte); page != 0) {
    return "the lead byte of page " + std::to_string(page);
  }
  return byte == kLineBreakByte ? "a line break" : "a space";
}

}  // namespace

TableCheck CheckCharTable(const CharTable& table) {
  TableCheck check;
  const ProducibleCells producible(table);
  std::unordered_map<char16_t, std::size_t> places;  // character -> index into candidates
  std::vector<DuplicateChar> candidates;

  for (std::uint8_t page = 0; page < kPages; ++page) {
    for (std::uint8_t row = 0; row < kRows; ++row) {
      for (std::uint8_t column = 0; column < kColumns; ++column) {
        const std::u16string& text = table.Cell(page, row, column);
        if (text.empty()) continue;
        const CellCode code{page, row, column};
        const CellOrigin& origin = table.Origin(page, row, column);
        PageUsage& usage = check.pages[page];
        ++usage.used;
        if (producible.CharAt(code)) ++usage.producible;

        if (text.size() > 1) {
          check.findings.push_back({TableFindingKind::kMultiChar, code, origin, text});
        } else {
          const char16_t ch = text[0];
          auto [at, inserted] = places.try_emplace(ch, candidates.size());
          if (inserted) candidates.push_back({ch, {}});
          candidates[at->second].cells.push_back(code);

          if (detail::IsIntercepted(ch)) {
            check.findings.push_back({TableFindingKind::kIntercepted, code, origin, text});
          } else if (const std::optional<CellCode> winner = table.Find(ch); winner != code) {
            TableFinding finding{TableFindingKind::kShadowed, code, origin, text};
            finding.winner = *winner;
            finding.winner_origin = table.Origin(winner->page, winner->row, winner->column);
            check.findings.push_back(std::move(finding));
          }
        }
        if (page == 0 && IsReservedByte(code.byte())) {
          check.findings.push_back({TableFindingKind::kReservedByte, code, origin, text});
        }
      }
    }
  }
  for (DuplicateChar& candidate : candidates) {
    if (candidate.cells.size() > 1) check.duplicates.push_back(std::move(candidate));
  }
  return check;
}

std::string DescribeCode(CellCode code) {
  std::string text;
  if (code.page != 0) text = HexByte(kLeadBytes[code.page]) + " ";
  return text + HexByte(code.byte());
}

std::string DescribeTableFinding(const TableFinding& finding,
                                 const std::array<std::string, 2>& file_names) {
  const std::string cell = DescribeText(finding.text) + " at code " + DescribeCode(finding.code);
  std::string line = finding.origin.line == 0 ? "" : Location(finding.origin, file_names) + ": ";
  switch (finding.kind) {
    case TableFindingKind::kMultiChar:
      return line + cell + " holds " + std::to_string(finding.text.size()) +
             " characters; only a cell of one character is ever produced";
    case TableFindingKind::kShadowed:
      return line + cell + " is never produced: the same character at code " +
             DescribeCode(finding.winner) + " (" + Location(finding.winner_origin, file_names) +
             ") comes first";
    case TableFindingKind::kIntercepted:
      return line + cell + " is never produced: conversion always makes it " +
             WhatConversionMakesOf(finding.text[0]);
    case TableFindingKind::kReservedByte:
      return line + cell + " is on page 0, but a game reads byte " + HexByte(finding.code.byte()) +
             " as " + WhatAGameReads(finding.code.byte());
  }
  return line + cell;
}

}  // namespace binconv
