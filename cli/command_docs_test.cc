#include "cli/command_docs.h"

#include <gtest/gtest.h>

namespace tolvane::cli {
namespace {

// Roff's spelling of plain text: hyphens and backslashes escaped.
std::string Roffed(const std::string& text) {
  std::string out;
  for (const char c : text) out += c == '-' ? "\\-" : c == '\\' ? "\\e" : std::string(1, c);
  return out;
}

struct Walked {
  std::string path;
  const CLI::App* app;
};

void Walk(const CLI::App& app, const std::string& path, std::vector<Walked>* out) {
  for (const CLI::App* sub : app.get_subcommands(std::function<bool(const CLI::App*)>{})) {
    const std::string subPath = path + (path.empty() ? "" : " ") + sub->get_name();
    out->push_back({subPath, sub});
    Walk(*sub, subPath, out);
  }
}

TEST(CommandDocs, TheManualPageHasEveryCommandWithEachArgumentAndOptionItsHelpShows) {
  CLI::App app;
  CommandLine line;
  DescribeCommandLine(app, &line);
  const std::string page = ManualPage(app, HelpSections(), "9.9");
  std::vector<Walked> commands{{"", &app}};
  Walk(app, "", &commands);
  EXPECT_GT(commands.size(), 14u);  // nested commands ("script run") too
  for (const Walked& command : commands) {
    if (!command.path.empty()) {
      EXPECT_NE(page.find(".SS \"" + Roffed(command.path) + "\"\n"), std::string::npos)
          << command.path;
      EXPECT_NE(page.find(Roffed(command.app->get_description())), std::string::npos)
          << command.path;
      EXPECT_NE(page.find(Roffed(command.app->get_footer())), std::string::npos) << command.path;
    }
    for (const CLI::Option* option : command.app->get_options()) {
      if (option == command.app->get_help_ptr()) continue;
      // Every option and argument that --help lists, with the same words.
      const std::string help = command.app->help();
      ASSERT_NE(help.find(option->get_description()), std::string::npos);
      EXPECT_NE(page.find(Roffed(option->get_description())), std::string::npos)
          << command.path << " " << option->get_name(true);
    }
  }
  for (const HelpSection& section : HelpSections()) {
    EXPECT_NE(page.find(".SH " + Roffed(section.title)), std::string::npos);
    EXPECT_NE(app.help().find(std::string(section.title) + ":"), std::string::npos);
  }
}

TEST(CommandDocs, NoManualPageLineStartsWithAStrayControlCharacter) {
  CLI::App app;
  app.name("tolvane");
  app.description("tolvane does things.\n.not a request\n'nor this");
  app.add_subcommand("x", "-leading hyphen and a \\ backslash");
  const std::string page = ManualPage(app, {}, "1");
  EXPECT_NE(page.find("\n\\&.not a request"), std::string::npos);
  EXPECT_NE(page.find("\n\\&'nor this"), std::string::npos);
  EXPECT_NE(page.find("\\-leading hyphen and a \\e backslash"), std::string::npos);
  EXPECT_NE(page.find(".SH NAME\ntolvane \\- does things\n"), std::string::npos);
}

}  // namespace
}  // namespace tolvane::cli
