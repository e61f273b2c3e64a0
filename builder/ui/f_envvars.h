// The environment-variables window: the variables of the builder's own process as %NAME%
// references, one of which the user picks for the custom extraction folder.
#pragma once

#include <string>

#include "ovforms.h"

constexpr int FenvvarsClientWidth = 792;
constexpr int FenvvarsClientHeight = 552;
constexpr int EnvvarsNameColumnWidth = 200;
constexpr int EnvvarsValueColumnWidth = 571;

class Tfenvvars : public Form {
 public:
  // Control IDs; the tests find the controls by them, so they stay fixed.
  enum Control { vleenvvars = 400, ltip, bclose };

  // FormCreate: the caption after the main window's and the grid filled from the
  // environment.
  bool Create(const Form& main);
  // The name cell (%NAME%) of the grid's current row; empty when the grid has no rows.
  std::string CurrentName() const;

 protected:
  void Command(int id, int code, HWND control) override;
  bool FormKeyDown(UINT key) override;
  void FormShow() override;
  bool Message(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void FillGrid();
  void AddRow(const std::string& name, const std::string& value);
  void vleenvvarsDblClick(POINT position);
  int CurrentRow() const;
};
