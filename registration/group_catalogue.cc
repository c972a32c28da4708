#include "registration/group_catalogue.h"

#include <array>

#include "platform/text.h"

namespace tolvane {
namespace {

// An empty group: it runs no list at all.
constexpr RecordList kCleanOpenAlways[] = {nullptr};

constexpr std::array<GroupCatalogueEntry, 1> kCatalogue{{
    {u"CleanOpenAlways", kCleanOpenAlways},
}};

}  // namespace

GroupCatalogue BuiltInCatalogue() { return kCatalogue; }

RegistrationGroup FindGroup(GroupCatalogue catalogue, const char16_t* name) {
  if (name == nullptr) return nullptr;
  const TextView wanted = ViewOf(name);
  for (const GroupCatalogueEntry& entry : catalogue) {
    if (ViewOf(entry.name) == wanted) return entry.group;
  }
  return nullptr;
}

RegistrationGroup FindGroup(const char16_t* name) { return FindGroup(BuiltInCatalogue(), name); }

}  // namespace tolvane
