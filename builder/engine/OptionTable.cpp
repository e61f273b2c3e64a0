#include "OptionTable.h"

#include "u_shared.h"

// The bytes of SfxOptions::member.
#define IN_RECORD(member) (RecordBytes{offsetof(SfxOptions, member), sizeof(SfxOptions::member)})

const std::vector<CodedOption> CodedOptions = {
    {&BuildInputs::ExtractionMode, IN_RECORD(ExtractionMode), "ExtractionMode",  //
     {"me", "mf"}},
    {&BuildInputs::ExtractionFolder, IN_RECORD(ExtractionFolder), "ExtractionFolder",  //
     {"ft", "fd", "fp", "fc", "fs", "fm"}},
    {&BuildInputs::OpenFolder, IN_RECORD(OpenFolder), "OpenFolder", {nullptr, "e"}},
    {&BuildInputs::WorkingDirectory, IN_RECORD(WorkingDirectory), "WorkingDirectory",  //
     {"we", "ws", "wc"}},
    {&BuildInputs::DeleteMode, IN_RECORD(DeleteMode), "DeleteMode",  //
     {"di", "dr", "dn"}},
    {&BuildInputs::OneInstance, IN_RECORD(OneInstance), "OneInstance", {nullptr, "i"}},
    {&BuildInputs::SilentMode, IN_RECORD(SilentMode), "SilentMode", {nullptr, "s"}},
    {&BuildInputs::SelfDeleteMode, IN_RECORD(SelfDeleteMode), "SelfDeleteMode", {nullptr, "d"}},
    // Chooses the manifest the head carries; the extractor never reads it.
    {&BuildInputs::UACAutoElevation, NotInRecord, "UACAutoElevation",  //
     {"un", "uh", "ua"}},
    {&BuildInputs::OverwriteMode, IN_RECORD(OverwriteMode), "OverwriteMode",  //
     {"op", "oo", "os"}},
};

const std::vector<TextOption> TextOptions = {
    {&BuildInputs::Source, NotInRecord, "Source"},
    {&BuildInputs::Target, NotInRecord, "Target"},
    {&BuildInputs::ExecutableFile, NotInRecord, "ExecutableFile"},
    {&BuildInputs::CmdParameters, IN_RECORD(CmdParameters), "CmdParameters"},
    {&BuildInputs::CustomFolder, IN_RECORD(CustomFolder), "CustomFolder"},
};

std::vector<GeneratorSwitch> GeneratorSwitches() {
  std::vector<GeneratorSwitch> switches;
  for (const CodedOption& option : CodedOptions)
    for (size_t code = 0; code < option.switches.size(); ++code)
      if (option.switches[code]) switches.push_back({option.switches[code], &option, static_cast<uint8_t>(code)});
  return switches;
}
