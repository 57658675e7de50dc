#pragma once
// What the main window model asks of the window it drives. The Win32 dialog
// implements it with its controls; tests implement it with a recording fake.
// Everything here is called on the window's thread. Workers never use the view:
// their message boxes go through Host.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/host.h"

namespace korvex {

// The open-file dialog's settings. Filters use the "name|pattern||" form.
struct OpenFileDialog {
  std::string_view filter;
  std::string_view defaultExtension;
  bool hideReadOnly = true;
  bool promptOverwrite = true;
};

class MainWindowView {
 public:
  virtual ~MainWindowView() = default;

  // The window that receives the workers' progress messages.
  virtual WindowHandle Handle() const = 0;

  // --- Controls, by id (app/control_ids.h) ---
  virtual void EnableControl(int id, bool enabled) = 0;
  virtual void SetCheck(int id, bool checked) = 0;
  virtual bool IsChecked(int id) const = 0;
  virtual void SetControlText(int id, std::string_view text) = 0;
  virtual std::string ControlText(int id) const = 0;
  // Puts an edit's caret after its last character.
  virtual void MoveCaretToEnd(int id) = 0;
  // Selects an item of a combo box without raising its selection-change event.
  virtual void SelectComboItem(int id, int index) = 0;

  // --- The progress list ---
  // Appends the list row of a port; its cells come from the model's row record.
  virtual void AddListRow(std::size_t port) = 0;
  // Copies the port's record into its row and redraws that row alone.
  virtual void RedrawRow(std::size_t port) = 0;

  // --- Modal interaction, owned by the window ---
  virtual MessageAnswer ShowMessageBox(const MessageBoxRequest& request) = 0;
  // The chosen full path (UTF-8), or nullopt when cancelled.
  virtual std::optional<std::string> ChooseOpenFile(const OpenFileDialog& dialog) = 0;
  // The save-file dialog with no filter and no default name.
  virtual std::optional<std::string> ChooseSaveFile() = 0;
  // Runs the debug dialog modally; returns when it has closed.
  virtual void RunDebugDialog() = 0;

  // --- Timers and the window's life ---
  // Timer ids and periods come from kStationTimers. Stopping one that is not running
  // is harmless.
  virtual void StartTimer(int id, std::uint32_t periodMs) = 0;
  virtual void StopTimer(int id) = 0;
  // Ends the dialog, and with it the application.
  virtual void EndDialog() = 0;
};

}  // namespace korvex
