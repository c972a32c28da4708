// The installer entry points over RegProduct: the custom actions
// _RegProduct and _RegKorvo, which take their directories from installer
// properties, and RegProductIS, which is handed one. Each tells the user
// of a failed registration with the failure notice; the custom actions
// also write each failure's reason to the installer's log. With failure
// given, the reasons come back there too (several joined by "; ").
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "platform/status.h"
#include "registration/registration_record.h"

namespace tolvane {

// Results of a custom action, as the installer reads them.
inline constexpr std::uint32_t kActionSucceeded = 0;
inline constexpr std::uint32_t kActionFailed = 1;

// _RegProduct. Looks for the first of the features "Velmora", "Tabrix",
// "Showra", "ZdwDic", "Postra" that the installation acts on; with none it
// answers 0 and reads nothing. Otherwise registers COMMON2007_MODULE for
// property "CommonDir" (failure: notice, 1), self-registers
// "GrafoChart.ocx" from that directory, then, from the feature found on,
// each of "Velmora", "Tabrix", "Showra" that has an action with its own
// directory property and group (a failure shows the notice and the next
// feature still runs), and answers 0. A directory that does not fit 259
// units fails its registration without being read in part.
std::uint32_t RegProductAction(Platform& platform, GroupCatalogue catalogue,
                               InstallerHandle installer, Status* failure = nullptr);
std::uint32_t RegProductAction(Platform& platform, InstallerHandle installer);

// _RegKorvo: registers SELECT_KORVO for property "QmrOcxOldDir" (empty: the
// host executable's folder). 0, or 1 after the notice.
std::uint32_t RegKorvoAction(Platform& platform, GroupCatalogue catalogue,
                             InstallerHandle installer, Status* failure = nullptr);
std::uint32_t RegKorvoAction(Platform& platform, InstallerHandle installer);

// RegProductIS: registers KELT_2005_COM for directory with "zdw65" appended
// as it stands (the directory is expected to end with a backslash). 1 on
// success; 0 after the notice when the registration fails, directory is
// null or the path does not fit 259 units (then nothing is written).
std::int32_t RegProductIS(Platform& platform, GroupCatalogue catalogue, const char16_t* directory,
                          Status* failure = nullptr);
std::int32_t RegProductIS(Platform& platform, const char16_t* directory);

}  // namespace tolvane
