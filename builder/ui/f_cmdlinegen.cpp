#include "f_cmdlinegen.h"

#include "ForvexControls.h"
#include "orvex.h"
#include "ovdialogs.h"

namespace {

const ControlDef FcmdlinegenControls[] = {
    {Tfcmdlinegen::mcmdline, "Edit", "", 8, 8, 768, 76, csFixedText},
    {Tfcmdlinegen::cbunattended, "Button", "Unattended: no window, messages on standard error (-h -q)", 8, 92, 360,
     28, csCheckBox},
    {Tfcmdlinegen::cbreproducible, "Button", "Reproducible (-r)", 376, 92, 160, 28, csCheckBox},
    {Tfcmdlinegen::bcopy, "Button", "Copy to clipboard", 552, 92, 128, 28, csButton},
    {Tfcmdlinegen::bclose, "Button", "Close", 688, 92, 88, 28, csDefaultButton},
};

const char* NextAnsiChar(const char* p) { return CharNextA(p); }

}  // namespace

GeneratorState ReadGeneratorState(const Form& main) {
  GeneratorState state;
  state.ProgramPath = ProgramFileName();
  std::vector<GeneratorSwitch> switches = GeneratorSwitches();
  for (size_t i = 0; i < switches.size(); ++i) {
    int control = ControlsOf(*switches[i].option)[switches[i].code];
    // The unchecked box of an option shown by a check box: its default, not written.
    if (!control) continue;
    state.Switches[i].enabled = main.Enabled(control);
    state.Switches[i].checked = main.Checked(control);
  }
  for (const TextOption& option : TextOptions) state.Texts.*option.field = main.Text(ControlOf(option));
  state.ExecuteFileChecked = main.Checked(rbexecutefile);
  state.CustomFolderChosen = main.Enabled(rbcustom) && main.Checked(rbcustom);
  state.CmdParametersEnabled = main.Enabled(ecmdparameters);
  state.Threads = gCommandLine.Inputs.Threads;
  return state;
}

bool Tfcmdlinegen::Create(const Form& main) {
  if (!CreateForm("Tfcmdlinegen", "Command line parameters generated from current UI options",
                  FcmdlinegenClientWidth, FcmdlinegenClientHeight, WS_POPUP | WS_CAPTION | WS_SYSMENU,
                  main.Handle()) ||
      !CreateControls(FcmdlinegenControls, sizeof FcmdlinegenControls / sizeof FcmdlinegenControls[0]))
    return false;
  UseFixedPitchFont();
  state_ = ReadGeneratorState(main);
  SetText(mcmdline, GenerateCommandLine(state_, NextAnsiChar));
  return true;
}

void Tfcmdlinegen::Command(int id, int code, HWND control) {
  if (id == bcopy && code == BN_CLICKED)
    bcopyClick();
  else if ((id == cbunattended || id == cbreproducible) && code == BN_CLICKED)
    cbClick();
  else
    FixedTextForm::Command(id, code, control);
}

void Tfcmdlinegen::bcopyClick() {
  HWND text = Item(mcmdline);
  SendMessageA(text, EM_SETSEL, 0, -1);
  SendMessageA(text, WM_COPY, 0, 0);
}

void Tfcmdlinegen::cbClick() {
  state_.Unattended = Checked(cbunattended);
  state_.Reproducible = Checked(cbreproducible);
  SetText(mcmdline, GenerateCommandLine(state_, NextAnsiChar));
}
