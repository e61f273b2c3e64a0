#include "f_envvars.h"

#include <commctrl.h>

#include <vector>

#include "CmdLineGenerator.h"

namespace {

constexpr DWORD csGrid = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP;

const ControlDef FenvvarsControls[] = {
    {Tfenvvars::vleenvvars, WC_LISTVIEWA, "", 8, 8, 776, 496, csGrid},
    {Tfenvvars::ltip, "Static",
     "Tip: Use double click or press Enter to copy the variable name into the custom folder edit line", 8, 524, 640,
     15, csLabel},
    {Tfenvvars::bclose, "Button", "Close", 696, 516, 88, 28, csDefaultButton},
};

// The environment of this process as NAME=value strings in block order, in the ANSI code
// page. The wide block is converted here because the narrow block is not in the same code
// page on every system (OEM on some, ANSI on others), so no fixed conversion of it is right.
std::vector<std::string> EnvironmentStrings() {
  std::vector<std::string> strings;
  wchar_t* block = GetEnvironmentStringsW();
  if (!block) return strings;
  for (const wchar_t* entry = block; *entry; entry += lstrlenW(entry) + 1) {
    int length = WideCharToMultiByte(CP_ACP, 0, entry, -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length > 0 ? length : 1), '\0');
    if (length > 0) WideCharToMultiByte(CP_ACP, 0, entry, -1, &text[0], length, nullptr, nullptr);
    text.resize(text.size() - 1);
    strings.push_back(text);
  }
  FreeEnvironmentStringsW(block);
  return strings;
}

}  // namespace

bool Tfenvvars::Create(const Form& main) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&classes);
  if (!CreateForm("Tfenvvars", main.Caption() + " - " + "Environment variables on this computer",
                  FenvvarsClientWidth, FenvvarsClientHeight, WS_POPUP | WS_CAPTION | WS_SYSMENU, main.Handle()) ||
      !CreateControls(FenvvarsControls, sizeof FenvvarsControls / sizeof FenvvarsControls[0]))
    return false;
  HWND grid = Item(vleenvvars);
  SendMessageA(grid, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES,
               LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  const struct {
    const char* title;
    int width;
  } columns[] = {{"Variable", EnvvarsNameColumnWidth}, {"Current value", EnvvarsValueColumnWidth}};
  for (int i = 0; i < 2; ++i) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<char*>(columns[i].title);
    column.cx = Scaled(columns[i].width);
    column.iSubItem = i;
    SendMessageA(grid, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  FillGrid();
  return true;
}

void Tfenvvars::FillGrid() {
  HWND grid = Item(vleenvvars);
  SendMessageA(grid, LVM_DELETEALLITEMS, 0, 0);
  for (const std::string& entry : EnvironmentStrings()) {
    if (entry.empty()) continue;
    std::string name, value;
    SplitEnvironmentRow(EnvironmentRow(entry), name, value);
    AddRow(name, value);
  }
  // The first row is the current one, as in a grid with a cursor.
  LVITEMA state{};
  state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(grid, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
}

void Tfenvvars::AddRow(const std::string& name, const std::string& value) {
  HWND grid = Item(vleenvvars);
  LVITEMA item{};
  item.mask = LVIF_TEXT;
  item.iItem = static_cast<int>(SendMessageA(grid, LVM_GETITEMCOUNT, 0, 0));
  item.pszText = const_cast<char*>(name.c_str());
  int row = static_cast<int>(SendMessageA(grid, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  if (row < 0) return;
  item.iItem = row;
  item.iSubItem = 1;
  item.pszText = const_cast<char*>(value.c_str());
  SendMessageA(grid, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

int Tfenvvars::CurrentRow() const {
  HWND grid = Item(vleenvvars);
  int row = static_cast<int>(SendMessageA(grid, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (row < 0) row = static_cast<int>(SendMessageA(grid, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
  return row;
}

std::string Tfenvvars::CurrentName() const {
  int row = CurrentRow();
  if (row < 0) return std::string();
  char text[1024] = {};
  LVITEMA item{};
  item.iSubItem = 0;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(Item(vleenvvars), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
  return text;
}

void Tfenvvars::FormShow() { SetFocus(Item(vleenvvars)); }

void Tfenvvars::Command(int id, int code, HWND) {
  if ((id == bclose && code == BN_CLICKED) || id == IDCANCEL) SetModalResult(IDCANCEL);
}

bool Tfenvvars::FormKeyDown(UINT key) {
  if (key == VK_ESCAPE) {
    SetModalResult(IDCANCEL);
    return true;
  }
  // vleenvvarsKeyDown: Enter in the grid picks its current row.
  if (key == VK_RETURN && GetFocus() == Item(vleenvvars)) {
    SetModalResult(IDOK);
    return true;
  }
  return false;
}

// Only a double click on a cell of a data row picks it; the column titles belong to the
// header control and never reach here, and a click below the last row hits no cell.
void Tfenvvars::vleenvvarsDblClick(POINT position) {
  LVHITTESTINFO hit{};
  hit.pt = position;
  SendMessageA(Item(vleenvvars), LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
  if (hit.iItem < 0 || hit.iSubItem < 0 || hit.iSubItem > 1) return;
  LVITEMA state{};
  state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(Item(vleenvvars), LVM_SETITEMSTATE, hit.iItem, reinterpret_cast<LPARAM>(&state));
  SetModalResult(IDOK);
}

bool Tfenvvars::Message(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_NOTIFY) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->idFrom == vleenvvars && header->code == NM_DBLCLK)
      vleenvvarsDblClick(reinterpret_cast<const NMITEMACTIVATE*>(lParam)->ptAction);
    return false;
  }
  if (message == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == Item(ltip)) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, GetSysColor(COLOR_HOTLIGHT));
    SetBkMode(dc, TRANSPARENT);
    result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    return true;
  }
  return false;
}
