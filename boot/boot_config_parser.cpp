#include "boot/boot_config_parser.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>
#include <iterator>
#include <optional>
#include <span>
#include <string_view>

#include "boot/boot_message.h"
#include "boot/boot_texts.h"
#include "boot/station_model.h"

namespace korvex {

namespace {

// ---------------------------------------------------------------------------
// Reading: fgets with a 100-byte buffer on a file opened as text.

struct Piece {
  std::string_view text;  // without its line feed
  int line = 0;           // physical line the piece starts on
};

class PieceReader {
 public:
  // text: the whole file with CR LF already turned into LF.
  PieceReader(std::string text, ConfigDiagnostics* diagnostics)
      : text_(std::move(text)), diagnostics_(diagnostics) {}

  // The next piece, or false at the end of the file.
  bool Next(Piece& piece) {
    if (pos_ >= text_.size()) return false;
    piece.line = line_;
    const std::size_t lineEnd = std::min(text_.find('\n', pos_), text_.size());
    const std::size_t length = std::min(lineEnd - pos_, kConfigPieceLength);
    piece.text = std::string_view(text_).substr(pos_, length);
    pos_ += length;
    if (pos_ == lineEnd) {
      if (pos_ < text_.size()) ++pos_;  // the line feed ends this piece
      ++line_;
      longLineReported_ = false;
    } else if (!longLineReported_) {
      // A full buffer with more of the line behind it: the rest is the next read's.
      longLineReported_ = true;
      Report(ConfigDiagnosticKind::kLongLine, piece.line,
             "longer than 99 characters; the rest is read as a line of its own");
    }
    return true;
  }

  void Report(ConfigDiagnosticKind kind, int line, const std::string& text) {
    if (diagnostics_ == nullptr) return;
    diagnostics_->push_back({kind, line, "line " + std::to_string(line) + ": " + text});
  }

