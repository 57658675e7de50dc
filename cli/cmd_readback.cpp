// korvex readback --from A --to B --out FILE: reads port 0's board into FILE as the
// READ button does (pages A .. B-1, page data only).

#include <iostream>
#include <memory>

#include "app/port_scheduler.h"
#include "app/production_log.h"
#include "boot/station_model.h"
#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/console_window.h"
#include "cli/json.h"
#include "cli/sim_options.h"
#include "host/paths.h"
#include "nand/burn_board.h"
#include "nand/read_back.h"
#include "nandtable/nand_cfg.h"

namespace korvex::cli {

namespace {

std::vector<OptionSpec> ReadbackOptionSpecs() {
  std::vector<OptionSpec> specs = BoardOptionSpecs();
  specs.push_back({"--from", true});
  specs.push_back({"--to", true});
  specs.push_back({"--out", true});
  return specs;
}

}  // namespace

int RunReadback(const CommandContext& context) {
  const std::vector<OptionSpec> specs = ReadbackOptionSpecs();
  std::string error;
  const auto args = ParseArgs(context.args, specs, error);
  if (!args) return UsageError(error);
  if (!args->positional.empty()) return UsageError("unexpected argument '" + args->positional[0] + "'");
  if (!args->Has("--from") || !args->Has("--to") || !args->Has("--out")) {
    return UsageError("readback needs --from PAGE --to PAGE --out FILE");
  }
  const auto from = ParseUnsigned(args->Get("--from"), 10);
  const auto to = ParseUnsigned(args->Get("--to"), 10);
  if (!from || !to) return UsageError("--from and --to take page numbers");
  LineSetup setup;
  if (!ParseLineSetup(*args, static_cast<int>(kPortCount), setup)) return kExitUsage;
  SelectCpuModel(setup.line.board.model);

  ConsoleWindow window(context.json ? ConsoleStyle::Json : ConsoleStyle::Plain, "Korvex");
  auto host = MakeLineHost(setup, context.home);
  int messages = 0;
  host->SetMessageBoxHandler([&](const MessageBoxRequest& request) {
    ++messages;
    window.ShowMessage(request);
    return MessageAnswer::Ok;
  });
  host->SetWindowProcedure([&window](WindowHandle, std::uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam) {
    return window.HandleMessage(message, wParam, lParam);
  });
  if (!EnsureNandTable(*host)) return kExitFailed;

  ResetPortRecords();
  auto tables = std::make_unique<DeviceTables>();
  BuildDeviceTables(*host, *tables);
  PortScheduler scheduler(*host, *tables, ThreadFunc0, ReadBack);
  StationSettings settings;
  settings.hwndMain = 1;
  const bool started = scheduler.StartReadBack(settings, *from, *to, PathFromUtf8(args->Get("--out")));
  host->JoinThreads();
  DumpBoards(setup, *host);
  const bool ok = started && messages == 0;
  if (context.json) {
    std::cout << JsonObject().Add("type", "result").Add("ok", ok).Add("out", args->Get("--out")).Str() << "\n";
  } else if (ok) {
    std::cout << "read pages " << *from << " to " << *to - 1 << " into " << args->Get("--out") << "\n";
  }
  return ok ? kExitOk : kExitFailed;
}

}  // namespace korvex::cli
