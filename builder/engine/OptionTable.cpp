#include "OptionTable.h"

#include "ForvexControls.h"
#include "u_shared.h"

// The bytes of SfxOptions::member.
#define IN_RECORD(member) (RecordBytes{offsetof(SfxOptions, member), sizeof(SfxOptions::member)})

const std::vector<CodedOption> CodedOptions = {
    {&BuildInputs::ExtractionMode, IN_RECORD(ExtractionMode), "ExtractionMode",  //
     {"me", "mf"}, {rbopenfolder, rbexecutefile}},
    {&BuildInputs::ExtractionFolder, IN_RECORD(ExtractionFolder), "ExtractionFolder",  //
     {"ft", "fd", "fp", "fc", "fs", "fm"}, {rbtemp, rbdesktop, rbdocuments, rbcurrent, rbselect, rbcustom}},
    {&BuildInputs::OpenFolder, IN_RECORD(OpenFolder), "OpenFolder", {nullptr, "e"}, {0, cbopenfolder}},
    {&BuildInputs::WorkingDirectory, IN_RECORD(WorkingDirectory), "WorkingDirectory",  //
     {"we", "ws", "wc"}, {rbwdextraction, rbwdsource, rbwdcurrent}},
    {&BuildInputs::DeleteMode, IN_RECORD(DeleteMode), "DeleteMode",  //
     {"di", "dr", "dn"}, {rbdmimmediately, rbdmonreboot, rbdmdonotdelete}},
    {&BuildInputs::OneInstance, IN_RECORD(OneInstance), "OneInstance", {nullptr, "i"}, {0, cboneinstance}},
    {&BuildInputs::SilentMode, IN_RECORD(SilentMode), "SilentMode", {nullptr, "s"}, {0, cbsilent}},
    {&BuildInputs::SelfDeleteMode, IN_RECORD(SelfDeleteMode), "SelfDeleteMode", {nullptr, "d"}, {0, cbselfdelete}},
    // Chooses the manifest the head carries; the extractor never reads it.
    {&BuildInputs::UACAutoElevation, NotInRecord, "UACAutoElevation",  //
     {"un", "uh", "ua"}, {rbuacnone, rbuachighest, rbuacadministrator}},
    {&BuildInputs::OverwriteMode, IN_RECORD(OverwriteMode), "OverwriteMode",  //
     {"op", "oo", "os"}, {rbomprompt, rbomoverwrite, rbomskip}},
};

const std::vector<TextOption> TextOptions = {
    {&BuildInputs::Source, NotInRecord, "Source", esource},
    {&BuildInputs::Target, NotInRecord, "Target", etarget},
    {&BuildInputs::ExecutableFile, NotInRecord, "ExecutableFile", eexecutablefile},
    {&BuildInputs::CmdParameters, IN_RECORD(CmdParameters), "CmdParameters", ecmdparameters},
    {&BuildInputs::CustomFolder, IN_RECORD(CustomFolder), "CustomFolder", ecustomdir},
};

std::vector<GeneratorSwitch> GeneratorSwitches() {
  std::vector<GeneratorSwitch> switches;
  for (const CodedOption& option : CodedOptions)
    for (size_t code = 0; code < option.switches.size(); ++code)
      if (option.switches[code]) switches.push_back({option.switches[code], option.controls[code]});
  return switches;
}
