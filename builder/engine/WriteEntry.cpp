#include <algorithm>

#include "BuildJob.h"
#include "SourceFile.h"
#include "u_shared.h"

namespace {

void WriteHeader(BuildJob& job, uint8_t kind, const std::string& name, int32_t size, uint32_t time,
                 uint32_t attributes) {
  std::string bytes = EntryHeaderBytes(kind, name, size, time, attributes);
  job.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

void WriteU32(BuildJob& job, uint32_t value) { job.Write(&value, sizeof value); }

// Writes the n bytes at the start of the chunk buffer as one chunk.
void WriteChunk(BuildJob& job, uint32_t n) {
  if (job.in.Compressed != 1) {
    job.Write(job.chunkBuffer.get(), n);
    return;
  }
  WriteU32(job, n);
  // The compressed length is known only at the end: its place is filled in afterwards.
  uint64_t lengthPosition = job.written;
  WriteU32(job, 0);
  uint32_t m = job.compressor.Compress(job.chunkBuffer.get(), n, [&job](const uint8_t* data, uint32_t length) {
    job.Write(data, length);
  });
  // The extractor reads a compressed chunk whole into a buffer of this size.
  if (m > ChunkBufferSize) RaiseOutOfMemory();
  job.target.WriteAt(lengthPosition, &m, sizeof m);
}

}  // namespace

std::string EntryHeaderBytes(uint8_t kind, const std::string& name, int32_t size, uint32_t time, uint32_t attributes) {
  EntryHeader header;
  header.Kind = kind;
  header.NameLength = static_cast<int32_t>(name.size());
  header.Size = size;
  header.Time = time;
  header.Attributes = attributes;
  std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
  return bytes + name;
}

uint8_t EntryKindOf(const BuildJob& job, const tfile& item) {
  return IsLaunchTarget(job, item) ? EntryKindLaunchTarget : EntryKindOrdinary;
}

void WriteEntry(BuildJob& job, const tfile& item) {
  if (item.IsFolder()) {
    WriteHeader(job, EntryKindOrdinary, item.Name, 0, item.Time, item.Attr);
    WriteU32(job, ByteSum(item.Name.data(), item.Name.size()));
    return;
  }
  SourceFile source(item.Path, item.WidePath);
  if (IsTarget(job, source.Identity())) return;
  if (BuildProgress* progress = job.Progress()) {
    progress->SetSource(item.Path);
    progress->ProcessMessages();
  }
  WriteHeader(job, EntryKindOf(job, item), item.Name, static_cast<int32_t>(item.Size), item.Time, item.Attr);
  uint32_t checksum = ByteSum(item.Name.data(), item.Name.size());
  int32_t stored = 0;
  while (!job.Cancelled() && stored < item.Size) {
    uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(item.Size - stored), ChunkSize);
    source.ReadExact(job.chunkBuffer.get(), n);
    WriteChunk(job, n);
    ReportProgress(job, stored, item.Size);
    checksum = ByteSum(job.chunkBuffer.get(), n, checksum);
    stored += static_cast<int32_t>(n);
  }
  WriteU32(job, checksum);
  source.Close();
  ReportProgress(job, item.Size, item.Size);
  job.doneSize += item.Size;
}

void WriteSelfDeleteEntry(BuildJob& job) {
  const std::string name = SelfDeleteEntryName;
  const ByteSpan& helper = job.environment.Heads.SelfDelete;
  int32_t size = static_cast<int32_t>(helper.size);
  WriteHeader(job, EntryKindSelfDelete, name, size, 0, 0);
  uint32_t checksum = ByteSum(name.data(), name.size());
  const uint8_t* data = static_cast<const uint8_t*>(helper.data);
  for (int32_t stored = 0; stored < size;) {
    uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(size - stored), ChunkSize);
    std::copy(data + stored, data + stored + n, job.chunkBuffer.get());
    WriteChunk(job, n);
    checksum = ByteSum(job.chunkBuffer.get(), n, checksum);
    stored += static_cast<int32_t>(n);
  }
  WriteU32(job, checksum);
}
