// Writes the tolvane command's manual page or bash completion, at build time:
//   tolvane_docs man|bash-completion OUTPUT
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "cli/command_docs.h"
#include "cli/command_line.h"
#include "platform/text.h"
#include "registration/group_catalogue.h"

int main(int argc, char** argv) {
  using namespace tolvane;
  using namespace tolvane::cli;
  const std::string_view kind = argc == 3 ? argv[1] : "";
  if (kind != "man" && kind != "bash-completion") {
    std::fprintf(stderr, "usage: tolvane_docs man|bash-completion OUTPUT\n");
    return 2;
  }
  CLI::App app;
  CommandLine line;
  DescribeCommandLine(app, &line);
  std::string text;
  if (kind == "man") {
    text = ManualPage(app, HelpSections(), TOLVANE_VERSION);
  } else {
    std::vector<std::string> groups;
    for (const GroupCatalogueEntry& entry : BuiltInCatalogue()) {
      groups.push_back(Utf16ToUtf8(ViewOf(entry.name)));
    }
    text = BashCompletion(app, groups, LanguageTags());
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    std::fprintf(stderr, "tolvane_docs: cannot write %s\n", argv[2]);
    return 2;
  }
  return 0;
}
