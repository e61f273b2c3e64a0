#include "ovforms.h"

#include <commctrl.h>

#include <memory>
#include <stdexcept>

#include "ovdialogs.h"

namespace {

BOOL CALLBACK TakeFirstIcon(HMODULE, LPCSTR, LPSTR name, LONG_PTR context) {
  *reinterpret_cast<HICON*>(context) = LoadIconA(GetModuleHandleA(nullptr), name);
  return FALSE;
}

}  // namespace

int Scaled(int pixels) {
  static int dpi = 0;
  if (dpi == 0) {
    HDC screen = GetDC(nullptr);
    dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  return MulDiv(pixels, dpi, 96);
}

HICON ApplicationIcon() {
  static HICON icon = nullptr;
  if (!icon)
    EnumResourceNamesA(GetModuleHandleA(nullptr), RT_GROUP_ICON, TakeFirstIcon, reinterpret_cast<LONG_PTR>(&icon));
  return icon;
}

DisabledTaskWindows::DisabledTaskWindows(HWND except) : except_(except) {
  EnumThreadWindows(GetCurrentThreadId(), Disable, reinterpret_cast<LPARAM>(this));
}

DisabledTaskWindows::~DisabledTaskWindows() {
  for (HWND w : disabled_)
    if (IsWindow(w)) EnableWindow(w, TRUE);
}

BOOL CALLBACK DisabledTaskWindows::Disable(HWND window, LPARAM context) {
  DisabledTaskWindows* self = reinterpret_cast<DisabledTaskWindows*>(context);
  if (window != self->except_ && IsWindowVisible(window) && IsWindowEnabled(window)) {
    EnableWindow(window, FALSE);
    self->disabled_.push_back(window);
  }
  return TRUE;
}

Form::~Form() {
  if (window_) DestroyWindow(window_);
}

std::string Form::Text(int id) const {
  HWND control = Item(id);
  int length = GetWindowTextLengthA(control);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(control, &text[0], length + 1)));
  return text;
}

void Form::SetText(int id, const std::string& text) { SetWindowTextA(Item(id), text.c_str()); }

