#include "cli/terminal_assoc_dialog_window.h"

#ifndef NCURSES_WIDECHAR
#define NCURSES_WIDECHAR 1
#endif
#include <ncursesw/curses.h>
#include <langinfo.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <cwctype>
#include <string>
#include <string_view>
#include <vector>

#include "assoc/assoc_dialog_template.h"
#include "cli/terminal_text.h"
#include "platform/portable/posix_handles.h"

namespace tolvane::cli {
namespace {

constexpr int kPixelsPerDialogUnit = 2;
constexpr int kKeyEscape = 27;

// The smallest terminal the dialog is drawn in: the template's 278 x 190
// dialog units, a title line and a key line.
constexpr int kMinColumns = 80;
constexpr int kMinLines = 24;

// Where the template's parts fall on the smallest terminal. A wider
// terminal widens the extension area (for long extensions), the right-hand
// buttons moving with its right edge; a taller one lengthens the area (for
// more rows of boxes), the lower buttons and the status line moving down.
constexpr int kGroupLeft = 2;  // the frame of the extension area
constexpr int kGroupRightFromEnd = 16;
constexpr int kGroupTop = 4;
constexpr int kGroupBottom = 15;
constexpr int kAreaLeft = 4;          // the first column of boxes
constexpr int kBaseAreaColumns = 59;  // from kAreaLeft to the blank before the frame
constexpr int kFirstBoxRow = 6;
constexpr int kLinesPerBoxRow = 2;
constexpr int kBaseCellColumns = 13;  // an 88-pixel box at 7 pixels a column
constexpr int kMarkColumns = 4;       // "[x] "
constexpr int kComboLeft = 14;
constexpr int kComboRow = 2;
constexpr int kRightButtonFromEnd = 14;
constexpr int kRightButtonColumns = 13;
constexpr int kLowerButtonRow = 17;
constexpr int kStatusTop = 19;

using Kind = DialogControlKind;
using TemplateControl = DialogTemplateControl;
constexpr const auto& kTemplate = kAssocDialogControls;

// The screen's own texts, beside the template's: English, then Korean.
struct ScreenText {
  const wchar_t* english;
  const wchar_t* korean;
};
constexpr ScreenText kCaption = {L"Associated Program", L"연결 프로그램"};
constexpr ScreenText kMoreAbove = {L" \u25b2 %d more ", L" \u25b2 %d개 더 "};
constexpr ScreenText kMoreBelow = {L" \u25bc %d more ", L" \u25bc %d개 더 "};
constexpr ScreenText kTooSmall = {
    L"This dialog needs a terminal of at least %d x %d; this one is %d x %d. Enlarge the "
    L"window, or press Escape to cancel.",
    L"이 대화 상자에는 %d x %d 이상의 터미널이 필요합니다. 지금은 %d x %d입니다. 창을 키우거나 "
    L"Esc 키를 눌러 취소하십시오."};

// The key line: a key, then what it does.
struct KeyHint {
  const wchar_t* key;
  ScreenText action;
};
constexpr KeyHint kDialogKeys[] = {
    {L"Tab", {L"Next", L"다음"}},         {L"Space", {L"Press", L"누르기"}},
    {L"F4", {L"List", L"목록"}},          {L"\u2191\u2193\u2190\u2192", {L"Move", L"이동"}},
    {L"PgUp/Dn", {L"Scroll", L"스크롤"}}, {L"Enter", {L"OK", L"확인"}},
    {L"Esc", {L"Cancel", L"취소"}},
};
constexpr KeyHint kListKeys[] = {
    {L"\u2191\u2193", {L"Choose", L"고르기"}},
    {L"Enter", {L"Select", L"선택"}},
    {L"Esc", {L"Close", L"닫기"}},
};

struct Control {
  int id;
  Kind kind;
  Text text;
  PixelRect rect;
  bool visible;
  BoxState state;
  int gridRow;  // a box's cell in the extension grid
  int gridColumn;
};

bool TakesFocus(const Control& c) {
  return c.visible && c.kind != Kind::kLabel && c.kind != Kind::kGroup && c.kind != Kind::kStatus;
}

// The access key of a label: the letter after "&", lower-cased.
wchar_t AccessKey(TextView text) {
  const std::size_t amp = text.find(u'&');
  if (amp == TextView::npos || amp + 1 >= text.size()) return 0;
  return static_cast<wchar_t>(std::towlower(text[amp + 1]));
}

// A label's text without its "&" (the access key is drawn underlined).
std::wstring Caption(TextView text) {
  std::wstring wide = WideOf(text);
  const std::size_t amp = wide.find(L'&');
  if (amp != std::wstring::npos) wide.erase(amp, 1);
  return wide;
}

std::wstring Format(const wchar_t* format, int a, int b = 0, int c = 0, int d = 0) {
  wchar_t buffer[256];
  const int n = std::swprintf(buffer, std::size(buffer), format, a, b, c, d);
  return n < 0 ? std::wstring() : std::wstring(buffer, static_cast<std::size_t>(n));
}

// What a key press means to the dialog, whatever bytes the terminal sent.
enum class Key {
  kNone,
  kTab,
  kBackTab,
  kUp,
  kDown,
  kLeft,
  kRight,
  kPageUp,
  kPageDown,
  kHome,
  kEnd,
  kEnter,
  kSpace,
  kEscape,
  kOpenList,
  kCloseList,
  kCharacter,
  kMouse,
  kResize,
};

// Alt+Down and Alt+Up as xterm and rxvt send them. Where the terminal's
// description names a sequence (kDN3, kUP3) ncurses has a code for it;
// the others get codes of their own.
constexpr int kKeyAltDown = KEY_MAX + 1;
constexpr int kKeyAltUp = KEY_MAX + 2;
struct KeySequence {
  const char* bytes;
  Key meaning;
};
constexpr KeySequence kAltArrows[] = {
    {"\033[1;3B", Key::kOpenList},   {"\033\033[B", Key::kOpenList},
    {"\033\033OB", Key::kOpenList},  {"\033[1;3A", Key::kCloseList},
    {"\033\033[A", Key::kCloseList}, {"\033\033OA", Key::kCloseList},
};

// Termination signals restore the terminal first, then end the process as
// they would have.
void RestoreTerminalAndReraise(int signal) {
  endwin();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

constexpr int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

using posix::UniqueStdioFile;

// The controlling terminal, whatever stdin and stdout are: the command's
// report may go to a file or a pipe while the dialog is on the screen.
constexpr char kTerminalDevice[] = "/dev/tty";

// One ncurses screen on the controlling terminal, from start to a restored
// terminal. A resize of the terminal arrives as KEY_RESIZE (ncurses' own
// SIGWINCH handler), the mouse as KEY_MOUSE.
class TerminalScreen {
 public:
  TerminalScreen() : tty_(std::fopen(kTerminalDevice, "r+")) {
    if (!tty_) return;
    // Wide characters (the Korean texts, the frame) are drawn in the
    // environment's character set, UTF-8 when it names none.
    if (const char* current = std::setlocale(LC_CTYPE, nullptr)) savedLocale_ = current;
    const char* chosen = std::setlocale(LC_CTYPE, "");
    if (chosen == nullptr || std::string_view(::nl_langinfo(CODESET)) != "UTF-8") {
      std::setlocale(LC_CTYPE, "C.UTF-8");
    }
    screen_ = newterm(nullptr, tty_.get(), tty_.get());
    if (screen_ == nullptr) return;
    set_term(screen_);
    cbreak();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);
    // Presses and releases as they come: no wait to tell clicks apart.
    mouseinterval(0);
    mousemask(
        BUTTON1_PRESSED | BUTTON1_RELEASED | BUTTON1_CLICKED | BUTTON4_PRESSED | BUTTON5_PRESSED,
        nullptr);
    for (const KeySequence& k : kAltArrows) {
      int code = key_defined(k.bytes);
      if (code == 0) {
        code = k.meaning == Key::kOpenList ? kKeyAltDown : kKeyAltUp;
        if (define_key(k.bytes, code) != OK) continue;
      }
      if (code > 0) extraKeys_.push_back({code, k.meaning});
    }
    struct sigaction action = {};
    action.sa_handler = RestoreTerminalAndReraise;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kRestoringSignals); ++i) {
      ::sigaction(kRestoringSignals[i], &action, &saved_[i]);
    }
  }
  ~TerminalScreen() {
    if (screen_ != nullptr) {
      mousemask(0, nullptr);
      endwin();
      for (std::size_t i = 0; i < std::size(kRestoringSignals); ++i) {
        ::sigaction(kRestoringSignals[i], &saved_[i], nullptr);
      }
      delscreen(screen_);
    }
    if (!savedLocale_.empty()) std::setlocale(LC_CTYPE, savedLocale_.c_str());
  }
  TerminalScreen(const TerminalScreen&) = delete;
  TerminalScreen& operator=(const TerminalScreen&) = delete;

