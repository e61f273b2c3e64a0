#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <thread>

#include "driver.h"
#include "ovdialogs.h"
#include "testsupport.h"

using namespace testing_support;

namespace {

// Shows a box on this thread while another thread finds it, reads it, saves its
// screenshot and answers it with `answer`.
driver::MessageBoxInfo ShowAndAnswer(const std::string& caption, const std::function<void()>& show,
                                     const std::function<void(HWND)>& answer, const std::string& shotName) {
  driver::MessageBoxInfo info;
  std::thread reader([&] {
    HWND box = driver::WaitForWindow("#32770", caption, 15000, GetCurrentProcessId());
    if (!box) return;
    driver::WaitForSettled(box);  // painted before the screenshot
    info = driver::ReadMessageBox(box);
    driver::SaveScreenshot(box, ScreenshotDir() + shotName + ".png");
    answer(box);
  });
  show();
  reader.join();
  return info;
}

void PressOk(HWND box) { driver::PressButton(box, "OK"); }

TEST(MessageBoxes, CaptionIconTextAndButtons) {
  const struct {
    const char* caption;
    driver::BoxIcon icon;
    void (*show)(const std::string&);
    const char* shot;
  } boxes[] = {
      {"Error", driver::BoxIcon::Error, ShowError, "box-error"},
      {"Information", driver::BoxIcon::Information, ShowInfo, "box-information"},
      {"Warning", driver::BoxIcon::Warning, ShowWarning, "box-warning"},
  };
  for (const auto& b : boxes) {
    std::string text = std::string("First line\r\nSecond line of the ") + b.caption + " box";
    auto info = ShowAndAnswer(b.caption, [&] { b.show(text); }, PressOk, b.shot);
    EXPECT_EQ(info.caption, b.caption);
    EXPECT_EQ(info.icon, b.icon) << b.caption;
    EXPECT_EQ(info.text, text);
    EXPECT_EQ(info.buttons, std::vector<std::string>{"OK"});
  }
}

TEST(MessageBoxes, AskYesNoDefaultsToNo) {
  bool answer = true;
  auto info = ShowAndAnswer(
      "Confirmation", [&] { answer = AskYesNo("Target file already exists\r\nOverwrite?"); },
      [](HWND box) { driver::PressKey(box, VK_RETURN); }, "box-confirmation");
  EXPECT_FALSE(answer) << "Enter chooses the default button, No";
  EXPECT_EQ(info.icon, driver::BoxIcon::Question);
  EXPECT_EQ(info.text, "Target file already exists\r\nOverwrite?");
  EXPECT_EQ(info.buttons, (std::vector<std::string>{"Yes", "No"}));
  EXPECT_EQ(info.defaultButton, "No");

  ShowAndAnswer("Confirmation", [&] { answer = AskYesNo("Sure?"); },
                [](HWND box) { driver::PressButton(box, "Yes"); }, "box-confirmation-yes");
  EXPECT_TRUE(answer);

  info = ShowAndAnswer("Confirmation", [&] { answer = AskYesNo("Sure?", true); },
                       [](HWND box) { driver::PressKey(box, VK_RETURN); }, "box-confirmation-yes-default");
  EXPECT_TRUE(answer);
  EXPECT_EQ(info.defaultButton, "Yes");
}

LRESULT CALLBACK PlainWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

TEST(MessageBoxes, DisableTheApplicationAndLiftTopmostWindows) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = PlainWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "OrvexTestWindow";
  RegisterClassA(&wc);
  HWND main = CreateWindowExA(0, wc.lpszClassName, "main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200,
                              nullptr, nullptr, wc.hInstance, nullptr);
  HWND topmost = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "topmost", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50,
                                 50, 200, 100, nullptr, nullptr, wc.hInstance, nullptr);
  SetActiveWindow(main);
  bool mainEnabled = true, topmostLifted = false;
  HWND owner = nullptr;
  ShowAndAnswer("Warning", [] { ShowWarning("while windows exist"); },
                [&](HWND box) {
                  mainEnabled = IsWindowEnabled(main);
                  topmostLifted = !(GetWindowLongA(topmost, GWL_EXSTYLE) & WS_EX_TOPMOST);
                  owner = GetWindow(box, GW_OWNER);
                  PressOk(box);
                },
                "box-with-owner");
  EXPECT_FALSE(mainEnabled);
  EXPECT_TRUE(topmostLifted);
  EXPECT_EQ(owner, main) << "owned by the window that was active";
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_TRUE(GetWindowLongA(topmost, GWL_EXSTYLE) & WS_EX_TOPMOST) << "topmost again afterwards";
  EXPECT_EQ(GetActiveWindow(), main);
  DestroyWindow(topmost);
  DestroyWindow(main);
}

// The driver program reads and answers a box of another process, as the end-to-end tests do.
TEST(TestDriverProgram, ReadsAndAnswersAMessageBox) {
  std::string driverExe = Quoted(BinDir() + "ovdriver.exe");
  std::string waited, box;
  DWORD boxCode = 0xFFFFFFFF, pressCode = 0xFFFFFFFF;
  std::thread outside([&] {
    if (RunCapture(driverExe + " wait #32770 Error 15000", waited) != 0) return;
    std::string window = waited.substr(0, waited.find_first_of("\r\n"));
    boxCode = RunCapture(driverExe + " box " + window, box);
    std::string ignored;
    RunCapture(driverExe + " shot " + window + " " + Quoted(ScreenshotDir() + "driver-box.png"), ignored);
    pressCode = RunCapture(driverExe + " press " + window + " OK", ignored);
  });
  ShowError("Internal error\r\nThe program is corrupted");
  outside.join();
  EXPECT_EQ(boxCode, 0u);
  EXPECT_EQ(pressCode, 0u);
  EXPECT_NE(box.find("caption: Error"), std::string::npos) << box;
  EXPECT_NE(box.find("text: Internal error\\r\\nThe program is corrupted"), std::string::npos) << box;
  EXPECT_NE(box.find("icon: error"), std::string::npos) << box;
  EXPECT_NE(box.find("button: OK"), std::string::npos) << box;
  EXPECT_TRUE(FileExists(ScreenshotDir() + "driver-box.png"));
}

}  // namespace
