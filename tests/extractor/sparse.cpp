#include "sparse.h"

namespace sfxtest {

namespace {

bool Seek(FILE* file, uint64_t position) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<__int64>(position), SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}

}  // namespace

std::string SparseMark(size_t n) { return "<mark " + std::to_string(n % 10) + ">"; }

// The file grows by seeking past its end: the bytes skipped take no disk.
bool MakeSparseFile(const std::string& path, uint64_t size, const std::vector<uint64_t>& marks) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  bool made = size == 0 || (Seek(file, size - 1) && fputc(0, file) == 0);
  for (size_t n = 0; made && n < marks.size(); ++n)
    made = Seek(file, marks[n]) && fwrite(SparseMark(n).data(), 8, 1, file) == 1;
  return fclose(file) == 0 && made;
}

bool ReadAt(FILE* file, uint64_t position, std::string& bytes, size_t length) {
  bytes.resize(length);
  return Seek(file, position) && fread(&bytes[0], 1, length, file) == length;
}

}  // namespace sfxtest
