// binconv-cli.exe's entry: the arguments arrive as UTF-16 and go on as UTF-8,
// and the standard streams carry bytes as they are.

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "cli/stdio.h"
#include "runtime/file.h"
#include "runtime/utf8.h"

int wmain(int argc, wchar_t** argv) {
  for (FILE* stream : {stdin, stdout, stderr}) _setmode(_fileno(stream), _O_BINARY);
  binconv::RemoveTemporaryFilesOnSignals();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view arg = argv[i];
    args.push_back(binconv::EncodeUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(arg.data()), arg.size())));
  }
  return static_cast<int>(binconv::cli::RunCli(args, binconv::cli::LanguageOfUser()));
}
