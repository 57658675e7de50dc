// korvex sim-home: writes a home for simulated boards into --home: the four model
// folders with simulator-only placeholder firmware and sample configuration files,
// and sample images. Real boards need the vendor's fw.bin and korvex.bin instead.

#include <iostream>

#include "cli/commands.h"
#include "cli/cli_args.h"
#include "cli/json.h"
#include "host/paths.h"
#include "sim/placeholder_home.h"

namespace korvex::cli {

int RunSimHome(const CommandContext& context) {
  if (!context.args.empty()) return UsageError("sim-home takes no arguments (use --home DIR)");
  std::string error;
  if (!sim::WritePlaceholderHome(context.home, error)) {
    return CommandError("the home folder could not be written; check that it is writable (" + error + ")");
  }
  if (context.json) {
    std::cout << JsonObject()
                     .Add("type", "sim-home")
                     .Add("home", PathToUtf8(context.home))
                     .AddRaw("models", JsonArray({"7120", "7130", "7135", "7105B"}))
                     .Add("images", PathToUtf8(context.home / "images"))
                     .Str()
              << "\n";
    return kExitOk;
  }
  std::cout << "wrote model folders 7120, 7130, 7135, 7105B (simulator placeholders, not board "
               "firmware) and sample images into "
            << PathToUtf8(context.home) << "\n";
  return kExitOk;
}

}  // namespace korvex::cli
