#include "bench/bench_platform.h"

#include "platform/portable/embedded_resources.h"
#include "registration/group_catalogue.h"
#include "registration/reg_product.h"

namespace tolvane::bench {

BenchPlatform::BenchPlatform() {
  paths.SetOwnModulePath(u"C:\\Program Files\\Suite\\tolvane.dll");
  paths.SetHostExecutablePath(u"C:\\Setup\\Disk1\\setup.exe");
}

bool RegisterWholeSuite(Platform& platform) {
  bool ok = true;
  for (const GroupCatalogueEntry& entry : BuiltInCatalogue()) {
    if (RegProduct(platform, entry.name, kInstallDir) != 0) ok = false;
  }
  return ok;
}

Text WidenedEmbeddedScript(TextServices& text, std::uint16_t id) {
  for (const EmbeddedResource& resource : EmbeddedRegistryResources()) {
    if (resource.id != id) continue;
    Text wide;
    if (text.WidenAnsi(resource.bytes, &wide) != kErrorSuccess) return Text();
    return wide;
  }
  return Text();
}

std::vector<std::uint16_t> EmbeddedScriptIds() {
  std::vector<std::uint16_t> ids;
  for (const EmbeddedResource& resource : EmbeddedRegistryResources()) ids.push_back(resource.id);
  return ids;
}

}  // namespace tolvane::bench
