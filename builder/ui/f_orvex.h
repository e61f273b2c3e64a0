// The builder's main window: every build option as a control, kept consistent by the
// enabling rules, and the Make button that starts a build.
#pragma once

#include "BuildSfx.h"
#include "ForvexControls.h"
#include "OptionTable.h"
#include "ovforms.h"

constexpr int ForvexClientWidth = 792;
constexpr int ForvexClientHeight = 552;
constexpr const char* DonationAddress = "https://pay.halvorn.example/donate?product=orvex";

class Tforvex : public Form {
 public:
  // FormCreate: builds the window and fills it from the command line or the settings.
  bool Create();
  // The build inputs as the controls show them, checked states read whether enabled or not.
  BuildInputs ReadOptions() const;

 protected:
  void Command(int id, int code, HWND control) override;
  bool FormKeyDown(UINT key) override;
  void FormShow() override;
  void FormClose() override;
  bool Message(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void PlaceLinks();
  void ApplyInputs(const BuildInputs& inputs);
  void LoadStoredSettings();
  void ShowCode(const CodedOption& option, DWORD code);

  void bsourceClick();
  void btargetClick();
  void bexecutablefileClick();
  void rbextractionmodeClick();
  void rbextractionfolderClick(bool clicked);
  void rbuacautoelevationClick();
  void benvvarsClick();
  void bmakeClick();
  void laboutClick();
  void lwebClick();
  void ldonateClick();
  void lcmdlineClick();
  void lcmdlinegenClick();
};

