#include "records/job_file.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

#include "device/cpu_model.h"
#include "host/paths.h"
#include "records/line_settings.h"

namespace korvex {
namespace {

// The job file's keys for the images, by ImageId.
constexpr std::array<std::string_view, kImageCount> kImageKeys{"nand", "loader", "def_boot",
                                                               "img_boot", "minios", "res"};
constexpr std::array<std::string_view, 13> kPlainKeys{
    "name",  "model",      "advanced",  "format_after", "erase_chip",  "fs_format",     "verify",
    "lot",   "work_order", "hook_before", "hook_after", "hook_timeout_s", "sha256.*"};

std::optional<bool> OnOff(std::string_view value) {
  if (value == "on") return true;
  if (value == "off") return false;
  return std::nullopt;
}

// Seconds with up to three decimals, 0.001 .. 3600.
std::optional<std::uint32_t> TimeoutMs(std::string_view value) {
  const std::size_t dot = value.find('.');
  const std::string_view whole = value.substr(0, dot);
  std::string_view fraction = dot == std::string_view::npos ? std::string_view() : value.substr(dot + 1);
  if (whole.empty() || whole.size() > 4 || fraction.size() > 3 ||
      (dot != std::string_view::npos && fraction.empty())) {
    return std::nullopt;
  }
  std::uint32_t seconds = 0, millis = 0;
  if (std::from_chars(whole.data(), whole.data() + whole.size(), seconds).ptr != whole.data() + whole.size()) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < 3; ++i) {
    const char c = i < fraction.size() ? fraction[i] : '0';
    if (c < '0' || c > '9') return std::nullopt;
    millis = millis * 10 + static_cast<std::uint32_t>(c - '0');
  }
  const std::uint32_t total = seconds * 1000 + millis;
  if (total == 0 || total > 3'600'000) return std::nullopt;
  return total;
}

class Parser {
 public:
  Parser(std::string_view fileName, const std::filesystem::path& folder) : fileName_(fileName) {
    job_.folder = folder;
  }

  void Line(int number, std::string_view line) {
    number_ = number;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return Fail("expected \"key = value\"");
    const std::string_view key = TrimSettingText(line.substr(0, equals));
    const std::string_view value = TrimSettingText(line.substr(equals + 1));
    if (std::ranges::find(seen_, key) != seen_.end()) return Fail("'" + std::string(key) + "' is set twice");
    seen_.emplace_back(key);
    if (key.starts_with("sha256.")) return Hash(key.substr(7), value);
    if (const auto image = std::ranges::find(kImageKeys, key); image != kImageKeys.end()) {
      return Image(static_cast<std::size_t>(image - kImageKeys.begin()), value);
    }
    if (key == "name" || key == "lot" || key == "work_order") return Text(key, value);
    if (key == "model") {
      if (const auto model = ModelOfFolderName(value)) job_.model = *model, modelSet_ = true;
      else Fail("model must be 7120, 7130, 7135 or 7105B");
      return;
    }
    if (key == "hook_before" || key == "hook_after") {
      if (value.empty()) return Fail(std::string(key) + " needs a command");
      (key == "hook_before" ? job_.hookBefore : job_.hookAfter) = value;
      return;
    }
    if (key == "hook_timeout_s") {
      if (const auto ms = TimeoutMs(value)) job_.hookTimeoutMs = *ms, job_.hookTimeoutText = value;
      else Fail("hook_timeout_s takes seconds from 0.001 to 3600, e.g. 10 or 2.5");
      return;
    }
    bool* flag = key == "advanced"       ? &job_.advanced
                 : key == "format_after" ? &job_.formatAfter
                 : key == "erase_chip"   ? &job_.eraseChip
                 : key == "fs_format"    ? &job_.fsFormat
                 : key == "verify"       ? &job_.verify
                                         : nullptr;
    if (flag == nullptr) {
      std::string known;
      for (const std::string_view k : kImageKeys) known += std::string(k) + ", ";
      for (const std::string_view k : kPlainKeys) known += std::string(k) + (k == kPlainKeys.back() ? "" : ", ");
      return Fail("unknown key '" + std::string(key) + "' (known: " + known + ")");
    }
    if (const auto on = OnOff(value)) *flag = *on;
    else Fail(std::string(key) + " must be on or off");
  }

  JobFileResult Finish() {
    number_ = 0;
    if (job_.name.empty()) Fail("the job has no name (name = ...)");
    if (!modelSet_) Fail("the job has no model (model = 7120, 7130, 7135 or 7105B)");
    const bool any = std::ranges::any_of(job_.included, [](bool b) { return b; });
    if (!any) Fail(job_.advanced ? "an advanced job needs at least one of nand, loader, def_boot, img_boot, minios, res"
                                 : "the job has no image (nand = PATH)");
    for (std::size_t image = 0; image < kImageCount; ++image) {
      if (image != kNandBin && job_.included[image] && !job_.advanced) {
        number_ = imageLines_[image];
        Fail(std::string(kImageKeys[image]) + " needs advanced = on; in normal mode it comes from nand.bin's folder");
      }
    }
    number_ = 0;
    ResolveJobImages(job_);
    if (!job_.advanced && job_.included[kNandBin] && !job_.given[kNandBin].ends_with(kImageFileNames[kNandBin])) {
      number_ = imageLines_[kNandBin];
      Fail("in normal mode nand's file name must end in nand.bin; the other images are named after it");
      number_ = 0;
    }
    for (std::size_t image = 0; image < kImageCount; ++image) {
      const std::string name(kImageFileNames[image]);
      if (job_.included[image] && !hashed_[image]) Fail("no sha256." + name + " for the job's " + name);
      if (!job_.included[image] && hashed_[image]) Fail("sha256." + name + " is given, but the job does not burn " + name);
    }
    JobFileResult result;
    result.errors = std::move(errors_);
    if (result.errors.empty()) result.job = std::move(job_);
    return result;
  }

