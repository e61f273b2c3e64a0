#include "BuildSfx.h"

#include <stdio.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <random>

#include "ArchiveName.h"
#include "BuildJob.h"
#include "LocalTime.h"
#include "OVResources.h"
#include "OptionTable.h"
#include "SourceWalk.h"
#include "Utf8.h"
#include "WindowsNames.h"
#include "u_bytesize.h"
#include "u_shared.h"
#include "u_strong.h"

namespace {

// The order of two names as NTFS lists a folder: by UTF-16 code units after upper-casing.
int NtfsOrder(const std::u16string& a, const std::u16string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = OrderUpperCase(a[i]), y = OrderUpperCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// The walk's order; names that differ only in letter case (possible on other file
// systems, and refused) by their code units, so the message names them in one order.
bool ListedBefore(const FolderItem& a, const FolderItem& b) {
  int order = NtfsOrder(a.unicode, b.unicode);
  return order != 0 ? order < 0 : a.unicode < b.unicode;
}

// A name Windows cannot give a file: control characters, the characters it reserves, or a
// trailing dot or blank. Only other systems list such names.
bool UnfitForWindows(const std::u16string& name) {
  for (char16_t c : name)
    if (c < 32 || std::u16string(u"\\/:*?\"<>|").find(c) != std::u16string::npos) return true;
  return !name.empty() && (name.back() == u'.' || name.back() == u' ');
}

// The strong layout's text in UTF-8: as the front end gave it, or the code-page text
// converted; the record's copy then only where the code page holds the text and the field
// has room for it (`longest` bytes), empty elsewhere: a reader of the record takes it whole.
void SettleText(uint32_t codePage, size_t longest, std::string& text, std::string& utf8) {
  if (utf8.empty()) {
    std::u16string wide;
    if (!text.empty() && FromArchiveName(text, codePage, wide)) ToUtf8(wide, utf8);
    return;
  }
  std::string copy;
  text = ToArchiveName(Utf16(utf8), codePage, copy) && copy.size() <= longest ? copy : std::string();
}

// Why a text cannot be carried; empty when it can. The strong layout carries the UTF-8 the
// front end gave up to StrongMaxTextLength bytes; otherwise the record's field limits it.
std::string TextRefusal(const BuildInputs& in, const std::string& what, const std::string& text,
                        const std::string& utf8, size_t longest) {
  if (in.StrongCompression && !utf8.empty()) {
    const std::string& shown = text.empty() ? utf8 : text;
    // The extractor takes the strong layout's texts as it takes names: one line, no tab.
    if (std::any_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 32; }))
      return what + " not one line of text free of tabs and other control characters\r\n\r\n" + shown;
    if (utf8.size() <= StrongMaxTextLength) return std::string();
    return what + " longer than " + std::to_string(StrongMaxTextLength) + " bytes in UTF-8\r\n\r\n" + shown;
  }
  if (text.size() <= longest) return std::string();
  return what + " longer than " + std::to_string(longest) + " characters\r\n\r\n" + text;
}

// An id below 2,147,483,647 from a generator of this build alone, seeded from the clocks
// and from the system's random source: two builds started at the same instant, in one
// process or in two, draw different ids.
uint32_t DrawnInstanceId() {
  auto wall = static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  auto steady = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::random_device random;
  std::seed_seq seed{static_cast<uint32_t>(steady), static_cast<uint32_t>(steady >> 32), static_cast<uint32_t>(wall),
                     static_cast<uint32_t>(wall >> 32), random(), random()};
  std::mt19937 generator(seed);
  return std::uniform_int_distribution<uint32_t>(0, 2147483646)(generator);
}

