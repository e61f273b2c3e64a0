// Files past 2 and 4 GiB for the tests, without the disk they would take.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace sfxtest {

// Makes `path` a file of `size` bytes, sparse where the file system allows: zero but for
// SparseMark(n) at each of `marks`. False when it cannot.
bool MakeSparseFile(const std::string& path, uint64_t size, const std::vector<uint64_t>& marks);

// The eight bytes at marks[n]: "<mark n>".
std::string SparseMark(size_t n);

// `length` bytes of `file` at `position`; false when fewer are there.
bool ReadAt(FILE* file, uint64_t position, std::string& bytes, size_t length);

}  // namespace sfxtest