 private:
  void Fail(const std::string& why) {
    errors_.push_back(std::string(fileName_) + (number_ > 0 ? " line " + std::to_string(number_) : "") + ": " + why);
  }

  void Text(std::string_view key, std::string_view value) {
    if (!IsValidJobText(value)) return Fail(std::string(key) + " must be 1 to 63 bytes of printable text");
    (key == "name" ? job_.name : key == "lot" ? job_.lot : job_.workOrder) = value;
  }

  void Image(std::size_t image, std::string_view value) {
    if (value.empty()) return Fail(std::string(kImageKeys[image]) + " needs the image's path");
    job_.included[image] = true;
    job_.given[image] = value;
    imageLines_[image] = number_;
  }

  void Hash(std::string_view name, std::string_view value) {
    const auto image = std::ranges::find(kImageFileNames, name);
    if (image == kImageFileNames.end()) {
      return Fail("sha256." + std::string(name) + ": no such image (nand.bin, loader.bin, def_boot.bin, img_boot.bin, "
                  "minios.bin, res.bin)");
    }
    const auto id = static_cast<std::size_t>(image - kImageFileNames.begin());
    if (!ParseHex(value, job_.sha256[id])) return Fail("sha256." + std::string(name) + " takes 64 hex digits");
    hashed_[id] = true;
  }

  std::string_view fileName_;
  int number_ = 0;
  JobFile job_;
  bool modelSet_ = false;
  std::array<bool, kImageCount> hashed_{};
  std::array<int, kImageCount> imageLines_{};
  std::vector<std::string> seen_;
  std::vector<std::string> errors_;
};

}  // namespace

void ResolveJobImages(JobFile& job) {
  for (std::size_t image = 0; image < kImageCount; ++image) {
    job.included[image] = !job.given[image].empty();
    if (!job.included[image]) continue;
    const std::filesystem::path path = PathFromUtf8(job.given[image]);
    job.paths[image] = (path.is_absolute() ? path : job.folder / path).lexically_normal();
  }
  if (job.advanced || !job.included[kNandBin]) return;
  // As the station's nand.bin chooser makes them: what comes before "nand.bin" is
  // the other names' start, so "A/mynand.bin" gives "A/myloader.bin".
  const std::string nand = PathToUtf8(job.paths[kNandBin]);
  if (!nand.ends_with(kImageFileNames[kNandBin])) return;
  const std::string start = nand.substr(0, nand.size() - kImageFileNames[kNandBin].size());
  for (std::size_t image = 1; image < kImageCount; ++image) {
    if (image == kDefBootBin) continue;  // normal mode leaves def_boot.bin out
    job.included[image] = true;
    job.paths[image] = PathFromUtf8(start + std::string(kImageFileNames[image]));
  }
}

bool IsValidJobText(std::string_view text) {
  if (text.empty() || text.size() >= kJobTextCapacity) return false;
  return std::ranges::none_of(text, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

std::optional<int> ModelOfFolderName(std::string_view name) {
  for (const CpuModelInfo& model : kCpuModels) {
    if (model.folder == name) return model.index;
  }
  return std::nullopt;
}

JobFileResult ParseJobFile(std::string_view text, std::string_view fileName,
                           const std::filesystem::path& folder) {
  Parser parser(fileName, folder);
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  int number = 0;
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    ++number;
    line = TrimSettingText(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    parser.Line(number, line);
  }
  return parser.Finish();
}

JobFileResult ReadJobFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {std::nullopt, {PathToUtf8(file) + ": cannot be read"}};
  std::ostringstream text;
  text << in.rdbuf();
  const std::filesystem::path absolute = std::filesystem::absolute(file);
  return ParseJobFile(text.str(), PathToUtf8(file), absolute.parent_path());
}

std::string FormatJobFile(const JobFile& job) {
  std::string text = "# A released job: `korvex job check` says whether the images are still these.\n";
  const auto line = [&text](std::string_view key, std::string_view value) {
    text.append(key).append(" = ").append(value).append("\n");
  };
  line("name", job.name);
  line("model", kCpuModels[static_cast<std::size_t>(job.model)].folder);
  if (job.advanced) line("advanced", "on");
  for (std::size_t image = 0; image < kImageCount; ++image) {
    if (!job.given[image].empty()) line(kImageKeys[image], job.given[image]);
  }
  line("format_after", job.formatAfter ? "on" : "off");
  line("erase_chip", job.eraseChip ? "on" : "off");
  line("fs_format", job.fsFormat ? "on" : "off");
  line("verify", job.verify ? "on" : "off");
  for (std::size_t image = 0; image < kImageCount; ++image) {
    if (!job.included[image]) continue;
    std::string hex;
    AppendHex(hex, job.sha256[image]);
    line("sha256." + std::string(kImageFileNames[image]), hex);
  }
  if (!job.lot.empty()) line("lot", job.lot);
  if (!job.workOrder.empty()) line("work_order", job.workOrder);
  if (!job.hookBefore.empty()) line("hook_before", job.hookBefore);
  if (!job.hookAfter.empty()) line("hook_after", job.hookAfter);
  if (job.hookTimeoutMs != kDefaultHookTimeoutMs) line("hook_timeout_s", job.hookTimeoutText);
  return text;
}

}  // namespace korvex
