#include "records/record_json.h"

#include <cstdio>

#include "records/json_reader.h"
#include "records/json_writer.h"

namespace korvex {
namespace {

using Writer = JsonWriter;

// Reads fields out of a parsed record, remembering whether any was missing or wrong.
class Reader {
 public:
  explicit Reader(const JsonValue& object) : object_(object) {}
  bool ok() const { return ok_; }

  const JsonValue* Get(std::string_view key, JsonValue::Kind kind) {
    const JsonValue* value = object_.Find(key);
    if (value == nullptr || value->kind != kind) ok_ = false;
    return ok_ ? value : nullptr;
  }
  // A text longer than its field (an older station's U+FFFD for each stray byte
  // could make one) is cut to whole characters rather than losing the record.
  template <std::size_t N>
  void Text(std::string_view key, BoundedString<N>& out) {
    if (const JsonValue* v = Get(key, JsonValue::Kind::kString)) AssignText(out, v->text);
  }
  template <typename T>
  void Number(std::string_view key, T& out) {
    const JsonValue* v = Get(key, JsonValue::Kind::kInteger);
    if (v == nullptr) return;
    if (v->integer < 0) ok_ = false;
    out = static_cast<T>(v->integer);
    if (static_cast<std::int64_t>(out) != v->integer) ok_ = false;
  }
  void Flag(std::string_view key, bool& out) {
    if (const JsonValue* v = Get(key, JsonValue::Kind::kBool)) out = v->boolean;
  }
  void Hex(std::string_view key, std::span<std::uint8_t> out) {
    if (const JsonValue* v = Get(key, JsonValue::Kind::kString)) ok_ = ParseHex(v->text, out);
  }
  void Time(std::string_view key, LocalTime& out) {
    const JsonValue* v = Get(key, JsonValue::Kind::kString);
    if (v == nullptr) return;
    const auto time = ParseRecordTime(v->text);
    if (!time) ok_ = false;
    else out = *time;
  }
  void HexNumber(std::string_view key, std::uint32_t& out, std::size_t digits) {
    const JsonValue* v = Get(key, JsonValue::Kind::kString);
    if (v == nullptr) return;
    std::array<std::uint8_t, 4> bytes{};
    if (v->text.size() != digits || digits % 2 != 0 ||
        !ParseHex(v->text, std::span(bytes).last(digits / 2))) {
      ok_ = false;
      return;
    }
    out = std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 |
          bytes[3];
  }

