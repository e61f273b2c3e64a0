#include "LinuxBuild.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <iostream>
#include <iterator>
#include <utility>

#include "ArchiveName.h"
#include "BuildErrors.h"
#include "BuildSfx.h"
#include "CarriedHeads.h"
#include "CmdLineHelper.h"
#include "ProgressLine.h"
#include "Utf8.h"

namespace {

enum ExitStatus { ExitBuilt = 0, ExitUnexpectedError = 1, ExitInputsRefused = 2 };

// The first of the signals below that arrived during the build, 0 while none did. Any
// thread may take the signal; the building thread reads it before every item and chunk.
std::atomic<int> gStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set by a signal handler");
const int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void Stop(int signal) {
  int none = 0;
  gStopSignal.compare_exchange_strong(none, signal);
}

// Ctrl-C, SIGTERM and SIGHUP stop the build as the Cancel button of orvex.exe does: the
// engine finishes the current chunk and removes the target it created or truncated.
// A signal the parent had the program ignore (a background job's Ctrl-C, nohup's SIGHUP)
// stays ignored.
class StoppableBuild : public ProgressLine {
 public:
  explicit StoppableBuild(int descriptor) : ProgressLine(descriptor) {
    struct sigaction stop {};
    stop.sa_handler = Stop;
    // Restarted calls: an interrupted open or listing must not fail the build instead.
    stop.sa_flags = SA_RESTART;
    sigemptyset(&stop.sa_mask);
    for (size_t i = 0; i < std::size(StopSignals); ++i) {
      sigaction(StopSignals[i], nullptr, &before_[i]);
      if (before_[i].sa_handler != SIG_IGN) sigaction(StopSignals[i], &stop, nullptr);
    }
  }
  ~StoppableBuild() override {
    for (size_t i = 0; i < std::size(StopSignals); ++i) sigaction(StopSignals[i], &before_[i], nullptr);
  }
  bool Cancelled() override { return gStopSignal != 0; }

  // Ends the program by the signal that stopped the build, as the signal would have
  // without the handler, so that a shell or a script sees how it ended.
  [[noreturn]] void EndBySignal() {
    int signal = gStopSignal;
    std::cout.flush();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
    _exit(128 + signal);
  }

 private:
  struct sigaction before_[std::size(StopSignals)];
};

bool IsDashSwitch(const std::string& param) { return !param.empty() && param[0] == '-'; }

// The Windows builder's text with Linux line ends.
std::string LinuxText(const std::string& text) {
  std::string lines;
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lines += text[i];
  return lines;
}

// A text of the command line in the archive's code page, exactly; an empty text stays empty.
bool InCodePage(std::string& text, uint32_t codePage) {
  std::string converted;
  if (text.empty()) return true;
  if (!ToArchiveName(Utf16(text), codePage, converted)) return false;
  text = std::move(converted);
  return true;
}

// Why the values of the command line cannot be built; empty when they can.
std::string CommandLineRefusal(const CommandLineValues& v, BuildInputs& in) {
  if (!v.Refusal.empty()) return v.Refusal;
  std::string probe;
  if (!ToArchiveName(u"a", in.CodePage, probe))
    return "This system cannot convert names to code page " + std::to_string(in.CodePage);
  if (in.StrongCompression) {
    // Carried in UTF-8 as given; the build keeps the code-page copies the code page holds.
    for (auto text : {std::pair{&in.CmdParameters, "The command line parameters are"},
                      {&in.CustomFolder, "The custom folder is"}})
      if (!text.first->empty() && Utf16(*text.first).empty())
        return std::string(text.second) + " not UTF-8 text\r\n\r\n" + EscapedUtf8(*text.first);
    in.CmdParametersUtf8 = in.CmdParameters;
    in.CustomFolderUtf8 = in.CustomFolder;
    return std::string();
  }
  const std::string where = " cannot be represented in code page " + std::to_string(in.CodePage) + "\r\n\r\n";
  if (!InCodePage(in.CmdParameters, in.CodePage)) return "The command line parameters" + where + in.CmdParameters;
  if (!InCodePage(in.CustomFolder, in.CodePage)) return "The custom folder" + where + in.CustomFolder;
  return std::string();
}

// The checks of the Windows builder before every build of the engine's inputs, with the
// overwrite question answered by -o alone; the message that refuses the inputs, empty
// when they are fine.
std::string BuildRefusal(const CommandLineValues& v, const BuildInputs& in) {
  std::string refusal = InputsRefusal(in);
  if (!refusal.empty()) return refusal;
  struct stat status;
  if (lstat(in.Target.c_str(), &status) != 0) return std::string();
  // A build that fails deletes its target: never a device, a pipe or a link's target.
  if (!S_ISREG(status.st_mode)) return "The target is not a file\r\n\r\n" + in.Target;
  if (!v.OverwriteTarget) return "Target file already exists\r\n\r\n" + in.Target + "\r\n\r\n-o overwrites it";
  return std::string();
}

}  // namespace

int RunLinuxBuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  int progressDescriptor) {
  ParsedCommandLine line(args, SameTextAscii, IsDashSwitch, LinuxBuildSwitches);
  CommandLineValues v = EvaluateCommandLine(line);
  if (!v.CommandLineMode) {
    err << "orvex: a build needs a source folder and a target file (orvex --help)\n";
    return ExitInputsRefused;
  }
  BuildInputs in = v.Inputs;
  if (in.CodePage == 0) in.CodePage = 1252;
  StoppableBuild progress(progressDescriptor);
  try {
    std::string refusal = CommandLineRefusal(v, in);
    if (refusal.empty()) {
      in = EngineInputs(v, in, getenv("SOURCE_DATE_EPOCH"));
      refusal = BuildRefusal(v, in);
    }
    if (!refusal.empty()) {
      err << LinuxText(refusal) << "\n";
      return ExitInputsRefused;
    }
    BuildEnvironment environment;
    environment.Heads = CarriedHeads(v.X64);
    environment.Progress = &progress;
    // Stopped while the inputs were checked: nothing has been written yet.
    if (progress.Cancelled()) progress.EndBySignal();
    BuildResult result = BuildSfx(in, environment);
    progress.Clear();
    if (result.Cancelled) {
      err << LinuxText("Orvex has been aborted\r\nTarget SFX file has been deleted") << "\n";
      progress.EndBySignal();
    }
    std::string skipped = SkippedLinksText(result.SkippedLinks);
    if (!skipped.empty()) err << LinuxText(skipped) << "\n";
    if (!v.NoFinalMessage) out << in.Target << " " << result.Written << " bytes\n";
    return ExitBuilt;
  } catch (const EInputRefused& refusal) {
    progress.Clear();
    err << LinuxText(refusal.what()) << "\n";
    return ExitInputsRefused;
  } catch (const std::exception& error) {
    progress.Clear();
    err << LinuxText(error.what()) << "\n";
    return ExitUnexpectedError;
  }
}
