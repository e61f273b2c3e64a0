#include "f_orvex.h"

#include <commctrl.h>
#include <commdlg.h>

#include <memory>
#include <stdexcept>

#include "f_cmdline.h"
#include "f_cmdlinegen.h"
#include "f_envvars.h"
#include "f_progress.h"
#include "OptionTable.h"
#include "orvex.h"
#include "ovdialogs.h"
#include "ovutils.h"
#include "u_settings.h"

namespace {

const ControlDef ForvexControls[] = {
    {gbsource, "Button", " Source folder and target file ", 8, 2, 776, 102, csGroupBox},
    {lsource, "Static", "Source folder (it may contain subfolders):", 20, 20, 660, 15, csLabel},
    {esource, "Edit", "", 20, 36, 664, 22, csEdit},
    {bsource, "Button", "Browse", 692, 35, 80, 24, csButton},
    {ltarget, "Static", "Target SFX file (EXE file):", 20, 60, 660, 15, csLabel},
    {etarget, "Edit", "", 20, 76, 664, 22, csEdit},
    {btarget, "Button", "Browse", 692, 75, 80, 24, csButton},

    {gbextractionmode, "Button", " Extraction mode ", 8, 108, 776, 188, csGroupBox},
    {rbopenfolder, "Button", "Extract files into specified folder - do not delete extracted files", 20, 126, 384, 17,
     csFirstRadio},
    {cbopenfolder, "Button", "Open extracted folder in the explorer after extraction", 38, 145, 366, 17,
     BS_AUTOCHECKBOX | WS_TABSTOP},
    {rbexecutefile, "Button", "Extract files into specified folder and launch executable file", 20, 168, 384, 17,
     csRadio},
    {lexecutablefile, "Static",
     "Executable file that will run after extraction (EXE or BAT file from source folder or subfolders):", 38, 189,
     366, 28, csLabel},
    {eexecutablefile, "Edit", "", 38, 218, 284, 22, csEdit},
    {bexecutablefile, "Button", "Browse", 328, 217, 76, 24, csButton},
    {lcmdparameters, "Static", "Command line parameters:", 38, 246, 366, 15, csLabel},
    {ecmdparameters, "Edit", "", 38, 262, 366, 22, csEdit},
    {lworkingdir, "Static", "Working directory:", 416, 126, 360, 15, csLabel},
    {rbwdextraction, "Button", "Extraction folder, where executable file is located", 428, 142, 348, 17, csFirstRadio},
    {rbwdsource, "Button", "Source folder, where SFX file is located", 428, 159, 348, 17, csRadio},
    {rbwdcurrent, "Button", "Current working directory (do not change at runtime)", 428, 176, 348, 17, csRadio},
    {ldeletemode, "Static", "How to delete extracted files:", 416, 198, 360, 15, csLabel},
    {rbdmimmediately, "Button", "Delete extracted files immediately when SFX has finished executing", 428, 214, 348,
     27, csFirstRadio},
    {rbdmonreboot, "Button", "Delete extracted files on computer reboot (requires administrator rights)", 428, 241,
     348, 27, csRadio},
    {rbdmdonotdelete, "Button", "Do not delete extracted files", 428, 268, 348, 17, csRadio},

    {gbextractionfolder, "Button", " Extraction folder ", 8, 300, 336, 210, csGroupBox},
    {rbtemp, "Button", "Temporary folder (TEMP)", 18, 317, 322, 17, csFirstRadio},
    {rbdesktop, "Button", "Desktop folder (user's work desktop)", 18, 335, 322, 17, csRadio},
    {rbdocuments, "Button", "Documents folder (user's personal folder)", 18, 353, 322, 17, csRadio},
    {rbcurrent, "Button", "Current folder (.)", 18, 371, 322, 17, csRadio},
    {rbselect, "Button", "Show \"Browse for Folder\" dialog before extraction", 18, 389, 322, 17, csRadio},
    {rbcustom, "Button", "Custom folder (you can use environment variables):", 18, 407, 322, 17, csRadio},
    {ecustomdir, "Edit", "", 34, 427, 302, 22, csEdit},
    {lcustom, "Static", "(e.g. %USERPROFILE%\\MyApplication\\)", 34, 451, 302, 15, csLabel},
    {benvvars, "Button", "Show environment variables on this computer", 34, 470, 302, 24, csButton},

    {gbadvanced, "Button", " Advanced options ", 352, 300, 432, 210, csGroupBox},
    {cboneinstance, "Button", "One instance checking (prevent from running SFX file twice at the same time)", 364,
     317, 412, 27, csCheckBox},
    {cbsilent, "Button",
     "Silent extraction mode (do not show progress bar and error messages when extracting)", 364, 344, 412, 27,
     csCheckBox},
    {cbselfdelete, "Button",
     "Self destructing mode (delete SFX file after the executable file has finished executing)", 364, 371, 412, 27,
     csCheckBox},
    {luacautoelevation, "Static", "UAC auto-elevation:", 364, 404, 190, 15, csLabel},
    {rbuacnone, "Button", "None", 364, 420, 190, 17, csFirstRadio},
    {rbuachighest, "Button", "Run SFX file with the highest available permission", 364, 437, 190, 27, csRadio},
    {rbuacadministrator, "Button", "Run SFX file as administrator", 364, 464, 190, 17, csRadio},
    {cbstrongcompression, "Button", "Strong compression (LZMA)", 364, 486, 190, 17, csCheckBox},
    {loverwritemode, "Static", "Overwrite mode during extraction:", 560, 404, 218, 15, csLabel},
    {rbomprompt, "Button", "Prompt user whether to overwrite existing file", 560, 420, 218, 27, csFirstRadio},
    {rbomoverwrite, "Button", "Automatically overwrite all existing files", 560, 447, 218, 27, csRadio},
    {rbomskip, "Button", "Automatically skip extracting of all existing files", 560, 474, 218, 27, csRadio},

    // The links are placed one after another by their text widths when the form is made.
    {labout, "Static", "About...", 12, 526, 50, 15, csLink, true},
    {lweb, "Static", "", 70, 526, 170, 15, csLink, true},
    {ldonate, "Static", "Donate", 248, 526, 44, 15, csLink, true},
    {lcmdline, "Static", "Command line support", 300, 526, 120, 15, csLink, true},
    {lcmdlinegen, "Static", "Generate command line parameters", 428, 526, 180, 15, csLink, true},
    {bmake, "Button", "Orvex", 672, 516, 112, 30, csDefaultButton},
};

// The window's side of the option table: the controls that show each option.
const struct {
  uint8_t BuildInputs::*field;
  std::vector<int> controls;
} CodedControls[] = {
    {&BuildInputs::ExtractionMode, {rbopenfolder, rbexecutefile}},
    {&BuildInputs::ExtractionFolder, {rbtemp, rbdesktop, rbdocuments, rbcurrent, rbselect, rbcustom}},
    {&BuildInputs::OpenFolder, {0, cbopenfolder}},
    {&BuildInputs::WorkingDirectory, {rbwdextraction, rbwdsource, rbwdcurrent}},
    {&BuildInputs::DeleteMode, {rbdmimmediately, rbdmonreboot, rbdmdonotdelete}},
    {&BuildInputs::OneInstance, {0, cboneinstance}},
    {&BuildInputs::SilentMode, {0, cbsilent}},
    {&BuildInputs::SelfDeleteMode, {0, cbselfdelete}},
    {&BuildInputs::UACAutoElevation, {rbuacnone, rbuachighest, rbuacadministrator}},
    {&BuildInputs::OverwriteMode, {rbomprompt, rbomoverwrite, rbomskip}},
    {&BuildInputs::StrongCompression, {0, cbstrongcompression}},
};

const struct {
  std::string BuildInputs::*field;
  int control;
} TextControls[] = {
    {&BuildInputs::Source, esource},
    {&BuildInputs::Target, etarget},
    {&BuildInputs::ExecutableFile, eexecutablefile},
    {&BuildInputs::CmdParameters, ecmdparameters},
    {&BuildInputs::CustomFolder, ecustomdir},
};

// The folder part of a path, without its final backslash, and the name after it.
void SplitPath(const std::string& path, std::string& folder, std::string& name) {
  size_t cut = std::string::npos;
  for (const char* p = path.c_str(); *p; p = CharNextA(p))
    if (*p == '\\' || *p == '/' || *p == ':') cut = static_cast<size_t>(p - path.c_str());
  if (cut == std::string::npos) {
    folder.clear();
    name = path;
  } else {
    folder = path.substr(0, cut + (path[cut] == ':' ? 1 : 0));
    name = path.substr(cut + 1);
  }
}

// A file dialog over `path`; the filter's pairs are separated by NULs as the system wants.
bool ChooseFile(HWND owner, bool save, const std::string& filter, const std::string& folder, std::string& path) {
  char file[MAX_PATH] = {};
  lstrcpynA(file, path.c_str(), MAX_PATH);
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.lpstrDefExt = "exe";
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  BOOL chosen = save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
  if (!chosen) return false;
  path = file;
  return true;
}

template <typename Row, size_t n, typename Option>
const Row& RowOf(const Row (&rows)[n], const Option& option) {
  for (const Row& row : rows)
    if (row.field == option.field) return row;
  throw std::logic_error(std::string("No control shows ") + option.registryValue);
}

}  // namespace