 private:
  const JsonValue& object_;
  bool ok_ = true;
};

// The chip object, or null for a chip never identified.
void AppendChipJson(std::string& out, const ChipRecord& c) {
  if (!c.known) {
    out += "null";
    return;
  }
  Writer chip(out);
  chip.Open().HexNumber("mainId", c.mainId, 4).HexNumber("extId", c.extId, 6);
  chip.Text("part", c.part.View()).Number("pageSize", c.pageSize);
  chip.Number("blockSize", c.blockSize).Number("spareSize", c.spareSize);
  chip.Number("blocks", c.blocks).Close();
}

void AppendImagesJson(std::string& out, const BoardRecord& r) {
  out += '[';
  for (std::size_t i = 0; i < r.imageCount; ++i) {
    const ImageRecord& m = r.images[i];
    if (i > 0) out += ',';
    Writer image(out);
    image.Open().Text("file", m.file.View()).Number("size", m.size);
    if (m.hashed) image.Hex("sha256", m.sha256);
    else image.Text("sha256", "");
    image.Number("firstPage", m.firstPage).Number("endPage", m.endPage);
    image.Number("blocksSkipped", m.blocksSkipped).Flag("written", m.written);
    image.Text("verify", kVerifyCodes[static_cast<std::size_t>(m.verify)]).Close();
  }
  out += ']';
}

}  // namespace

void AppendRecordJson(std::string& out, const BoardRecord& r) {
  Writer w(out);
  w.Open().Number("v", kRecordFormatVersion).Text("id", r.id.View());
  w.Text("station", r.station.View()).Number("port", static_cast<std::uint64_t>(r.port));
  w.Text("model", r.model.View());
  w.Text("start", FormatRecordTime(r.start).View()).Text("end", FormatRecordTime(r.end).View());
  w.Number("durationMs", r.durationMs);
  w.Text("result", r.Passed() ? "passed" : "failed").Text("reason", BurnEndCode(r.reason));
  w.Text("message", r.message.View());
  w.Key("chip");
  AppendChipJson(out, r.chip);
  if (r.hasUid) w.Hex("uid", r.uid).Text("uidText", r.uidText.View());
  else w.Text("uid", "").Text("uidText", "");
  w.Key("images");
  AppendImagesJson(out, r);
  w.Key("options");
  Writer options(out);
  options.Open().Flag("formatAfter", r.options.formatAfter).Flag("eraseChip", r.options.eraseChip);
  options.Flag("fsFormat", r.options.fsFormat).Flag("verify", r.options.verify).Close();
  const JobIdentity& job = r.identity;
  w.Text("job", job.job.View()).Text("lot", job.lot.View()).Text("workOrder", job.workOrder.View());
  w.Text("operator", job.operatorName.View());
  w.Close();
  out += '\n';
}

namespace {

// The chip object, or null for a chip never identified; anything else is no record.
bool ReadChip(const JsonValue* chip, ChipRecord& out) {
  if (chip == nullptr || chip->kind != JsonValue::Kind::kObject) {
    return chip != nullptr && chip->kind == JsonValue::Kind::kNull;
  }
  Reader c(*chip);
  std::uint32_t mainId = 0;
  c.HexNumber("mainId", mainId, 4);
  out.mainId = static_cast<std::uint16_t>(mainId);
  c.HexNumber("extId", out.extId, 6);
  c.Text("part", out.part);
  c.Number("pageSize", out.pageSize);
  c.Number("blockSize", out.blockSize);
  c.Number("spareSize", out.spareSize);
  c.Number("blocks", out.blocks);
  if (!c.ok()) return false;
  out.known = true;
  return true;
}

bool ReadImage(const JsonValue& item, ImageRecord& m) {
  Reader image(item);
  image.Text("file", m.file);
  image.Number("size", m.size);
  if (const JsonValue* sha = image.Get("sha256", JsonValue::Kind::kString); sha && !sha->text.empty()) {
    image.Hex("sha256", m.sha256);
    m.hashed = true;
  }
  image.Number("firstPage", m.firstPage);
  image.Number("endPage", m.endPage);
  image.Number("blocksSkipped", m.blocksSkipped);
  image.Flag("written", m.written);
  if (const JsonValue* verify = image.Get("verify", JsonValue::Kind::kString)) {
    std::size_t code = 0;
    while (code < kVerifyCodes.size() && kVerifyCodes[code] != verify->text) ++code;
    if (code == kVerifyCodes.size()) return false;
    m.verify = static_cast<VerifyOutcome>(code);
  }
  return image.ok();
}

bool ReadImages(Reader& read, BoardRecord& r) {
  const JsonValue* images = read.Get("images", JsonValue::Kind::kArray);
  if (images == nullptr) return true;
  if (images->items.size() > r.images.size()) return false;
  for (const JsonValue& item : images->items) {
    if (!ReadImage(item, r.images[r.imageCount++])) return false;
  }
  return true;
}

bool ReadOptions(Reader& read, BurnOptions& out) {
  const JsonValue* options = read.Get("options", JsonValue::Kind::kObject);
  if (options == nullptr) return true;
  Reader o(*options);
  o.Flag("formatAfter", out.formatAfter);
  o.Flag("eraseChip", out.eraseChip);
  o.Flag("fsFormat", out.fsFormat);
  o.Flag("verify", out.verify);
  return o.ok();
}

// The fields before the chip: version, place, times and how the burn ended.
bool ReadHead(Reader& read, BoardRecord& r) {
  int version = 0;
  read.Number("v", version);
  if (version < 1 || version > kRecordFormatVersion) return false;
  read.Text("id", r.id);
  read.Text("station", r.station);
  read.Number("port", r.port);
  if (version == 1) ++r.port;  // version 1 counted ports from 0
  if (r.port < 1 || r.port > static_cast<std::int32_t>(kPortCount)) return false;
  read.Text("model", r.model);
  read.Time("start", r.start);
  read.Time("end", r.end);
  read.Number("durationMs", r.durationMs);
  read.Text("message", r.message);
  if (const JsonValue* reason = read.Get("reason", JsonValue::Kind::kString)) {
    const auto known = BurnEndFromCode(reason->text);
    if (!known) return false;
    r.reason = *known;
  }
  return true;
}

}  // namespace

bool ParseRecordJson(std::string_view line, BoardRecord& r) {
  const std::optional<JsonValue> json = ParseJson(line);
  if (!json || json->kind != JsonValue::Kind::kObject) return false;
  r = BoardRecord{};
  Reader read(*json);
  if (!ReadHead(read, r) || !ReadChip(json->Find("chip"), r.chip)) return false;
  if (const JsonValue* uid = read.Get("uid", JsonValue::Kind::kString); uid && !uid->text.empty()) {
    read.Hex("uid", r.uid);
    read.Text("uidText", r.uidText);
    r.hasUid = true;
  }
  if (!ReadImages(read, r) || !ReadOptions(read, r.options)) return false;
  // Records written before jobs existed have none of these: they read as empty.
  for (const auto& [key, field] : {std::pair{"job", &r.identity.job}, {"lot", &r.identity.lot},
                                   {"workOrder", &r.identity.workOrder}, {"operator", &r.identity.operatorName}}) {
    if (json->Find(key) != nullptr) read.Text(key, *field);
  }
  return read.ok();
}

}  // namespace korvex
