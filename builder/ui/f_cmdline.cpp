#include "f_cmdline.h"

#include <string>

#include "orvex.h"

namespace {

const ControlDef FcmdlineControls[] = {
    {Tfcmdline::mcmdline, "Edit", "", 8, 8, 776, 500, csFixedText},
    {Tfcmdline::bclose, "Button", "Close", 696, 516, 88, 28, csDefaultButton},
};

}  // namespace

// The window goes before the font its text control still uses.
FixedTextForm::~FixedTextForm() {
  if (Handle()) DestroyWindow(Handle());
}

void FixedTextForm::UseFixedPitchFont() {
  font_.Reset(CreateFontA(-Scaled(13), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New"));
  SendMessageA(Item(textId_), WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
}

void FixedTextForm::FormShow() { SetFocus(Item(closeId_)); }

void FixedTextForm::Command(int id, int code, HWND) {
  if ((id == closeId_ && code == BN_CLICKED) || id == IDCANCEL) SetModalResult(IDCANCEL);
}

bool FixedTextForm::FormKeyDown(UINT key) {
  if (key != VK_ESCAPE) return false;
  SetModalResult(IDCANCEL);
  return true;
}

bool Tfcmdline::Create(const Form& owner) {
  if (!CreateForm("Tfcmdline", "Command line support", FcmdlineClientWidth, FcmdlineClientHeight,
                  WS_POPUP | WS_CAPTION | WS_SYSMENU, owner.Handle()) ||
      !CreateControls(FcmdlineControls, sizeof FcmdlineControls / sizeof FcmdlineControls[0]))
    return false;
  UseFixedPitchFont();
  // The resource is not terminated; the edit control takes the text up to its first NUL.
  std::string usage;
  if (UsageTextData.data) usage.assign(static_cast<const char*>(UsageTextData.data), UsageTextData.size);
  SetText(mcmdline, usage);
  return true;
}
