// The command-line generator window: the line that makes, with a hidden build, the SFX
// file the main window's current choices describe.
#pragma once

#include "CmdLineGenerator.h"
#include "f_cmdline.h"

constexpr int FcmdlinegenClientWidth = 784;
constexpr int FcmdlinegenClientHeight = 128;

// What the generator reads of the main window's controls (checked states together with
// whether each control is enabled) and the running program's path.
GeneratorState ReadGeneratorState(const Form& main);

class Tfcmdlinegen : public FixedTextForm {
 public:
  // Control IDs; the tests find the controls by them, so they stay fixed.
  enum Control { mcmdline = 300, bclose, bcopy, cbunattended, cbreproducible };

  Tfcmdlinegen() : FixedTextForm(mcmdline, bclose) {}
  // FormCreate: the line for the main window's state at opening.
  bool Create(const Form& main);

 protected:
  void Command(int id, int code, HWND control) override;

 private:
  void bcopyClick();
  // Either check box: the line with the generator's own choices.
  void cbClick();

  GeneratorState state_;
};
