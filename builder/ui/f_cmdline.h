// The command-line help window: the usage text the builder carries, in a fixed-pitch font
// so its indented lines stay in their columns.
#pragma once

#include "ovforms.h"
#include "ovhandles.h"

constexpr int FcmdlineClientWidth = 792;
constexpr int FcmdlineClientHeight = 552;

// The style of the read-only text of such a window.
constexpr DWORD csFixedText = ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP;

// A modal window around one read-only text in Courier New, 13 pixels high; its Close
// button (focused when shown) and Escape close it with Cancel.
class FixedTextForm : public Form {
 public:
  FixedTextForm(int textId, int closeId) : textId_(textId), closeId_(closeId) {}
  ~FixedTextForm() override;

 protected:
  // Puts the font on the text control; call after the controls are made.
  void UseFixedPitchFont();
  void Command(int id, int code, HWND control) override;
  bool FormKeyDown(UINT key) override;
  void FormShow() override;

  const int textId_;
  const int closeId_;

 private:
  GdiObject font_;
};

class Tfcmdline : public FixedTextForm {
 public:
  // Control IDs; the tests find the controls by them, so they stay fixed.
  enum Control { mcmdline = 500, bclose };

  Tfcmdline() : FixedTextForm(mcmdline, bclose) {}
  // FormCreate: the whole usage text in mcmdline.
  bool Create(const Form& owner);
};