const std::vector<int>& ControlsOf(const CodedOption& option) { return RowOf(CodedControls, option).controls; }

int ControlOf(const TextOption& option) { return RowOf(TextControls, option).control; }

bool Tforvex::Create() {
  std::string caption = std::string("Orvex") + " " + ShortVersionText(GetFileVersionText(ProgramFileName()));
  if (!CreateForm("Tforvex", caption, ForvexClientWidth, ForvexClientHeight,
                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, nullptr,
                  ApplicationIcon()) ||
      !CreateControls(ForvexControls, sizeof ForvexControls / sizeof ForvexControls[0]))
    return false;
  SetControlFont(bmake, AddFont("Tahoma", 8, true));
  SendMessageA(Item(ecmdparameters), EM_SETLIMITTEXT, MaxCmdParametersLength, 0);
  // The check adds the final backslash to a typed folder, which must then still fit.
  SendMessageA(Item(ecustomdir), EM_SETLIMITTEXT, MaxCustomFolderLength - 1, 0);
  SetText(lweb, MakerWebAddress);
  PlaceLinks();
  SetChecked(rbopenfolder, true);
  SetChecked(cbopenfolder, true);
  SetChecked(rbwdextraction, true);
  SetChecked(rbdmimmediately, true);
  SetChecked(rbtemp, true);
  SetChecked(rbuacnone, true);
  SetChecked(rbomprompt, true);
  if (gCommandLine.CommandLineMode)
    ApplyInputs(gCommandLine.Inputs);
  else
    LoadStoredSettings();
  return true;
}