bool Form::Checked(int id) const { return SendMessageA(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void Form::SetChecked(int id, bool checked) {
  HWND control = Item(id);
  if (checked && (GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON) {
    // A checked radio clears the rest of its group. The group is walked here because the
    // system's group walk skips disabled buttons, and a disabled button may be checked.
    HWND first = control;
    while (!(GetWindowLongA(first, GWL_STYLE) & WS_GROUP) && GetWindow(first, GW_HWNDPREV))
      first = GetWindow(first, GW_HWNDPREV);
    for (HWND other = first; other; other = GetWindow(other, GW_HWNDNEXT)) {
      if (other != first && (GetWindowLongA(other, GWL_STYLE) & WS_GROUP)) break;
      if (other != control && (GetWindowLongA(other, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
        SendMessageA(other, BM_SETCHECK, BST_UNCHECKED, 0);
    }
  }
  SendMessageA(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Form::Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }

void Form::Enable(int id, bool enabled) { EnableWindow(Item(id), enabled ? TRUE : FALSE); }

std::string Form::Caption() const {
  int length = GetWindowTextLengthA(window_);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(window_, &text[0], length + 1)));
  return text;
}


bool Form::CreateForm(const char* className, const std::string& caption, int clientWidth, int clientHeight,
                      DWORD style, HWND owner, HICON icon) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (!GetClassInfoExA(instance, className, &existing)) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = className;
    wc.hIcon = icon;
    wc.hIconSm = icon;
    if (!RegisterClassExA(&wc)) return false;
  }
  RECT frame{0, 0, Scaled(clientWidth), Scaled(clientHeight)};
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
  if (fontCount_ == 0) AddFont("Tahoma", 8, false);
  window_ = CreateWindowExA(WS_EX_CONTROLPARENT, className, caption.c_str(), style, 0, 0, frame.right - frame.left,
                            frame.bottom - frame.top, owner, nullptr, instance, this);
  if (!window_) return false;
  Centre(owner);
  return true;
}

void Form::Centre(HWND owner) {
  RECT own, area;
  GetWindowRect(window_, &own);
  if (owner && IsWindowVisible(owner)) {
    GetWindowRect(owner, &area);
  } else {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(owner ? owner : window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    area = monitor.rcWork;
  }
  int width = own.right - own.left, height = own.bottom - own.top;
  int x = area.left + (area.right - area.left - width) / 2, y = area.top + (area.bottom - area.top - height) / 2;
  SetWindowPos(window_, nullptr, x > 0 ? x : 0, y > 0 ? y : 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Form::CreateControls(const ControlDef* controls, size_t count) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  for (size_t i = 0; i < count; ++i) {
    const ControlDef& c = controls[i];
    DWORD exStyle = lstrcmpiA(c.className, "Edit") == 0 ? WS_EX_CLIENTEDGE : 0;
    DWORD style = c.style;
    if (exStyle) style &= ~WS_BORDER;
    HWND control = CreateWindowExA(exStyle, c.className, c.caption, WS_CHILD | WS_VISIBLE | style, Scaled(c.x),
                                   Scaled(c.y), Scaled(c.width), Scaled(c.height), window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
                                   instance, nullptr);
    if (!control) return false;
    if (c.link) {
      if (!linkFont_.Valid()) {
        LOGFONTA font{};
        GetObjectA(fonts_[0].Get(), sizeof font, &font);
        font.lfUnderline = TRUE;
        linkFont_.Reset(CreateFontIndirectA(&font));
      }
      links_.push_back(control);
    }
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>((c.link ? linkFont_ : fonts_[0]).Get()), FALSE);
    if (style & BS_DEFPUSHBUTTON && lstrcmpiA(c.className, "Button") == 0 &&
        (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
      defaultButton_ = c.id;
  }
  return true;
}

HFONT Form::FontOf(int index) const {
  return static_cast<HFONT>((index < fontCount_ ? fonts_[index] : fonts_[0]).Get());
}

int Form::AddFont(const char* face, int pointSize, bool bold, bool underline) {
  if (fontCount_ == static_cast<int>(sizeof fonts_ / sizeof fonts_[0])) return 0;
  HDC screen = GetDC(nullptr);
  int height = -MulDiv(pointSize, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  fonts_[fontCount_].Reset(CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, underline, FALSE,
                                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                       DEFAULT_PITCH | FF_DONTCARE, face));
  return fontCount_++;
}

void Form::SetControlFont(int id, int fontIndex) {
  SendMessageA(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(fontIndex)), TRUE);
}

int Form::ShowModal() {
  modalResult_ = 0;
  modal_ = true;
  auto disabled = std::make_unique<DisabledTaskWindows>(window_);
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  MSG message;
  while (modalResult_ == 0) {
    BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      // A quit request ends the modal loop too; the outer loop must still see it.
      if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
      if (modalResult_ == 0) modalResult_ = IDCANCEL;
      break;
    }
    ProcessMessage(message);
  }
  // The owner comes back before this window hides, so activation returns to it and not to
  // another program.
  disabled.reset();
  ShowWindow(window_, SW_HIDE);
  HWND owner = GetWindow(window_, GW_OWNER);
  if (owner) SetActiveWindow(owner);
  modal_ = false;
  return modalResult_;
}

void Form::FormClose() {
  if (modal_) modalResult_ = IDCANCEL;
}

void Form::ProcessMessage(MSG& message) {
  HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  Form* form = nullptr;
  if (root && reinterpret_cast<WNDPROC>(GetWindowLongPtrA(root, GWLP_WNDPROC)) == WindowProc)
    form = reinterpret_cast<Form*>(GetWindowLongPtrA(root, GWLP_USERDATA));
  if (form) {
    if ((message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) &&
        form->FormKeyDown(static_cast<UINT>(message.wParam)))
      return;
    if (IsDialogMessageA(root, &message)) return;
  }
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void Form::ProcessPendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    ProcessMessage(message);
  }
}

int Form::RunMessageLoop() {
  MSG message;
  BOOL got;
  while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0 && got != -1) ProcessMessage(message);
  return got == 0 ? static_cast<int>(message.wParam) : 0;
}

bool Form::IsLink(HWND control) const {
  for (HWND link : links_)
    if (link == control) return true;
  return false;
}

LRESULT CALLBACK Form::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Form* form;
  if (message == WM_NCCREATE) {
    form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    form->window_ = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  } else {
    form = reinterpret_cast<Form*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  }
  if (!form) return DefWindowProcA(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    form->window_ = nullptr;
    return DefWindowProcA(window, message, wParam, lParam);
  }
  // An exception must not unwind through the system's message dispatch, which does not
  // expect one; the program goes on as after an error a handler caught.
  try {
    return form->Dispatch(message, wParam, lParam);
  } catch (const std::exception& error) {
    ShowApplicationError(error);
  } catch (...) {
    ShowApplicationError(std::runtime_error("An unexpected error has occurred"));
  }
  return 0;
}

LRESULT Form::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (Message(message, wParam, lParam, result)) return result;
  switch (message) {
    case WM_COMMAND:
      // A clicked radio button is the one checked button of its group, also when a
      // disabled one of the group was checked.
      if (HIWORD(wParam) == BN_CLICKED && lParam &&
          (GetWindowLongA(reinterpret_cast<HWND>(lParam), GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
        SetChecked(LOWORD(wParam), true);
      Command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case DM_GETDEFID:
      // Lets IsDialogMessage press the default button on Enter in a plain window.
      return defaultButton_ ? MAKELRESULT(defaultButton_, DC_HASDEFID) : 0;
    case WM_SHOWWINDOW:
      if (wParam && !shown_) {
        shown_ = true;
        // After the window has become visible, so handlers see it as shown.
        LRESULT shown = DefWindowProcA(window_, message, wParam, lParam);
        FormShow();
        return shown;
      }
      break;
    case WM_CTLCOLORSTATIC:
      if (IsLink(reinterpret_cast<HWND>(lParam))) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, LinkColor);
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_SETCURSOR:
      if (IsLink(reinterpret_cast<HWND>(wParam))) {
        SetCursor(LoadCursorA(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      FormClose();
      return 0;
  }
  return DefWindowProcA(window_, message, wParam, lParam);
}
