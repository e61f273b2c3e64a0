#include "f_progress.h"

#include <commctrl.h>

#include "BuildErrors.h"
#include "orvex.h"
#include "ovdialogs.h"

namespace {

// The two path labels are drawn by the form, right-aligned on one line, so a path wider
// than the label loses its beginning and keeps the file name in view.
constexpr DWORD csPathLabel = SS_OWNERDRAW | SS_NOPREFIX;

const ControlDef FprogressControls[] = {
    {Tfprogress::lfile, "Static", "File progress:", 16, 10, 200, 15, csLabel},
    {Tfprogress::lsource, "Static", "", 16, 26, 600, 15, csPathLabel},
    {Tfprogress::pbfile, PROGRESS_CLASSA, "", 16, 43, 600, 16, 0},
    {Tfprogress::ltotal, "Static", "Total progress:", 16, 66, 200, 15, csLabel},
    {Tfprogress::ltarget, "Static", "", 16, 82, 600, 15, csPathLabel},
    {Tfprogress::pbtotal, PROGRESS_CLASSA, "", 16, 99, 600, 16, 0},
    {Tfprogress::llsize, "Static", "Processed bytes:", 16, 126, 110, 15, csLabel},
    {Tfprogress::lsize, "Static", "", 128, 126, 300, 15, csLabel},
    {Tfprogress::bcancel, "Button", "Cancel", 536, 120, 80, 25, csButton},
};

}  // namespace

bool Tfprogress::Create(const Form& owner, const BuildInputs& checked) {
  checked_ = checked;
  if (!CreateForm("Tfprogress", owner.Caption(), FprogressClientWidth, FprogressClientHeight,
                  WS_POPUP | WS_CAPTION, owner.Handle()) ||
      !CreateControls(FprogressControls, sizeof FprogressControls / sizeof FprogressControls[0]))
    return false;
  for (int bar : {pbfile, pbtotal}) SendMessageA(Item(bar), PBM_SETRANGE32, 0, ProgressBarMaximum);
  SetSource("");
  SetTarget("");
  SetSizeText("");
  return true;
}

void Tfprogress::SetSource(const std::string& text) {
  SetText(lsource, text);
  InvalidateRect(Item(lsource), nullptr, TRUE);
}

void Tfprogress::SetTarget(const std::string& text) {
  SetText(ltarget, text);
  InvalidateRect(Item(ltarget), nullptr, TRUE);
}

void Tfprogress::SetFileBar(int position) { SendMessageA(Item(pbfile), PBM_SETPOS, position, 0); }

void Tfprogress::SetTotalBar(int position) { SendMessageA(Item(pbtotal), PBM_SETPOS, position, 0); }

void Tfprogress::SetSizeText(const std::string& text) { SetText(lsize, text); }

void Tfprogress::ProcessMessages() { ProcessPendingMessages(); }

void Tfprogress::Command(int id, int code, HWND) {
  // Escape arrives as IDCANCEL and is ignored: only the Cancel button asks to stop.
  if (id == bcancel && code == BN_CLICKED) cancelled_ = true;
}

void Tfprogress::FormShow() { PostMessageA(Handle(), AutoStartMessage, AutoStartMessage, AutoStartMessage); }

bool Tfprogress::Message(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_DRAWITEM) {
    const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    std::string text = Text(static_cast<int>(item->CtlID));
    FillRect(item->hDC, &item->rcItem, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(item->hDC, TRANSPARENT);
    SetTextColor(item->hDC, GetSysColor(COLOR_BTNTEXT));
    HGDIOBJ old = SelectObject(item->hDC, FontOf(0));
    RECT area = item->rcItem;
    DrawTextA(item->hDC, text.c_str(), static_cast<int>(text.size()), &area,
              DT_RIGHT | DT_SINGLELINE | DT_NOPREFIX | DT_VCENTER);
    SelectObject(item->hDC, old);
    result = TRUE;
    return true;
  }
  if (message != AutoStartMessage) return false;
  result = 0;
  if (wParam == AutoStartMessage && static_cast<UINT>(lParam) == AutoStartMessage) AutoStart();
  return true;
}

void Tfprogress::AutoStart() {
  try {
    SetModalResult(RunBuild(checked_, this) ? IDOK : IDCANCEL);
  } catch (const EInputRefused& refusal) {
    // Found by the build's walk, as the hidden build shows it: the inputs are refused.
    ShowError(refusal.what());
    SetModalResult(IDCANCEL);
  } catch (const std::exception& error) {
    ShowApplicationError(error);
    SetModalResult(IDCANCEL);
  }
}
