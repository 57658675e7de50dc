#include "sim/placeholder_home.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "host/paths.h"
#include "sim/placeholder_firmware.h"
#include "sim/sim_models.h"

namespace korvex::sim {

namespace {

// Values every simulated board accepts and the station's record check passes: a 12 MHz
// crystal with a 336 MHz CPU, 64 MiB of 32-bit SDRAM, a 2048-byte (or 4096-byte) page
// NAND. Lines start in column 0 and stay well below the parser's 99 characters.
// Korvex2K.cfg and Korvex4K.cfg of a grammar come from one template, so they differ in
// the NAND's geometry only: {file}, {page}, {pagesPerBlock}, {oob}, {blocks} and
// {pages} are filled in, and each setting's comment is aligned after it.
constexpr std::string_view kFullConfigTemplate =
    "; {file} - boot settings for boards whose NAND has {page}-byte pages.\n"
    "; Sample written by the Korvex simulator for its simulated boards.\n"
    "; Everything from ';' to the end of a line is a comment. A setting is a key at the\n"
    "; start of a line, a blank, and a decimal number.\n"
    "\n"
    "[PLL]\n"
    "EXTCLK 12          ; external clock in MHz, 12..27\n"
    "CPUSPEED 336       ; CPU clock in MHz, a multiple of 12 (multiplier = CPUSPEED / EXTCLK)\n"
    "PHMDIV 4           ; peripheral clock divider, at most 32\n"
    "BOUDRATE 115200    ; serial rate of the debug UART\n"
    "USEUART 0          ; number of the debug UART\n"
    "\n"
    "[SDRAM]\n"
    "BUSWIDTH 32        ; SDRAM bus width in bits: 32, or 16\n"
    "BANKS 4            ; SDRAM banks: 4 or 2\n"
    "ROWADDR 13         ; row address bits\n"
    "COLADDR 9          ; column address bits\n"
    "ISMOBILE 0         ; 1 for mobile SDRAM\n"
    "ISBUSSHARE 1       ; 1 when SDRAM and NAND share the bus\n"
    "\n"
    "[NAND]\n"
    "BUSWIDTH 8         ; NAND bus width in bits\n"
    "ROWCYCLES 3        ; row address cycles\n"
    "PAGESIZE {page} ; page size in bytes\n"
    "PAGEPERBLOCK {pagesPerBlock} ; pages per block\n"
    "FORCEERASE 0       ; force-erase flag\n"
    "PLANENUM 1         ; planes\n"
    "OOBSIZE {oob} ; spare bytes per page\n"
    "ECCPOS 6           ; ECC offset in the spare area\n"
    "BADBLACKPOS 0      ; offset of the bad-block mark in the spare area\n"
    "BADBLACKPAGE 0     ; page of a block that carries the bad-block mark\n"
    "BCHBIT 8           ; BCH correction strength in bits\n"
    "WPPIN 0            ; write-protect pin\n"
    "BLOCKPERCHIP {blocks} ; blocks per chip\n"
    "[END]\n";

constexpr std::string_view kNandConfigTemplate =
    "; {file} - NAND settings of Qx7105/Qx7120 boards with {page}-byte pages.\n"
    "; Sample written by the Korvex simulator for its simulated boards.\n"
    "; This model's clocks and SDRAM are fixed, so only [NAND] is read.\n"
    "; Everything from ';' to the end of a line is a comment.\n"
    "\n"
    "[NAND]\n"
    "BUSWIDTH 8         ; NAND bus width in bits\n"
    "ROWCYCLES 3        ; row address cycles\n"
    "PAGESIZE {page} ; page size in bytes\n"
    "PAGEPERBLOCK {pagesPerBlock} ; pages per block\n"
    "FORCEERASE 0       ; force-erase flag\n"
    "PAGENUMBER {pages} ; pages per chip\n"
    "OOBSIZE {oob} ; spare bytes per page\n"
    "ECCPOS 6           ; ECC offset in the spare area\n"
    "BADBLACKPOS 0      ; offset of the bad-block mark in the spare area\n"
    "BADBLACKPAGE 0     ; page of a block that carries the bad-block mark\n"
    "[END]\n";

// The column a setting's comment starts in.
constexpr std::size_t kCommentColumn = 19;

struct SampleGeometry {
  std::string_view file;
  std::uint32_t pageSize, pagesPerBlock, oobSize, blocks;
};
constexpr SampleGeometry kSample2K{kSimConfig2KFile, 2048, 64, 64, 1024};
constexpr SampleGeometry kSample4K{kSimConfig4KFile, 4096, 128, 128, 2048};

// One template line with its fields filled in; a setting's comment aligned.
std::string FillLine(std::string_view line, const SampleGeometry& g) {
  const std::pair<std::string_view, std::string> fields[] = {
      {"{file}", std::string(g.file)},
      {"{page}", std::to_string(g.pageSize)},
      {"{pagesPerBlock}", std::to_string(g.pagesPerBlock)},
      {"{oob}", std::to_string(g.oobSize)},
      {"{blocks}", std::to_string(g.blocks)},
      {"{pages}", std::to_string(std::uint64_t{g.blocks} * g.pagesPerBlock)},
  };
  std::string text(line);
  for (const auto& [field, value] : fields) {
    for (std::size_t at = text.find(field); at != std::string::npos; at = text.find(field, at + value.size())) {
      text.replace(at, field.size(), value);
    }
  }
  const std::size_t comment = text.find(" ;");
  if (text.starts_with(';') || comment == std::string::npos) return text;
  std::string setting = text.substr(0, comment);
  setting.resize(std::max(kCommentColumn, setting.size() + 1), ' ');
  return setting + text.substr(comment + 1);
}

std::string FillTemplate(std::string_view templateText, const SampleGeometry& geometry) {
  // Every line of a template ends with its newline.
  std::string text;
  for (std::size_t start = 0, end; (end = templateText.find('\n', start)) != std::string_view::npos; start = end + 1) {
    text += FillLine(templateText.substr(start, end - start), geometry) + "\n";
  }
  return text;
}

}  // namespace

std::string SampleConfigText(int model, bool pages4K) {
  return FillTemplate(model == kSimModelQx7120 ? kNandConfigTemplate : kFullConfigTemplate,
                      pages4K ? kSample4K : kSample2K);
}

std::vector<std::uint8_t> SampleImageBytes(const SampleImage& image) {
  const std::string title = "KORVEX SAMPLE IMAGE " + std::string(image.name) + "\n";
  std::vector<std::uint8_t> bytes(title.begin(), title.end());
  bytes.resize(image.bytes);
  // xorshift64 seeded by an FNV-1a hash of the name: fixed bytes on every platform.
  std::uint64_t state = 14695981039346656037ull;
  for (const char c : image.name) state = (state ^ static_cast<std::uint8_t>(c)) * 1099511628211ull;
  for (std::size_t i = title.size(); i < bytes.size(); i += 8) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    for (std::size_t k = 0; k < 8 && i + k < bytes.size(); ++k) {
      bytes[i + k] = static_cast<std::uint8_t>(state >> (8 * k));
    }
  }
  std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(image.blankOffset), image.blankBytes,
              std::uint8_t{0xFF});
  return bytes;
}