void Tforvex::PlaceLinks() {
  HDC dc = GetDC(Handle());
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(Item(labout), WM_GETFONT, 0, 0)));
  int x = Scaled(12);
  for (int id : {labout, lweb, ldonate, lcmdline, lcmdlinegen}) {
    std::string text = Text(id);
    SIZE extent{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SetWindowPos(Item(id), nullptr, x, Scaled(524), extent.cx + Scaled(2), extent.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    x += extent.cx + Scaled(12);
  }
  SelectObject(dc, old);
  ReleaseDC(Handle(), dc);
}

// Shows the code: its radio button (the first for a code out of range), or the check box
// (checked for any code but 0).
void Tforvex::ShowCode(const CodedOption& option, DWORD code) {
  const std::vector<int>& controls = ControlsOf(option);
  if (controls[0] == 0)
    SetChecked(controls[1], code != 0);
  else
    SetChecked(controls[code < controls.size() ? code : 0], true);
}

void Tforvex::ApplyInputs(const BuildInputs& inputs) {
  for (const TextOption& option : TextOptions) SetText(ControlOf(option), inputs.*option.field);
  for (const CodedOption& option : CodedOptions) ShowCode(option, inputs.*option.field);
}

void Tforvex::LoadStoredSettings() {
  StoredSettings stored = LoadSettings();
  for (size_t i = 0; i < TextOptions.size(); ++i)
    if (stored.Texts[i]) SetText(ControlOf(TextOptions[i]), *stored.Texts[i]);
  for (size_t i = 0; i < CodedOptions.size(); ++i)
    if (stored.Codes[i]) ShowCode(CodedOptions[i], *stored.Codes[i]);
}

BuildInputs Tforvex::ReadOptions() const {
  BuildInputs inputs;
  for (const TextOption& option : TextOptions) inputs.*option.field = Text(ControlOf(option));
  // The first checked button of a group; none checked reads as code 0.
  for (const CodedOption& option : CodedOptions) {
    uint8_t code = 0;
    const std::vector<int>& controls = ControlsOf(option);
    for (size_t c = controls.size() - 1; c >= 1; --c)
      if (Checked(controls[c])) code = static_cast<uint8_t>(c);
    inputs.*option.field = code;
  }
  return inputs;
}

void Tforvex::FormShow() {
  rbextractionmodeClick();
  SetFocus(Item(bmake));
  PostMessageA(Handle(), AutoStartMessage, AutoStartMessage, AutoStartMessage);
}

void Tforvex::FormClose() {
  DestroyWindow(Handle());
}

bool Tforvex::Message(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return false;
  }
  if (message != AutoStartMessage) return false;
  result = 0;
  if (wParam == AutoStartMessage && static_cast<UINT>(lParam) == AutoStartMessage && gCommandLine.CommandLineMode)
    Command(bmake, BN_CLICKED, Item(bmake));
  return true;
}

bool Tforvex::FormKeyDown(UINT key) {
  if (key != VK_F1) return false;
  ShowAbout();
  return true;
}

