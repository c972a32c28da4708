#include "assoc/file_ext_assoc_dialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/test_platform.h"

namespace tolvane {
namespace {

using testing::ReadString;
using testing::TestPlatform;
using testing::WriteString;

// The controls of template 118 in pixels: boxes are 40 x 16, and the group
// box leaves an area exactly four boxes wide once shrunk by 20 on each side.
class FakeView final : public AssocDialogView {
 public:
  struct Control {
    PixelRect rect;
    BoxState state = BoxState::kUnchecked;
    Text text;
  };

  FakeView() {
    for (int id : {kIdOk, kIdCancel, kIdApply, kIdSelectUnassociated, kIdViewCurrentSettings,
                   kIdStatusLine, kIdProgramCombo}) {
      controls[id] = Control{};
    }
    controls[kIdTemplateBox] = Control{{0, 0, 40, 16}, BoxState::kUnchecked, {}};
    controls[kIdExtensionGroup] = Control{{10, 30, 210, 130}, BoxState::kUnchecked, {}};
  }

  bool HasControl(int id) override { return controls.count(id) != 0; }
  bool ClientSize(int id, int* width, int* height) override {
    if (!HasControl(id)) return false;
    *width = controls[id].rect.right - controls[id].rect.left;
    *height = controls[id].rect.bottom - controls[id].rect.top;
    return true;
  }
  bool WindowRect(int id, PixelRect* rect) override {
    if (!HasControl(id)) return false;
    *rect = controls[id].rect;
    return true;
  }
  bool CreateCheckBox(int id, TextView caption, const PixelRect& rect) override {
    created.push_back(id);
    controls[id] = Control{rect, BoxState::kUnchecked, Text(caption)};
    return true;
  }
  void DestroyControl(int id) override {
    if (controls.erase(id) != 0) destroyed.push_back(id);
    if (id == focus && lostFocus) {  // as a toolkit reports at once
      focus = 0;
      lostFocus(id);
    }
  }
  BoxState CheckState(int id) override { return controls[id].state; }
  void SetCheckState(int id, BoxState state) override { controls[id].state = state; }
  void SetText(int id, TextView text) override { controls[id].text = Text(text); }
  int FocusedControl() override { return focus; }
  void ComboReset(int) override { items.clear(); }
  void ComboAdd(int, TextView item) override { items.push_back(Utf16ToUtf8(item)); }
  std::size_t ComboCount(int) override { return items.size(); }
  int ComboSelection(int) override { return selection; }
  void ComboSelect(int, std::size_t index) override { selection = static_cast<int>(index); }

  // Boxes in id order as "id:caption".
  std::vector<std::string> Boxes() const {
    std::vector<std::string> boxes;
    for (const auto& [id, control] : controls) {
      if (id > kIdTemplateBox)
        boxes.push_back(std::to_string(id) + ":" + Utf16ToUtf8(control.text));
    }
    return boxes;
  }

