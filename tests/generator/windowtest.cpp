#include "windowtest.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>

#include "driver.h"
#include "testsupport.h"
#include "uitest.h"

using namespace testing_support;

namespace windowtest {

namespace {

constexpr size_t RemoteSize = 8192;
constexpr size_t RemoteTextOffset = 1024;

HWND WaitForOwnWindow(HWND main, const char* className) {
  DWORD processId = 0;
  GetWindowThreadProcessId(main, &processId);
  HWND window = driver::WaitForWindow(className, "", 10000, processId);
  if (window) driver::WaitForSettled(window);  // painted before it is read or photographed
  return window;
}

}  // namespace

HWND OpenFromLink(HWND main, int linkId, const char* className) {
  HWND link = driver::ControlById(main, linkId);
  if (!link) return nullptr;
  PostMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
  PostMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
  return WaitForOwnWindow(main, className);
}

HWND OpenFromButton(HWND main, int buttonId, const char* className) {
  if (!driver::PressButtonId(main, buttonId)) return nullptr;
  return WaitForOwnWindow(main, className);
}

void ExpectModalWindow(HWND window, HWND main, const std::string& caption, int clientWidth, int clientHeight) {
  EXPECT_EQ(driver::WindowText(window), caption);
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, clientWidth);
  EXPECT_EQ(client.bottom, clientHeight);
  EXPECT_FALSE(IsWindowEnabled(main)) << caption << " is modal";
}

namespace {

// The owner takes the focus back once it handled what the closing sent it.
bool ClosedAndOwnerSettled(HWND window) {
  HWND owner = GetWindow(window, GW_OWNER);
  return driver::WaitForWindowGone(window, 5000) && (!owner || driver::WaitForSettled(owner));
}

}  // namespace

bool CloseWithKey(HWND window, UINT key) {
  driver::PressKey(window, key);
  return ClosedAndOwnerSettled(window);
}

bool CloseWithButton(HWND window, int buttonId) {
  driver::PressButtonId(window, buttonId);
  return ClosedAndOwnerSettled(window);
}

std::string ClipboardText() {
  std::string text;
  driver::WaitUntil([] { return OpenClipboard(nullptr) != 0; }, 5000);
  HANDLE data = GetClipboardData(CF_TEXT);
  if (data) {
    const char* bytes = static_cast<const char*>(GlobalLock(data));
    if (bytes) text = bytes;
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

std::string OptionsRecordWithoutId(const std::string& sfxPath) {
  SfxOptions options;
  if (!sfxtest::ReadOptionsRecord(ReadFileBytes(sfxPath), options)) return std::string();
  std::memset(options.InstanceId, 0, sizeof options.InstanceId);
  return std::string(reinterpret_cast<const char*>(&options), sizeof options);
}

std::string SfxFileWithoutId(const std::string& sfxPath) {
  std::string bytes = ReadFileBytes(sfxPath);
  SfxOptions options;
  uint64_t offset = 0;
  if (!sfxtest::ReadOptionsRecord(bytes, options, &offset)) return std::string();
  std::memset(&bytes[offset + offsetof(SfxOptions, InstanceId)], 0, sizeof SfxOptions::InstanceId);
  // The checksum of the whole file covers the id as well.
  uint32_t pe = 0;
  std::memcpy(&pe, bytes.data() + 0x3C, 4);
  if (pe + 92 <= bytes.size()) std::memset(&bytes[pe + 88], 0, 4);
  return bytes;
}

RemoteListView::RemoteListView(HWND list) : list_(list) {
  DWORD processId = 0;
  GetWindowThreadProcessId(list, &processId);
  process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
  if (process_)
    memory_ = static_cast<char*>(VirtualAllocEx(process_, nullptr, RemoteSize, MEM_COMMIT, PAGE_READWRITE));
}

RemoteListView::~RemoteListView() {
  if (memory_) VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
  if (process_) CloseHandle(process_);
}

int RemoteListView::RowCount() const { return static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0)); }

std::string RemoteListView::Cell(int row, int column) const {
  if (!memory_) return std::string();
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = memory_ + RemoteTextOffset;
  item.cchTextMax = static_cast<int>(RemoteSize - RemoteTextOffset);
  WriteProcessMemory(process_, memory_, &item, sizeof item, nullptr);
  LRESULT length = SendMessageA(list_, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(memory_));
  std::string text(static_cast<size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) ReadProcessMemory(process_, memory_ + RemoteTextOffset, &text[0], text.size(), nullptr);
  return text;
}

int RemoteListView::FindRow(const std::string& name) const {
  for (int row = 0, count = RowCount(); row < count; ++row)
    if (Cell(row, 0) == name) return row;
  return -1;
}

bool RemoteListView::Select(int row) const {
  if (!memory_) return false;
  LVITEMA item{};
  item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
  WriteProcessMemory(process_, memory_, &item, sizeof item, nullptr);
  bool done = SendMessageA(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(memory_)) != 0;
  SendMessageA(list_, LVM_ENSUREVISIBLE, row, FALSE);
  return done;
}

int RemoteListView::SelectedRow() const {
  return static_cast<int>(SendMessageA(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

RECT RemoteListView::RowRect(int row) const {
  RECT rect{LVIR_BOUNDS, 0, 0, 0};
  if (!memory_) return RECT{};
  WriteProcessMemory(process_, memory_, &rect, sizeof rect, nullptr);
  if (!SendMessageA(list_, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(memory_))) return RECT{};
  ReadProcessMemory(process_, memory_, &rect, sizeof rect, nullptr);
  return rect;
}

void DoubleClick(HWND control, POINT point) {
  LPARAM at = MAKELPARAM(point.x, point.y);
  PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(control, WM_LBUTTONUP, 0, at);
  PostMessageA(control, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  PostMessageA(control, WM_LBUTTONUP, 0, at);
}

}  // namespace windowtest
