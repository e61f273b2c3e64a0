#include "editorrun.h"

#include <vector>

#include "OVResourceEditor.h"

namespace {

bool Same(const std::vector<Resource>& a, const std::vector<Resource>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].type != b[i].type || a[i].name != b[i].name || a[i].language != b[i].language ||
        a[i].codePage != b[i].codePage || a[i].data != b[i].data)
      return false;
  return true;
}

}  // namespace

std::string RunResourceEditor(const std::string& bytes, const std::string& head) {
  const std::string manifest = "<assembly/>";
  ResourceEditor editor;
  if (editor.Load(bytes)) {
    std::vector<uint16_t> ids;
    for (const Resource& r : editor.Resources())
      if (r.type == ResourceName::Number(kIconGroupType)) IconGroupImages(r.data, ids);
    editor.Set(ResourceName::Number(kManifestType), ResourceName::Number(1), VersionLanguage(editor), manifest);
    std::string written;
    if (editor.Write(written)) {
      ResourceEditor again;
      if (!again.Load(written)) return "a written image does not load";
      if (!Same(again.Resources(), editor.Resources())) return "a written image reads back other resources";
      std::string twice;
      if (!again.Write(twice) || twice != written) return "writing the written image again changes it";
    }
  }
  // As a source, into the given head and into itself.
  std::string edited = head;
  if (!head.empty() && !PrepareHeadImage(edited, bytes, manifest)) return "the head refused the manifest";
  edited = bytes;
  PrepareHeadImage(edited, bytes, manifest);
  return std::string();
}