  std::map<int, Control> controls;
  std::vector<int> created;
  std::vector<int> destroyed;
  std::vector<std::string> items;
  int selection = -1;
  int focus = 0;
  std::function<void(int)> lostFocus;
};

constexpr char16_t kTwoPrograms[] =
    u"Word processor=.zdw:Zdw.Document.8;.zdt:Zdt.Document.8;.zml:Zdw.Document.8"
    u"|Spreadsheet=.tbx:Tabrix.Document.8;.tbt:Tabrix.Template.8";

void AddClass(TestPlatform& t, const char16_t* progId, const char16_t* executable) {
  const Text command = Text(progId) + u"\\shell\\open\\command";
  WriteString(t.registry, kHkeyClassesRoot, command.c_str(), nullptr, executable);
}

void PointExtension(TestPlatform& t, const char16_t* extension, const char16_t* progId) {
  WriteString(t.registry, kHkeyClassesRoot, extension, nullptr, progId);
}

struct ProgramListCase {
  const char* name;
  const char16_t* list;
  std::vector<std::string> programs;
  std::vector<std::string> boxes;  // of the first program
};

class ProgramListTest : public ::testing::TestWithParam<ProgramListCase> {};

TEST_P(ProgramListTest, FillsComboAndBuildsFirstProgramsBoxes) {
  const ProgramListCase& c = GetParam();
  TestPlatform t;
  FakeView view;
  CFileExtAssocDialog dialog(t.platform, view, c.list);
  dialog.OnInitDialog();
  EXPECT_EQ(view.items, c.programs);
  EXPECT_EQ(dialog.m_programs.size(), c.programs.size());
  EXPECT_EQ(view.selection, c.programs.empty() ? -1 : 0);
  EXPECT_EQ(view.Boxes(), c.boxes);
  dialog.OnDestroy();
  EXPECT_EQ(view.Boxes(), std::vector<std::string>{});
}

const ProgramListCase kProgramLists[] = {
    {"TwoProgramsInListOrder",
     kTwoPrograms,
     {"Word processor", "Spreadsheet"},
     {"1101:.zdw", "1102:.zdt", "1103:.zml"}},
    {"EntryWithoutDotEndsTheList",
     u"W=.zdw:Zdw.Document.8;zdt:Zdt.Document.8;.zml:Zdw.Document.8",
     {"W"},
     {"1101:.zdw"}},
    {"ExtensionWithoutProgIdEndsTheList", u"W=.zdw:Zdw.Document.8;.zml", {"W"}, {"1101:.zdw"}},
    {"NameEndingTheListGetsNoEntry", u"W=.zdw:Zdw.Document.8|S=", {"W"}, {"1101:.zdw"}},
    {"EmptyExtensionListSwallowsTheNext", u"A=|B=.tbx:Tabrix.Document.8", {"A"}, {}},
    {"LeadingDelimitersAreSkipped", u"==W=::.zdw:;Zdw.Document.8", {"W"}, {"1101:.zdw"}},
    {"NullList", nullptr, {}, {}},
    {"EmptyList", u"", {}, {}},
    {"NameOnly", u"Word processor", {}, {}},
};

INSTANTIATE_TEST_SUITE_P(Lists, ProgramListTest, ::testing::ValuesIn(kProgramLists),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AssocDialogTest, SwitchingProgramsRebuildsFrom1101AndDropsUnappliedStates) {
  TestPlatform t;
  AddClass(t, u"Tabrix.Document.8", u"C:\\Suite\\Tabrix.exe");
  PointExtension(t, u".tbx", u"Tabrix.Document.8");
  FakeView view;
  CFileExtAssocDialog dialog(t.platform, view, kTwoPrograms);
  dialog.OnInitDialog();
  view.controls[1101].state = BoxState::kChecked;  // set by the user, not applied
  view.focus = 1102;
  dialog.HandleEvent(1102, DialogEvent::kGainedFocus);
  view.lostFocus = [&](int id) { dialog.HandleEvent(id, DialogEvent::kLostFocus); };

  view.selection = 1;
  EXPECT_EQ(dialog.HandleEvent(kIdProgramCombo, DialogEvent::kSelectionChanged),
            DialogExit::kStayOpen);
  EXPECT_EQ(view.destroyed, (std::vector<int>{1101, 1102, 1103}));
  EXPECT_EQ(view.Boxes(), (std::vector<std::string>{"1101:.tbx", "1102:.tbt"}));
  EXPECT_EQ(view.controls[1101].state, BoxState::kChecked);  // from the registry
  EXPECT_EQ(view.controls[1102].state, BoxState::kUnchecked);
  EXPECT_EQ(view.controls[kIdStatusLine].text, u"");  // cleared as the focused box went

  dialog.SelectProgram(0);
  EXPECT_EQ(view.selection, 0);
  EXPECT_EQ(view.controls[1101].state, BoxState::kUnchecked);
  dialog.SelectProgram(2);  // no such item: nothing happens
  EXPECT_EQ(view.Boxes().size(), 3u);
}

TEST(AssocDialogTest, FifthBoxStartsASecondRowAndRowsRunBelowTheGroupBox) {
  TestPlatform t;
  FakeView view;
  Text list = u"W=";
  for (int i = 0; i < 21; ++i) list += u".e" + Utf8ToUtf16(std::to_string(i)) + u":P;";
  CFileExtAssocDialog dialog(t.platform, view, list.c_str());
  dialog.OnInitDialog();
  // Area: 30..190 wide, from y 50; cells 40 x 16.
  const PixelRect fourth = view.controls[1104].rect;
  const PixelRect fifth = view.controls[1105].rect;
  const PixelRect last = view.controls[1121].rect;
  EXPECT_EQ((std::vector<int>{fourth.left, fourth.top, fourth.right}),
            (std::vector<int>{150, 50, 190}));
  EXPECT_EQ((std::vector<int>{fifth.left, fifth.top, fifth.right, fifth.bottom}),
            (std::vector<int>{30, 66, 70, 82}));
  EXPECT_EQ(last.top, 50 + 5 * 16);  // the sixth row lies below the area (which ends at 110)
}

TEST(AssocDialogTest, MissingTemplateBoxOrGroupBoxBuildsNothing) {
  for (int missing : {kIdTemplateBox, kIdExtensionGroup}) {
    TestPlatform t;
    FakeView view;
    view.controls.erase(missing);
    CFileExtAssocDialog dialog(t.platform, view, kTwoPrograms);
    dialog.OnInitDialog();
    EXPECT_TRUE(view.created.empty()) << missing;
    EXPECT_EQ(view.items.size(), 2u);
  }
}

enum class Opens { kProgIdsProgram, kOtherProgram, kNothing };

struct CycleCase {
  const char* name;
  Opens extensionOpens;
  BoxState before;
  BoxState after;
};

class CycleTest : public ::testing::TestWithParam<CycleCase> {};

TEST_P(CycleTest, ClickOnTheFocusedBox) {
  const CycleCase& c = GetParam();
  TestPlatform t;
  AddClass(t, u"Zdw.Document.8", u"C:\\Suite\\Zdw.exe");
  AddClass(t, u"Other.Document", u"C:\\Other\\Other.exe");
  if (c.extensionOpens == Opens::kProgIdsProgram) PointExtension(t, u".zdw", u"Zdw.Document.8");
  if (c.extensionOpens == Opens::kOtherProgram) PointExtension(t, u".zdw", u"Other.Document");
  FakeView view;
  CFileExtAssocDialog dialog(t.platform, view, u"W=.zdw:Zdw.Document.8;.zdt:Zdw.Document.8");
  dialog.OnInitDialog();
  view.controls[1101].state = c.before;
  view.controls[1102].state = c.before;

  view.focus = 1101;
  dialog.HandleEvent(1101, DialogEvent::kClicked);
  EXPECT_EQ(view.controls[1101].state, c.after);
  EXPECT_EQ(view.controls[1102].state, c.before);

  view.focus = kIdOk;  // no box holds the focus: a click changes nothing
  dialog.HandleEvent(1102, DialogEvent::kClicked);
  EXPECT_EQ(view.controls[1102].state, c.before);
  EXPECT_EQ(t.notifier.count(), 0u);
}

const CycleCase kCycleRules[] = {
    {"UncheckedBecomesChecked", Opens::kNothing, BoxState::kUnchecked, BoxState::kChecked},
    {"IndeterminateBecomesChecked", Opens::kOtherProgram, BoxState::kIndeterminate,
     BoxState::kChecked},
    {"AssociatedBoxCannotBeCleared", Opens::kProgIdsProgram, BoxState::kChecked,
     BoxState::kChecked},
    {"CheckedWithOtherProgramBecomesIndeterminate", Opens::kOtherProgram, BoxState::kChecked,
     BoxState::kIndeterminate},
    {"CheckedWithNoProgramBecomesUnchecked", Opens::kNothing, BoxState::kChecked,
     BoxState::kUnchecked},
};

INSTANTIATE_TEST_SUITE_P(Rules, CycleTest, ::testing::ValuesIn(kCycleRules),
                         [](const auto& info) { return std::string(info.param.name); });

// .zdw opens with Zdw.exe (associated), .zdt with Other.exe, .zml and .zmt
// with nothing.
class AssocDialogRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AddClass(t_, u"Zdw.Document.8", u"C:\\Suite\\Zdw.exe");
    AddClass(t_, u"Zdt.Document.8", u"C:\\Suite\\Zdw.exe");
    AddClass(t_, u"Other.Document", u"C:\\Other\\Other.exe");
    PointExtension(t_, u".zdw", u"Zdw.Document.8");
    PointExtension(t_, u".zdt", u"Other.Document");
    dialog_.OnInitDialog();
  }

