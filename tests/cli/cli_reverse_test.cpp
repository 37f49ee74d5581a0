// End-to-end tests of binconv-cli decode, check-tables and encode --report /
// --keep-going: the built binary runs in a scratch directory holding the
// default tables.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string err;
};

std::string Hex(std::string_view bytes) {
  std::string text;
  char buffer[4];
  for (const unsigned char b : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02X ", b);
    text += buffer;
  }
  return text;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// work/ is the program's current directory, with the default tables; the
// captured streams live next to it.
class Scratch {
 public:
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "binconv-reverse-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    fs::create_directory(work());
    for (const char* name : {"Zezovar.ini", "Zezovar_ex.ini"}) {
      fs::copy_file(fs::path(BINCONV_SOURCE_DIR) / "tables" / name, work() / name);
    }
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  fs::path work() const { return root_ / "work"; }

  Outcome Run(const std::vector<std::string>& args, std::string_view input = {}) const {
    const fs::path in = root_ / "stdin", out = root_ / "stdout", err = root_ / "stderr";
    WriteAll(in, input);
    std::vector<std::string> storage{BINCONV_CLI_PATH};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : storage) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, work().c_str());
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    Outcome outcome;
    EXPECT_EQ(spawned, 0) << "can't start " << argv[0];
    if (spawned != 0) return outcome;
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) outcome.exit_code = WEXITSTATUS(status);
    outcome.out = ReadAll(out);
    outcome.err = ReadAll(err);
    return outcome;
  }

 private:
  fs::path root_;
};

// A table file in UTF-8 (marked by its byte order mark): `rows` data lines
// with all cells empty, except those given as {line index, column, text}.
struct Cell {
  int line;
  int column;
  std::string text;
};
std::string TableFile(int rows, const std::vector<Cell>& cells) {
  std::string file = "\xEF\xBB\xBF/ test table\r\n";
  for (int line = 0; line < rows; ++line) {
    file += "L";
    for (int column = 0; column < 16; ++column) {
      file += ',';
      for (const Cell& cell : cells) {
        if (cell.line == line && cell.column == column) file += cell.text;
      }
    }
    file += "\r\n";
  }
  return file;
}

struct CliCase {
  const char* name;
  std::vector<std::string> args;
  std::string input;
  int exit_code;
  std::string out;                   // the whole of standard output
  std::vector<std::string> err_has;  // each must appear on standard error
  std::string written;               // out.bin afterwards; "-" when it must not exist
};

class CliReverseTest : public testing::TestWithParam<CliCase> {};