  bool ok() const { return screen_ != nullptr; }

  // What a key code beyond the standard ones means; kNone when nothing.
  Key Meaning(int code) const {
    for (const auto& [known, meaning] : extraKeys_) {
      if (known == code) return meaning;
    }
    return Key::kNone;
  }

 private:
  UniqueStdioFile tty_;  // outlives the screen drawn on it
  std::string savedLocale_;
  SCREEN* screen_ = nullptr;
  struct sigaction saved_[std::size(kRestoringSignals)] = {};
  std::vector<std::pair<int, Key>> extraKeys_;
};

// Reads one key and says what it means. Escape alone is Escape; Escape and a
// character at once is Alt and that character; any other escape sequence
// the terminal description does not know is read whole and ignored.
Key ReadKey(const TerminalScreen& screen, wint_t* character) {
  wint_t key = 0;
  const int kind = get_wch(&key);
  *character = key;
  if (kind == ERR) return Key::kNone;
  if (kind == KEY_CODE_YES) {
    switch (key) {
      case KEY_RESIZE:
        return Key::kResize;
      case KEY_MOUSE:
        return Key::kMouse;
      case KEY_BTAB:
        return Key::kBackTab;
      case KEY_UP:
        return Key::kUp;
      case KEY_DOWN:
        return Key::kDown;
      case KEY_LEFT:
        return Key::kLeft;
      case KEY_RIGHT:
        return Key::kRight;
      case KEY_PPAGE:
        return Key::kPageUp;
      case KEY_NPAGE:
        return Key::kPageDown;
      case KEY_HOME:
        return Key::kHome;
      case KEY_END:
        return Key::kEnd;
      case KEY_ENTER:
        return Key::kEnter;
      case KEY_F(4):
        return Key::kOpenList;
      default:
        return screen.Meaning(static_cast<int>(key));
    }
  }
  switch (key) {
    case L'\t':
      return Key::kTab;
    case L'\r':
    case L'\n':
      return Key::kEnter;
    case L' ':
      return Key::kSpace;
    case kKeyEscape:
      break;
    default:
      return Key::kCharacter;
  }
  timeout(0);
  wint_t next = 0;
  int more = get_wch(&next);
  Key meaning = Key::kEscape;
  if (more == OK && (next == L'[' || next == L'O')) {
    // An unknown sequence: parameters, then one final character.
    while ((more = get_wch(&next)) == OK && !(next >= 0x40 && next <= 0x7E)) {
    }
    meaning = Key::kNone;
  } else if (more == OK && next != kKeyEscape) {
    *character = next;
    meaning = Key::kCharacter;
  } else if (more == OK) {
    unget_wch(static_cast<wchar_t>(next));  // a second Escape of its own
  }
  timeout(-1);
  return meaning;
}