  std::vector<BoxState> States() {
    std::vector<BoxState> states;
    for (int id = 1101; id <= 1104; ++id) states.push_back(view_.controls[id].state);
    return states;
  }

  TestPlatform t_;
  FakeView view_;
  CFileExtAssocDialog dialog_{
      t_.platform, view_,
      u"W=.zdw:Zdw.Document.8;.zdt:Zdt.Document.8;.zml:Zdw.Document.8;.zmt:Zmt.Missing"};
};

TEST_F(AssocDialogRegistryTest, CurrentSettingsAndSelectUnassociated) {
  using enum BoxState;
  EXPECT_EQ(States(), (std::vector<BoxState>{kChecked, kIndeterminate, kUnchecked, kUnchecked}));
  view_.controls[1104].state = kIndeterminate;
  dialog_.HandleEvent(kIdSelectUnassociated, DialogEvent::kClicked);
  EXPECT_EQ(States(), (std::vector<BoxState>{kChecked, kIndeterminate, kChecked, kChecked}));
  dialog_.HandleEvent(kIdViewCurrentSettings, DialogEvent::kClicked);
  EXPECT_EQ(States(), (std::vector<BoxState>{kChecked, kIndeterminate, kUnchecked, kUnchecked}));
}

TEST_F(AssocDialogRegistryTest, ApplyWritesCheckedUnassociatedBoxesWithOneNotificationEach) {
  view_.controls[1102].state = BoxState::kChecked;
  view_.controls[1103].state = BoxState::kChecked;
  dialog_.HandleEvent(kIdApply, DialogEvent::kClicked);
  EXPECT_EQ(t_.notifier.count(), 2u);
  EXPECT_EQ(ReadString(t_.registry, kHkeyClassesRoot, u".zdw", nullptr), u"Zdw.Document.8");
  EXPECT_EQ(ReadString(t_.registry, kHkeyClassesRoot, u".zdt", nullptr), u"Zdt.Document.8");
  EXPECT_EQ(ReadString(t_.registry, kHkeyClassesRoot, u".zml", nullptr), u"Zdw.Document.8");
  EXPECT_EQ(ReadString(t_.registry, kHkeyClassesRoot, u".zmt", nullptr), u"<missing>");
  EXPECT_EQ(view_.controls[1103].state, BoxState::kChecked);  // not refreshed
  EXPECT_EQ(t_.registry.OpenKeyCount(), 0u);

  // Cancel never applies; OK applies and closes.
  view_.controls[1104].state = BoxState::kChecked;
  EXPECT_EQ(dialog_.HandleEvent(kIdCancel, DialogEvent::kClicked), DialogExit::kCloseCancel);
  EXPECT_EQ(t_.notifier.count(), 2u);
  EXPECT_EQ(dialog_.HandleEvent(kIdOk, DialogEvent::kClicked), DialogExit::kCloseOk);
  EXPECT_EQ(t_.notifier.count(), 2u);  // Zmt.Missing has no key: the write fails silently
}

