#include "driver.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

namespace driver {
namespace {

struct Search {
  const std::string* className;
  const std::string* caption;
  DWORD processId;
  HWND found;
};

BOOL CALLBACK MatchTopWindow(HWND window, LPARAM context) {
  Search* search = reinterpret_cast<Search*>(context);
  if (!IsWindowVisible(window)) return TRUE;
  if (search->processId) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->processId) return TRUE;
  }
  if (!search->className->empty() && ClassNameOf(window) != *search->className) return TRUE;
  if (!search->caption->empty() && WindowText(window) != *search->caption) return TRUE;
  search->found = window;
  return FALSE;
}

BOOL CALLBACK CollectControl(HWND window, LPARAM context) {
  std::vector<Control>* controls = reinterpret_cast<std::vector<Control>*>(context);
  controls->push_back({window, GetDlgCtrlID(window), ClassNameOf(window), WindowText(window)});
  return TRUE;
}

std::string WithoutAccelerator(const std::string& caption) {
  std::string plain;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;
    plain += caption[i];
  }
  return plain;
}

void PutBigEndian(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift);
}

void PutChunk(std::string& png, const char* type, const std::string& data) {
  PutBigEndian(png, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  png += body;
  PutBigEndian(png, crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
}

}  // namespace

std::string WindowText(HWND window) {
  // WM_GETTEXT works across processes, also for the static controls of other programs.
  constexpr UINT AnswerMs = 5000;
  DWORD_PTR length = 0, copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, AnswerMs, &length)) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                           AnswerMs, &copied))
    return std::string();
  text.resize(std::min(static_cast<size_t>(copied), text.size() - 1));
  return text;
}

std::string ClassNameOf(HWND window) {
  char name[256];
  int length = GetClassNameA(window, name, sizeof name);
  return std::string(name, length > 0 ? length : 0);
}

HWND WaitForWindow(const std::string& className, const std::string& caption, DWORD timeoutMs, DWORD processId) {
  Search search{&className, &caption, processId, nullptr};
  WaitUntil([&] {
    EnumWindows(MatchTopWindow, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  }, timeoutMs);
  return search.found;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
  return WaitUntil([window] { return !IsWindow(window); }, timeoutMs);
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

bool WaitForSettled(HWND window, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  auto left = [&] { return timeoutMs - std::min(timeoutMs, GetTickCount() - start); };
  auto painted = [window] {
    if (GetUpdateRect(window, nullptr, FALSE)) return false;
    for (const Control& c : Controls(window))
      if (GetUpdateRect(c.window, nullptr, FALSE)) return false;
    return true;
  };
  // A sent message is handled only when the thread looks for messages again, so the
  // second answer comes after whatever the first one found posted. Wine copies a
  // window's drawing to the screen before its thread waits, that is by the second answer.
  for (int answers = 0; answers < 2;) {
    DWORD_PTR ignored;
    if (!IsWindow(window) || left() == 0) return false;
    if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, left(), &ignored)) return false;
    if (IsWindowVisible(window) && painted()) {
      ++answers;
    } else {
      answers = 0;
      Sleep(20);
    }
  }
  return true;
}

std::vector<Control> Controls(HWND top) {
  std::vector<Control> controls;
  EnumChildWindows(top, CollectControl, reinterpret_cast<LPARAM>(&controls));
  return controls;
}

HWND ControlById(HWND top, int id) {
  for (const Control& c : Controls(top))
    if (c.id == id) return c.window;
  return nullptr;
}

HWND ControlByCaption(HWND top, const std::string& caption) {
  for (const Control& c : Controls(top))
    if (WithoutAccelerator(c.text) == caption) return c.window;
  return nullptr;
}

