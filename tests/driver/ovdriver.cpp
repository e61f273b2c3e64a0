// ovdriver: the test driver on the command line. Windows are named by their handle in
// hexadecimal, as `wait` prints it.
//   ovdriver wait CLASS CAPTION [TIMEOUT_MS]   ("" matches any) prints the handle or fails
//   ovdriver texts HWND                        the caption, then one line per control:
//                                              id<TAB>class<TAB>text
//   ovdriver box HWND                          a message box: caption, text, icon, buttons
//   ovdriver press HWND CAPTION | #ID          presses a button
//   ovdriver key HWND enter|escape|tab|f1|f4   presses a key in the focused control
//   ovdriver type HWND ID TEXT                 types into a control
//   ovdriver shot HWND FILE.png                saves a screenshot
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver.h"

namespace {

HWND ParseWindow(const char* text) { return reinterpret_cast<HWND>(std::strtoull(text, nullptr, 16)); }

// Line breaks as \\r and \\n, so that every text stays on its output line.
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
  return out;
}

const char* IconName(driver::BoxIcon icon) {
  switch (icon) {
    case driver::BoxIcon::Error: return "error";
    case driver::BoxIcon::Information: return "information";
    case driver::BoxIcon::Warning: return "warning";
    case driver::BoxIcon::Question: return "question";
    default: return "none";
  }
}

UINT ParseKey(const std::string& name) {
  if (name == "enter") return VK_RETURN;
  if (name == "escape") return VK_ESCAPE;
  if (name == "tab") return VK_TAB;
  if (name == "f1") return VK_F1;
  if (name == "f4") return VK_F4;
  return 0;
}

int Usage() {
  std::fprintf(stderr, "usage: ovdriver wait|texts|box|press|key|type|shot ...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  std::string command = argv[1];
  if (command == "wait") {
    if (argc < 4) return Usage();
    DWORD timeout = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 10000;
    HWND window = driver::WaitForWindow(argv[2], argv[3], timeout);
    if (!window) return 1;
    std::printf("%llx\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
    return 0;
  }
  HWND window = ParseWindow(argv[2]);
  if (!IsWindow(window)) return 1;
  if (command == "texts") {
    std::printf("%s\n", Escaped(driver::WindowText(window)).c_str());
    for (const driver::Control& c : driver::Controls(window))
      std::printf("%d\t%s\t%s\n", c.id, c.className.c_str(), Escaped(c.text).c_str());
    return 0;
  }
  if (command == "box") {
    driver::MessageBoxInfo box = driver::ReadMessageBox(window);
    std::printf("caption: %s\ntext: %s\nicon: %s\ndefault: %s\n", Escaped(box.caption).c_str(), Escaped(box.text).c_str(),
                IconName(box.icon), box.defaultButton.c_str());
    for (const std::string& b : box.buttons) std::printf("button: %s\n", b.c_str());
    return 0;
  }
  if (command == "press" && argc > 3) {
    bool pressed = argv[3][0] == '#' ? driver::PressButtonId(window, std::atoi(argv[3] + 1))
                                     : driver::PressButton(window, argv[3]);
    return pressed ? 0 : 1;
  }
  if (command == "key" && argc > 3) {
    UINT key = ParseKey(argv[3]);
    return key && driver::PressKey(window, key) ? 0 : 1;
  }
  if (command == "type" && argc > 4) return driver::TypeText(window, std::atoi(argv[3]), argv[4]) ? 0 : 1;
  if (command == "shot" && argc > 3) return driver::SaveScreenshot(window, argv[3]) ? 0 : 1;
  return Usage();
}
