#pragma once
// A host with no registry and no devices (every such call fails). Paired with
// RecordingHost for code that only needs message boxes, time and the program folder.

#include "host/no_device_host.h"

namespace korvex::testing {

class NullHost : public NoDeviceHost {
 public:
  MessageAnswer ShowMessageBox(const MessageBoxRequest&) override { return MessageAnswer::Ok; }
  LocalTime GetLocalTime() override { return {}; }
  void Sleep(std::uint32_t) override {}
  std::string ModuleFileName() override { return {}; }
};

}  // namespace korvex::testing