// Where the dialog falls on the terminal as it is now; see the constants
// above. Columns are the screen's, rows too (the title is row 0).
struct Layout {
  bool fits = false;  // the terminal is at least kMinColumns x kMinLines
  int left = 0;       // the dialog's first column
  int width = 0;
  int groupRight = 0;
  int groupBottom = 0;
  int cellColumns = 0;  // a box and the blank after it
  int gridColumns = 1;
  int visibleRows = 1;  // rows of boxes shown at once
  int lowerRow = 0;
  int statusBottom = 0;
  int keyRow = 0;
  int listRows = 1;  // items the open program list shows at once

  int Column(int fromLeft) const { return left + fromLeft; }
  int extraLines() const { return keyRow + 1 - kMinLines; }
};

// A place on the screen that answers the mouse: a control, or an item of
// the open program list.
struct Hit {
  int row, column, width;
  int id;
  int item;  // -1 unless a list item
};
constexpr int kHitScrollUp = -2;
constexpr int kHitScrollDown = -3;

class Window final : public TerminalAssocDialogWindow, private AssocDialogView {
 public:
  Window(UiLanguage language, EventObserver afterEvent)
      : korean_(language == UiLanguage::kKorean), afterEvent_(std::move(afterEvent)) {}

  AssocDialogView& view() override { return *this; }
  const std::string& startError() const override { return startError_; }

  void RunModal(AssocDialogEvents& dialog) override {
    startError_.clear();
    TerminalScreen screen;
    if (!screen.ok()) {
      const char* term = std::getenv("TERM");
      startError_ = std::string("cannot start the terminal (TERM=") + (term ? term : "") + ")";
      return;
    }
    dialog_ = &dialog;
    screen_ = &screen;
    CreateTemplateControls();
    dialog.OnInitDialog();
    MoveFocus(FirstTabStop());
    DialogExit exit = DialogExit::kStayOpen;
    while (exit == DialogExit::kStayOpen) {
      Draw();
      exit = HandleInput();
    }
    dialog.OnDestroy();
    controls_.clear();
    hits_.clear();
    listOpen_ = false;
    focus_ = 0;
    dialog_ = nullptr;
    screen_ = nullptr;
  }

 private:
  const wchar_t* Say(const ScreenText& text) const { return korean_ ? text.korean : text.english; }

  void CreateTemplateControls() {
    controls_.clear();
    items_.clear();
    selection_ = -1;
    scrollRow_ = 0;
    for (const TemplateControl& t : kTemplate) {
      const int d = kPixelsPerDialogUnit;
      controls_.push_back(
          Control{t.id, t.kind, korean_ ? t.korean : t.english,
                  PixelRect{t.x * d, t.y * d, (t.x + t.width) * d, (t.y + t.height) * d}, t.visible,
                  BoxState::kUnchecked, 0, 0});
    }
  }

  Control* Find(int id) {
    for (Control& c : controls_) {
      if (c.id == id) return &c;
    }
    return nullptr;
  }

  // The grid of the extension area as the dialog lays it out: the group
  // box shrunk by the inset, cells the size of the template box.
  bool Grid(PixelRect* area, int* cellWidth, int* cellHeight) {
    const Control* group = Find(kIdExtensionGroup);
    const Control* cell = Find(kIdTemplateBox);
    if (group == nullptr || cell == nullptr) return false;
    *area = PixelRect{group->rect.left + kBoxAreaInset, group->rect.top + kBoxAreaInset,
                      group->rect.right - kBoxAreaInset, group->rect.bottom - kBoxAreaInset};
    *cellWidth = std::max(1, cell->rect.right - cell->rect.left);
    *cellHeight = std::max(1, cell->rect.bottom - cell->rect.top);
    return true;
  }

  // --- the view -----------------------------------------------------------

  bool HasControl(int id) override { return Find(id) != nullptr; }

  bool ClientSize(int id, int* width, int* height) override {
    const Control* c = Find(id);
    if (c == nullptr) return false;
    *width = c->rect.right - c->rect.left;
    *height = c->rect.bottom - c->rect.top;
    return true;
  }

  bool WindowRect(int id, PixelRect* rect) override {
    const Control* c = Find(id);
    if (c == nullptr) return false;
    *rect = c->rect;
    return true;
  }

  bool CreateCheckBox(int id, TextView caption, const PixelRect& rect) override {
    if (Find(id) != nullptr) return false;
    // The box's cell in the grid: the screen gives it a row and a column,
    // and as many cells as the extensions need.
    PixelRect area;
    int cellWidth = 1;
    int cellHeight = 1;
    int row = 0;
    int column = 0;
    if (Grid(&area, &cellWidth, &cellHeight)) {
      row = std::max(0, (rect.top - area.top) / cellHeight);
      column = std::max(0, (rect.left - area.left) / cellWidth);
    }
    if (id == kIdFirstBox) scrollRow_ = 0;  // a new program's boxes
    controls_.push_back(
        Control{id, Kind::kCheckBox, Text(caption), rect, true, BoxState::kUnchecked, row, column});
    return true;
  }

  void DestroyControl(int id) override {
    const auto it = std::find_if(controls_.begin(), controls_.end(),
                                 [id](const Control& c) { return c.id == id; });
    if (it == controls_.end()) return;
    controls_.erase(it);
    if (focus_ == id) {
      focus_ = 0;
      if (dialog_ != nullptr) Report(id, DialogEvent::kLostFocus);
    }
  }

  BoxState CheckState(int id) override {
    const Control* c = Find(id);
    return c != nullptr ? c->state : BoxState::kUnchecked;
  }

