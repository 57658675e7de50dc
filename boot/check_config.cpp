#include "boot/check_config.h"

#include <iomanip>
#include <mutex>
#include <sstream>

#include "boot/station_model.h"
#include "host/no_device_host.h"
#include "host/paths.h"

namespace korvex {

namespace {

// A host for a dry run: the program folder comes from the real host, message boxes
// are collected, and no device can be reached, so nothing is sent by mistake.
class DryRunHost : public NoDeviceHost {
 public:
  explicit DryRunHost(Host& real) : real_(real) {}

  std::vector<std::string> Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }

  MessageAnswer ShowMessageBox(const MessageBoxRequest& request) override {
    std::lock_guard lock(mutex_);
    messages_.emplace_back(request.text);
    return MessageAnswer::Ok;
  }
  LocalTime GetLocalTime() override { return real_.GetLocalTime(); }
  void Sleep(std::uint32_t) override {}
  std::string ModuleFileName() override { return real_.ModuleFileName(); }

 private:
  Host& real_;
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
};

std::string_view ParseOutcome(int result) {
  switch (result) {
    case kParseOk: return "[END] reached";
    case kParseCannotOpen: return "the file cannot be opened";
    default: return "the file ended too early";
  }
}

std::string Hex(std::uint32_t value) {
  std::ostringstream out;
  out << "0x" << std::hex << value;
  return out.str();
}

void AppendList(std::ostringstream& out, std::string_view title,
                const std::vector<std::string>& items) {
  out << title << ':' << (items.empty() ? " none" : "") << '\n';
  for (const std::string& item : items) out << "  " << item << '\n';
}

}  // namespace

bool CheckConfigResult::Passed() const {
  return parseResult == kParseOk && diagnostics.empty() && ruleFailures.empty();
}

CheckConfigResult RunCheckConfig(Host& host, int model, const std::filesystem::path& path) {
  DryRunHost dryRun(host);
  DeviceSession session;
  session.device.host = &dryRun;
  session.cpuModel = model;
  // Model 0 starts from its fixed defaults, as ConfigureAfterBoot does; models 1..3
  // start from the all-zero record the station holds before their first parse.
  if (model == kModelQx7120) SetConfigDefaults(session);

  CheckConfigResult result;
  result.model = model;
  result.path = path;
  if (FindCpuModel(model) != nullptr && model != kModelQx7120) {
    result.parseResult = ParseFullConfig(path, session, model, &result.diagnostics);
  } else {
    result.parseResult = ParseBootConfig(path, session, &result.diagnostics);
  }
  result.messages = dryRun.Messages();
  result.config = session.bootConfig;
  result.sdramBytes = session.sdramBytes;
  result.ruleFailures = FindConfigRuleFailures(session.bootConfig);
  return result;
}

CheckConfigResult RunCheckConfig(Host& host, const CpuModelInfo& model) {
  return RunCheckConfig(host, model.index, ModelFilePath(host, model, kConfig2KFileName));
}

std::string FormatCheckConfigReport(const CheckConfigResult& r) {
  std::ostringstream out;
  out << "verdict: " << (r.Passed() ? "PASS" : "FAIL") << '\n';
  out << "file: " << PathToUtf8(r.path) << '\n';
  if (const CpuModelInfo* info = FindCpuModel(r.model)) {
    out << "model: " << r.model << ' ' << info->comboText << " (folder " << info->folder << ")\n";
  } else {
    out << "model: " << r.model << " (unknown)\n";
  }
  out << "parse: " << r.parseResult << " (" << ParseOutcome(r.parseResult) << ")\n";

  std::vector<std::string> diagnostics;
  for (const ConfigDiagnostic& d : r.diagnostics) diagnostics.push_back(d.text);
  AppendList(out, "diagnostics", diagnostics);
  AppendList(out, "station messages", r.messages);

  out << "fields:\n";
  for (const BootConfigFieldValue& field : ListBootConfigFields(r.config)) {
    out << "  " << std::left << std::setw(18) << field.name << std::right << " = "
        << field.value << " (" << Hex(field.value) << ")\n";
  }

  const BootConfigBytes bytes = SerializeBootConfig(r.config);
  out << "record (" << bytes.size() << " bytes):\n" << std::hex << std::setfill('0');
  for (std::size_t offset = 0; offset < bytes.size(); offset += 16) {
    out << "  " << std::setw(4) << offset << ':';
    for (std::size_t i = offset; i < offset + 16 && i < bytes.size(); ++i) {
      out << ' ' << std::setw(2) << static_cast<unsigned>(bytes[i]);
    }
    out << '\n';
  }
  out << std::dec << std::setfill(' ');

  out << "sdramBytes: " << r.sdramBytes << " (" << Hex(r.sdramBytes) << ")\n";
  std::vector<std::string> failures;
  for (const ConfigRuleFailure& f : r.ruleFailures) failures.push_back(f.text);
  out << "check: " << (failures.empty() ? "pass" : "fail") << '\n';
  for (const std::string& text : failures) out << "  " << text << '\n';
  return out.str();
}

}  // namespace korvex
