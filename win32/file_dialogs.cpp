#include "win32/file_dialogs.h"

#include <commdlg.h>

#include <vector>

#include "host/win32/utf8.h"

namespace korvex::win32 {

namespace {

// Long enough for the longest path an image field holds.
constexpr DWORD kPathChars = 1024;

}  // namespace

std::wstring DialogFilter(std::string_view filter) {
  std::wstring pairs = Utf8ToWide(filter);
  for (wchar_t& c : pairs) {
    if (c == L'|') c = L'\0';
  }
  return pairs;
}

std::optional<std::string> ChooseOpenFile(HWND owner, const OpenFileDialog& dialog) {
  const std::wstring filter = DialogFilter(dialog.filter);
  const std::wstring extension = Utf8ToWide(dialog.defaultExtension);
  std::vector<wchar_t> path(kPathChars, L'\0');
  OPENFILENAMEW request{};
  request.lStructSize = sizeof request;
  request.hwndOwner = owner;
  request.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
  request.lpstrFile = path.data();
  request.nMaxFile = kPathChars;
  request.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  request.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (dialog.hideReadOnly) request.Flags |= OFN_HIDEREADONLY;
  if (dialog.promptOverwrite) request.Flags |= OFN_OVERWRITEPROMPT;
  if (!::GetOpenFileNameW(&request)) return std::nullopt;
  return WideToUtf8(path.data());
}

std::optional<std::string> ChooseSaveFile(HWND owner) {
  std::vector<wchar_t> path(kPathChars, L'\0');
  OPENFILENAMEW request{};
  request.lStructSize = sizeof request;
  request.hwndOwner = owner;
  request.lpstrFile = path.data();
  request.nMaxFile = kPathChars;
  request.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
  if (!::GetSaveFileNameW(&request)) return std::nullopt;
  return WideToUtf8(path.data());
}

}  // namespace korvex::win32
