// The progress window: runs a build started from the main window and shows how far it
// has come; Cancel only asks the build to stop.
#pragma once

#include "BuildSfx.h"
#include "ovforms.h"

constexpr int FprogressClientWidth = 632;
constexpr int FprogressClientHeight = 152;

class Tfprogress : public Form, public BuildProgress {
 public:
  // Control IDs; the tests find the controls by them, so they stay fixed.
  enum Control { lfile = 200, lsource, pbfile, ltotal, ltarget, pbtotal, llsize, lsize, bcancel };

  // FormCreate: the owner's caption and empty texts. Once shown, the window builds
  // `checked`, the inputs CheckBuildInputs gave.
  bool Create(const Form& owner, const BuildInputs& checked);

  void SetSource(const std::string& text) override;
  void SetTarget(const std::string& text) override;
  void SetFileBar(int position) override;
  void SetTotalBar(int position) override;
  void SetSizeText(const std::string& text) override;
  void ProcessMessages() override;
  bool Cancelled() override { return cancelled_; }

 protected:
  void Command(int id, int code, HWND control) override;
  void FormShow() override;
  void FormClose() override {}  // only the end of the build closes the window
  bool Message(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void AutoStart();
  BuildInputs checked_;
  bool cancelled_ = false;  // the Cancel button was pressed
};
