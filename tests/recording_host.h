#pragma once
// A host for tests: forwards the registry and devices to an inner host (usually the
// simulator), records every message box and answers it with OK, keeps a fixed clock
// that tests can set, records sleeps without waiting, and names a module path inside
// a test folder.

#include <atomic>
#include <functional>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "host/host.h"

namespace korvex::testing {

struct RecordedMessage {
  std::string text;
  std::string caption;
  int port = kNoPort;
};

class RecordingHost : public Host {
 public:
  RecordingHost(Host& inner, std::filesystem::path home) : inner_(inner), home_(std::move(home)) {}

  std::vector<RecordedMessage> Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  std::vector<std::string> MessageTexts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    for (const auto& m : messages_) texts.push_back(m.text);
    return texts;
  }
  void ClearMessages() {
    std::lock_guard lock(mutex_);
    messages_.clear();
  }
  void SetTime(const LocalTime& time) {
    std::lock_guard lock(mutex_);
    time_ = time;
  }
  std::vector<std::uint32_t> Sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }

  long RegOpenKeyRead(std::string_view path, RegKey& key) override {
    return inner_.RegOpenKeyRead(path, key);
  }
  long RegEnumKeyName(RegKey key, std::uint32_t index, char* name, std::uint32_t size) override {
    return inner_.RegEnumKeyName(key, index, name, size);
  }
  long RegQueryString(RegKey key, std::string_view value, char* data, std::uint32_t size) override {
    return inner_.RegQueryString(key, value, data, size);
  }
  long RegQueryDword(RegKey key, std::string_view value, std::uint32_t& out) override {
    return inner_.RegQueryDword(key, value, out);
  }
  void RegCloseKey(RegKey key) override { inner_.RegCloseKey(key); }
  HostHandle OpenDevice(std::string_view path, std::uint32_t& lastError) override {
    return inner_.OpenDevice(path, lastError);
  }
  DeviceResult DeviceIoControl(HostHandle h, std::uint32_t code, const RequestBuffer& in,
                               RequestBuffer& out) override {
    return inner_.DeviceIoControl(h, code, in, out);
  }
  DeviceResult WriteDevice(HostHandle h, const std::uint8_t* data, std::uint32_t count) override {
    return inner_.WriteDevice(h, data, count);
  }
  DeviceResult ReadDevice(HostHandle h, std::uint8_t* data, std::uint32_t count) override {
    return inner_.ReadDevice(h, data, count);
  }
  bool CloseDevice(HostHandle h) override {
    ++closedDevices;
    return inner_.CloseDevice(h);
  }
  std::intptr_t SendWindowMessage(WindowHandle window, std::uint32_t message,
                                  std::uintptr_t wParam, std::intptr_t lParam) override {
    return inner_.SendWindowMessage(window, message, wParam, lParam);
  }
  bool StartThread(ThreadProc proc, void* argument) override {
    return !failThreads && inner_.StartThread(proc, argument);
  }

  MessageAnswer ShowMessageBox(const MessageBoxRequest& request) override {
    if (whileMessageShows) whileMessageShows();
    std::lock_guard lock(mutex_);
    messages_.push_back({std::string(request.text), std::string(request.caption), request.port});
    return MessageAnswer::Ok;
  }
  LocalTime GetLocalTime() override {
    std::lock_guard lock(mutex_);
    return time_;
  }
  void Sleep(std::uint32_t milliseconds) override {
    std::lock_guard lock(mutex_);
    sleeps_.push_back(milliseconds);
  }
  void RandomBytes(std::span<std::uint8_t> out) override { inner_.RandomBytes(out); }
  std::string ModuleFileName() override { return (home_ / "korvex").string(); }
  ProcessResult RunProcess(const ProcessRequest& request) override { return inner_.RunProcess(request); }

 public:
  // A host on which no thread can be created.
  std::atomic<bool> failThreads{false};
  std::atomic<int> closedDevices{0};
  // Runs inside ShowMessageBox, as a window's timers do in a modal loop.
  std::function<void()> whileMessageShows;

 private:
  Host& inner_;
  std::filesystem::path home_;
  mutable std::mutex mutex_;
  std::vector<RecordedMessage> messages_;
  std::vector<std::uint32_t> sleeps_;
  LocalTime time_{2010, 3, 4, 9, 5, 7, 42, 4};
};

}  // namespace korvex::testing
