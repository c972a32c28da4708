// A store call that fails under a command: the command's report names the
// call, the key or value and the store's code, in text and in JSON alike.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/report.h"
#include "platform/hive/file_access.h"
#include "tests/fault_injecting_registry_store.h"

namespace tolvane::cli {
namespace {

namespace fs = std::filesystem;

// Runs the command words on hive; with fault, the store between the
// command and the hive makes the fault's call answer 5 (access denied).
struct Fault {
  StoreOperation operation;
  std::uint64_t nth;
};
CommandOutcome RunWords(const std::string& hive, std::vector<std::string> words, const Fault* fault,
                        std::unique_ptr<FaultInjectingRegistryStore>* store) {
  CLI::App app;
  CommandLine line;
  DescribeCommandLine(app, &line);
  words.insert(words.begin(), "tolvane");
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());
  app.parse(static_cast<int>(argv.size()), argv.data());
  line.global.host.registryFile = hive;
  if (fault != nullptr) {
    line.global.host.storeBetween = [fault, store](RegistryStore& inner) -> RegistryStore& {
      *store = std::make_unique<FaultInjectingRegistryStore>(inner);
      (*store)->FailNth(fault->operation, fault->nth, 5);
      return **store;
    };
  }
  return RunCommand(app, line.args, line.global);
}

TEST(CommandReasonsTest, StoreFaultNamesKeyValueAndCode) {
  const fs::path dir =
      fs::temp_directory_path() / ("tolvane-reasons-" + std::to_string(CurrentProcessId()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  struct Case {
    std::vector<std::string> before;  // run first, without a fault
    std::vector<std::string> words;
    Fault fault;
    const char* reason;
  };
  const std::vector<std::string> registerZdw = {"register", "ZDW2008_FILE_EXT", "C:\\Bin\\"};
  const Case cases[] = {
      {{},
       registerZdw,
       {StoreOperation::kSetValue, 1},
       "group ZDW2008_FILE_EXT: cannot set HKCR\\.zdw (default): access denied (5)"},
      {{},
       registerZdw,
       {StoreOperation::kCreateKey, 2},
       "group ZDW2008_FILE_EXT: cannot create HKCR\\.zdt: access denied (5)"},
      {registerZdw,
       {"assoc", ".zzz", "Zdw.Document.8"},
       {StoreOperation::kSetValue, 1},
       "cannot set HKCR\\.zzz (default): access denied (5)"},
      {registerZdw,
       {"unregister", "ZDW2008_FILE_EXT", "C:\\Bin\\"},
       {StoreOperation::kDeleteValue, 1},
       "group ZDW2008_FILE_EXT: cannot delete HKCR\\MIME\\Database\\Content Type\\application/zdw "
       "\"Extension\": access denied (5)"},
      {registerZdw,
       {"unregister", "ZDW2008_FILE_EXT", "C:\\Bin\\"},
       {StoreOperation::kDeleteKey, 1},
       "group ZDW2008_FILE_EXT: cannot delete HKCR\\MIME\\Database\\Content Type\\application/zdw: "
       "access denied (5)"},
  };
  int i = 0;
  for (const Case& c : cases) {
    const std::string hive = (dir / ("h" + std::to_string(i++) + ".reg")).string();
    if (!c.before.empty()) {
      ASSERT_EQ(RunWords(hive, c.before, nullptr, nullptr).exitCode, 0);
    }
    std::unique_ptr<FaultInjectingRegistryStore> store;
    const CommandOutcome outcome = RunWords(hive, c.words, &c.fault, &store);
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->OpenKeyCount(), 0u) << c.words[0];
    EXPECT_EQ(outcome.exitCode, 1) << c.words[0];
    EXPECT_EQ(outcome.report.reason, c.reason) << c.words[0];
    EXPECT_NE(ReportText(outcome.report).find("reason: " + std::string(c.reason)),
              std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(ReportJson(outcome.report))["reason"], c.reason);
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tolvane::cli