// The options record, byte for byte as the option table places each option.
void WriteOptions(BuildJob& job) {
  SfxOptions options = {};
  uint8_t* record = reinterpret_cast<uint8_t*>(&options);
  const BuildInputs& in = job.in;
  // A text keeps at most size - 1 characters and the zeroed rest of its field.
  for (const TextOption& option : TextOptions) {
    const std::string& text = in.*option.field;
    if (option.record.size)
      std::copy_n(text.begin(), std::min(text.size(), option.record.size - 1), record + option.record.offset);
  }
  for (const CodedOption& option : CodedOptions)
    if (option.record.size) record[option.record.offset] = in.*option.field;
  options.Compressed = in.StrongCompression ? CompressedStrong : in.Compressed;
  // A reproducible id is filled in when everything it is derived from has been written.
  if (!in.Reproducible) {
    char id[16];
    snprintf(id, sizeof id, "%010X", DrawnInstanceId());
    std::copy_n(id, 10, options.InstanceId);
  } else {
    job.optionsPosition = job.written;
    job.contentHash = std::make_unique<Sha256>();
  }
  job.Write(&options, sizeof options);
}

// The first 31 bits of the content's digest, below 2,147,483,647 like a drawn id.
void WriteReproducibleInstanceId(BuildJob& job) {
  std::array<uint8_t, 32> digest = job.contentHash->Final();
  uint32_t value = (uint32_t{digest[0]} << 24 | uint32_t{digest[1]} << 16 | uint32_t{digest[2]} << 8 | digest[3]) &
                   0x7FFFFFFF;
  char id[16];
  snprintf(id, sizeof id, "%010X", value % 2147483647u);
  job.target.WriteAt(job.optionsPosition + offsetof(SfxOptions, InstanceId), id, 10);
}

// The carried head with the icon and version information of the resource source and the
// elevation manifest. An SFX file without the rights the user asked for would fail in ways
// hard to trace, so a manifest that cannot be written stops the build.
std::string PreparedHead(const BuildJob& job) {
  const SfxHeads& heads = job.environment.Heads;
  std::string head(static_cast<const char*>(heads.Head.data), heads.Head.size);
  if (!PrepareHeadBytes(head, job.in.ResourceSource, job.in.UACAutoElevation, heads.UacManifest))
    throw EBuildError("The elevation manifest could not be written into the SFX file\r\n\r\n" + job.in.Target);
  return head;
}

// The PE checksum of the finished file, as the system's CheckSumMappedFile computes it:
// its 16-bit words summed with end-around carry, the checksum field taken as 0, plus the
// file's length. Summed last, over what was written, so it covers every layout and every
// byte patched after it was written.
void WriteFileChecksum(BuildJob& job) {
  OvFile& file = job.target;
  uint8_t* block = job.chunkBuffer.get();
  uint64_t field = 0, sum = 0;
  file.Seek(0);
  for (uint64_t at = 0; at < job.written; at += ChunkSize) {
    uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(ChunkSize, job.written - at));
    file.ReadExact(block, length);
    if (at == 0) {
      // The head is the extractor: its PE header lies within the first block.
      field = (block[0x3C] | block[0x3D] << 8 | block[0x3E] << 16 | uint32_t{block[0x3F]} << 24) + 24 + 64;
      std::fill_n(block + field, 4, 0);
    }
    for (uint32_t i = 0; i + 1 < length; i += 2) sum += block[i] | block[i + 1] << 8;
    if (length & 1) sum += block[length - 1];
  }
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  uint32_t checksum = static_cast<uint32_t>(sum + job.written);
  uint8_t bytes[4] = {uint8_t(checksum), uint8_t(checksum >> 8), uint8_t(checksum >> 16), uint8_t(checksum >> 24)};
  file.WriteAt(field, bytes, sizeof bytes);
}

}  // namespace

tfile::tfile(const std::string& prefix, const std::string& name, const std::string& path,
             const std::u16string& widePath, uint32_t time, uint64_t size, uint32_t attr)
    : Time(time), Size(static_cast<int64_t>(size)), Attr(attr), Name(prefix + name), Path(path), WidePath(widePath) {
  if (IsFolder()) Size = 0;
}

void BuildJob::CheckRoom(uint64_t length) const {
  if (!in.StrongCompression && written + length > environment.SizeLimit)
    throw EInputRefused("The SFX file would grow beyond " + std::to_string(environment.SizeLimit) +
                        " bytes, more than its extractor can read\r\n\r\n" + in.Target);
}

void BuildJob::Write(const void* data, uint32_t length) {
  CheckRoom(length);
  target.Write(data, length);
  if (contentHash) contentHash->Update(data, length);
  written += length;
}

