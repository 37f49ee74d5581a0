// binconv.exe: the window on Windows. The tables come from the folder the
// table search finds (the current folder first), or with --tbl FILE from a
// game's own table, as in the Qt window.

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>
#include <shellapi.h>

#include <string_view>
#include <vector>

#include "window/win32/form1.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  // No DLL is ever loaded from the program's own folder or the current one,
  // where a planted copy could wait: only System32, and this program's
  // dependencies as the system resolves them.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  // Rich Edit 4.1 (MSFTEDIT_CLASS) for the listing box's highlight and undo.
  LoadLibraryExW(L"Msftedit.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  binconv::window::win32::Form1 form;
  if (!form.Create(instance)) return 1;
  // The arguments in UTF-16, as Windows gives them, after the program's name.
  int count = 0;
  LPWSTR* const argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::u16string_view> args;
  for (int i = 1; argv != nullptr && i < count; ++i) {
    args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  }
  const bool loaded = form.Load(binconv::window::logic::WindowArgsOf(args),
                                binconv::TableSearchPlaceOfThisProcess());
  LocalFree(argv);
  if (!loaded) return 1;
  form.Show(show_command);
  return form.Run();
}
