// Hidden builds of the real orvex.exe: the SFX head takes over the icon and version
// information of the launch target (or of the file named with xcmv) and the manifest of
// the elevation choice, and the SFX file still extracts and runs.
#include <gtest/gtest.h>

#include "archiverun.h"
#include "OVResourceEditor.h"
#include "driver.h"
#include "resourcecheck.h"
#include "testsupport.h"
#include "u_shared.h"

using namespace testing_support;

namespace {

const ResourceMap kOwnVersion = {{Key(ResourceId(16), "#1", 0), SfxVersionInfo(ORVEX_VERSION_STRING)}};

class SfxResources : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    folder_ = MakeScratchDir("sfxres-" + name_);
    source_ = folder_ + "src";
    target_ = folder_ + "out.exe";
    dest_ = folder_ + "dest";
    CreateDirectoryA(source_.c_str(), nullptr);
    WriteFileBytes(source_ + "\\a.txt", "extracted text\r\n");
    for (const char* suffix : {".txt", ".exe", ".source.exe", ".manifest"})
      DeleteFileA((SampleBase() + suffix).c_str());
  }
  void TearDown() override { RemoveTree(folder_); }

  void AddLaunchTarget(const char* fixture) {
    ASSERT_TRUE(CopyFileA((BinDir() + fixture + ".exe").c_str(), (source_ + "\\app.exe").c_str(), FALSE));
  }

  // A hidden build that must succeed without any box.
  void Build(const std::string& arguments, const std::string& builder = std::string()) {
    std::string program = builder.empty() ? BinDir() + "orvex.exe" : builder;
    DWORD code = RunToEnd(Quoted(program) + " -h -c -o " + arguments, 60000);
    ASSERT_EQ(code, 0u) << arguments;
    ASSERT_TRUE(FileExists(target_));
  }

  // The options record lies where the head's image ends, as the extractor finds it.
  SfxOptions Options() {
    SfxOptions options{};
    EXPECT_TRUE(sfxtest::ReadOptionsRecord(ReadFileBytes(target_), options));
    return options;
  }

  // Runs the SFX file, which extracts into `dest_` and keeps what it extracted.
  void ExpectExtractsAndRuns() {
    EXPECT_EQ(std::string(Options().CustomFolder), dest_ + "\\") << "the record is found after the updates";
    EXPECT_EQ(RunToEnd(Quoted(target_), 60000), 0u);
    EXPECT_EQ(ReadFileBytes(dest_ + "\\a.txt"), "extracted text\r\n");
  }

  // Keeps the SFX file, with what it must carry, for the host read-back (sfx_readback).
  void SaveSample(const std::string& iconSource, const std::string& manifest, unsigned language) {
    CreateDirectoryA((BinDir() + "..\\sfx-samples").c_str(), nullptr);
    std::string base = SampleBase();
    CopyFileA((BinDir() + "sfxhead.exe").c_str(), (BinDir() + "..\\sfx-samples\\head.exe").c_str(), FALSE);
    ASSERT_TRUE(CopyFileA(target_.c_str(), (base + ".exe").c_str(), FALSE));
    if (!iconSource.empty()) {
      ASSERT_TRUE(CopyFileA(iconSource.c_str(), (base + ".source.exe").c_str(), FALSE));
    }
    if (!manifest.empty()) WriteFileBytes(base + ".manifest", manifest);
    WriteFileBytes(base + ".txt", "language " + std::to_string(language) + "\n");
  }
  std::string SampleBase() { return BinDir() + "..\\sfx-samples\\" + name_; }

  std::string name_, folder_, source_, target_, dest_;
};

TEST_F(SfxResources, LaunchTargetIconVersionAndHighestManifest) {
  AddLaunchTarget("res_fixture_full");
  Build("-mf -uh -fm -dn -s " + Quoted(source_) + " " + Quoted(target_) + " " + Quoted(source_ + "\\app.exe") +
        " " + Quoted(dest_));
  ResourceMap sfx = Resources(target_);
  ExpectIconsCopied(source_ + "\\app.exe", sfx, "MAINICON");
  EXPECT_TRUE(OfType(sfx, kVersion) == OfType(Resources(source_ + "\\app.exe"), kVersion));
  EXPECT_TRUE(OfType(sfx, kManifest) == ResourceMap({{Key(kManifest, "#1", 0x0407), kHighestManifest}}))
      << Keys(OfType(sfx, kManifest));
  EXPECT_EQ(Options().ExtractionMode, 1);
  SaveSample(source_ + "\\app.exe", kHighestManifest, 0x0407);
  ExpectExtractsAndRuns();
  EXPECT_EQ(ReadFileBytes(dest_ + "\\app.exe"), ReadFileBytes(source_ + "\\app.exe"));
}

