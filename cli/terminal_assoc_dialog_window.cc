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
#include <cwchar>
#include <cwctype>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane::cli {
namespace {

constexpr int kPixelsPerDialogUnit = 2;
constexpr int kPixelsPerColumn = 7;
constexpr int kPixelsPerRow = 16;
constexpr int kDialogWidthUnits = 278;
constexpr int kKeyEscape = 27;

enum class Kind { kDefaultButton, kButton, kLabel, kCombo, kCheckBox, kGroup, kStatus };

struct TemplateControl {
  int id;
  Kind kind;
  const char16_t* english;
  const char16_t* korean;
  int x, y, width, height;  // dialog units
  bool visible;
};

// Template 118, in template (and tab) order.
constexpr TemplateControl kTemplate[] = {
    {kIdOk, Kind::kDefaultButton, u"OK(&D)", u"확인(&D)", 226, 6, 46, 19, true},
    {kIdCancel, Kind::kButton, u"Cancel", u"취소", 226, 28, 46, 19, true},
    {kIdApply, Kind::kButton, u"Apply(&A)", u"적용(&A)", 226, 50, 46, 19, true},
    {-1, Kind::kLabel, u"Program(&P):", u"프로그램(&P):", 7, 8, 41, 8, true},
    {kIdProgramCombo, Kind::kCombo, u"", u"", 51, 6, 170, 172, true},
    {kIdSelectUnassociated, Kind::kButton, u"Select all file extensions without association(&L)",
     u"연결된 프로그램이 없는 모든 확장자를 선택(&L)", 7, 123, 180, 19, true},
    {kIdViewCurrentSettings, Kind::kButton, u"View Current Settings(&C)", u"현재 설정보기(&C)", 188,
     123, 85, 19, true},
    {kIdTemplateBox, Kind::kCheckBox, u".", u".", 18, 41, 44, 16, false},
    {kIdExtensionGroup, Kind::kGroup, u"File Extension To Link", u"연결할 확장자", 7, 26, 214, 91,
     true},
    {kIdStatusLine, Kind::kStatus, u"", u"", 7, 151, 265, 30, true},
};

constexpr char16_t kEnglishCaption[] = u"Associated Program";
constexpr char16_t kKoreanCaption[] = u"연결 프로그램";

struct Control {
  int id;
  Kind kind;
  Text text;
  PixelRect rect;
  bool visible;
  BoxState state;
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

// UTF-16 to the terminal's wide characters (code points).
std::wstring WideOf(TextView text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    out += static_cast<wchar_t>(c);
  }
  return out;
}

int CellWidth(wchar_t c) { return std::max(0, ::wcwidth(c)); }

// Termination signals restore the terminal first, then end the process as
// they would have.
void RestoreTerminalAndReraise(int signal) {
  endwin();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

constexpr int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// The controlling terminal, whatever stdin and stdout are: the command's
// report may go to a file or a pipe while the dialog is on the screen.
constexpr char kTerminalDevice[] = "/dev/tty";

// One ncurses screen on the controlling terminal, from start to a restored
// terminal.
class TerminalScreen {
 public:
  TerminalScreen() : tty_(std::fopen(kTerminalDevice, "r+")) {
    if (tty_ == nullptr) return;
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
    struct sigaction action = {};
    action.sa_handler = RestoreTerminalAndReraise;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kRestoringSignals); ++i) {
      ::sigaction(kRestoringSignals[i], &action, &saved_[i]);
    }
  }
  ~TerminalScreen() {
    if (screen_ != nullptr) {
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

 private:
  UniqueFile tty_;  // outlives the screen drawn on it
  std::string savedLocale_;
  SCREEN* screen_ = nullptr;
  struct sigaction saved_[std::size(kRestoringSignals)] = {};
};

class Window final : public TerminalAssocDialogWindow, private AssocDialogView {
 public:
  Window(UiLanguage language, EventObserver afterEvent)
      : korean_(language == UiLanguage::kKorean), afterEvent_(std::move(afterEvent)) {}

  AssocDialogView& view() override { return *this; }
  const std::string& startError() const override { return startError_; }

  void RunModal(CFileExtAssocDialog& dialog) override {
    startError_.clear();
    TerminalScreen screen;
    if (!screen.ok()) {
      const char* term = std::getenv("TERM");
      startError_ = std::string("cannot start the terminal (TERM=") + (term ? term : "") + ")";
      return;
    }
    dialog_ = &dialog;
    CreateTemplateControls();
    dialog.OnInitDialog();
    MoveFocus(FirstTabStop());
    DialogExit exit = DialogExit::kStayOpen;
    while (exit == DialogExit::kStayOpen) {
      Draw();
      exit = ReadKey();
    }
    dialog.OnDestroy();
    controls_.clear();
    focus_ = 0;
    dialog_ = nullptr;
  }

 private:
  void CreateTemplateControls() {
    controls_.clear();
    items_.clear();
    selection_ = -1;
    for (const TemplateControl& t : kTemplate) {
      const int d = kPixelsPerDialogUnit;
      controls_.push_back(
          Control{t.id, t.kind, korean_ ? t.korean : t.english,
                  PixelRect{t.x * d, t.y * d, (t.x + t.width) * d, (t.y + t.height) * d}, t.visible,
                  BoxState::kUnchecked});
    }
  }

  Control* Find(int id) {
    for (Control& c : controls_) {
      if (c.id == id) return &c;
    }
    return nullptr;
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
    controls_.push_back(
        Control{id, Kind::kCheckBox, Text(caption), rect, true, BoxState::kUnchecked});
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
  }
  void ComboAdd(int id, TextView item) override {
    if (id == kIdProgramCombo) items_.emplace_back(item);
  }
  std::size_t ComboCount(int id) override { return id == kIdProgramCombo ? items_.size() : 0; }
  int ComboSelection(int id) override { return id == kIdProgramCombo ? selection_ : -1; }
  void ComboSelect(int id, std::size_t index) override {
    if (id == kIdProgramCombo && index < items_.size()) selection_ = static_cast<int>(index);
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

  DialogExit ChooseProgram(int step) {
    if (items_.empty()) return DialogExit::kStayOpen;
    const int n = static_cast<int>(items_.size());
    const int next = selection_ < 0 ? 0 : std::clamp(selection_ + step, 0, n - 1);
    if (next == selection_) return DialogExit::kStayOpen;
    selection_ = next;
    return Report(kIdProgramCombo, DialogEvent::kSelectionChanged);
  }

  DialogExit Press(int id) {
    const Control* c = Find(id);
    if (c == nullptr) return DialogExit::kStayOpen;
    if (c->kind == Kind::kCombo) {
      if (items_.empty()) return DialogExit::kStayOpen;
      const int n = static_cast<int>(items_.size());
      selection_ = selection_ < 0 ? 0 : (selection_ + 1) % n;
      return Report(id, DialogEvent::kSelectionChanged);
    }
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

  DialogExit ReadKey() {
    wint_t key = 0;
    const int kind = get_wch(&key);
    if (kind == ERR) return DialogExit::kStayOpen;
    if (kind == KEY_CODE_YES) {
      switch (key) {
        case KEY_BTAB:
          StepFocus(-1);
          break;
        case KEY_UP:
        case KEY_LEFT:
          if (focus_ == kIdProgramCombo) return ChooseProgram(-1);
          break;
        case KEY_DOWN:
        case KEY_RIGHT:
          if (focus_ == kIdProgramCombo) return ChooseProgram(1);
          break;
        case KEY_ENTER:
          return Press(kIdOk);
        default:
          break;
      }
      return DialogExit::kStayOpen;
    }
    switch (key) {
      case kKeyEscape: {
        // Alt+letter arrives as Escape followed at once by the letter.
        timeout(0);
        wint_t next = 0;
        const int more = get_wch(&next);
        timeout(-1);
        if (more == OK && next != kKeyEscape) return AccessKeyPressed(static_cast<wchar_t>(next));
        return Press(kIdCancel);
      }
      case L'\t':
        StepFocus(1);
        return DialogExit::kStayOpen;
      case L'\r':
      case L'\n':
        return Press(kIdOk);
      case L' ':
        return Press(focus_);
      default:
        return AccessKeyPressed(static_cast<wchar_t>(key));
    }
  }

  // --- drawing ------------------------------------------------------------

  int Column(int x) const { return left_ + x / kPixelsPerColumn; }
  int Row(int y) const { return top_ + y / kPixelsPerRow; }

  // Draws text from (row, col) within width cells (no limit when negative);
  // "&" marks the access key, drawn underlined. Returns the cells used.
  int Put(int row, int col, TextView text, int width, attr_t attributes, bool accessKeys) {
    return PutWide(row, col, WideOf(text), width, attributes, accessKeys);
  }

  int PutWide(int row, int col, std::wstring_view wide, int width, attr_t attributes,
              bool accessKeys) {
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

  static int DisplayWidth(TextView text, bool accessKeys) {
    int width = 0;
    for (const wchar_t c : WideOf(text)) {
      if (!(accessKeys && c == L'&')) width += CellWidth(c);
    }
    return width;
  }

  void Fill(int row, int col, int width, attr_t attributes) {
    attrset(attributes);
    for (int i = 0; i < width && col + i < COLS; ++i) mvaddch(row, col + i, ' ');
    attrset(A_NORMAL);
  }

  void DrawButton(const Control& c) {
    const int col = Column(c.rect.left);
    const int width = Column(c.rect.right) - col;
    const int row = Row((c.rect.top + c.rect.bottom) / 2);
    const bool focused = c.id == focus_;
    const attr_t face = A_REVERSE | (focused ? A_BOLD : A_NORMAL);
    Fill(row, col, width, face);
    const int textWidth = std::min(DisplayWidth(c.text, true), width);
    const int start = col + (width - textWidth) / 2;
    Put(row, start, c.text, width, face, true);
    if (focused && start > col) Put(row, col, u">", 1, face, false);
    if (focused && start + textWidth < col + width - 1)
      Put(row, col + width - 1, u"<", 1, face, false);
  }

  void DrawCombo(const Control& c) {
    const int col = Column(c.rect.left);
    const int width = Column(c.rect.right) - col;
    const int row = Row(c.rect.top + kPixelsPerRow / 2);
    const attr_t face = c.id == focus_ ? A_REVERSE : A_UNDERLINE;
    Fill(row, col, width, face);
    if (selection_ >= 0)
      Put(row, col + 1, items_[static_cast<std::size_t>(selection_)], width - 3, face, false);
    Put(row, col + width - 1, u"v", 1, face, false);
  }

  void DrawCheckBox(const Control& c) {
    const int col = Column(c.rect.left);
    const int row = Row((c.rect.top + c.rect.bottom) / 2);
    const char16_t* mark = c.state == BoxState::kChecked         ? u"[x] "
                           : c.state == BoxState::kIndeterminate ? u"[-] "
                                                                 : u"[ ] ";
    const int width = Column(c.rect.right) - col;
    const int used = Put(row, col, mark, width, A_NORMAL, false);
    Put(row, col + used, c.text, width - used, c.id == focus_ ? A_REVERSE : A_NORMAL, false);
  }

  void DrawGroup(const Control& c) {
    const int left = Column(c.rect.left);
    const int right = Column(c.rect.right);
    const int top = Row(c.rect.top);
    const int bottom = Row(c.rect.bottom);
    // Box-drawing characters of their own: the terminal's line-drawing
    // set does not survive every multiplexer.
    for (int col = left + 1; col < right; ++col) {
      Put(top, col, u"─", 1, A_NORMAL, false);
      Put(bottom, col, u"─", 1, A_NORMAL, false);
    }
    for (int row = top + 1; row < bottom; ++row) {
      Put(row, left, u"│", 1, A_NORMAL, false);
      Put(row, right, u"│", 1, A_NORMAL, false);
    }
    Put(top, left, u"┌", 1, A_NORMAL, false);
    Put(top, right, u"┐", 1, A_NORMAL, false);
    Put(bottom, left, u"└", 1, A_NORMAL, false);
    Put(bottom, right, u"┘", 1, A_NORMAL, false);
    Put(top, left + 2, c.text, right - left - 3, A_NORMAL, true);
  }

  // The status line wraps at its width and at each line break.
  void DrawStatus(const Control& c) {
    const int col = Column(c.rect.left);
    const int width = Column(c.rect.right) - col;
    const int last = Row(c.rect.bottom);
    int row = Row(c.rect.top + kPixelsPerRow / 2);
    int used = 0;
    for (const wchar_t ch : WideOf(c.text)) {
      if (ch == L'\n') {
        ++row;
        used = 0;
        continue;
      }
      const int cells = CellWidth(ch);
      if (used + cells > width) {
        ++row;
        used = 0;
      }
      if (row > last) break;
      used += PutWide(row, col + used, std::wstring_view(&ch, 1), width - used, A_NORMAL, false);
    }
  }

  void Draw() {
    erase();
    const int widthCells = kDialogWidthUnits * kPixelsPerDialogUnit / kPixelsPerColumn + 1;
    left_ = std::max(0, (COLS - widthCells) / 2);
    top_ = 1;
    Fill(0, 0, COLS, A_REVERSE);
    Put(0, left_ + 1, korean_ ? kKoreanCaption : kEnglishCaption, -1, A_REVERSE | A_BOLD, false);
    for (const Control& c : controls_) {
      if (!c.visible) continue;
      switch (c.kind) {
        case Kind::kDefaultButton:
        case Kind::kButton:
          DrawButton(c);
          break;
        case Kind::kLabel:
          Put(Row(c.rect.top + kPixelsPerRow / 2), Column(c.rect.left), c.text, -1, A_NORMAL, true);
          break;
        case Kind::kCombo:
          DrawCombo(c);
          break;
        case Kind::kCheckBox:
          DrawCheckBox(c);
          break;
        case Kind::kGroup:
          DrawGroup(c);
          break;
        case Kind::kStatus:
          DrawStatus(c);
          break;
      }
    }
    refresh();
  }

  bool korean_;
  EventObserver afterEvent_;
  std::string startError_;
  CFileExtAssocDialog* dialog_ = nullptr;
  std::vector<Control> controls_;  // window order: the template's, then the boxes
  std::vector<Text> items_;
  int selection_ = -1;
  int focus_ = 0;
  int left_ = 0;
  int top_ = 1;
};

}  // namespace

std::string TerminalUnavailableReason() {
  const UniqueFile tty(std::fopen(kTerminalDevice, "r+"));
  if (tty == nullptr || !::isatty(::fileno(tty.get()))) {
    return "dialog needs a terminal, and this process has none";
  }
  return {};
}

std::unique_ptr<TerminalAssocDialogWindow> TerminalAssocDialogWindow::Create(
    UiLanguage language, EventObserver afterEvent) {
  return std::make_unique<Window>(language, std::move(afterEvent));
}

}  // namespace tolvane::cli