void BuildJob::WriteCompressedChunk(uint32_t rawLength, const uint8_t* data, uint32_t length) {
  uint32_t lengths[2] = {rawLength, length};
  CheckRoom(uint64_t{sizeof lengths} + length);
  // The extractor reads a compressed chunk whole into a buffer of this size.
  if (length > ChunkBufferSize) RaiseOutOfMemory();
  target.Write(lengths, sizeof lengths);
  target.Write(data, length);
  if (contentHash) {
    const uint32_t hashed[2] = {rawLength, 0};
    contentHash->Update(hashed, sizeof hashed);
    contentHash->Update(data, length);
  }
  written += sizeof lengths + length;
}

std::string Trim(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
  return text.substr(first, last - first);
}

void NormalizeInputs(BuildInputs& in) {
  in.Source = IncludeTrailingSeparator(FullPath(Trim(in.Source)));
  in.Target = FullPath(Trim(in.Target));
  in.ExecutableFile = FullPath(Trim(in.ExecutableFile));
  in.CmdParameters = Trim(in.CmdParameters);
  in.CmdParametersUtf8 = Trim(in.CmdParametersUtf8);
  in.CustomFolderUtf8 = Trim(in.CustomFolderUtf8);
  if (!in.CustomFolderUtf8.empty() && in.CustomFolderUtf8.back() != '\\') in.CustomFolderUtf8 += '\\';
  // The custom folder is a Windows path whichever system builds.
  in.CustomFolder = Trim(in.CustomFolder);
  if (PathSeparator == '\\')
    in.CustomFolder = IncludeTrailingSeparator(in.CustomFolder);
  else if (!in.CustomFolder.empty() && in.CustomFolder.back() != '\\')
    in.CustomFolder += '\\';
}

std::string InputsRefusal(const BuildInputs& in) {
  if (!IsFolder(in.Source)) return "The source folder does not exist\r\n\r\n" + in.Source;
  if (in.ExtractionMode == 1) {
    if (!IsFile(in.ExecutableFile)) return "The executable file does not exist\r\n\r\n" + in.ExecutableFile;
    // Long forms, so that two spellings of either are the same path.
    if (!PathBeginsWith(FullLongPath(in.ExecutableFile), IncludeTrailingSeparator(FullLongPath(in.Source))))
      return "The executable file\r\n" + in.ExecutableFile + "\r\n\r\nis not in the source folder\r\n" + in.Source;
    std::string refusal = TextRefusal(in, "The command line parameters are", in.CmdParameters,
                                      in.CmdParametersUtf8, MaxCmdParametersLength);
    if (!refusal.empty()) return refusal;
  }
  if (in.ExtractionFolder == 5)
    return TextRefusal(in, "The custom folder is", in.CustomFolder, in.CustomFolderUtf8, MaxCustomFolderLength);
  return std::string();
}

bool ParseSourceDateEpoch(const char* value, uint64_t& fileTime) {
  if (!value) return false;
  const char* name = "SOURCE_DATE_EPOCH";
  std::string text = value;
  if (text.size() > 63) text = text.substr(0, 63) + "...";
  // At most 11 digits: beyond 2107 in any case, and no overflow.
  bool digits = !text.empty() && text.size() <= 11;
  for (char c : text) digits = digits && c >= '0' && c <= '9';
  fileTime = digits ? (std::stoull(text) + 11644473600ull) * 10000000ull : 0;
  if (!digits || DosTimeOf(fileTime) == 0)
    throw EInputRefused(std::string(name) +
                        " must be a decimal count of seconds since 1970 that falls within the dates an SFX file "
                        "can store (1980 to 2107)\r\n\r\n" + name + "=" + text);
  return true;
}

bool IsTarget(const BuildJob& job, const FileIdentity& file) { return file == job.targetIdentity; }

bool IsLaunchTarget(const BuildJob& job, const tfile& item) {
  return !job.launchTarget.empty() && !item.IsFolder() &&
         SamePath(job.longSource + item.Path.substr(job.in.Source.size()), job.launchTarget);
}

