#include "host/win32/device_notifications.h"

#include <dbt.h>

#include "host/win32/utf8.h"

namespace korvex {

const GUID kDriverInterfaceClass = {0x5c0e91a7, 0x3d42, 0x4b8e, {0x9f, 0x16, 0x2a, 0xb7, 0xc4, 0x0d, 0x58, 0xe3}};

namespace {

constexpr wchar_t kWindowClass[] = L"KorvexDeviceChanges";

}  // namespace

HDEVNOTIFY RegisterDriverNotifications(HWND window) {
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = kDriverInterfaceClass;
  return ::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

std::optional<DeviceChangeNote> DecodeDeviceChange(WPARAM wParam, LPARAM lParam) {
  if (wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE) return std::nullopt;
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
  if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) return std::nullopt;
  const auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
  if (!::IsEqualGUID(device->dbcc_classguid, kDriverInterfaceClass)) return std::nullopt;
  // The name runs to its NUL within the record's size.
  const std::size_t room =
      (device->dbcc_size - offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) / sizeof(wchar_t);
  const std::wstring_view name(device->dbcc_name, ::wcsnlen(device->dbcc_name, room));
  return DeviceChangeNote{wParam == DBT_DEVICEARRIVAL ? DeviceChange::kArrival : DeviceChange::kRemoval,
                          WideToUtf8(name)};
}

DeviceChangeWindow::DeviceChangeWindow(DeviceChangeHandler handler) : handler_(std::move(handler)) {
  const HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  thread_ = std::thread([this, ready] { Run(ready); });
  ::WaitForSingleObject(ready, INFINITE);
  ::CloseHandle(ready);
}

DeviceChangeWindow::~DeviceChangeWindow() {
  if (window_ != nullptr) ::PostMessageW(window_, WM_CLOSE, 0, 0);
  thread_.join();
}

void DeviceChangeWindow::Run(HANDLE ready) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &DeviceChangeWindow::Procedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kWindowClass;
  ::RegisterClassExW(&windowClass);  // fails harmlessly when registered before
  const HWND window = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
  HDEVNOTIFY registration = window != nullptr ? RegisterDriverNotifications(window) : nullptr;
  window_ = window;
  ::SetEvent(ready);
  if (window == nullptr) return;
  MSG message{};
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
  if (registration != nullptr) ::UnregisterDeviceNotification(registration);
}

LRESULT CALLBACK DeviceChangeWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<DeviceChangeWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_DEVICECHANGE && self != nullptr) {
    if (const auto note = DecodeDeviceChange(wParam, lParam)) self->handler_(note->change, note->symbolicLink);
    return TRUE;
  }
  if (message == WM_CLOSE) {
    ::DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace korvex
