#include "registration/custom_actions.h"

#include <array>
#include <iterator>

#include "registration/group_catalogue.h"
#include "registration/path_buffer.h"
#include "registration/reg_product.h"
#include "registration/self_register_module.h"

namespace tolvane {
namespace {

// The features _RegProduct looks at, in order; the first three are the
// products, each with the property holding its folder and its group.
struct ProductFeature {
  const char16_t* feature;
  const char16_t* property;
  const char16_t* group;
};
constexpr ProductFeature kProducts[] = {
    {u"Velmora", u"ZdwDir", u"ZDW2007_MODULE"},
    {u"Tabrix", u"TabrixDir", u"TABRIX2007_MODULE"},
    {u"Showra", u"ShowraDir", u"SHOWRA2007_MODULE"},
};
constexpr const char16_t* kFeatures[] = {u"Velmora", u"Tabrix", u"Showra", u"ZdwDic", u"Postra"};

constexpr const char16_t* kCommonProperty = u"CommonDir";
constexpr const char16_t* kCommonGroup = u"COMMON2007_MODULE";
constexpr const char16_t* kChartModule = u"GrafoChart.ocx";
constexpr const char16_t* kKorvoProperty = u"QmrOcxOldDir";
constexpr const char16_t* kKorvoGroup = u"SELECT_KORVO";
constexpr const char16_t* kIsSubDirectory = u"zdw65";
constexpr const char16_t* kIsGroup = u"KELT_2005_COM";

// Whether the installation acts on feature; a failed query counts as no.
bool HasAction(Platform& platform, InstallerHandle installer, const char16_t* feature) {
  std::int32_t installed = kFeatureNoAction;
  std::int32_t action = kFeatureNoAction;
  if (platform.installer.GetFeatureState(installer, feature, &installed, &action) !=
      kErrorSuccess) {
    return false;
  }
  return action != kFeatureNoAction;
}

// Reads a directory property through a zeroed 260-unit buffer offered
// whole. A failed query leaves the directory empty; false when the value
// does not fit 259 units (nothing of it is kept).
bool ReadDirectory(Platform& platform, InstallerHandle installer, const char16_t* property,
                   PathBuffer* directory) {
  std::array<char16_t, kPathBufferUnits> units{};
  std::uint32_t count = kPathBufferUnits;
  const ErrorCode status =
      platform.installer.GetProperty(installer, property, units.data(), &count);
  directory->Assign(TextView());
  if (status == kErrorMoreData) return false;
  if (status != kErrorSuccess) return true;
  if (count > kMaxPathChars) return false;
  TextView value(units.data(), count);
  value = value.substr(0, value.find(u'\0'));
  return directory->Assign(value);
}

// Registers group for the directory in property.
Status RegisterFromProperty(Platform& platform, GroupCatalogue catalogue, InstallerHandle installer,
                            const char16_t* property, const char16_t* group,
                            PathBuffer* directory) {
  if (!ReadDirectory(platform, installer, property, directory)) {
    return Status::Fail(StatusKind::kRefused, "group " + Utf16ToUtf8(ViewOf(group)) +
                                                  ": the property " +
                                                  Utf16ToUtf8(ViewOf(property)) + " does not fit " +
                                                  std::to_string(kMaxPathChars) + " characters");
  }
  return RegisterProduct(platform, catalogue, group, directory->c_str());
}

// Tells of a failed registration: the reason to the installer's log (when
// there is an installation) and to the caller, then the notice to the user.
void Report(Platform& platform, const char* action, const InstallerHandle* installer,
            const Status& why, Status* failure) {
  if (installer != nullptr) {
    platform.installer.LogInfo(*installer, Utf8ToUtf16(std::string(action) + ": " + why.message));
  }
  if (failure != nullptr) {
    if (failure->ok()) {
      *failure = why;
    } else {
      failure->message += "; " + why.message;
    }
  }
  platform.notice.ShowFailureMessage();
}

}  // namespace

std::uint32_t RegProductAction(Platform& platform, GroupCatalogue catalogue,
                               InstallerHandle installer, Status* failure) {
  constexpr const char* kAction = "_RegProduct";
  std::size_t first = 0;
  while (first < std::size(kFeatures) && !HasAction(platform, installer, kFeatures[first])) {
    ++first;
  }
  if (first == std::size(kFeatures)) return kActionSucceeded;

  PathBuffer directory;
  Status common = RegisterFromProperty(platform, catalogue, installer, kCommonProperty,
                                       kCommonGroup, &directory);
  if (common.ok() && !directory.Append(kChartModule)) {
    common = Status::Fail(StatusKind::kRefused,
                          "the path of " + Utf16ToUtf8(ViewOf(kChartModule)) + " in the property " +
                              Utf16ToUtf8(ViewOf(kCommonProperty)) + " does not fit " +
                              std::to_string(kMaxPathChars) + " characters");
  }
  if (!common.ok()) {
    Report(platform, kAction, &installer, common, failure);
    return kActionFailed;
  }
  // An empty property leaves a bare file name, which the loader would look
  // for along its search path instead of in the suite's folder.
  if (directory.size() > TextLength(kChartModule)) SelfRegisterModule(platform, directory.c_str());

  for (std::size_t i = first; i < std::size(kProducts); ++i) {
    const ProductFeature& product = kProducts[i];
    if (!HasAction(platform, installer, product.feature)) continue;
    PathBuffer productDirectory;
    const Status registered = RegisterFromProperty(platform, catalogue, installer, product.property,
                                                   product.group, &productDirectory);
    if (!registered.ok()) Report(platform, kAction, &installer, registered, failure);
  }
  return kActionSucceeded;
}

std::uint32_t RegProductAction(Platform& platform, InstallerHandle installer) {
  return RegProductAction(platform, BuiltInCatalogue(), installer);
}

std::uint32_t RegKorvoAction(Platform& platform, GroupCatalogue catalogue,
                             InstallerHandle installer, Status* failure) {
  PathBuffer directory;
  const Status registered =
      RegisterFromProperty(platform, catalogue, installer, kKorvoProperty, kKorvoGroup, &directory);
  if (registered.ok()) return kActionSucceeded;
  Report(platform, "_RegKorvo", &installer, registered, failure);
  return kActionFailed;
}

std::uint32_t RegKorvoAction(Platform& platform, InstallerHandle installer) {
  return RegKorvoAction(platform, BuiltInCatalogue(), installer);
}

std::int32_t RegProductIS(Platform& platform, GroupCatalogue catalogue, const char16_t* directory,
                          Status* failure) {
  PathBuffer path;
  Status registered;
  if (directory == nullptr) {
    registered = Status::Fail(StatusKind::kRefused, "no directory given");
  } else if (!path.Assign(ViewOf(directory)) || !path.Append(kIsSubDirectory)) {
    registered = Status::Fail(StatusKind::kRefused,
                              "the directory with " + Utf16ToUtf8(ViewOf(kIsSubDirectory)) +
                                  " does not fit " + std::to_string(kMaxPathChars) + " characters");
  } else {
    registered = RegisterProduct(platform, catalogue, kIsGroup, path.c_str());
  }
  if (registered.ok()) return 1;
  Report(platform, "RegProductIS", nullptr, registered, failure);
  return 0;
}

std::int32_t RegProductIS(Platform& platform, const char16_t* directory) {
  return RegProductIS(platform, BuiltInCatalogue(), directory);
}

}  // namespace tolvane
