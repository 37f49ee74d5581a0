// binconv.exe: the window on Windows. The tables come from the folder the
// table search finds (the current folder first), as in the Qt window.

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

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
  if (!form.Load(binconv::FindTableFolder(binconv::TableSearchPlaceOfThisProcess()))) return 1;
  form.Show(show_command);
  return form.Run();
}
