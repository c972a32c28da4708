#include "cli/whole_number.h"

#include <algorithm>
#include <string>

namespace tolvane::cli {

CLI::Validator WholeNumber(std::uint32_t largest) {
  const std::string range = "0 to " + std::to_string(largest);
  return CLI::Validator(
      [largest, range](std::string& text) -> std::string {
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
          return "'" + text + "' is not a whole number (decimal digits, " + range + ")";
        }
        const std::size_t first = text.find_first_not_of('0');
        text = first == std::string::npos ? "0" : text.substr(first);
        if (text.size() > 10 || std::stoull(text) > largest) {
          return text + " is not in range " + range;
        }
        return "";
      },
      "decimal " + range);
}

CLI::Validator Seconds(std::uint32_t largest) {
  const std::string range = "0 to " + std::to_string(largest);
  return CLI::Validator(
      [largest, range](std::string& text) -> std::string {
        const std::size_t point = text.find('.');
        const bool decimal = text.find_first_not_of("0123456789.") == std::string::npos &&
                             text.find('.', point + 1) == std::string::npos &&
                             text.find_first_of("0123456789") != std::string::npos;
        if (!decimal) return "'" + text + "' is not a number of seconds (decimal, " + range + ")";
        // Only digits and one point are left: no conversion can fail or
        // overflow once the whole part's leading zeros are gone.
        const std::size_t end = std::min(point, text.size());
        const std::size_t first = std::min(text.find_first_not_of('0'), end);
        if (end - first > 10 || std::stod(text) > largest) {
          return "'" + text + "' seconds is not in range " + range;
        }
        return "";
      },
      "decimal seconds, " + range);
}

}  // namespace tolvane::cli
