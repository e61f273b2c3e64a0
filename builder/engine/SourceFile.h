// A file of the source folder opened for reading, whose failures name it: the standard
// text alone does not say which file failed.
#pragma once

#include <stdint.h>

#include <string>

#include "ovfile.h"

class SourceFile {
 public:
  explicit SourceFile(const std::string& path, const std::u16string& widePath = std::u16string()) : path_(path) {
    Named([&] { file_ = OvFile(path_, OvFile::ReadOnly, widePath); });
  }
  void ReadExact(void* buffer, uint32_t length) {
    Named([&] { file_.ReadExact(buffer, length); });
  }
  FileIdentity Identity() const { return file_.Identity(); }
  void Close() {
    Named([&] { file_.Close(); });
  }

 private:
  template <typename Step>
  void Named(Step step) {
    try {
      step();
    } catch (const EBuildError& error) {
      throw EBuildError(std::string(error.what()) + "\r\n\r\n" + path_);
    }
  }

  std::string path_;
  OvFile file_;
};
