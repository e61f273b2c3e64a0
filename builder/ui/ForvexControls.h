// The control IDs of the main window, and the controls that show each option of the
// option table.
#pragma once

#include <vector>

#include "OptionTable.h"

// Control IDs of the main window; the tests find the controls by them, so they stay fixed.
enum ForvexControl {
  gbsource = 100, lsource, esource, bsource, ltarget, etarget, btarget,
  gbextractionmode = 110, rbopenfolder, cbopenfolder, rbexecutefile, lexecutablefile, eexecutablefile,
  bexecutablefile, lcmdparameters, ecmdparameters,
  lworkingdir = 121, rbwdextraction, rbwdsource, rbwdcurrent, ldeletemode, rbdmimmediately, rbdmonreboot,
  rbdmdonotdelete,
  gbextractionfolder = 130, rbtemp, rbdesktop, rbdocuments, rbcurrent, rbselect, rbcustom, ecustomdir, lcustom,
  benvvars,
  gbadvanced = 140, cboneinstance, cbsilent, cbselfdelete, luacautoelevation, rbuacnone, rbuachighest,
  rbuacadministrator, loverwritemode, rbomprompt, rbomoverwrite, rbomskip, cbstrongcompression,
  labout = 160, lweb, ldonate, lcmdline, lcmdlinegen, bmake,
};

// The controls of a coded option, one for each code: a radio button each, or 0 and the
// check box of an option that is off or on.
const std::vector<int>& ControlsOf(const CodedOption& option);
// The edit of a text option.
int ControlOf(const TextOption& option);
