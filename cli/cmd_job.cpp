// korvex job: the release engineer's side of a job file.
//   job new --name NAME --model M (--nand PATH | --advanced ...) [options] --out FILE
//   job check FILE      whether the images on disk are the ones the job released

#include <fstream>
#include <iostream>

#include "cli/cli_args.h"
#include "cli/command_help.h"
#include "cli/commands.h"
#include "cli/image_options.h"
#include "cli/json.h"
#include "host/paths.h"
#include "records/job_file.h"
#include "records/sha256.h"

namespace korvex::cli {
namespace {

std::string Hex(const Sha256Digest& digest) {
  std::string text;
  AppendHex(text, digest);
  return text;
}

// The path as the job file will hold it: relative to the job's folder when it can be.
std::string PathForJob(const std::string& given, const std::filesystem::path& jobFolder) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(PathFromUtf8(given), error).lexically_normal();
  const std::filesystem::path relative = absolute.lexically_relative(jobFolder);
  return PathToUtf8(relative.empty() ? absolute : std::filesystem::path(relative.generic_string()));
}

int CheckJob(const CommandContext& context, const std::string& fileName);

// The SHA-256 of every image the job burns; false after a line for each one unreadable.
bool HashJobImages(JobFile& job) {
  bool failed = false;
  for (std::size_t image = 0; image < kImageCount; ++image) {
    if (!job.included[image]) continue;
    std::uint64_t size = 0;
    if (!HashFile(job.paths[image], size, job.sha256[image])) {
      std::cerr << "korvex: " << kImageFileNames[image] << ": " << PathToUtf8(job.paths[image]) << " cannot be read\n";
      failed = true;
    }
  }
  return !failed;
}

int NewJob(const CommandContext& context, const ParsedArgs& args) {
  for (const std::string_view required : {"--name", "--model", "--out"}) {
    if (!args.Has(required)) return UsageError("job new needs " + std::string(required));
  }
  const std::filesystem::path out = std::filesystem::absolute(PathFromUtf8(args.Get("--out"))).lexically_normal();
  JobFile job;
  job.folder = out.parent_path();
  job.advanced = args.Has("--advanced");
  for (const ImageOption& image : kImageOptions) {
    if (!args.Has(image.option)) continue;
    if (!job.advanced && image.image != kNandBin) {
      return UsageError(std::string(image.option) + " needs --advanced; in normal mode the images come from nand.bin's folder");
    }
    if (args.Get(image.option).empty()) return UsageError(std::string(image.option) + " needs the image's path");
    job.given[image.image] = PathForJob(args.Get(image.option), job.folder);
  }
  ResolveJobImages(job);
  if (!HashJobImages(job)) return kExitUsage;
  job.name = args.Get("--name");
  job.model = -1;
  job.formatAfter = args.Has("--format-after"), job.eraseChip = args.Has("--erase-chip");
  job.fsFormat = args.Has("--fs-format"), job.verify = args.Has("--verify");
  job.lot = args.Get("--lot"), job.workOrder = args.Get("--work-order");
  job.hookBefore = args.Get("--hook-before"), job.hookAfter = args.Get("--hook-after");
  if (args.Has("--hook-timeout")) job.hookTimeoutText = args.Get("--hook-timeout"), job.hookTimeoutMs = 0;
  // The text goes through the job file's own parser, so every value it refuses on
  // reading is refused here, and with the same words.
  const auto model = ModelOfFolderName(args.Get("--model"));
  if (!model) return UsageError("--model takes 7120, 7130, 7135 or 7105B");
  job.model = *model;
  const std::string text = FormatJobFile(job);
  const JobFileResult check = ParseJobFile(text, "the job", job.folder);
  for (const std::string& error : check.errors) std::cerr << "korvex: " << error << "\n";
  if (!check.errors.empty()) return kExitUsage;
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file) {
    std::cerr << "korvex: cannot write " << PathToUtf8(out) << "\n";
    return kExitFailed;
  }
  // JSON has no words for "written": the new file's check says what it holds.
  if (context.json) return CheckJob(context, PathToUtf8(out));
  std::cout << "wrote job " << job.name << " to " << PathToUtf8(out) << "\n";
  for (std::size_t image = 0; image < kImageCount; ++image) {
    if (job.included[image]) {
      std::cout << "  " << kImageFileNames[image] << "  sha256 " << Hex(job.sha256[image]) << "  "
                << PathToUtf8(job.paths[image]) << "\n";
    }
  }
  return kExitOk;
}

int CheckJob(const CommandContext& context, const std::string& fileName) {
  const JobFileResult read = ReadJobFile(PathFromUtf8(fileName));
  for (const std::string& error : read.errors) std::cerr << "korvex: " << error << "\n";
  if (!read.job) return kExitUsage;
  const JobFile& job = *read.job;
  std::size_t differing = 0;
  for (std::size_t image = 0; image < kImageCount; ++image) {
    if (!job.included[image]) continue;
    std::uint64_t size = 0;
    Sha256Digest disk{};
    const bool readable = HashFile(job.paths[image], size, disk);
    const std::string verdict = !readable ? "missing" : disk == job.sha256[image] ? "released" : "differs";
    differing += verdict != "released";
    const std::string path = PathToUtf8(job.paths[image]);
    if (context.json) {
      std::cout << JsonObject()
                       .Add("type", "job-image")
                       .Add("image", kImageFileNames[image])
                       .Add("path", path)
                       .Add("verdict", verdict)
                       .Add("job", Hex(job.sha256[image]))
                       .Add("disk", readable ? Hex(disk) : "")
                       .Str()
                << "\n";
      continue;
    }
    std::cout << kImageFileNames[image] << ": " << verdict << "  " << path << "\n";
    if (verdict == "differs") {
      std::cout << "  job  " << Hex(job.sha256[image]) << "\n  disk " << Hex(disk) << "\n";
    }
  }
  if (context.json) {
    std::cout << JsonObject().Add("type", "job-check").Add("job", job.name).Add("ok", differing == 0).Str() << "\n";
  } else if (differing == 0) {
    std::cout << "the images on disk are the ones job " << job.name << " released\n";
  } else {
    std::cout << differing << (differing == 1 ? " image is" : " images are") << " not what job " << job.name
              << " released\n";
  }
  return differing == 0 ? kExitOk : kExitFailed;
}

}  // namespace

int RunJob(const CommandContext& context) {
  const std::vector<OptionSpec> specs = SpecsOf(FindCommandHelp("job")->options);
  std::string error;
  const auto args = ParseArgs(context.args, specs, error);
  if (!args) return UsageError(error);
  const std::string action = args->positional.empty() ? "" : args->positional[0];
  if (action == "new") {
    if (args->positional.size() > 1) return UsageError("unexpected argument '" + args->positional[1] + "'");
    return NewJob(context, *args);
  }
  if (action == "check") {
    if (args->positional.size() != 2) return UsageError("job check takes one job FILE");
    if (args->options.size() > 0) return UsageError("job check takes no options, only the job FILE");
    return CheckJob(context, args->positional[1]);
  }
  return UsageError(action.empty() ? "job needs an action: new or check" : "unknown job action '" + action + "' (new, check)");
}

}  // namespace korvex::cli