// Which system icon a message box shows, judged by its pixels: icon handles of another
// process cannot be compared with ours, so each system icon is drawn on the box's
// background and compared with what the screen shows.
BoxIcon IdentifyIcon(HWND iconControl) {
  RECT r;
  GetWindowRect(iconControl, &r);
  int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return BoxIcon::None;
  HDC screen = GetDC(nullptr);
  HDC shown = CreateCompatibleDC(screen), drawn = CreateCompatibleDC(screen);
  HBITMAP shownBitmap = CreateCompatibleBitmap(screen, width, height);
  HBITMAP drawnBitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ oldShown = SelectObject(shown, shownBitmap), oldDrawn = SelectObject(drawn, drawnBitmap);
  BitBlt(shown, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  ReleaseDC(nullptr, screen);
  COLORREF background = GetPixel(shown, 0, 0);

  struct Known {
    LPCSTR id;
    BoxIcon icon;
  } const known[] = {{IDI_HAND, BoxIcon::Error},
                     {IDI_ASTERISK, BoxIcon::Information},
                     {IDI_EXCLAMATION, BoxIcon::Warning},
                     {IDI_QUESTION, BoxIcon::Question}};
  BoxIcon best = BoxIcon::None;
  int bestDifferences = width * height / 10;  // more than a tenth differing is no match
  for (const Known& k : known) {
    HBRUSH brush = CreateSolidBrush(background);
    RECT all{0, 0, width, height};
    FillRect(drawn, &all, brush);
    DeleteObject(brush);
    DrawIconEx(drawn, 0, 0, LoadIconA(nullptr, k.id), width, height, 0, nullptr, DI_NORMAL);
    int differences = 0;
    for (int y = 0; y < height; y += 2)
      for (int x = 0; x < width; x += 2) differences += GetPixel(shown, x, y) != GetPixel(drawn, x, y) ? 4 : 0;
    if (differences < bestDifferences) {
      bestDifferences = differences;
      best = k.icon;
    }
  }
  SelectObject(shown, oldShown);
  SelectObject(drawn, oldDrawn);
  DeleteObject(shownBitmap);
  DeleteObject(drawnBitmap);
  DeleteDC(shown);
  DeleteDC(drawn);
  return best;
}

MessageBoxInfo ReadMessageBox(HWND box) {
  MessageBoxInfo info;
  info.caption = WindowText(box);
  LRESULT defaultId = SendMessageA(box, DM_GETDEFID, 0, 0);
  std::string byDefId;
  for (const Control& c : Controls(box)) {
    LONG style = GetWindowLongA(c.window, GWL_STYLE);
    if (c.className == "Button") {
      info.buttons.push_back(WithoutAccelerator(c.text));
      if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) info.defaultButton = WithoutAccelerator(c.text);
      if (HIWORD(defaultId) == DC_HASDEFID && LOWORD(defaultId) == c.id) byDefId = WithoutAccelerator(c.text);
    } else if (c.className == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
      // Boxes of tests running side by side open at the same place on the screen: bring
      // this one to the front and let it paint before judging its pixels.
      for (int attempt = 0; attempt < 5 && info.icon == BoxIcon::None; ++attempt) {
        SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        WaitForSettled(box, 2000);
        info.icon = IdentifyIcon(c.window);
      }
    } else if (c.className == "Static" && !c.text.empty()) {
      info.text = c.text;
    }
  }
  if (info.defaultButton.empty()) info.defaultButton = byDefId;
  return info;
}

bool PressButtonId(HWND top, int id) {
  HWND button = ControlById(top, id);
  if (!button) return false;
  // Posted, as a click is queued: the test goes on while the program reacts.
  return PostMessageA(GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

bool PressButton(HWND top, const std::string& caption) {
  HWND button = ControlByCaption(top, caption);
  return button && PressButtonId(top, GetDlgCtrlID(button));
}

bool PressKey(HWND top, UINT virtualKey) {
  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  HWND target = top;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &thread) && thread.hwndFocus)
    target = thread.hwndFocus;
  UINT scan = MapVirtualKeyA(virtualKey, 0);
  return PostMessageA(target, WM_KEYDOWN, virtualKey, 1 | scan << 16) &&
         PostMessageA(target, WM_KEYUP, virtualKey, 1 | scan << 16 | 0xC0000000u);
}

bool TypeText(HWND top, int id, const std::string& text) {
  HWND edit = ControlById(top, id);
  if (!edit) return false;
  SendMessageA(edit, EM_SETSEL, 0, -1);
  SendMessageA(edit, WM_CLEAR, 0, 0);
  for (char c : text) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
  return true;
}

bool SaveScreenshot(HWND window, const std::string& pngPath) {
  RECT r;
  if (!GetWindowRect(window, &r)) return false;
  int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down rows
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();

  // PNG: 8-bit RGB, each row with filter type 0.
  std::string raw;
  raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
  const uint8_t* pixels = static_cast<const uint8_t*>(bits);
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    for (int x = 0; x < width; ++x) {
      const uint8_t* bgra = pixels + (static_cast<size_t>(y) * width + x) * 4;
      raw += static_cast<char>(bgra[2]);
      raw += static_cast<char>(bgra[1]);
      raw += static_cast<char>(bgra[0]);
    }
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
               static_cast<uLong>(raw.size())) != Z_OK)
    return false;
  packed.resize(packedSize);

  std::string header;
  PutBigEndian(header, static_cast<uint32_t>(width));
  PutBigEndian(header, static_cast<uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);
  std::string png("\x89PNG\r\n\x1a\n", 8);
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", packed);
  PutChunk(png, "IEND", std::string());

  FILE* file = std::fopen(pngPath.c_str(), "wb");
  if (!file) return false;
  bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written;
}

COLORREF PixelAt(HWND window, int x, int y) {
  RECT r;
  GetWindowRect(window, &r);
  HDC screen = GetDC(nullptr);
  COLORREF color = GetPixel(screen, r.left + x, r.top + y);
  ReleaseDC(nullptr, screen);
  return color;
}

}  // namespace driver