  void SetCheckState(int id, BoxState state) override {
    if (Control* c = Find(id)) c->state = state;
  }

  void SetText(int id, TextView text) override {
    if (Control* c = Find(id)) c->text = Text(text);
  }

  int FocusedControl() override { return focus_; }

  void ComboReset(int id) override {
    if (id != kIdProgramCombo) return;
    items_.clear();
    selection_ = -1;
    listOpen_ = false;
  }
  void ComboAdd(int id, TextView item) override {
    if (id == kIdProgramCombo) items_.emplace_back(item);
  }
  std::size_t ComboCount(int id) override { return id == kIdProgramCombo ? items_.size() : 0; }
  int ComboSelection(int id) override { return id == kIdProgramCombo ? selection_ : -1; }
  void ComboSelect(int id, std::size_t index) override {
    if (id == kIdProgramCombo && index < items_.size()) selection_ = static_cast<int>(index);
  }

  // --- layout -------------------------------------------------------------

  std::vector<const Control*> Boxes() const {
    std::vector<const Control*> boxes;
    for (const Control& c : controls_) {
      if (c.kind == Kind::kCheckBox && c.visible) boxes.push_back(&c);
    }
    return boxes;
  }

  Layout ComputeLayout() {
    Layout l;
    l.fits = COLS >= kMinColumns && LINES >= kMinLines;
    PixelRect area;
    int cellWidth = 1;
    int cellHeight = 1;
    if (Grid(&area, &cellWidth, &cellHeight)) {
      l.gridColumns = std::max(1, (area.right - area.left) / cellWidth);
    }
    int longest = 0;
    for (const Control* box : Boxes()) longest = std::max(longest, DisplayWidth(WideOf(box->text)));
    // Cells as wide as the longest extension needs, as far as the terminal
    // allows; the blank after the last cell is not needed.
    const int wanted = kMarkColumns + longest + 1;
    const int wantedArea = l.gridColumns * wanted - 1;
    l.width = std::min(std::max(COLS, kMinColumns),
                       kMinColumns + std::max(0, wantedArea - kBaseAreaColumns));
    l.left = std::max(0, (COLS - l.width) / 2);
    const int areaColumns = kBaseAreaColumns + l.width - kMinColumns;
    l.cellColumns = std::max(kBaseCellColumns, std::min(wanted, (areaColumns + 1) / l.gridColumns));
    l.groupRight = l.left + l.width - kGroupRightFromEnd;
    l.keyRow = std::max(LINES, kMinLines) - 1;
    l.groupBottom = kGroupBottom + l.extraLines();
    l.visibleRows = (l.groupBottom - 1 - kFirstBoxRow) / kLinesPerBoxRow + 1;
    l.lowerRow = kLowerButtonRow + l.extraLines();
    l.statusBottom = l.keyRow - 1;
    l.listRows = std::max(1, l.keyRow - (kComboRow + 3));
    return l;
  }

  int BoxRows() const {
    int rows = 0;
    for (const Control* box : Boxes()) rows = std::max(rows, box->gridRow + 1);
    return rows;
  }

  // Keeps the focused box inside the rows shown, and the rows shown inside
  // the grid.
  void ScrollToFocus(const Layout& l) {
    if (const Control* c = Find(focus_); c != nullptr && c->kind == Kind::kCheckBox) {
      if (c->gridRow < scrollRow_) scrollRow_ = c->gridRow;
      if (c->gridRow >= scrollRow_ + l.visibleRows) scrollRow_ = c->gridRow - l.visibleRows + 1;
    }
    scrollRow_ = std::clamp(scrollRow_, 0, std::max(0, BoxRows() - l.visibleRows));
  }

  // --- events -------------------------------------------------------------

  DialogExit Report(int id, DialogEvent event) {
    const DialogExit exit = dialog_->HandleEvent(id, event);
    if (afterEvent_) afterEvent_(id, event);
    return exit;
  }

  std::vector<int> TabStops() const {
    std::vector<int> ids;
    for (const Control& c : controls_) {
      if (TakesFocus(c)) ids.push_back(c.id);
    }
    return ids;
  }

  int FirstTabStop() const {
    const std::vector<int> ids = TabStops();
    return ids.empty() ? 0 : ids.front();
  }

  // The focus moves first; then the control that lost it and the one that
  // gained it are told, in this order, as the toolkit tells them.
  void MoveFocus(int id) {
    if (id == focus_) return;
    const int old = focus_;
    focus_ = id;
    if (old != 0) Report(old, DialogEvent::kLostFocus);
    if (id != 0) Report(id, DialogEvent::kGainedFocus);
  }

  void StepFocus(int step) {
    const std::vector<int> ids = TabStops();
    if (ids.empty()) return;
    const auto at = std::find(ids.begin(), ids.end(), focus_);
    const int n = static_cast<int>(ids.size());
    const int index = at == ids.end() ? (step > 0 ? -1 : 0) : static_cast<int>(at - ids.begin());
    MoveFocus(ids[static_cast<std::size_t>(((index + step) % n + n) % n)]);
  }

  DialogExit SelectItem(int index) {
    if (items_.empty()) return DialogExit::kStayOpen;
    index = std::clamp(index, 0, static_cast<int>(items_.size()) - 1);
    if (index == selection_) return DialogExit::kStayOpen;
    selection_ = index;
    return Report(kIdProgramCombo, DialogEvent::kSelectionChanged);
  }

  DialogExit Press(int id) {
    if (Find(id) == nullptr) return DialogExit::kStayOpen;
    return Report(id, DialogEvent::kClicked);
  }

