#include "cli/command_help.h"

#include <algorithm>
#include <array>

#include "cli/commands.h"
#include "sim/sim_options.h"
#include "station/port_context.h"

namespace korvex::cli {

namespace {

constexpr OptionHelp kGlobalOptions[] = {
    {"--home", "DIR", "the station's folder: nand_cfg.bin, the model folders and the production logs",
     "the folder of the program"},
    {"--json", "", "one JSON object per line on stdout, each with a \"type\" "
                   "(docs/korvex-json.schema.json)", "text"},
    {"--quiet", "", "results and errors only", "off"},
    {"--verbose", "", "also every request each simulated board exchanged, from the simulator's "
                      "trace, for diagnosis", "off"},
    {"--version", "", "the version, the compiler and the device backend", ""},
    {"--help", "", "this text; COMMAND --help for a command's options", ""},
};

constexpr std::string_view kExitCodes =
    "exit codes (every command):\n"
    "  0  success\n"
    "  1  a board or an operation failed, or was interrupted\n"
    "  2  usage or pre-flight error: nothing was done\n";

constexpr OptionHelp kSimDumpOption{"--sim-dump", "DIR",
                                    "write each simulated board's NAND into DIR/board-<k>.nand "
                                    "at exit",
                                    "none"};

std::vector<OptionHelp> StationOptionHelp() {
  std::vector<OptionHelp> options = {
      {"--nand", "PATH",
       "nand.bin; in normal mode loader.bin, img_boot.bin, minios.bin and res.bin come from its "
       "folder and def_boot.bin stays out",
       "none; normal mode needs it"},
      {"--advanced", "", "pick the images one by one with the options below", "normal mode"},
      {"--loader", "PATH", "loader.bin (with --advanced)", "left out"},
      {"--def-boot", "PATH", "def_boot.bin (with --advanced)", "left out"},
      {"--img-boot", "PATH", "img_boot.bin (with --advanced)", "left out"},
      {"--minios", "PATH", "minios.bin (with --advanced)", "left out"},
      {"--res", "PATH", "res.bin (with --advanced)", "left out"},
      {"--format-after", "", "format the NAND's user-data area after the images", "off"},
      {"--erase-chip", "", "erase the whole chip before the images", "off"},
      {"--fs-format", "", "file-system format after the images (Qx7105B)", "off"},
      {"--until-done", "",
       "exit once every board has ended; needs a board to wait for (--sim N, N of 1 or more)",
       "run until Ctrl-C or SIGTERM"},
      {"--check", "", "run only the pre-flight checks and exit: 0 when they pass, 2 when not",
       "off"},
      {"--demo", "FILE", "copy FILE onto burned boards that show up as drives (normal mode)", "none"},
      {"--demo-period", "MS", "the demo timer's period in milliseconds", "3000"},
      {"--verify", "", "read every write back and compare it; a difference fails the board",
       "verify in korvex.ini, else off"},
      {"--no-verify", "", "no read-back, even when korvex.ini turns it on", "off"},
      {"--records-db", "CONN",
       "also send each board's record to the line's database (an ODBC connection string)",
       "records_db in korvex.ini, else the local records file only"},
      {"--job", "FILE",
       "burn by a released job file (docs/jobs.md): its model, images, options and hooks; the "
       "pre-flight refuses an image whose SHA-256 is not the job's",
       "none: the options give everything"},
      {"--operator", "NAME", "the operator, in every board's record", "empty"},
      {"--lot", "L", "the lot, in every board's record (may not contradict the job's)", "the job's, else empty"},
      {"--work-order", "W", "the work order, in every board's record (may not contradict the job's)",
       "the job's, else empty"},
      {"--sim-plug-after", "S", "the simulated ports start empty; the boards are plugged S seconds later",
       "plugged at start"},
  };
  for (const OptionHelp& option : BoardOptionHelp()) options.push_back(option);
  return options;
}

std::vector<OptionHelp> ReadbackOptionHelp() {
  std::vector<OptionHelp> options = {
      {"--from", "PAGE", "the first page read", "none; required"},
      {"--to", "PAGE", "one past the last page read; above --from", "none; required"},
      {"--out", "FILE", "the file the pages go into; its folder must exist", "none; required"},
  };
  for (const OptionHelp& option : BoardOptionHelp()) options.push_back(option);
  return options;
}

constexpr OptionHelp kRecordsDbOption{"--records-db", "CONN", "the line's database, an ODBC connection string",
                                       "records_db in korvex.ini"};

// The filter the query and the report share; the query also prints CSV.
std::vector<OptionHelp> RecordFilterOptionHelp(bool query) {
  std::vector<OptionHelp> options = {
      {"--from", "DAY", "the first day, YYYY-MM-DD", "the oldest record"},
      {"--to", "DAY", "the last day, YYYY-MM-DD", "the newest record"},
      {"--job", "NAME", "boards burned by the job of that name", "every job"},
      {"--lot", "L", "boards of that lot", "every lot"},
  };
  if (!query) return options;
  options.push_back({"--uid", "TEXT", "records whose UID contains TEXT", "any UID"});
  options.push_back({"--result", "R", "passed, failed or a reason code", "every result"});
  options.push_back({"--csv", "", "CSV with a header line instead of the table", "the table"});
  options.push_back({"--db", "CONN",
                     "query the whole line's database instead of the local records; an empty CONN takes "
                     "records_db of korvex.ini", "the local records"});
  return options;
}

std::vector<OptionHelp> ReportOptionHelp() {
  std::vector<OptionHelp> options = RecordFilterOptionHelp(false);
  options.push_back({"--db", "CONN",
                     "read the line's database instead of the local records; an empty CONN takes records_db "
                     "of korvex.ini", "the local records"});
  options.push_back({"--demo", "", "include the demo records (station DEMO)", "left out"});
  options.push_back({"--out", "FILE", "the HTML file written", "none; required"});
  return options;
}

// The commands that drive boards.
std::vector<CommandHelp> BoardCommands() {
  return {
    {"station", "station [options]", "pre-flight, then claim, boot and burn every board",
     "The station's main job: checks the images, the model folder, nand_cfg.bin and the log "
     "before anything else, then claims, boots and burns every board, shows one row per port "
     "and ends with a summary.",
     StationOptionHelp(), ""},
    {"readback", "readback --from PAGE --to PAGE --out FILE [options]",
     "read pages of port 1's board into a file",
     "Reads pages --from up to --to - 1 of port 1's board into FILE, page data only, as the READ "
     "button does. A simulated board starts blank: pages read back are 0xFF unless the same "
     "run burned them; `station --sim-dump DIR` keeps a burned board's NAND.",
     ReadbackOptionHelp(), ""},
    {"devices", "devices [--sim N]", "driver instances and the port each linked board holds",
     "The driver's interface instances and the port each linked board holds, as the station's "
     "first scan sees them.",
     {{"--sim", "N", "N simulated boards (0..128)",
       "none: this build has no USB boot driver, so the list is empty"}},
     ""}
  };
}

// The NAND table and the boot configuration.
std::vector<CommandHelp> TableCommands() {
  return {
    {"nand-table", "nand-table list | lookup MAIN[:EXT] [EXT] | add OPTIONS | delete ROW...",
     "the NAND parameter table",
     "The NAND parameter table, nand_cfg.bin in the home folder (written from the built-in "
     "table when missing).",
     {{"--main", "HEX", "add: main ID, maker and device code, e.g. ECD3", "none; required"},
      {"--ext", "HEX", "add: ext ID, 3rd, 4th and 5th ID byte, e.g. 589551",
       "0, a row for every chip with the main ID"},
      {"--page", "BYTES", "add: page size", "none; required"},
      {"--block", "KIB", "add: block size in KiB", "none; required"},
      {"--oob", "BYTES", "add: spare bytes per page", "none; required"},
      {"--blocks", "N", "add: total blocks", "none; required"},
      {"--name", "TEXT",
       "add: a readable name; a record has no room for one, so it is kept in nand_cfg.names "
       "beside nand_cfg.bin",
       "(unnamed)"}},
     "verbs:\n"
     "  list                    every row, numbered from 0\n"
     "  lookup MAIN[:EXT] [EXT] the geometry a chip with these ID keys gets, and its row\n"
     "  add OPTIONS             append a row; warns when its keys are taken already\n"
     "  delete ROW...           remove rows by number and print them\n"},
    {"check-config", "check-config [--model M] [FILE]", "vet a boot configuration file",
     "Vets a boot configuration file as a board's configuration would read it, verdict first.",
     {{"--model", "M", "the model the file is for: 7120, 7130, 7135 or 7105B",
       "the model whose folder holds FILE, else 7135"}},
     "FILE defaults to Korvex2K.cfg in the model's folder of the home folder.\n"}
  };
}

// The board records and their report.
std::vector<CommandHelp> RecordCommands() {
  return {
    {"records", "records [sync | init-db | generate-demo] [options]", "query the board records",
     "Lists the board records of the home folder's records-YYYY-MM.jsonl files, oldest first, as a table, "
     "CSV (--csv) or one JSON object per record (--json). `records sync`, `records init-db` and `records "
     "generate-demo` have options of their own (`korvex records ACTION --help`).",
     RecordFilterOptionHelp(true), "actions:\n"
     "  sync           send what the line's database lacks\n"
     "  init-db        create or upgrade the line's database tables (its owner, once)\n"
     "  generate-demo  write a made-up week of a station DEMO, to try the query and the report\n"},
    {"records sync", "records sync [--records-db CONN]", "send the records the line's database lacks",
     "Sends every local record the line's database does not hold yet, and tells the boards whose UID "
     "was burned before.",
     {kRecordsDbOption}, ""},
    {"records init-db", "records init-db [--records-db CONN]", "create or upgrade the line's database tables",
     "Run once by the database's owner: creates the tables a station needs, or upgrades tables of an "
     "older layout. A station itself only reads and inserts (see docs/records.md for the grants).",
     {kRecordsDbOption}, ""},
    {"records generate-demo", "records generate-demo [options]", "write a demo week of board records",
     "Writes made-up board records of a station DEMO into the home folder, for trying the query and the "
     "report without a line.",
     {{"--start", "DAY", "the first day, YYYY-MM-DD", "2026-11-30"},
      {"--days", "N", "days of records, 1..366", "7"},
      {"--boards", "N", "boards per port and day, 1..366", "12"},
      {"--seed", "S", "the seed of the made-up results; the same seed writes the same records", "1"}},
     ""},
    {"report", "report [--from DAY] [--to DAY] [--job NAME] [--lot L] [--db CONN] [--demo] --out FILE",
     "write the line's yield report",
     "Writes one self-contained HTML page: yield per day (per week past a month), per station "
     "and port, per job, failure reasons, bad blocks per chip part, burn times, the failed boards and "
     "duplicate UIDs, from the local records or the line's database (--db). Demo records "
     "(station DEMO) are left out unless --demo is given.",
     ReportOptionHelp(), ""}
  };
}

// Job files and the simulator's home.
std::vector<CommandHelp> JobCommands() {
  return {
    {"job", "job new --name NAME --model M (--nand PATH | --advanced ...) [options] --out FILE | job check FILE",
     "write a released job file, or check one against the images on disk",
     "`job new` writes a job file with the SHA-256 of each of its images (paths relative to the "
     "file's folder); `job check FILE` says whether the images on disk are the ones the job "
     "released (exit 0) or not (exit 1). docs/jobs.md describes the file and its hooks.",
     {{"--name", "NAME", "new: the job's name, in every board's record", "none; required"},
      {"--model", "M", "new: 7120, 7130, 7135 or 7105B", "none; required"},
      {"--nand", "PATH", "new: nand.bin; in normal mode the other images come from its folder", "none"},
      {"--advanced", "", "new: pick the images one by one with the options below", "normal mode"},
      {"--loader", "PATH", "new: loader.bin (with --advanced)", "left out"},
      {"--def-boot", "PATH", "new: def_boot.bin (with --advanced)", "left out"},
      {"--img-boot", "PATH", "new: img_boot.bin (with --advanced)", "left out"},
      {"--minios", "PATH", "new: minios.bin (with --advanced)", "left out"},
      {"--res", "PATH", "new: res.bin (with --advanced)", "left out"},
      {"--format-after", "", "new: format the user-data area after the images", "off"},
      {"--erase-chip", "", "new: erase the whole chip before the images", "off"},
      {"--fs-format", "", "new: file-system format after the images (Qx7105B)", "off"},
      {"--verify", "", "new: read every write back and compare it", "off"},
      {"--lot", "L", "new: the lot", "none"},
      {"--work-order", "W", "new: the work order", "none"},
      {"--hook-before", "CMD", "new: run before each board is written; exit 0 lets it burn", "none"},
      {"--hook-after", "CMD", "new: run with each board's record once it is written", "none"},
      {"--hook-timeout", "S", "new: seconds a hook has to answer", "10"},
      {"--out", "FILE", "new: the job file to write", "none; required"}},
     ""},
    {"sim-home", "sim-home", "write a home folder for simulated boards",
     "Writes a home for simulated boards into --home, creating the folder: the model folders "
     "7120, 7130, 7135 and 7105B with simulator-only placeholder firmware and sample "
     "configuration files, and sample images in images/. Real boards need the vendor's fw.bin "
     "and korvex.bin.",
     {}, ""}
  };
}

// Every command in the order `korvex --help` lists them.
const std::vector<CommandHelp>& Commands() {
  static const std::vector<CommandHelp> commands = [] {
    std::vector<CommandHelp> all;
    for (const auto group : {BoardCommands, TableCommands, RecordCommands, JobCommands}) {
      for (CommandHelp& command : group()) all.push_back(std::move(command));
    }
    return all;
  }();
  return commands;
}

}  // namespace


std::vector<OptionHelp> BoardOptionHelp() {
  const sim::SimOptionParser parser("--sim", "--model", static_cast<int>(kPortCount));
  std::vector<OptionHelp> options = SimOptionHelp(
      parser,
      {"--sim", "N", "N simulated boards (0..8), one per USB port",
       "none: this build has no USB boot driver, so no board comes"},
      {"--model", "M", "the SoC model of the station and its boards: 7120, 7130, 7135 or 7105B",
       "7135"});
  options.push_back(kSimDumpOption);
  return options;
}

const CommandHelp* FindCommandHelp(std::string_view name) {
  const auto& commands = Commands();
  const auto it = std::ranges::find(commands, name, &CommandHelp::name);
  return it == commands.end() ? nullptr : &*it;
}

std::string GlobalUsage() {
  std::string text = "usage: korvex [global options] COMMAND [options]\n\ncommands:\n";
  for (const CommandHelp& command : Commands()) {
    if (command.name.find(' ') != std::string_view::npos) continue;  // an action: its command's help names it
    text += "  " + std::string(command.usage) + "\n      " + std::string(command.brief) + "\n";
  }
  text += "\nglobal options:\n" + FormatOptionHelp(kGlobalOptions) + "\n";
  text += kExitCodes;
  text += "\n`korvex COMMAND --help` lists a command's options.\n";
  return text;
}

std::string CommandHelpText(const CommandHelp& command) {
  std::string text = "usage: korvex [global options] " + std::string(command.usage) + "\n\n";
  text += WrapParagraph(command.summary) + "\n";
  if (!command.options.empty()) text += "options:\n" + FormatOptionHelp(command.options) + "\n";
  if (!command.details.empty()) text += std::string(command.details) + "\n";
  text += "global options:\n" + FormatOptionHelp(kGlobalOptions) + "\n" + std::string(kExitCodes);
  return text;
}

std::vector<OptionSpec> SpecsOf(std::span<const OptionHelp> options) {
  std::vector<OptionSpec> specs;
  for (const OptionHelp& option : options) specs.push_back({option.name, !option.value.empty()});
  return specs;
}

std::optional<ParsedArgs> ParseCommandOptions(std::string_view command,
                                              std::span<const std::string> arguments) {
  const std::vector<OptionSpec> specs = SpecsOf(FindCommandHelp(command)->options);
  std::string error;
  auto args = ParseArgs(arguments, specs, error);
  if (!args) {
    UsageError(error);
    return std::nullopt;
  }
  if (!args->positional.empty()) {
    UsageError("unexpected argument '" + args->positional[0] + "'");
    return std::nullopt;
  }
  return args;
}

}  // namespace korvex::cli
