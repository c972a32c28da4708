#include "cli/whole_number.h"

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

}  // namespace tolvane::cli
