#include "assoc/assoc_dialog_template.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/text.h"

namespace tolvane {
namespace {

// The resource statement a table row stands for, as the .rc spells it.
std::string Statement(const DialogTemplateControl& c, const char16_t* text) {
  static const char* const kTypes[] = {"DEFPUSHBUTTON", "PUSHBUTTON", "LTEXT", "COMBOBOX",
                                       "CONTROL",       "GROUPBOX",   "LTEXT"};
  const std::string id = c.id == kIdOk       ? "IDOK"
                         : c.id == kIdCancel ? "IDCANCEL"
                                             : std::to_string(c.id);
  return std::string(kTypes[static_cast<int>(c.kind)]) + " " +
         (c.kind == DialogControlKind::kCombo ? "" : "\"" + Utf16ToUtf8(text) + "\" ") + id + " " +
         std::to_string(c.x) + " " + std::to_string(c.y) + " " + std::to_string(c.width) + " " +
         std::to_string(c.height) + (c.visible ? "" : " hidden");
}

TEST(AssocDialogTemplate, TheResourcesHoldTheTableInBothLanguages) {
  std::ifstream file(TOLVANE_ASSOC_DIALOG_RC);
  ASSERT_TRUE(file) << TOLVANE_ASSOC_DIALOG_RC;
  std::stringstream rc;
  rc << file.rdbuf();
  // TYPE ["text",] id, [class, style,] x, y, width, height [, style]
  const std::regex statement(
      R"re(^ +([A-Z]+) +("[^"]*", *)?(IDOK|IDCANCEL|-?\d+), *(?:"Button", *[^,]*, *)?)re"
      R"re((\d+), *(\d+), *(\d+), *(\d+)(.*)$)re");
  const bool kKorean[] = {false, true};
  std::vector<std::string> read[2];
  int block = -1;
  for (std::string line; std::getline(rc, line);) {
    if (line.rfind("LANGUAGE ", 0) == 0) block = line.find("LANG_KOREAN") != std::string::npos;
    std::smatch m;
    if (block < 0 || !std::regex_match(line, m, statement)) continue;
    const std::string text =
        m[2].matched ? m[2].str().substr(0, m[2].str().rfind('"') + 1) + " " : "";
    read[block].push_back(m[1].str() + " " + text + m[3].str() + " " + m[4].str() + " " +
                          m[5].str() + " " + m[6].str() + " " + m[7].str() +
                          (line.find("NOT WS_VISIBLE") != std::string::npos ? " hidden" : ""));
  }
  for (const bool korean : kKorean) {
    std::vector<std::string> table;
    for (const DialogTemplateControl& c : kAssocDialogControls) {
      table.push_back(Statement(c, korean ? c.korean : c.english));
    }
    EXPECT_EQ(read[korean], table) << (korean ? "Korean" : "English");
  }
}

}  // namespace
}  // namespace tolvane
