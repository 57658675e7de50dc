#pragma once
// The common open and save dialogs, with UTF-8 paths in and out.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "app/main_window_view.h"

namespace korvex::win32 {

// "name|pattern||" (the form the models write) as the dialog's list of
// NUL-separated pairs ending in two NULs; an empty filter stays empty (no filter).
std::wstring DialogFilter(std::string_view filter);

// The open dialog with the given filter, default extension and flags; nullopt when
// the operator cancels.
std::optional<std::string> ChooseOpenFile(HWND owner, const OpenFileDialog& dialog);
// The save dialog with no filter and no default name.
std::optional<std::string> ChooseSaveFile(HWND owner);

}  // namespace korvex::win32
