// The library's built-in registration groups and their lookup by name.
#pragma once

#include "registration/registration_record.h"

namespace tolvane {

// Every group the library knows, in lookup order.
GroupCatalogue BuiltInCatalogue();

// The group named exactly name (unit by unit: case counts, nothing is
// trimmed) in catalogue order, or null. A null name finds nothing.
RegistrationGroup FindGroup(GroupCatalogue catalogue, const char16_t* name);
RegistrationGroup FindGroup(const char16_t* name);

}  // namespace tolvane