 private:
  std::string text_;
  ConfigDiagnostics* diagnostics_;
  std::size_t pos_ = 0;
  int line_ = 1;
  bool longLineReported_ = false;
};

// What of a piece is looked at: up to a NUL (a NUL ends the text, as it ends a C
// string), without the comment and without carriage returns left at its end.
std::string_view Content(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  text = text.substr(0, text.find(';'));
  while (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  return text;
}

bool HasMarker(std::string_view content, std::string_view marker) {
  return content.find(marker) != std::string_view::npos;
}

// ---------------------------------------------------------------------------
// Keys.

enum class Section { kPll, kSdram, kNand };

enum class Key {
  kBusWidth, kRowCycles, kPageSize, kPagePerBlock, kForceErase, kPlaneNum, kPageNumber,
  kOobSize, kEccPos, kBadBlackPos, kBadBlackPage, kExtClk, kCpuSpeed, kPhmDiv, kBoudRate,
  kUseUart, kSdramWidth, kBanks, kRowAddr, kColAddr, kIsMobile, kIsBusShare, kBchBit,
  kWpPin, kBlockPerChip,
};

struct KeyName {
  std::string_view text;
  Key key;
};

// Search order matters: the first key whose text occurs in the line wins. The full
// table's end mark LAST_ONE is no key and is left out.
constexpr std::array<KeyName, 24> kFullGrammarKeys{{
    {"BUSWIDTH", Key::kBusWidth},       {"ROWCYCLES", Key::kRowCycles},
    {"PAGESIZE", Key::kPageSize},       {"PAGEPERBLOCK", Key::kPagePerBlock},
    {"FORCEERASE", Key::kForceErase},   {"PLANENUM", Key::kPlaneNum},
    {"OOBSIZE", Key::kOobSize},         {"ECCPOS", Key::kEccPos},
    {"BADBLACKPOS", Key::kBadBlackPos}, {"BADBLACKPAGE", Key::kBadBlackPage},
    {"EXTCLK", Key::kExtClk},           {"CPUSPEED", Key::kCpuSpeed},
    {"PHMDIV", Key::kPhmDiv},           {"BOUDRATE", Key::kBoudRate},
    {"USEUART", Key::kUseUart},         {"SDRAMWIDTH", Key::kSdramWidth},
    {"BANKS", Key::kBanks},             {"ROWADDR", Key::kRowAddr},
    {"COLADDR", Key::kColAddr},         {"ISMOBILE", Key::kIsMobile},
    {"ISBUSSHARE", Key::kIsBusShare},   {"BCHBIT", Key::kBchBit},
    {"WPPIN", Key::kWpPin},             {"BLOCKPERCHIP", Key::kBlockPerChip},
}};

constexpr std::array<KeyName, 10> kNandGrammarKeys{{
    {"BUSWIDTH", Key::kBusWidth},       {"ROWCYCLES", Key::kRowCycles},
    {"PAGESIZE", Key::kPageSize},       {"PAGEPERBLOCK", Key::kPagePerBlock},
    {"FORCEERASE", Key::kForceErase},   {"PAGENUMBER", Key::kPageNumber},
    {"OOBSIZE", Key::kOobSize},         {"ECCPOS", Key::kEccPos},
    {"BADBLACKPOS", Key::kBadBlackPos}, {"BADBLACKPAGE", Key::kBadBlackPage},
}};

const KeyName* FindKey(std::string_view content, std::span<const KeyName> table) {
  for (const KeyName& name : table) {
    if (content.find(name.text) != std::string_view::npos) return &name;
  }
  return nullptr;
}

// Whether a key acts in a section; a key of another section is found and ignored
// (SDRAMWIDTH acts nowhere: the SDRAM bus is set by BUSWIDTH in [SDRAM]).
bool Acts(Key key, Section section) {
  switch (section) {
    case Section::kPll:
      return key == Key::kExtClk || key == Key::kCpuSpeed || key == Key::kPhmDiv ||
             key == Key::kBoudRate || key == Key::kUseUart;
    case Section::kSdram:
      return key == Key::kBusWidth || key == Key::kBanks || key == Key::kRowAddr ||
             key == Key::kColAddr || key == Key::kIsMobile || key == Key::kIsBusShare;
    case Section::kNand:
      switch (key) {
        case Key::kBusWidth: case Key::kRowCycles: case Key::kPageSize:
        case Key::kPagePerBlock: case Key::kForceErase: case Key::kPlaneNum:
        case Key::kPageNumber: case Key::kOobSize: case Key::kEccPos:
        case Key::kBadBlackPos: case Key::kBadBlackPage: case Key::kBchBit:
        case Key::kWpPin: case Key::kBlockPerChip:
          return true;
        default:
          return false;
      }
  }
  return false;
}

std::uint8_t Low8(std::uint32_t value) { return static_cast<std::uint8_t>(value & 0xFFu); }

// Stores a value that Acts() allowed. CPUSPEED needs a non-zero extClk (checked before).
void Apply(Key key, Section section, std::uint32_t value, BootConfig& c) {
  switch (key) {
    case Key::kBusWidth:
      if (section == Section::kSdram) {
        c.sdramWidth = value == 32 ? 0 : 1;
      } else {
        c.nandBusWidth = value;
      }
      break;
    case Key::kRowCycles: c.nandRowCycles = value; break;
    case Key::kPageSize: c.nandPageSize = value; break;
    case Key::kPagePerBlock: c.nandPagesPerBlock = value; break;
    case Key::kForceErase: c.nandForceErase = value; break;
    // Models 1..3 carry their plane count in the field model 0 uses for the page count.
    case Key::kPlaneNum: c.nandPageNumber = value; break;
    case Key::kPageNumber: c.nandPageNumber = value; break;
    case Key::kOobSize: c.nandOobSize = value; break;
    case Key::kEccPos: c.nandEccPos = value; break;
    case Key::kBadBlackPos: c.nandBadBlockPos = value; break;
    case Key::kBadBlackPage: c.nandBadBlockPage = value; break;
    case Key::kBchBit: c.nandBchBits = value; break;
    case Key::kWpPin: c.nandWpPin = value; break;
    case Key::kBlockPerChip: c.nandBlocksPerChip = value; break;
    case Key::kExtClk: c.extClk = Low8(value); break;
    case Key::kCpuSpeed: c.cpuMult = Low8(value / c.extClk); break;
    case Key::kPhmDiv: c.phmDiv = Low8(value); break;
    case Key::kBoudRate: c.baudRate = value; break;
    case Key::kUseUart: c.useUart = Low8(value); break;
    case Key::kBanks: c.sdramBanks = Low8(value / 4); break;
    case Key::kRowAddr: c.sdramRowAddr = Low8(value); break;
    case Key::kColAddr: c.sdramColAddr = Low8(value); break;
    case Key::kIsMobile: c.sdramIsMobile = Low8(value); break;
    case Key::kIsBusShare: c.sdramIsBusShare = Low8(value); break;
    case Key::kSdramWidth: break;
  }
}

// ---------------------------------------------------------------------------
// One setting line.

void ApplyLine(std::string_view content, int line, Section section, std::span<const KeyName> keys,
               BootConfig& config, PieceReader& reader) {
  const KeyName* name = FindKey(content, keys);
  if (name == nullptr || !Acts(name->key, section)) return;
  const std::string key(name->text);

  constexpr std::string_view kBlanks = " \t";
  const std::size_t blank = content.find_first_of(kBlanks);
  if (blank == 0) {
    reader.Report(ConfigDiagnosticKind::kLeadingBlank, line,
                  "setting of " + key + " begins with a blank or tab; line ignored");
    return;
  }
  const std::size_t start =
      blank == std::string_view::npos ? blank : content.find_first_not_of(kBlanks, blank);
  if (start == std::string_view::npos) {
    reader.Report(ConfigDiagnosticKind::kNoValue, line, key + " has no value; line ignored");
    return;
  }
  const std::string_view word = content.substr(start, content.find_first_of(kBlanks, start) - start);

  std::uint64_t number = 0;
  for (char ch : word) {
    if (ch < '0' || ch > '9') {
      reader.Report(ConfigDiagnosticKind::kNotDecimal, line,
                    "value '" + std::string(word) + "' of " + key +
                        " is not a decimal number; line ignored");
      return;
    }
    number = number * 10 + static_cast<std::uint64_t>(ch - '0');
    if (number > 0xFFFFFFFFu) {
      reader.Report(ConfigDiagnosticKind::kOutOfRange, line,
                    "value '" + std::string(word) + "' of " + key +
                        " does not fit in 32 bits; line ignored");
      return;
    }
  }
  const auto value = static_cast<std::uint32_t>(number);

  if (name->key == Key::kCpuSpeed && config.extClk == 0) {
    reader.Report(ConfigDiagnosticKind::kCpuSpeedWithoutClock, line,
                  "CPUSPEED " + std::to_string(value) +
                      " cannot be turned into a multiplier while extClk is 0 "
                      "(give EXTCLK first); line ignored");
    return;
  }
  Apply(name->key, section, value, config);
}

// Reads and applies lines until one holds the marker; false when the file ends first.
bool ReadSection(PieceReader& reader, Section section, std::span<const KeyName> keys,
                 std::string_view endMarker, BootConfig& config) {
  Piece piece;
  while (reader.Next(piece)) {
    const std::string_view content = Content(piece.text);
    ApplyLine(content, piece.line, section, keys, config, reader);
    if (HasMarker(content, endMarker)) return true;
  }
  return false;
}

// Skips lines until one holds the marker; false when the file ends first.
bool SkipTo(PieceReader& reader, std::string_view marker) {
  Piece piece;
  while (reader.Next(piece)) {
    if (HasMarker(Content(piece.text), marker)) return true;
  }
  return false;
}

void ReportWholeFile(ConfigDiagnostics* diagnostics, ConfigDiagnosticKind kind,
                     std::string text) {
  if (diagnostics != nullptr) diagnostics->push_back({kind, 0, std::move(text)});
}

void ReportEndedBefore(ConfigDiagnostics* diagnostics, std::string_view marker) {
  ReportWholeFile(diagnostics, ConfigDiagnosticKind::kEndedEarly,
                  "the file ended before " + std::string(marker));
}

// The whole file as a text-mode read sees it (CR LF read as LF), or nullopt when it
// cannot be opened. A folder counts as a file that cannot be opened, as it does for
// the platform's fopen.
std::optional<std::string> ReadConfigText(const std::filesystem::path& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return std::nullopt;
  std::ostringstream whole;
  whole << in.rdbuf();
  const std::string raw = whole.str();
  std::string text;
  text.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text.push_back(raw[i]);
  }
  return text;
}

constexpr std::string_view kMarkerPll = "[PLL]";
constexpr std::string_view kMarkerSdram = "[SDRAM]";
constexpr std::string_view kMarkerNand = "[NAND]";
constexpr std::string_view kMarkerEnd = "[END]";

}  // namespace

std::uint32_t SdramBytesFor(const BootConfig& c, int stationModel) {
  if (stationModel != kModelQx7120) return 0x1000000u;
  const unsigned shift = static_cast<unsigned>(c.sdramRowAddr) + c.sdramColAddr;
  const std::uint32_t rows = shift < 32 ? (std::uint32_t{1} << shift) : 0;
  const std::uint32_t width = 2u - c.sdramWidth;
  const std::uint32_t banks = c.sdramBanks + 1u;
  return rows * width * banks * 4u;
}

int ParseFullConfig(const std::filesystem::path& path, DeviceSession& session,
                    int stationModel, ConfigDiagnostics* diagnostics) {
  std::optional<std::string> text = ReadConfigText(path);
  if (!text) {
    ShowBootMessage(session, kTextCannotOpenConfig);
    ReportWholeFile(diagnostics, ConfigDiagnosticKind::kCannotOpen, "the file cannot be opened");
    return kParseCannotOpen;
  }
  PieceReader reader(std::move(*text), diagnostics);
  const std::span<const KeyName> keys(kFullGrammarKeys);
  BootConfig& config = session.bootConfig;

  if (!SkipTo(reader, kMarkerPll)) {
    ShowBootMessage(session, kTextConfigBad);
    ReportEndedBefore(diagnostics, kMarkerPll);
    return kParseEndedEarly;
  }
  if (!ReadSection(reader, Section::kPll, keys, kMarkerSdram, config)) {
    ShowBootMessage(session, kTextConfigBad);
    ReportEndedBefore(diagnostics, kMarkerSdram);
    return kParseEndedEarly;
  }
  if (!ReadSection(reader, Section::kSdram, keys, kMarkerNand, config)) {
    ReportEndedBefore(diagnostics, kMarkerNand);
    return kParseEndedEarly;
  }
  if (!ReadSection(reader, Section::kNand, keys, kMarkerEnd, config)) {
    ReportEndedBefore(diagnostics, kMarkerEnd);
    return kParseEndedEarly;
  }
  session.sdramBytes = SdramBytesFor(config, stationModel);
  return kParseOk;
}

int ParseFullConfig(const std::filesystem::path& path, DeviceSession& session,
                    ConfigDiagnostics* diagnostics) {
  return ParseFullConfig(path, session, session.cpuModel, diagnostics);
}

int ParseNandConfig(const std::filesystem::path& path, DeviceSession& session,
                    ConfigDiagnostics* diagnostics) {
  std::optional<std::string> text = ReadConfigText(path);
  if (!text) {
    ReportWholeFile(diagnostics, ConfigDiagnosticKind::kCannotOpen, "the file cannot be opened");
    return kParseCannotOpen;
  }
  PieceReader reader(std::move(*text), diagnostics);
  if (!SkipTo(reader, kMarkerNand)) {
    ReportEndedBefore(diagnostics, kMarkerNand);
    return kParseEndedEarly;
  }
  if (!ReadSection(reader, Section::kNand, kNandGrammarKeys, kMarkerEnd,
                   session.bootConfig)) {
    ReportEndedBefore(diagnostics, kMarkerEnd);
    return kParseEndedEarly;
  }
  return kParseOk;
}

int ParseBootConfig(const std::filesystem::path& path, DeviceSession& session,
                    ConfigDiagnostics* diagnostics) {
  switch (session.cpuModel) {
    case kModelQx7120:
      return ParseNandConfig(path, session, diagnostics);
    case kModelQx7130:
    case kModelQx7135:
    case kModelQx7105B:
      return ParseFullConfig(path, session, diagnostics);
    default:
      ShowBootMessage(session, kTextCpuIdVersionError);
      ReportWholeFile(diagnostics, ConfigDiagnosticKind::kBadCpuModel,
                      "cpuModel " + std::to_string(session.cpuModel) + " is outside 0..3");
      return kParseEndedEarly;
  }
}

}  // namespace korvex
