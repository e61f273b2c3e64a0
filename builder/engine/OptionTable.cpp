#include "OptionTable.h"

#include <stdexcept>

#include "u_shared.h"

// The bytes of SfxOptions::member.
#define IN_RECORD(member) (RecordBytes{offsetof(SfxOptions, member), sizeof(SfxOptions::member)})

const std::vector<CodedOption> CodedOptions = {
    {&BuildInputs::ExtractionMode, IN_RECORD(ExtractionMode), "ExtractionMode", "Extraction mode",
     {{"me", "Extract files into specified folder (default value)", "extract only", "extract"},
      {"mf", "Extract files into specified folder and launch executable file", "launch", "launch"}}},
    {&BuildInputs::ExtractionFolder, IN_RECORD(ExtractionFolder), "ExtractionFolder", "Extraction folder",
     {{"ft", "Temporary folder (default value)", "the temporary folder", "temporary"},
      {"fd", "Desktop folder", "the desktop", "desktop"},
      {"fp", "Documents folder", "the documents folder", "documents"},
      {"fc", "Current folder", "the current folder", "current"},
      {"fs", "Show \"Browse for Folder\" dialog before extraction", "a folder the user chooses", "browse"},
      {"fm", "Custom folder (specify the folder as param3/4)", "a custom folder", "custom"}}},
    {&BuildInputs::OpenFolder, IN_RECORD(OpenFolder), "OpenFolder", nullptr,
     {{nullptr, nullptr, nullptr, "false"},
      {"e", "Open extracted folder in the explorer after extraction", "then open the folder", "true", "me"}}},
    {&BuildInputs::WorkingDirectory, IN_RECORD(WorkingDirectory), "WorkingDirectory", "Working directory",
     {{"we", "Extraction folder, where executable file is located (default value)", "extraction folder",
       "extraction folder", "mf"},
      {"ws", "Source folder, where SFX file is located", "folder of the SFX file", "folder of the SFX file", "mf"},
      {"wc", "Current working directory", "current folder", "current folder", "mf"}}},
    {&BuildInputs::DeleteMode, IN_RECORD(DeleteMode), "DeleteMode", "Delete files",
     {{"di", "Delete extracted files when SFX has finished executing (default value)", "at once", "at once", "mf"},
      {"dr", "Delete extracted files on reboot (requires administrator rights)", "at restart", "at restart", "ua"},
      {"dn", "Do not delete extracted files", "never", "never", "mf"}}},
    {&BuildInputs::OneInstance, IN_RECORD(OneInstance), "OneInstance", nullptr,
     {{nullptr, nullptr, "no", "false"}, {"i", "One instance checking", "yes", "true"}}},
    {&BuildInputs::SilentMode, IN_RECORD(SilentMode), "SilentMode", nullptr,
     {{nullptr, nullptr, "no", "false"}, {"s", "Silent extraction mode", "yes", "true"}}},
    {&BuildInputs::SelfDeleteMode, IN_RECORD(SelfDeleteMode), "SelfDeleteMode", nullptr,
     {{nullptr, nullptr, "no", "false"}, {"d", "Self destructing mode", "yes", "true"}}},
    // Chooses the manifest the head carries; the extractor never reads it.
    {&BuildInputs::UACAutoElevation, NotInRecord, "UACAutoElevation", "UAC auto-elevation",
     {{"un", "None", nullptr, nullptr, "mf"},
      {"uh", "Run SFX file with the highest available permission", nullptr, nullptr, "mf"},
      {"ua", "Run SFX file as administrator", nullptr, nullptr, "mf"}}},
    {&BuildInputs::OverwriteMode, IN_RECORD(OverwriteMode), "OverwriteMode", "Overwrite mode",
     {{"op", "Prompt user whether to overwrite existing file (default value)", "ask", "ask"},
      {"oo", "Automatically overwrite all existing files", "overwrite", "overwrite"},
      {"os", "Automatically skip extracting of all existing files", "skip", "skip"}}},
    // Chooses the archive's layout, which the record's Compressed byte marks.
    {&BuildInputs::StrongCompression, NotInRecord, "StrongCompression", "Compression",
     {{"zd", "Deflate, every file on its own (default value)", nullptr, nullptr},
      {"zs", "Strong, LZMA: all files as one stream, identical files stored once, files of 2 GiB and more",
       nullptr, nullptr}}},
};

const std::vector<TextOption> TextOptions = {
    {&BuildInputs::Source, NotInRecord, "Source"},
    {&BuildInputs::Target, NotInRecord, "Target"},
    {&BuildInputs::ExecutableFile, NotInRecord, "ExecutableFile"},
    {&BuildInputs::CmdParameters, IN_RECORD(CmdParameters), "CmdParameters"},
    {&BuildInputs::CustomFolder, IN_RECORD(CustomFolder), "CustomFolder"},
};

uint8_t CodedOption::CodeOf(uint8_t stored) const {
  if (IsOnOff()) return stored != 0;
  return stored < codes.size() ? stored : 0;
}

std::string CodedOption::SwitchWords(size_t code) const {
  std::string words;
  if (codes[code].onlyWith) words = std::string("Only with -") + codes[code].onlyWith + ": ";
  if (title) words += std::string(title) + ": ";
  return words + codes[code].meaning;
}

const CodedOption& CodedOptionOf(uint8_t BuildInputs::*field) {
  for (const CodedOption& option : CodedOptions)
    if (option.field == field) return option;
  throw std::logic_error("No row of the option table holds this field");
}

std::vector<GeneratorSwitch> GeneratorSwitches() {
  std::vector<GeneratorSwitch> switches;
  for (const CodedOption& option : CodedOptions)
    for (size_t code = 0; code < option.codes.size(); ++code)
      if (option.codes[code].name) switches.push_back({option.codes[code].name, &option, static_cast<uint8_t>(code)});
  return switches;
}