void Tforvex::Command(int id, int code, HWND) {
  if (code != BN_CLICKED) return;  // STN_CLICKED of the links has the same value
  try {
    switch (id) {
      case bsource: bsourceClick(); break;
      case btarget: btargetClick(); break;
      case bexecutablefile: bexecutablefileClick(); break;
      case rbopenfolder:
      case rbexecutefile:
      case cboneinstance: rbextractionmodeClick(); break;
      case rbtemp:
      case rbdesktop:
      case rbdocuments:
      case rbcurrent:
      case rbselect:
      case rbcustom: rbextractionfolderClick(true); break;
      case rbuacnone:
      case rbuachighest:
      case rbuacadministrator:
      case rbomprompt:
      case rbomoverwrite:
      case rbomskip: rbuacautoelevationClick(); break;
      case benvvars: benvvarsClick(); break;
      case bmake: bmakeClick(); break;
      case labout: laboutClick(); break;
      case lweb: lwebClick(); break;
      case ldonate: ldonateClick(); break;
      case lcmdline: lcmdlineClick(); break;
      case lcmdlinegen: lcmdlinegenClick(); break;
    }
  } catch (const std::exception& error) {
    ShowApplicationError(error);
  }
}

void Tforvex::rbextractionmodeClick() {
  bool launch = Checked(rbexecutefile);
  Enable(cbopenfolder, Checked(rbopenfolder));
  for (int id : {lexecutablefile, eexecutablefile, bexecutablefile, lcmdparameters, ecmdparameters}) Enable(id, launch);
  for (int id : {lworkingdir, rbwdextraction, rbwdsource, rbwdcurrent}) Enable(id, launch);
  for (int id : {ldeletemode, rbdmimmediately, rbdmdonotdelete}) Enable(id, launch);
  for (int id : {luacautoelevation, rbuacnone, rbuachighest, rbuacadministrator}) Enable(id, launch);
  rbextractionfolderClick(false);
  rbuacautoelevationClick();
}

void Tforvex::rbextractionfolderClick(bool clicked) {
  bool custom = Checked(rbcustom);
  Enable(ecustomdir, custom);
  Enable(benvvars, custom);
  Enable(lcustom, custom);
  // A disabled edit already draws on the button face and an enabled one on the window
  // colour; repaint so the change shows at once.
  InvalidateRect(Item(ecustomdir), nullptr, TRUE);
  if (custom && clicked && IsWindowVisible(Handle())) SetFocus(Item(ecustomdir));
}

void Tforvex::rbuacautoelevationClick() {
  bool deleteModeEnabled = Enabled(ldeletemode);
  Enable(rbdmonreboot, deleteModeEnabled && Checked(rbuacadministrator));
  if (deleteModeEnabled && !Enabled(rbdmonreboot) && Checked(rbdmonreboot)) SetChecked(rbdmimmediately, true);
}

void Tforvex::bsourceClick() {
  std::string folder = Text(esource);
  if (BrowseForFolder("", "", folder)) SetText(esource, folder);
}

void Tforvex::btargetClick() {
  std::string path = Text(etarget), folder, name;
  SplitPath(path, folder, name);
  static const char filter[] = "Executable files (*.exe)\0*.exe\0";
  if (ChooseFile(Handle(), true, std::string(filter, sizeof filter), folder, name)) SetText(etarget, name);
}

void Tforvex::bexecutablefileClick() {
  std::string path = Text(eexecutablefile);
  static const char filter[] =
      "Executable files (*.exe)\0*.exe\0Batch files (*.bat)\0*.bat\0All files (*.*)\0*.*\0";
  if (ChooseFile(Handle(), false, std::string(filter, sizeof filter), Text(esource), path))
    SetText(eexecutablefile, path);
}

void Tforvex::benvvarsClick() {
  Tfenvvars window;
  // EM_REPLACESEL inserts at the caret when nothing is selected.
  if (window.Create(*this) && window.ShowModal() == IDOK)
    SendMessageA(Item(ecustomdir), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(window.CurrentName().c_str()));
  SetFocus(Item(ecustomdir));
}

void Tforvex::bmakeClick() {
  BuildInputs checked;
  if (!CheckBuildInputs(ReadOptions(), checked)) return;
  std::unique_ptr<Tfprogress> progress(new Tfprogress());
  if (!progress->Create(*this, checked)) return;
  int result = progress->ShowModal();
  progress.reset();
  if (result == IDOK) DestroyWindow(Handle());
}

void Tforvex::laboutClick() { ShowAbout(); }

void Tforvex::lwebClick() { OpenDocument(Text(lweb)); }

void Tforvex::ldonateClick() { OpenDocument(DonationAddress); }

void Tforvex::lcmdlineClick() {
  Tfcmdline window;
  if (window.Create(*this)) window.ShowModal();
}

void Tforvex::lcmdlinegenClick() {
  Tfcmdlinegen window;
  if (window.Create(*this)) window.ShowModal();
}

int RunWindowApplication() {
  SaveSettingsHook = SaveSettings;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  Tforvex window;
  if (!window.Create()) return ExitUnexpectedError;
  ShowWindow(window.Handle(), SW_SHOW);
  UpdateWindow(window.Handle());
  return Form::RunMessageLoop();
}
