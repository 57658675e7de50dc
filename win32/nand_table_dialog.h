#pragma once
// "Flash型号参数表": lists nand_cfg.bin and adds or deletes parts. Every operation is
// nandtable/nand_table_edit.h's, which opens, reads or writes and closes the file on
// its own; this dialog only moves texts between its controls and those operations.

#include "host/host.h"
#include "nandtable/nand_table_edit.h"
#include "win32/modal_dialog.h"

namespace korvex::win32 {

class NandTableDialog : public ModalDialog {
 public:
  explicit NandTableDialog(Host& host) : host_(host) {}

  INT_PTR Run(HINSTANCE instance, HWND owner);
  // The seven fields as last taken from the edits.
  const NandPartFields& Fields() const { return fields_; }

 protected:
  void OnInitDialog() override;
  bool OnCommand(int id, int code) override;

 private:
  void Refresh();
  void Add();
  void Delete();
  void TakeFields();

  Host& host_;
  NandPartFields fields_;
};

}  // namespace korvex::win32