TEST_P(CliReverseTest, ExitOutputAndFile) {
  const CliCase& c = GetParam();
  Scratch scratch;
  // t/ holds tables made to trip every check: a shadowed duplicate, a cell of
  // two characters, an intercepted one and a cell at a lead byte on page 0.
  fs::create_directory(scratch.work() / "t");
  WriteAll(scratch.work() / "t" / "Zezovar.ini",
           TableFile(17, {{0, 1, "あ"}, {2, 1, "い"}, {3, 0, "ab"}, {4, 2, "＜"}, {16, 5, "あ"}}));
  WriteAll(scratch.work() / "t" / "Zezovar_ex.ini", TableFile(0, {}));
  const Outcome outcome = scratch.Run(c.args, c.input);
  // @WORK@ stands for the folder the tables were found in.
  auto in_work = [&](std::string text) {
    for (std::size_t at; (at = text.find("@WORK@")) != std::string::npos;) {
      text.replace(at, 6, scratch.work().string());
    }
    return text;
  };
  EXPECT_EQ(outcome.exit_code, c.exit_code) << outcome.err;
  EXPECT_EQ(outcome.out, in_work(c.out)) << Hex(outcome.out);
  for (const std::string& part : c.err_has) {
    EXPECT_NE(outcome.err.find(in_work(part)), std::string::npos) << "no '" << part << "' in\n"
                                                                  << outcome.err;
  }
  if (c.written == "-") {
    EXPECT_FALSE(fs::exists(scratch.work() / "out.bin"));
  } else if (!c.written.empty()) {
    EXPECT_EQ(Hex(c.written), Hex(ReadAll(scratch.work() / "out.bin")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliReverseTest,
    testing::Values(
        CliCase{"DecodeFixedCodesAndTags",
                {"decode"},
                "\x56\x24\x50\x21\xC3\x22\x7B\x01\x21",
                0,
                "あ\n　語字。<21>",
                {},
                ""},
        CliCase{"DecodeCrLf", {"decode", "--crlf", "-"}, "\x56\x24\x24", 0, "あ\r\n\r\n", {}, ""},
        CliCase{"DecodeShadowedAndIntercepted",
                {"decode", "--tables", "t"},
                "\x01\x20\x05\x30\x42\x21",
                0,
                "あ<2005><30><42><21>",
                {},
                ""},
        CliCase{"DecodeMissingInput", {"decode", "nothing.bin"}, "", 2, "", {"nothing.bin"}, ""},
        CliCase{"CheckDefaultTables",
                {"check-tables"},
                "",
                0,
                "tables: @WORK@\n"
                "  @WORK@/Zezovar.ini: code page 932\n"
                "  @WORK@/Zezovar_ex.ini: code page 932\n"
                "cells per page (not empty, of which conversion can produce):\n"
                "  page 0        249  249\n"
                "  page 1 (20)   256  256\n"
                "  page 2 (21)   256  256\n"
                "  page 3 (22)   256  256\n"
                "  page 4 (23)   256  256\n"
                "  page 5 (18)   256  256\n"
                "no character stands in more than one cell\n"
                "0 findings\n",
                {},
                ""},
        CliCase{"CheckFindings",
                {"check-tables", "--tables", "t"},
                "",
                1,
                "tables: t\n"
                "  t/Zezovar.ini: UTF-8 with a byte order mark\n"
                "  t/Zezovar_ex.ini: UTF-8 with a byte order mark\n"
                "warning: t/Zezovar.ini:4:4: 'い' (U+3044) at code 21 is on page 0, but a game "
                "reads byte 21 as the lead byte of page 2\n"
                "warning: t/Zezovar.ini:5:3: 'ab' (U+0061 U+0062) at code 30 holds 2 "
                "characters; only a cell of one character is ever produced\n"
                "warning: t/Zezovar.ini:6:5: '＜' (U+FF1C) at code 42 is never produced: "
                "conversion always makes it the start of a tag\n"
                "warning: t/Zezovar.ini:18:8: 'あ' (U+3042) at code 20 05 is never produced: "
                "the same character at code 01 (t/Zezovar.ini:2:4) comes first\n"
                "cells per page (not empty, of which conversion can produce):\n"
                "  page 0        4    2\n"
                "  page 1 (20)   1    0\n"
                "  page 2 (21)   0    0\n"
                "  page 3 (22)   0    0\n"
                "  page 4 (23)   0    0\n"
                "  page 5 (18)   0    0\n"
                "characters in more than one cell (the first one wins):\n"
                "  'あ' (U+3042) at 01, 20 05\n"
                "4 findings\n",
                {},
                ""},
        CliCase{"CheckLoadError", {"check-tables", "--tables", "none"}, "", 2, "", {"none/"}, ""},
        CliCase{"ReportStrict",
                {"encode", "--report", "-o", "out.bin"},
                "あΩい\nΩ<0C>",
                1,
                "",
                {"-:1:2: no code for 'Ω' (U+03A9)", "coverage: 2 characters converted",
                 "  page 0        2\n", "  line breaks   1\n", "  bytes in tags 1\n",
                 "coverage: 1 character without a code, 2 times in all",
                 "'Ω' (U+03A9) 2 times, first at 1:2", "nothing written to out.bin"},
                "-"},
        CliCase{"ReportClean",
                {"encode", "--report", "-o", "out.bin"},
                "あ字 ",
                0,
                "",
                {"tables: @WORK@\n", "  page 0        1\n", "  page 3 (22)   1\n",
                 "  spaces        1\n", "wrote 4 bytes to out.bin"},
                "\x56\x22\x7B\x50"},
        CliCase{"KeepGoingDropsAndSaysSo",
                {"encode", "--keep-going", "-o", "out.bin"},
                "あΩ\rΩ\nい",
                0,
                "",
                {"-:1:2: no code for", "-:2:1: no code for",
                 "wrote 4 bytes to out.bin WITHOUT the 2 characters listed above"},
                "\x56\x24\x24\x58"},
        CliCase{"KeepGoingStillNeedsPairs",
                {"encode", "--keep-going", "-o", "out.bin"},
                "あ<1>",
                1,
                "",
                {"the hex digits do not pair up", "nothing written"},
                "-"}),
    [](const testing::TestParamInfo<CliCase>& p) { return std::string(p.param.name); });

// Random bytes through the binary: decode, then encode the text, must give
// the bytes back, with LF and default line breaks or CR LF and --exact.
TEST(CliRoundTripTest, DecodeThenEncodeGivesTheBytes) {
  Scratch scratch;
  std::mt19937 rng(99);
  const unsigned char special[] = {0x18, 0x20, 0x21, 0x22, 0x23, 0x24, 0x50};
  for (int round = 0; round < 12; ++round) {
    std::string bytes(rng() % 300, '\0');
    for (char& b : bytes) {
      b = static_cast<char>(rng() % 3 == 0 ? special[rng() % 7] : rng() % 256);
    }
    WriteAll(scratch.work() / "in.bin", bytes);
    const bool crlf = round % 2 == 1;
    std::vector<std::string> decode{"decode", "-o", "text.txt", "in.bin"};
    std::vector<std::string> encode{"encode", "-o", "back.bin", "text.txt"};
    if (crlf) {
      decode.push_back("--crlf");
      encode.push_back("--exact");
    }
    const Outcome decoded = scratch.Run(decode);
    ASSERT_EQ(decoded.exit_code, 0) << decoded.err;
    const Outcome encoded = scratch.Run(encode);
    ASSERT_EQ(encoded.exit_code, 0) << encoded.err;
    EXPECT_EQ(Hex(bytes), Hex(ReadAll(scratch.work() / "back.bin")))
        << "text " << ReadAll(scratch.work() / "text.txt");
  }
}

}  // namespace
