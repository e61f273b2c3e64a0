// The control IDs of the main window, apart from the window, so that the option table
// and its host tests can name them.
#pragma once

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
  rbuacadministrator, loverwritemode, rbomprompt, rbomoverwrite, rbomskip,
  labout = 160, lweb, ldonate, lcmdline, lcmdlinegen, bmake,
};
