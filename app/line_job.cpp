#include "app/line_job.h"

#include <atomic>
#include <cstdio>

#include "host/paths.h"
#include "records/json_reader.h"
#include "records/json_writer.h"

namespace korvex {
namespace {

std::atomic<LineJob*> g_activeJob{nullptr};

std::mutex g_observerMutex;
HookFailureObserver g_observer = nullptr;
void* g_observerTarget = nullptr;

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string text;
  AppendHex(text, bytes);
  return text;
}

std::string FirstLine(std::string_view text) {
  while (!text.empty() && (text.front() == '\n' || text.front() == '\r')) text.remove_prefix(1);
  text = text.substr(0, text.find('\n'));
  if (text.ends_with('\r')) text.remove_suffix(1);
  return std::string(text);
}

}  // namespace

LineJob::LineJob(JobFile file, const JobIdentity& identity, std::string station)
    : file_(std::move(file)), identity_(identity), station_(std::move(station)) {}

std::vector<std::string> LineJob::PinImages() {
  std::vector<std::string> problems;
  std::lock_guard lock(mutex_);
  for (std::size_t image = 0; image < kImageCount; ++image) {
    if (!file_.included[image]) continue;
    const std::string name(kImageFileNames[image]);
    const std::string path = PathToUtf8(file_.paths[image]);
    if (!TakeImageFingerprint(file_.paths[image], pinned_[image])) {
      problems.push_back(name + ": " + path + " cannot be read, so it cannot be checked against job " + file_.name);
    } else if (pinned_[image].sha256 != file_.sha256[image]) {
      problems.push_back(name + ": " + path + " is not the image job " + file_.name + " released: its SHA-256 is " +
                         Hex(pinned_[image].sha256) + ", the job's is " + Hex(file_.sha256[image]));
    }
  }
  return problems;
}

std::optional<std::string> LineJob::ChangedImage() {
  std::lock_guard lock(mutex_);
  for (std::size_t image = 0; image < kImageCount; ++image) {
    if (!file_.included[image]) continue;
    ImageFingerprint now;
    const ImageCheck check = RecheckImage(file_.paths[image], pinned_[image], now);
    if (check == ImageCheck::kSame || check == ImageCheck::kRehashedSame) continue;
    const std::string head = std::string(kImageFileNames[image]) + " changed during the shift: " +
                             PathToUtf8(file_.paths[image]);
    // The box and the record's message hold 255 bytes: the hashes' first digits tell
    // them apart, `korvex job check` shows them whole.
    const std::string what = check == ImageCheck::kUnreadable
                                 ? " cannot be read any more"
                                 : " now has SHA-256 " + Hex(now.sha256).substr(0, 12) + "..., job " + file_.name +
                                       " released " + Hex(file_.sha256[image]).substr(0, 12) + "...";
    return head + what + "; nothing was written. Put the released image back.";
  }
  return std::nullopt;
}

std::string LineJob::BoardJson(int port, const DeviceSession& session, bool uidMade) const {
  std::string json;
  JsonWriter fields(json);
  fields.Open().Number("port", static_cast<std::uint64_t>(port + 1));
  fields.Text("uid", uidMade ? Hex(session.uid) : "").Text("uidText", uidMade ? session.uidText.View() : "");
  fields.Key("chip").Open().HexNumber("mainId", session.chipMainId, 4);
  fields.HexNumber("extId", session.chipExtId & 0xFFFFFFu, 6).Text("part", session.chipPart.View());
  fields.Number("pageSize", session.pageSize).Number("blockSize", session.blockSize);
  fields.Number("spareSize", session.spareSize).Number("blocks", session.totalBlocks).Close();
  fields.Text("job", identity_.job.View()).Text("lot", identity_.lot.View());
  fields.Text("workOrder", identity_.workOrder.View()).Text("operator", identity_.operatorName.View());
  fields.Text("station", station_).Close();
  return json + "\n";
}

std::optional<std::string> LineJob::RunHook(Host& host, const std::string& command, std::string_view input,
                                            std::string_view which) const {
  const std::string folder = PathToUtf8(file_.folder);
  ProcessRequest request;
  request.commandLine = command;
  request.folder = folder;
  request.input = input;
  request.timeoutMs = file_.hookTimeoutMs;
  request.outputLimit = 16 * 1024;
  const ProcessResult result = host.RunProcess(request);
  switch (result.outcome) {
    case ProcessResult::Outcome::kNotStarted:
      return std::string(which) + " could not be started: " + result.why;
    case ProcessResult::Outcome::kTimedOut:
      return "no answer within " + file_.hookTimeoutText + " s";
    case ProcessResult::Outcome::kExited: break;
  }
  if (result.exitCode == 0) return std::nullopt;
  const std::string line = FirstLine(result.errors);
  return line.empty() ? std::string(which) + " exited with code " + std::to_string(result.exitCode) : line;
}

std::optional<std::string> LineJob::RunHookBefore(Host& host, std::string_view boardJson) const {
  return RunHook(host, file_.hookBefore, boardJson, "hook_before");
}

std::optional<std::string> LineJob::RunHookAfter(Host& host, std::string_view recordJson) const {
  return RunHook(host, file_.hookAfter, recordJson, "hook_after");
}

LineJob* ActiveLineJob() { return g_activeJob.load(); }
void SetActiveLineJob(LineJob* job) { g_activeJob.store(job); }

void SetHookFailureObserver(HookFailureObserver observer, void* target) {
  std::lock_guard lock(g_observerMutex);
  g_observer = observer;
  g_observerTarget = target;
}

void TellHookFailure(int port, std::string_view text) {
  std::lock_guard lock(g_observerMutex);
  if (g_observer != nullptr) g_observer(g_observerTarget, port, text);
}

}  // namespace korvex