  DialogExit AccessKeyPressed(wchar_t key) {
    key = static_cast<wchar_t>(std::towlower(key));
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      const Control& c = controls_[i];
      if (!c.visible || AccessKey(c.text) != key) continue;
      if (c.kind == Kind::kLabel) {
        // A label hands the focus to the control after it.
        for (std::size_t j = i + 1; j < controls_.size(); ++j) {
          if (TakesFocus(controls_[j])) {
            MoveFocus(controls_[j].id);
            break;
          }
        }
        return DialogExit::kStayOpen;
      }
      return Press(c.id);
    }
    return DialogExit::kStayOpen;
  }

  // The focus moves step boxes on in creation order (a row is gridColumns
  // boxes), stopping at the first and the last.
  void MoveAmongBoxes(int step) {
    const std::vector<const Control*> boxes = Boxes();
    const auto at = std::find_if(boxes.begin(), boxes.end(),
                                 [this](const Control* c) { return c->id == focus_; });
    if (at == boxes.end()) return;
    const int index = std::clamp(static_cast<int>(at - boxes.begin()) + step, 0,
                                 static_cast<int>(boxes.size()) - 1);
    MoveFocus(boxes[static_cast<std::size_t>(index)]->id);
  }

  // Scrolls the rows of boxes; a focused box scrolled out of sight hands
  // the focus to the nearest box in sight, in its column where there is one.
  void ScrollBoxes(int rows, const Layout& l) {
    scrollRow_ = std::clamp(scrollRow_ + rows, 0, std::max(0, BoxRows() - l.visibleRows));
    const Control* focused = Find(focus_);
    if (focused == nullptr || focused->kind != Kind::kCheckBox) return;
    const int row = std::clamp(focused->gridRow, scrollRow_, scrollRow_ + l.visibleRows - 1);
    if (row == focused->gridRow) return;
    const int column = focused->gridColumn;
    const Control* best = nullptr;
    for (const Control* box : Boxes()) {
      if (box->gridRow == row && box->gridColumn <= column) best = box;
      if (best == nullptr && box->gridRow == row) best = box;
    }
    if (best != nullptr) MoveFocus(best->id);
  }

  void OpenList(const Layout& l) {
    if (focus_ != kIdProgramCombo) MoveFocus(kIdProgramCombo);
    if (items_.empty()) return;
    listOpen_ = true;
    highlight_ = std::max(0, selection_);
    listTop_ = std::clamp(highlight_ - l.listRows + 1, 0, highlight_);
  }

  void MoveHighlight(int to, const Layout& l) {
    const int n = static_cast<int>(items_.size());
    highlight_ = std::clamp(to, 0, n - 1);
    if (highlight_ < listTop_) listTop_ = highlight_;
    if (highlight_ >= listTop_ + l.listRows) listTop_ = highlight_ - l.listRows + 1;
  }

  DialogExit ChooseFromList(int index) {
    listOpen_ = false;
    return SelectItem(index);
  }

  DialogExit ListKey(Key key, const Layout& l) {
    switch (key) {
      case Key::kUp:
        MoveHighlight(highlight_ - 1, l);
        break;
      case Key::kDown:
        MoveHighlight(highlight_ + 1, l);
        break;
      case Key::kPageUp:
        MoveHighlight(highlight_ - l.listRows, l);
        break;
      case Key::kPageDown:
        MoveHighlight(highlight_ + l.listRows, l);
        break;
      case Key::kHome:
        MoveHighlight(0, l);
        break;
      case Key::kEnd:
        MoveHighlight(static_cast<int>(items_.size()) - 1, l);
        break;
      case Key::kEnter:
      case Key::kSpace:
      case Key::kOpenList:
      case Key::kCloseList:
        return ChooseFromList(highlight_);
      case Key::kEscape:
        listOpen_ = false;
        break;
      case Key::kTab:
      case Key::kBackTab:
        listOpen_ = false;
        StepFocus(key == Key::kTab ? 1 : -1);
        break;
      default:
        break;
    }
    return DialogExit::kStayOpen;
  }

  DialogExit DialogKey(Key key, wint_t character, const Layout& l) {
    const Control* focused = Find(focus_);
    const bool onBox = focused != nullptr && focused->kind == Kind::kCheckBox;
    const bool onList = focus_ == kIdProgramCombo;
    const int page = l.visibleRows * l.gridColumns;
    switch (key) {
      case Key::kTab:
        StepFocus(1);
        break;
      case Key::kBackTab:
        StepFocus(-1);
        break;
      case Key::kUp:
      case Key::kLeft:
      case Key::kDown:
      case Key::kRight: {
        const bool back = key == Key::kUp || key == Key::kLeft;
        if (onList) return SelectItem(selection_ + (back ? -1 : 1));
        const bool vertical = key == Key::kUp || key == Key::kDown;
        if (onBox) MoveAmongBoxes((back ? -1 : 1) * (vertical ? l.gridColumns : 1));
        break;
      }
      case Key::kPageUp:
      case Key::kPageDown: {
        const int sign = key == Key::kPageUp ? -1 : 1;
        if (onBox) {
          MoveAmongBoxes(sign * page);
        } else {
          ScrollBoxes(sign * l.visibleRows, l);
        }
        break;
      }
      case Key::kHome:
      case Key::kEnd: {
        const int far = key == Key::kHome ? -1 : 1;
        if (onList) return SelectItem(far < 0 ? 0 : static_cast<int>(items_.size()) - 1);
        if (onBox) MoveAmongBoxes(far * static_cast<int>(controls_.size()));
        break;
      }
      case Key::kOpenList:
        OpenList(l);
        break;
      case Key::kEnter:
        return Press(kIdOk);  // the default button, wherever the focus is
      case Key::kSpace:
        if (onList) {
          OpenList(l);
          break;
        }
        return Press(focus_);
      case Key::kEscape:
        return Press(kIdCancel);
      case Key::kCharacter:
        return AccessKeyPressed(static_cast<wchar_t>(character));
      default:
        break;
    }
    return DialogExit::kStayOpen;
  }

  const Hit* HitAt(int row, int column) const {
    // The open list is drawn last, over the controls: it answers first.
    for (auto it = hits_.rbegin(); it != hits_.rend(); ++it) {
      if (it->row == row && column >= it->column && column < it->column + it->width) return &*it;
    }
    return nullptr;
  }

  DialogExit Mouse(const Layout& l) {
    MEVENT event = {};
    if (getmouse(&event) != OK || !l.fits) return DialogExit::kStayOpen;
    const bool wheelUp = (event.bstate & BUTTON4_PRESSED) != 0;
    const bool wheelDown = (event.bstate & BUTTON5_PRESSED) != 0;
    if (wheelUp || wheelDown) {
      if (listOpen_) {
        const int last = std::max(0, static_cast<int>(items_.size()) - l.listRows);
        listTop_ = std::clamp(listTop_ + (wheelUp ? -1 : 1), 0, last);
      } else {
        ScrollBoxes(wheelUp ? -1 : 1, l);
      }
      return DialogExit::kStayOpen;
    }
    if ((event.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED)) == 0) return DialogExit::kStayOpen;
    const Hit* hit = HitAt(event.y, event.x);
    if (listOpen_) {
      // A click outside the open list only closes it.
      if (hit != nullptr && hit->item >= 0) return ChooseFromList(hit->item);
      listOpen_ = false;
      return DialogExit::kStayOpen;
    }
    if (hit == nullptr) return DialogExit::kStayOpen;
    if (hit->id == kHitScrollUp || hit->id == kHitScrollDown) {
      ScrollBoxes((hit->id == kHitScrollUp ? -1 : 1) * l.visibleRows, l);
      return DialogExit::kStayOpen;
    }
    const Control* c = Find(hit->id);
    if (c == nullptr) return DialogExit::kStayOpen;
    if (c->kind == Kind::kCombo) {
      OpenList(l);
      return DialogExit::kStayOpen;
    }
    // A click gives the control the focus, then presses it.
    MoveFocus(c->id);
    return Press(c->id);
  }

  DialogExit HandleInput() {
    wint_t character = 0;
    const Key key = ReadKey(*screen_, &character);
    const Layout l = ComputeLayout();
    if (key == Key::kMouse) return Mouse(l);
    if (!l.fits) return key == Key::kEscape ? Press(kIdCancel) : DialogExit::kStayOpen;
    if (listOpen_) return ListKey(key, l);
    return DialogKey(key, character, l);
  }

  // --- drawing ------------------------------------------------------------

  // Draws text from (row, col) within width cells (no limit when negative);
  // in a label, the character after "&" is drawn underlined. Returns the
  // cells used.
  int Put(int row, int col, std::wstring_view wide, int width, attr_t attributes,
          bool accessKeys = false) {
    int used = 0;
    bool underline = false;
    for (const wchar_t c : wide) {
      if (accessKeys && c == L'&' && !underline) {
        underline = true;
        continue;
      }
      const int cells = CellWidth(c);
      if ((width >= 0 && used + cells > width) || col + used + cells > COLS) break;
      const wchar_t one[2] = {c, L'\0'};
      cchar_t cell;
      setcchar(&cell, one, attributes | (underline ? A_UNDERLINE : A_NORMAL), 0, nullptr);
      mvadd_wch(row, col + used, &cell);
      used += cells;
      underline = false;
    }
    return used;
  }

  void Fill(int row, int col, int width, attr_t attributes) {
    attrset(attributes);
    for (int i = 0; i < width && col + i < COLS; ++i) mvaddch(row, col + i, ' ');
    attrset(A_NORMAL);
  }

  void AddHit(int row, int column, int width, int id, int item = -1) {
    hits_.push_back(Hit{row, column, width, id, item});
  }

  // The width of a button as drawn: its label between brackets, padded
  // with a space on each side when pad.
  int ButtonWidth(const Control& c, bool pad) const {
    const int brackets = c.kind == Kind::kDefaultButton ? 4 : 2;
    return DisplayWidth(Caption(c.text)) + brackets + (pad ? 2 : 0);
  }

  // A button: "< label >", or "[ label ]" in reverse video while it has the
  // focus; the default button (the one Enter presses) doubles its brackets
  // and is bold. Centred in width cells from col.
  void DrawButton(const Control& c, int row, int col, int width) {
    const bool focused = c.id == focus_;
    const bool isDefault = c.kind == Kind::kDefaultButton;
    const bool pad = ButtonWidth(c, true) <= width;
    std::wstring open = focused ? L"[" : L"<";
    std::wstring close = focused ? L"]" : L">";
    if (isDefault) {
      open += open;
      close += close;
    }
    if (pad) {
      open += L' ';
      close.insert(close.begin(), L' ');
    }
    const attr_t face = (focused ? A_REVERSE : A_NORMAL) | (isDefault ? A_BOLD : A_NORMAL);
    const int drawn = std::min(width, ButtonWidth(c, pad));
    const int start = col + std::max(0, (width - drawn) / 2);
    int used = Put(row, start, open, drawn, face);
    used += Put(row, start + used, WideOf(c.text), drawn - used - DisplayWidth(close), face, true);
    Put(row, start + used, close, drawn - used, face);
    AddHit(row, start, drawn, c.id);
  }

  // The two lower buttons share one row: the first from the left, the
  // second to the right edge, at least a column apart.
  void DrawLowerButtons(const Control& first, const Control& second, const Layout& l) {
    const int room = l.width - 1;
    const bool pad = ButtonWidth(first, true) + 2 + ButtonWidth(second, true) <= room;
    const int w1 = ButtonWidth(first, pad);
    const int w2 = ButtonWidth(second, pad);
    DrawButton(first, l.lowerRow, l.Column(1), w1);
    DrawButton(second, l.lowerRow, std::max(l.Column(1) + w1 + 1, l.Column(l.width) - w2), w2);
  }

  void DrawCombo(const Control& c, const Layout& l) {
    const int col = l.Column(kComboLeft);
    const int width = l.groupRight - col + 1;
    const bool focused = c.id == focus_;
    const attr_t face = focused ? A_REVERSE : A_UNDERLINE;
    Fill(kComboRow, col, width, face);
    Put(kComboRow, col, focused ? L"[" : L" ", 1, face);
    if (selection_ >= 0) {
      const std::wstring name = WideOf(items_[static_cast<std::size_t>(selection_)]);
      Put(kComboRow, col + 1, FitWithEllipsis(name, width - 4), width - 4, face);
    }
    Put(kComboRow, col + width - 2, listOpen_ ? L"\u25b2" : L"\u25bc", 1, face);
    Put(kComboRow, col + width - 1, focused ? L"]" : L" ", 1, face);
    AddHit(kComboRow, col, width, c.id);
  }

  // The open program list, below the combo box and over whatever is there.
  void DrawList(const Layout& l) {
    const int col = l.Column(kComboLeft);
    const int width = l.groupRight - col + 1;
    const int n = static_cast<int>(items_.size());
    const int shown = std::min(n, l.listRows);
    // The terminal may have changed size since the list opened.
    MoveHighlight(highlight_, l);
    listTop_ = std::clamp(listTop_, 0, n - shown);
    const int top = kComboRow + 1;
    Frame(top, col, top + shown + 1, col + width - 1, {});
    for (int i = 0; i < shown; ++i) {
      const int item = listTop_ + i;
      const bool lit = item == highlight_;
      const attr_t face = lit ? A_REVERSE : A_NORMAL;
      Fill(top + 1 + i, col + 1, width - 2, face);
      Put(top + 1 + i, col + 1, lit ? L">" : L" ", 1, face);
      Put(top + 1 + i, col + 2,
          FitWithEllipsis(WideOf(items_[static_cast<std::size_t>(item)]), width - 4), width - 4,
          face);
      AddHit(top + 1 + i, col + 1, width - 2, kIdProgramCombo, item);
    }
    if (listTop_ > 0) Put(top, col + width - 3, L"\u25b2", 1, A_BOLD);
    if (listTop_ + shown < n) Put(top + shown + 1, col + width - 3, L"\u25bc", 1, A_BOLD);
  }

  // A frame of box-drawing characters of their own (the terminal's
  // line-drawing set does not survive every multiplexer), blank inside,
  // with a title on its top edge.
  void Frame(int top, int left, int bottom, int right, const Text& title) {
    for (int row = top + 1; row < bottom; ++row) Fill(row, left + 1, right - left - 1, A_NORMAL);
    for (int col = left + 1; col < right; ++col) {
      Put(top, col, L"\u2500", 1, A_NORMAL);
      Put(bottom, col, L"\u2500", 1, A_NORMAL);
    }
    for (int row = top + 1; row < bottom; ++row) {
      Put(row, left, L"\u2502", 1, A_NORMAL);
      Put(row, right, L"\u2502", 1, A_NORMAL);
    }
    Put(top, left, L"\u250c", 1, A_NORMAL);
    Put(top, right, L"\u2510", 1, A_NORMAL);
    Put(bottom, left, L"\u2514", 1, A_NORMAL);
    Put(bottom, right, L"\u2518", 1, A_NORMAL);
    if (!title.empty()) Put(top, left + 2, WideOf(title), right - left - 3, A_NORMAL, true);
  }

  // The extension area: the rows of boxes in sight, and how many boxes lie
  // above and below them.
  void DrawBoxes(const Control& group, const Layout& l) {
    const int left = l.Column(kGroupLeft);
    Frame(kGroupTop, left, l.groupBottom, l.groupRight, group.text);
    int above = 0;
    int below = 0;
    const int textWidth = l.cellColumns - 1 - kMarkColumns;
    for (const Control* box : Boxes()) {
      if (box->gridRow < scrollRow_) {
        ++above;
        continue;
      }
      if (box->gridRow >= scrollRow_ + l.visibleRows) {
        ++below;
        continue;
      }
      const int row = kFirstBoxRow + (box->gridRow - scrollRow_) * kLinesPerBoxRow;
      const int col = l.Column(kAreaLeft) + box->gridColumn * l.cellColumns;
      const wchar_t* mark = box->state == BoxState::kChecked         ? L"[x] "
                            : box->state == BoxState::kIndeterminate ? L"[-] "
                                                                     : L"[ ] ";
      const attr_t face = box->id == focus_ ? A_REVERSE : A_NORMAL;
      const int used = Put(row, col, mark, kMarkColumns, face);
      Put(row, col + used, FitWithEllipsis(WideOf(box->text), textWidth), textWidth, face);
      AddHit(row, col, l.cellColumns - 1, box->id);
    }
    if (above > 0) {
      const std::wstring text = Format(Say(kMoreAbove), above);
      const int col = l.groupRight - 1 - DisplayWidth(text);
      Put(kGroupTop, col, text, -1, A_BOLD);
      AddHit(kGroupTop, col, DisplayWidth(text), kHitScrollUp);
    }
    if (below > 0) {
      const std::wstring text = Format(Say(kMoreBelow), below);
      const int col = l.groupRight - 1 - DisplayWidth(text);
      Put(l.groupBottom, col, text, -1, A_BOLD);
      AddHit(l.groupBottom, col, DisplayWidth(text), kHitScrollDown);
    }
  }

  // The status line wraps between words; what does not fit its rows ends
  // in an ellipsis.
  void DrawStatus(const Control& c, const Layout& l) {
    const int col = l.Column(kGroupLeft);
    const int width = l.width - 2 * kGroupLeft;
    const int top = kStatusTop + l.extraLines();
    const int rows = l.statusBottom - top + 1;
    std::vector<std::wstring> lines = WrapWords(WideOf(c.text), width);
    if (static_cast<int>(lines.size()) > rows) {
      lines.resize(static_cast<std::size_t>(rows));
      std::wstring& last = lines.back();
      while (!last.empty() && DisplayWidth(last) + 1 > width) last.pop_back();
      last += L'\u2026';
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
      Put(top + static_cast<int>(i), col, lines[i], width, A_NORMAL);
    }
  }

  // The keys at the bottom, as many whole hints as fit.
  void DrawKeyLine(const Layout& l) {
    int col = 0;
    const auto draw = [&](const KeyHint& hint) {
      const std::wstring action = std::wstring(L" ") + Say(hint.action);
      const int width = DisplayWidth(hint.key) + DisplayWidth(action);
      if (col + width > COLS) return;
      Put(l.keyRow, col, hint.key, -1, A_REVERSE);
      Put(l.keyRow, col + DisplayWidth(hint.key), action, -1, A_NORMAL);
      col += width + 2;
    };
    if (listOpen_) {
      for (const KeyHint& hint : kListKeys) draw(hint);
    } else {
      for (const KeyHint& hint : kDialogKeys) draw(hint);
    }
  }

  void DrawTooSmall() {
    const std::wstring text = Format(Say(kTooSmall), kMinColumns, kMinLines, COLS, LINES);
    const std::vector<std::wstring> lines = WrapWords(text, COLS);
    for (int i = 0; i < LINES && i < static_cast<int>(lines.size()); ++i) {
      Put(i, 0, lines[static_cast<std::size_t>(i)], COLS, A_BOLD);
    }
  }

  void Draw() {
    erase();
    hits_.clear();
    const Layout l = ComputeLayout();
    if (!l.fits) {
      DrawTooSmall();
      refresh();
      return;
    }
    ScrollToFocus(l);
    Fill(0, 0, COLS, A_REVERSE);
    Put(0, l.Column(1), Say(kCaption), -1, A_REVERSE | A_BOLD);
    const Control* lower[2] = {nullptr, nullptr};
    int rightButtonRow = 0;
    for (const Control& c : controls_) {
      if (!c.visible) continue;
      switch (c.kind) {
        case Kind::kDefaultButton:
        case Kind::kButton:
          if (c.id == kIdSelectUnassociated) {
            lower[0] = &c;
          } else if (c.id == kIdViewCurrentSettings) {
            lower[1] = &c;
          } else {
            // The right-hand column: one button every three rows from the top.
            DrawButton(c, kComboRow + 3 * rightButtonRow++, l.Column(l.width - kRightButtonFromEnd),
                       kRightButtonColumns);
          }
          break;
        case Kind::kLabel:
          Put(kComboRow, l.Column(kGroupLeft), WideOf(c.text), kComboLeft - kGroupLeft, A_NORMAL,
              true);
          break;
        case Kind::kCombo:
          DrawCombo(c, l);
          break;
        case Kind::kGroup:
          DrawBoxes(c, l);
          break;
        case Kind::kStatus:
          DrawStatus(c, l);
          break;
        case Kind::kCheckBox:
          break;  // drawn with their group
      }
    }
    if (lower[0] != nullptr && lower[1] != nullptr) DrawLowerButtons(*lower[0], *lower[1], l);
    DrawKeyLine(l);
    if (listOpen_) DrawList(l);
    refresh();
  }

  bool korean_;
  EventObserver afterEvent_;
  std::string startError_;
  AssocDialogEvents* dialog_ = nullptr;
  const TerminalScreen* screen_ = nullptr;  // while RunModal runs
  std::vector<Control> controls_;           // window order: the template's, then the boxes
  std::vector<Text> items_;
  int selection_ = -1;
  int focus_ = 0;
  int scrollRow_ = 0;  // the first row of boxes in sight
  bool listOpen_ = false;
  int highlight_ = 0;      // the open list's highlighted item
  int listTop_ = 0;        // its first item in sight
  std::vector<Hit> hits_;  // what the mouse can reach on the screen drawn last
};

}  // namespace

