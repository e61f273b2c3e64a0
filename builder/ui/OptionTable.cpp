#include "OptionTable.h"

#include "ForvexControls.h"

const std::vector<CodedOption> CodedOptions = {
    {&BuildInputs::ExtractionMode, "ExtractionMode", {"me", "mf"}, {rbopenfolder, rbexecutefile}},
    {&BuildInputs::ExtractionFolder,
     "ExtractionFolder",
     {"ft", "fd", "fp", "fc", "fs", "fm"},
     {rbtemp, rbdesktop, rbdocuments, rbcurrent, rbselect, rbcustom}},
    {&BuildInputs::OpenFolder, "OpenFolder", {nullptr, "e"}, {0, cbopenfolder}},
    {&BuildInputs::WorkingDirectory, "WorkingDirectory", {"we", "ws", "wc"}, {rbwdextraction, rbwdsource, rbwdcurrent}},
    {&BuildInputs::DeleteMode, "DeleteMode", {"di", "dr", "dn"}, {rbdmimmediately, rbdmonreboot, rbdmdonotdelete}},
    {&BuildInputs::OneInstance, "OneInstance", {nullptr, "i"}, {0, cboneinstance}},
    {&BuildInputs::SilentMode, "SilentMode", {nullptr, "s"}, {0, cbsilent}},
    {&BuildInputs::SelfDeleteMode, "SelfDeleteMode", {nullptr, "d"}, {0, cbselfdelete}},
    {&BuildInputs::UACAutoElevation,
     "UACAutoElevation",
     {"un", "uh", "ua"},
     {rbuacnone, rbuachighest, rbuacadministrator}},
    {&BuildInputs::OverwriteMode, "OverwriteMode", {"op", "oo", "os"}, {rbomprompt, rbomoverwrite, rbomskip}},
};

const std::vector<TextOption> TextOptions = {
    {&BuildInputs::Source, "Source", esource},
    {&BuildInputs::Target, "Target", etarget},
    {&BuildInputs::ExecutableFile, "ExecutableFile", eexecutablefile},
    {&BuildInputs::CmdParameters, "CmdParameters", ecmdparameters},
    {&BuildInputs::CustomFolder, "CustomFolder", ecustomdir},
};

const std::vector<const char*> FrontEndSwitches = {"o", "c", "h", "q", "r", "xcmv"};

std::vector<GeneratorSwitch> GeneratorSwitches() {
  std::vector<GeneratorSwitch> switches;
  for (const CodedOption& option : CodedOptions)
    for (size_t code = 0; code < option.switches.size(); ++code)
      if (option.switches[code]) switches.push_back({option.switches[code], option.controls[code]});
  return switches;
}