TEST_F(SfxResources, LaunchTargetWithoutIconsKeepsMainicon) {
  AddLaunchTarget("res_fixture_bare");
  Build("-mf -ua -fm -dn -s " + Quoted(source_) + " " + Quoted(target_) + " " + Quoted(source_ + "\\app.exe") +
        " " + Quoted(dest_));
  ResourceMap sfx = Resources(target_);
  EXPECT_TRUE(Without(sfx, {kManifest, kVersion}) == Resources(BinDir() + "sfxhead.exe")) << Keys(sfx);
  EXPECT_TRUE(OfType(sfx, kVersion) == kOwnVersion) << "a source without version information: Orvex's own";
  EXPECT_TRUE(OfType(sfx, kManifest) == ResourceMap({{Key(kManifest, "#1", 0), kCarriedManifest}}))
      << Keys(OfType(sfx, kManifest));
  SaveSample(source_ + "\\app.exe", kCarriedManifest, 0);
  ExpectExtractsAndRuns();
}

TEST_F(SfxResources, XcmvInExtractOnlyModeWithoutElevation) {
  std::string regedit = SystemProgram("regedit.exe");
  Build("-xcmv -fm -s " + Quoted(source_) + " " + Quoted(target_) + " " + Quoted(dest_) + " " + Quoted(regedit));
  ResourceMap sfx = Resources(target_);
  ExpectIconsCopied(regedit, sfx, "MAINICON");
  EXPECT_TRUE(OfType(sfx, kVersion) == OfType(Resources(regedit), kVersion));
  EXPECT_TRUE(OfType(sfx, kManifest) == ResourceMap({{Key(kManifest, "#1", 0x0409), kInvokerManifest}}))
      << "no elevation: the level of the caller, " << Keys(OfType(sfx, kManifest));
  EXPECT_EQ(Options().ExtractionMode, 0);
  SaveSample(regedit, kInvokerManifest, 0x0409);
  ExpectExtractsAndRuns();
}

TEST_F(SfxResources, XcmvWithLaunchModeTakesTheParameters) {
  // The parameters' positional is also the xcmv file: its icon, not the launch target's;
  // it has no version information, so the manifest has language 0.
  AddLaunchTarget("res_fixture_full");
  std::string iconsOnly = BinDir() + "res_fixture_icons.exe";
  Build("-mf -xcmv -uh -fm -dn -s " + Quoted(source_) + " " + Quoted(target_) + " " +
        Quoted(source_ + "\\app.exe") + " " + Quoted(dest_) + " " + Quoted(iconsOnly));
  ResourceMap sfx = Resources(target_);
  ExpectIconsCopied(iconsOnly, sfx, "MAINICON");
  EXPECT_TRUE(OfType(sfx, kVersion) == kOwnVersion);
  EXPECT_TRUE(OfType(sfx, kManifest) == ResourceMap({{Key(kManifest, "#1", 0), kHighestManifest}}))
      << Keys(OfType(sfx, kManifest));
  EXPECT_EQ(std::string(Options().CmdParameters), iconsOnly);
  SaveSample(iconsOnly, kHighestManifest, 0);
  ExpectExtractsAndRuns();
}

BOOL CALLBACK FirstLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR out) {
  *reinterpret_cast<WORD*>(out) = language;
  return FALSE;
}

// A builder whose carried manifest lacks the level that elevation 1 lowers: the manifest
// cannot be made, so the build must fail visibly and leave no SFX file.
TEST_F(SfxResources, ManifestThatCannotBeWrittenFailsTheBuild) {
  std::string builder = folder_ + "orvex-broken.exe";
  ASSERT_TRUE(CopyFileA((BinDir() + "orvex.exe").c_str(), builder.c_str(), FALSE));
  HMODULE module = LoadLibraryExA(builder.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(module);
  WORD language = 0;
  EnumResourceLanguagesA(module, "XML", "UAC", FirstLanguage, reinterpret_cast<LONG_PTR>(&language));
  FreeLibrary(module);
  HANDLE update = BeginUpdateResourceA(builder.c_str(), FALSE);
  ASSERT_TRUE(update);
  static const char kNoLevel[] = "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"/>";
  ASSERT_TRUE(UpdateResourceA(update, "XML", "UAC", language, const_cast<char*>(kNoLevel), sizeof kNoLevel - 1));
  ASSERT_TRUE(EndUpdateResourceA(update, FALSE));

  AddLaunchTarget("res_fixture_full");
  ChildProcess run(Quoted(builder) + " -h -c -o -mf -uh -s " + Quoted(source_) + " " + Quoted(target_) + " " +
                   Quoted(source_ + "\\app.exe"));
  ASSERT_TRUE(run.Started());
  HWND box = driver::WaitForWindow("#32770", "", 30000, run.Id());
  ASSERT_TRUE(box) << "no error box";
  driver::MessageBoxInfo info = driver::ReadMessageBox(box);
  driver::SaveScreenshot(box, ScreenshotDir() + "sfxres-manifest-error.png");
  EXPECT_EQ(info.icon, driver::BoxIcon::Error);
  EXPECT_NE(info.text.find("manifest"), std::string::npos) << info.text;
  EXPECT_NE(info.text.find(target_), std::string::npos) << info.text;
  driver::PressButton(box, "OK");
  ASSERT_TRUE(run.Wait(30000));
  EXPECT_FALSE(FileExists(target_)) << "no SFX file without the asked-for rights";

  // Elevation 2 keeps the carried text as it is, so the same builder still builds.
  Build("-mf -ua -s " + Quoted(source_) + " " + Quoted(target_) + " " + Quoted(source_ + "\\app.exe"), builder);
}

}  // namespace