std::string TerminalUnavailableReason() {
  const UniqueStdioFile tty(std::fopen(kTerminalDevice, "r+"));
  if (!tty || !::isatty(::fileno(tty.get()))) {
    return "dialog needs a terminal, and this process has none";
  }
  return {};
}

std::string TerminalDialogKeys() {
  return "Keys:\n"
         "  Tab, Shift+Tab    move the focus (the boxes come last)\n"
         "  Space             press the focused button; cycle the focused box; open the list\n"
         "  F4, Alt+Down      open the program list; there Up, Down, PgUp, PgDn, Home, End\n"
         "                    move, Enter or Space chooses, Escape closes\n"
         "  Up, Down          on the closed list: the previous or next program\n"
         "  Arrows, Home, End move among the boxes\n"
         "  PgUp, PgDn        a page of boxes up or down\n"
         "  Alt+letter        the control whose label underlines that letter (also the\n"
         "                    letter alone)\n"
         "  Enter             OK (apply and close), wherever the focus is but in the open\n"
         "                    list\n"
         "  Escape            Cancel\n"
         "  Mouse             click a box, a button or the list; the wheel scrolls\n"
         "The dialog needs a terminal of at least 80 x 24.\n";
}

std::unique_ptr<TerminalAssocDialogWindow> TerminalAssocDialogWindow::Create(
    UiLanguage language, EventObserver afterEvent) {
  return std::make_unique<Window>(language, std::move(afterEvent));
}

}  // namespace tolvane::cli