namespace {

bool WriteFile(const std::filesystem::path& path, const void* data, std::size_t size,
               std::string& error) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  file.close();
  if (!file) {
    error = "cannot write " + PathToUtf8(path);
    return false;
  }
  return true;
}

bool WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes,
                std::string& error) {
  return WriteFile(path, bytes.data(), bytes.size(), error);
}

bool WriteText(const std::filesystem::path& path, std::string_view text, std::string& error) {
  return WriteFile(path, text.data(), text.size(), error);
}

bool MakeFolder(const std::filesystem::path& folder, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec || !std::filesystem::is_directory(folder)) {
    error = "cannot create the folder " + PathToUtf8(folder);
    return false;
  }
  return true;
}

}  // namespace

bool WritePlaceholderModelFolder(const std::filesystem::path& home, int model, std::string& error) {
  const std::string_view name = SimModelFolder(model);
  if (name.empty()) {
    error = "model " + std::to_string(model) + " has no folder";
    return false;
  }
  const std::filesystem::path folder = home / PathFromUtf8(name);
  return MakeFolder(folder, error) &&
         WriteBytes(folder / PathFromUtf8(kSimStage1File),
                    MakePlaceholderFirmware(FirmwareStage::Stage1, model, kPlaceholderStage1Bytes),
                    error) &&
         WriteBytes(folder / PathFromUtf8(kSimStage2File),
                    MakePlaceholderFirmware(FirmwareStage::Stage2, model, kPlaceholderStage2Bytes),
                    error) &&
         WriteText(folder / PathFromUtf8(kSimConfig2KFile), SampleConfigText(model, false),
                   error) &&
         WriteText(folder / PathFromUtf8(kSimConfig4KFile), SampleConfigText(model, true), error);
}

bool WritePlaceholderHome(const std::filesystem::path& home, std::string& error) {
  for (int model = 0; model < kSimModelCount; ++model) {
    if (!WritePlaceholderModelFolder(home, model, error)) return false;
  }
  const std::filesystem::path images = home / PathFromUtf8(kSampleImagesFolder);
  if (!MakeFolder(images, error)) return false;
  for (const SampleImage& image : kSampleImages) {
    if (!WriteBytes(images / PathFromUtf8(image.name), SampleImageBytes(image), error))
      return false;
  }
  return true;
}

}  // namespace korvex::sim