TEST_F(AssocDialogRegistryTest, StatusTextOfEachCaseAndItsClearing) {
  AddClass(t_, u"Zmt.Missing", nullptr);  // a key without an open verb
  struct {
    int id;
    const char16_t* text;
  } const cases[] = {
      {1101, u"현재 .zdw 확장자는 Zdw.Document.8(Zdw.exe)에 연결되어 있습니다."},
      {1102, u".zdt 확장자의 연결 프로그램을 Other.exe 에서 Zdt.Document.8(Zdw.exe)로 변경합니다."},
      {1103,
       u"아무 프로그램에도 연결하지 않은 .zml 확장자를 Zdw.Document.8(Zdw.exe)에 연결합니다."},
      {1104,
       u"Zmt.Missing 형식을 사용하는 프로그램의 설치 여부를 알 수가 없습니다.\n"
       u" .zmt 확장자를 Zmt.Missing에 강제로 연결합니다."},
  };
  for (const auto& c : cases) {
    view_.focus = c.id;
    dialog_.HandleEvent(c.id, DialogEvent::kGainedFocus);
    EXPECT_EQ(view_.controls[kIdStatusLine].text, c.text) << c.id;
  }
  dialog_.HandleEvent(1103, DialogEvent::kLostFocus);  // focus moved to box 1104: text stays
  EXPECT_FALSE(view_.controls[kIdStatusLine].text.empty());
  view_.focus = kIdApply;
  dialog_.HandleEvent(1104, DialogEvent::kLostFocus);
  EXPECT_EQ(view_.controls[kIdStatusLine].text, u"");
}

}  // namespace
}  // namespace tolvane