void CollectEntries(BuildJob& job, const std::string& prefix, const std::string& folder,
                    const std::u16string& wideFolder) {
  std::vector<FolderItem> listed = ListFolder(folder, wideFolder, job.environment.Listing);
  std::sort(listed.begin(), listed.end(), ListedBefore);
  // Sorted by their upper case, the names Windows takes for one stand side by side; the
  // message names them in the walk's order.
  std::vector<std::pair<std::u16string, size_t>> compared;
  for (size_t i = 0; i < listed.size(); ++i) compared.emplace_back(ComparedName(listed[i].unicode), i);
  std::sort(compared.begin(), compared.end());
  for (size_t i = 1; i < compared.size(); ++i)
    if (compared[i - 1].first == compared[i].first)
      throw EInputRefused("Windows does not tell these names apart\r\n\r\n" + folder +
                          listed[compared[i - 1].second].name + "\r\n" + folder + listed[compared[i].second].name);
  for (FolderItem& found : listed) {
    if (job.in.StrongCompression && !found.undecodable.empty())
      throw EInputRefused("The name of this file is not valid Unicode text\r\n\r\n" + folder + found.undecodable);
    std::string name;
    bool named = job.in.StrongCompression ? ToUtf8(found.unicode, name) : ToArchiveName(found.unicode, job.in.CodePage, name);
    if (!named)
      throw EInputRefused("The name of this file cannot be represented in the system's code page\r\n\r\n" + folder +
                          found.name);
    // Refused before the target exists: on Windows, opening the file would open the
    // device (AUX waits for a serial line). The archive's bytes too, as the reader tests them.
    if (IsDeviceName(found.unicode) || IsDeviceName(name))
      throw EInputRefused("Windows opens a device for this name\r\n\r\n" + folder + found.name);
    if (UnfitForWindows(found.unicode))
      throw EInputRefused("This name cannot be used on Windows\r\n\r\n" + folder + found.name);
    size_t longest = job.in.StrongCompression ? StrongMaxEntryNameBytes : static_cast<size_t>(MaxEntryNameLength);
    if (prefix.size() + name.size() > longest)
      throw EInputRefused("This name is longer than " + std::to_string(longest) +
                          (job.in.StrongCompression ? " bytes" : " characters") +
                          ", more than an SFX file can carry\r\n\r\n" + folder + found.name);
    if (found.folderLink) {
      job.skippedLinks.push_back(folder + found.name);
      continue;
    }
    bool isFolder = (found.attributes & AttributeDirectory) != 0;
    if (!isFolder && found.size >= 0x80000000u && !job.in.StrongCompression)
      throw EInputRefused("This file is 2 GiB or larger, too large for an SFX file\r\n\r\n" + folder + found.name);
    if (job.in.ClampTimes && found.writeTime > job.in.LatestTime) found.writeTime = job.in.LatestTime;
    std::string path = folder + found.name;
    std::u16string widePath = wideFolder.empty() ? std::u16string() : wideFolder + found.unicode;
    job.entries.push_back(std::make_unique<tfile>(prefix, name, path, widePath, DosTimeOf(found.writeTime),
                                                  found.size, found.attributes));
    if (isFolder)
      CollectEntries(job, prefix + name + "\\", path + PathSeparator,
                     widePath.empty() ? widePath : widePath + char16_t(PathSeparator));
  }
}

void ReportProgress(BuildJob& job, int64_t current, int64_t size) {
  BuildProgress* progress = job.Progress();
  if (!progress) return;
  int file = ProgressBarMaximum;
  if (size != 0) {
    // Rounded to the nearest, halves to even.
    int64_t scaled = ProgressBarMaximum * current;
    int64_t quotient = scaled / size, remainder = scaled % size;
    if (2 * remainder > size || (2 * remainder == size && (quotient & 1))) ++quotient;
    file = static_cast<int>(quotient);
  }
  progress->SetFileBar(file);
  if (job.totalSize == 0) {
    progress->SetTotalBar(0);
  } else {
    int64_t processed = job.doneSize + current;
    progress->SetTotalBar(static_cast<int>(ProgressBarMaximum * processed / job.totalSize));
    char done[ByteSizeTextCapacity], total[ByteSizeTextCapacity], text[3 * ByteSizeTextCapacity];
    FormatByteSize(processed, LocalDecimalSeparator(), done);
    FormatByteSize(job.totalSize, LocalDecimalSeparator(), total);
    snprintf(text, sizeof text, "%s / %s   (%d%%)", done, total, static_cast<int>(100 * processed / job.totalSize));
    progress->SetSizeText(text);
  }
  progress->ProcessMessages();
}

