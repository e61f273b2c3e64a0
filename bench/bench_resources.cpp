// The builder's PE resource editor on resource trees that cost far more to hold than the
// file they come in: prints the file's size, what loading it gave, and how long loading it
// and taking it as the icon and version source of HEAD (as a build does) took.
//   bench_resources [name|overlap] ENTRIES HEAD
// Run it under /usr/bin/time -v for the peak memory.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "OVResourceEditor.h"
#include "editorrun.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench_resources [name|overlap] ENTRIES HEAD\n");
    return 2;
  }
  HostileTree shape = !std::strcmp(argv[1], "name") ? HostileTree::SharedName : HostileTree::OverlappingNames;
  const std::string image = HostileResourceImage(shape, static_cast<unsigned>(std::atol(argv[2])));
  std::ifstream in(argv[3], std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  std::string head = bytes.str();
  auto start = std::chrono::steady_clock::now();
  auto seconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  bool loaded;
  size_t count;
  {
    ResourceEditor editor;
    loaded = editor.Load(image);
    count = editor.Resources().size();
  }
  double load = seconds();
  bool prepared = PrepareHeadImage(head, image, "<assembly/>");
  std::printf("%s %s: %zu bytes, %s (%zu resources) in %.3f s; head %s in %.3f s\n", argv[1], argv[2],
              image.size(), loaded ? "loaded" : "refused", count, load, prepared ? "prepared" : "not prepared", seconds() - load);
  return 0;
}
