// The library's built-in registration groups and their lookup by name.
#pragma once

#include <string>

#include "registration/registration_record.h"

namespace tolvane {

// Every group the library knows, in lookup order.
GroupCatalogue BuiltInCatalogue();

// The group named exactly name (unit by unit: case counts, nothing is
// trimmed) in catalogue order, or null. A null name finds nothing.
RegistrationGroup FindGroup(GroupCatalogue catalogue, const char16_t* name);
RegistrationGroup FindGroup(const char16_t* name);

// Why FindGroup found nothing, for a person: "no group named NOPE (the
// groups are: A, B; did you mean B?)". The suggestion is the group whose
// name is nearest without regard to case (one or two letters changed, added
// or dropped), when one is.
std::string UnknownGroupReason(GroupCatalogue catalogue, const char16_t* name);

}  // namespace tolvane
