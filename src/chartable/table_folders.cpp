#include "chartable/table_folders.h"

#include <cstdlib>
#include <system_error>

#include "chartable/load.h"
#include "runtime/file.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace binconv {
namespace {

bool NonEmpty(const std::optional<std::filesystem::path>& value) {
  return value && !value->empty();
}

std::optional<std::filesystem::path> UserFolder(const TableSearchPlace& place) {
  if (place.windows) {
    if (!NonEmpty(place.appdata)) return std::nullopt;
    return *place.appdata / "binconv";
  }
  if (NonEmpty(place.xdg_config_home)) {
    if (place.xdg_config_home->is_absolute()) return *place.xdg_config_home / "binconv";
  }
  if (!NonEmpty(place.home)) return std::nullopt;
  return *place.home / ".config" / "binconv";
}

std::optional<std::filesystem::path> InstalledFolder(const TableSearchPlace& place) {
  if (place.executable.empty()) return std::nullopt;
  const std::filesystem::path bin = place.executable.parent_path();
  if (place.windows) return bin;
  return (bin / ".." / "share" / "binconv" / "tables").lexically_normal();
}

std::optional<std::filesystem::path> Env(const char* name) {
#ifdef _WIN32
  // The wide form keeps folder names outside the ANSI code page whole.
  const std::wstring wide(name, name + std::char_traits<char>::length(name));
  const wchar_t* value = _wgetenv(wide.c_str());
#else
  const char* value = std::getenv(name);
#endif
  if (value == nullptr) return std::nullopt;
  return std::filesystem::path(value);  // native
}

std::filesystem::path ExecutablePath() {
#ifdef _WIN32
  std::wstring buffer(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0 || n >= buffer.size()) return {};
  buffer.resize(n);
  return std::filesystem::path(buffer);  // native
#else
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self;
#endif
}

}  // namespace

std::vector<std::filesystem::path> TableFolderCandidates(const TableSearchPlace& place) {
  std::vector<std::filesystem::path> folders;
  for (const std::optional<std::filesystem::path>& folder :
       {std::optional(place.current_dir), UserFolder(place), InstalledFolder(place)}) {
    if (!folder || folder->empty()) continue;
    const std::filesystem::path normal = folder->lexically_normal();
    bool seen = false;
    for (const std::filesystem::path& earlier : folders) seen = seen || earlier == normal;
    if (!seen) folders.push_back(normal);
  }
  return folders;
}

Result<std::filesystem::path, Problem> FindTableFolder(const TableSearchPlace& place) {
  Problem error{ProblemCode::kNoTableFolder, kMainTableFile};
  for (const std::filesystem::path& folder : TableFolderCandidates(place)) {
    if (FileExists(folder / kMainTableFile)) return folder;
    error.files.push_back(PathToUtf8(folder));
  }
  return Unexpected(std::move(error));
}

TableSearchPlace TableSearchPlaceOfThisProcess() {
  TableSearchPlace place;
  std::error_code error;
  place.current_dir = std::filesystem::current_path(error);
  place.executable = ExecutablePath();
  place.xdg_config_home = Env("XDG_CONFIG_HOME");
  place.home = Env("HOME");
  place.appdata = Env("APPDATA");
#ifdef _WIN32
  place.windows = true;
#endif
  return place;
}

}  // namespace binconv