BuildResult BuildSfx(const BuildInputs& inputs, const BuildEnvironment& environment) {
  BuildJob job(inputs, environment);
  if (job.in.StrongCompression) {
    SettleText(job.in.CodePage, MaxCmdParametersLength, job.in.CmdParameters, job.in.CmdParametersUtf8);
    SettleText(job.in.CodePage, MaxCustomFolderLength, job.in.CustomFolder, job.in.CustomFolderUtf8);
  }
  const BuildInputs& in = job.in;
  if (BuildProgress* progress = job.Progress()) {
    progress->SetSource("Initialization...");
    progress->SetTarget(in.Target);
    ReportProgress(job, 0, 0);
  }
  // The long forms decide which item is the launch target.
  job.longSource = IncludeTrailingSeparator(FullLongPath(in.Source));
  if (in.ExtractionMode == 1) job.launchTarget = FullLongPath(in.ExecutableFile);
  CollectEntries(job, std::string(), in.Source, WidePathOf(in.Source));
  // Found in the source by its text, the executable file may still not be packed: it lies
  // beyond a folder link the walk does not follow, or it is the target itself.
  if (!job.launchTarget.empty()) {
    job.targetIdentity = IdentityOf(in.Target);
    auto packed = [&job](const auto& item) {
      return IsLaunchTarget(job, *item) && !IsTarget(job, IdentityOf(item->Path, item->WidePath));
    };
    if (std::none_of(job.entries.begin(), job.entries.end(), packed))
      throw EInputRefused("The executable file\r\n" + in.ExecutableFile +
                          "\r\n\r\nis not among the files packed from the source folder\r\n" + in.Source);
  }
  for (const auto& item : job.entries) job.totalSize += item->Size;
  CreateFolderFor(in.Target);

  // From the moment the target is created or truncated, a failure removes it: a
  // half-written SFX file must not be left looking valid. A target that could not even
  // be opened is not ours to delete.
  try {
    job.target = OvFile(in.Target, OvFile::CreateAlways);
    job.targetIdentity = job.target.Identity();
  } catch (const EBuildError& error) {
    // The system's text alone does not say which file could not be opened.
    throw EBuildError(std::string(error.what()) + "\r\n\r\n" + in.Target);
  }
  BuildResult result;
  try {
    std::string head = PreparedHead(job);
    job.Write(head.data(), static_cast<uint32_t>(head.size()));
    WriteOptions(job);
    unsigned threads = CompressingThreads(in.Threads);
    if (in.StrongCompression) {
      WriteStrongArchive(job, threads);
    } else {
      if (in.SelfDeleteMode == 1) WriteSelfDeleteEntry(job);
      // Stored entries have nothing to compress.
      if (threads > 1 && in.Compressed == 1) {
        WriteEntriesInParallel(job, threads);
      } else {
        for (const auto& item : job.entries) {
          if (job.Cancelled()) break;
          WriteEntry(job, *item);
        }
      }
      static const uint8_t terminator[sizeof(EntryHeader)] = {};
      job.Write(terminator, sizeof terminator);
    }
    if (job.contentHash) WriteReproducibleInstanceId(job);
    if (!job.Cancelled()) WriteFileChecksum(job);
    job.target.Close();
  } catch (...) {
    job.target.Abandon();
    ForceDeleteFile(in.Target);
    throw;
  }
  result.Cancelled = job.Cancelled();
  if (result.Cancelled) ForceDeleteFile(in.Target);
  result.Written = job.written;
  result.SkippedLinks = job.skippedLinks;
  return result;
}

std::string SkippedLinksText(const std::vector<std::string>& links) {
  if (links.empty()) return std::string();
  std::string text = "These folder links were not followed:";
  for (const std::string& link : links) text += "\r\n" + link;
  return text;
}
