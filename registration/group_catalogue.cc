// The built-in registration groups: for each program of the suite, the
// _MODULE group registers its modules through registrar scripts and points
// its document classes at its executable; the _FILE_EXT group associates
// its extensions with those classes, for all users and for the current
// user, and writes its MIME entries.
#include "registration/group_catalogue.h"

#include <algorithm>
#include <vector>

#include <array>

#include "platform/text.h"

namespace tolvane {
namespace {

constexpr RegistrationRecord kEnd{RecordKind::EndOfList, kNoKey, nullptr, nullptr, nullptr};

constexpr RegistrationRecord ClassString(const char16_t* keyPath, const char16_t* valueName,
                                         const char16_t* data) {
  return {RecordKind::SetString, kHkeyClassesRoot, keyPath, valueName, data};
}

constexpr RegistrationRecord ClassDefault(const char16_t* keyPath, const char16_t* data) {
  return {RecordKind::SetExpandedString, kHkeyClassesRoot, keyPath, nullptr, data};
}

// A list of one RunScript record: script id for module file.
#define TOLVANE_SCRIPT_LIST(name, id, module) \
  const RegistrationRecord name[] = {         \
      {RecordKind::RunScript, kNoKey, ScriptIdPointer(id), module, nullptr}, kEnd}

// The current user's per-extension overrides.
#define TOLVANE_FILE_EXTS u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts"

// The per-user block of extension ext and class progId: an override that
// names an "Application" is removed as a whole; then, when the user has the
// FileExts key at all, the extension's "ProgID" is set to the class.
#define TOLVANE_PER_USER(ext, progId)                                                             \
  {RecordKind::IfExists, kHkeyCurrentUser, TOLVANE_FILE_EXTS u"\\" ext, u"Application", nullptr}, \
      {RecordKind::DeleteEntry, kHkeyCurrentUser, TOLVANE_FILE_EXTS u"\\" ext, nullptr, nullptr}, \
      {RecordKind::IfExists, kHkeyCurrentUser, TOLVANE_FILE_EXTS, nullptr, nullptr}, {            \
    RecordKind::SetString, kHkeyCurrentUser, TOLVANE_FILE_EXTS u"\\" ext, u"ProgID", progId       \
  }

// Registrar scripts and the module file each one registers.
TOLVANE_SCRIPT_LIST(kXmlScript, 133, u"QMRXML80.DLL");
TOLVANE_SCRIPT_LIST(kAccessibleScript, 125, u"QmrAccessible.DLL");
TOLVANE_SCRIPT_LIST(kZdwDocumentScript, 130, u"Zdw.exe");
TOLVANE_SCRIPT_LIST(kZdwAutomationScript, 126, u"ZdwAutomation.DLL");
TOLVANE_SCRIPT_LIST(kPackagerScript, 121, u"PackagerQMR.DLL");
TOLVANE_SCRIPT_LIST(kZdwControlScript, 117, u"ZDWCTRL.OCX");
TOLVANE_SCRIPT_LIST(kEquationScript, 103, u"ZDWEQ5X.OCX");
TOLVANE_SCRIPT_LIST(kEmbeddingScript, 128, u"PivraCtrl.ocx");
TOLVANE_SCRIPT_LIST(kTabrixDocumentScript, 131, u"Tabrix.exe");
TOLVANE_SCRIPT_LIST(kShowraDocumentScript, 132, u"Showra.exe");
TOLVANE_SCRIPT_LIST(kKorvoScript, 104, u"KORVOX.OCX");

// Document classes: icons and shell verbs pointing at the installed
// executable. Each list belongs to its program's _MODULE and _FILE_EXT
// groups alike. The word-processor document prints through its print
// manager, the template through the word processor itself.
constexpr RegistrationRecord kZdwDocumentClasses[] = {
    ClassDefault(u"Zdw.Document.8\\DefaultIcon", u"${App}\\Zdw.exe,1"),
    ClassDefault(u"Zdw.Document.8\\shell\\open\\command", u"${App}\\Zdw.exe \"%1\""),
    ClassDefault(u"Zdw.Document.8\\shell\\print\\command", u"${App}\\ZdwPrnMng.exe /p \"%1\""),
    ClassDefault(u"Zdt.Document.8\\DefaultIcon", u"${App}\\Zdw.exe,2"),
    ClassDefault(u"Zdt.Document.8\\shell\\open\\command", u"${App}\\Zdw.exe \"%1\""),
    ClassDefault(u"Zdt.Document.8\\shell\\print\\command", u"${App}\\Zdw.exe /p \"%1\""),
    kEnd,
};

// The spreadsheet template has no print command.
constexpr RegistrationRecord kTabrixDocumentClasses[] = {
    ClassDefault(u"Tabrix.Document.8\\DefaultIcon", u"${App}\\Tabrix.exe,1"),
    ClassDefault(u"Tabrix.Document.8\\shell\\open\\command", u"${App}\\Tabrix.exe \"%1\""),
    ClassDefault(u"Tabrix.Document.8\\shell\\print\\command", u"${App}\\Tabrix.exe /p \"%1\""),
    ClassDefault(u"Tabrix.Template.8\\DefaultIcon", u"${App}\\Tabrix.exe,2"),
    ClassDefault(u"Tabrix.Template.8\\shell\\open\\command", u"${App}\\Tabrix.exe \"%1\""),
    kEnd,
};

constexpr RegistrationRecord kShowraDocumentClasses[] = {
    ClassDefault(u"Showra.Document.8\\DefaultIcon", u"${App}\\Showra.exe,1"),
    ClassDefault(u"Showra.Document.8\\shell\\open\\command", u"${App}\\Showra.exe \"%1\""),
    ClassDefault(u"Showra.Document.8\\shell\\print\\command", u"${App}\\Showra.exe /p \"%1\""),
    kEnd,
};

// Extensions: the classes-root association of each, then the per-user
// blocks in the same order.
constexpr RegistrationRecord kZdwExtensions[] = {
    ClassString(u".zdw", nullptr, u"Zdw.Document.8"),
    ClassString(u".zdt", nullptr, u"Zdt.Document.8"),
    ClassString(u".zqs", nullptr, u"Zdw.Document.8"),
    ClassString(u".zml", nullptr, u"Zdw.Document.8"),
    TOLVANE_PER_USER(u".zdw", u"Zdw.Document.8"),
    TOLVANE_PER_USER(u".zdt", u"Zdt.Document.8"),
    TOLVANE_PER_USER(u".zqs", u"Zdw.Document.8"),
    TOLVANE_PER_USER(u".zml", u"Zdw.Document.8"),
    kEnd,
};

constexpr RegistrationRecord kTabrixExtensions[] = {
    ClassString(u".tbx", nullptr, u"Tabrix.Document.8"),
    ClassString(u".tbt", nullptr, u"Tabrix.Template.8"),
    TOLVANE_PER_USER(u".tbx", u"Tabrix.Document.8"),
    TOLVANE_PER_USER(u".tbt", u"Tabrix.Template.8"),
    kEnd,
};

constexpr RegistrationRecord kShowraExtensions[] = {
    ClassString(u".shw", nullptr, u"Showra.Document.8"),
    TOLVANE_PER_USER(u".shw", u"Showra.Document.8"),
    kEnd,
};

// MIME entries. Only the word processor's type names a class; the
// presentation's extension declares "application/quenloshowra" while its
// MIME database key is "application/shw", as installed suites have it.
constexpr RegistrationRecord kZdwMime[] = {
    ClassString(u".zdw", u"Content Type", u"application/zdw"),
    ClassString(u"MIME\\Database\\Content Type\\application/zdw", u"CLSID",
                u"{5B0C2E11-7D3A-4C1E-9F2B-6A4D8E1C3F70}"),
    ClassString(u"MIME\\Database\\Content Type\\application/zdw", u"Extension", u".zdw"),
    kEnd,
};

constexpr RegistrationRecord kTabrixMime[] = {
    ClassString(u".tbx", u"Content Type", u"application/quenlotabrix"),
    ClassString(u"MIME\\Database\\Content Type\\application/quenlotabrix", u"Extension", u".tbx"),
    kEnd,
};

constexpr RegistrationRecord kShowraMime[] = {
    ClassString(u".shw", u"Content Type", u"application/quenloshowra"),
    ClassString(u"MIME\\Database\\Content Type\\application/shw", u"Extension", u".shw"),
    kEnd,
};

#undef TOLVANE_PER_USER
#undef TOLVANE_FILE_EXTS
#undef TOLVANE_SCRIPT_LIST

const RecordList kCleanOpenAlways[] = {nullptr};
const RecordList kCommonModule[] = {kXmlScript, kAccessibleScript, nullptr};
const RecordList kZdwModule[] = {
    kZdwDocumentScript, kZdwAutomationScript, kPackagerScript,     kZdwControlScript,
    kEquationScript,    kEmbeddingScript,     kZdwDocumentClasses, nullptr};
const RecordList kTabrixModule[] = {kTabrixDocumentScript, kTabrixDocumentClasses, nullptr};
const RecordList kShowraModule[] = {kShowraDocumentScript, kShowraDocumentClasses, nullptr};
const RecordList kZdwFileExt[] = {kZdwExtensions, kZdwDocumentClasses, kZdwMime, nullptr};
const RecordList kTabrixFileExt[] = {kTabrixExtensions, kTabrixDocumentClasses, kTabrixMime,
                                     nullptr};
const RecordList kShowraFileExt[] = {kShowraExtensions, kShowraDocumentClasses, kShowraMime,
                                     nullptr};
const RecordList kSelectKorvo[] = {kKorvoScript, nullptr};

const std::array<GroupCatalogueEntry, 9> kCatalogue{{
    {u"CleanOpenAlways", kCleanOpenAlways},
    {u"COMMON2008_MODULE", kCommonModule},
    {u"ZDW2008_MODULE", kZdwModule},
    {u"TABRIX2008_MODULE", kTabrixModule},
    {u"SHOWRA2008_MODULE", kShowraModule},
    {u"ZDW2008_FILE_EXT", kZdwFileExt},
    {u"TABRIX2008_FILE_EXT", kTabrixFileExt},
    {u"SHOWRA2008_FILE_EXT", kShowraFileExt},
    {u"SELECT_KORVO", kSelectKorvo},
}};

}  // namespace

GroupCatalogue BuiltInCatalogue() { return kCatalogue; }

RegistrationGroup FindGroup(GroupCatalogue catalogue, const char16_t* name) {
  if (name == nullptr) return nullptr;
  const TextView wanted = ViewOf(name);
  for (const GroupCatalogueEntry& entry : catalogue) {
    if (ViewOf(entry.name) == wanted) return entry.group;
  }
  return nullptr;
}

RegistrationGroup FindGroup(const char16_t* name) { return FindGroup(BuiltInCatalogue(), name); }

namespace {

char16_t FoldCase(char16_t unit) {
  return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

// Letters to change, add or drop to turn a into b, letter case aside.
std::size_t EditDistance(TextView a, TextView b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      const std::size_t change = diagonal + (FoldCase(a[i - 1]) == FoldCase(b[j - 1]) ? 0 : 1);
      row[j] = std::min({change, above + 1, row[j - 1] + 1});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::string UnknownGroupReason(GroupCatalogue catalogue, const char16_t* name) {
  constexpr std::size_t kNearest = 2;
  const TextView wanted = name == nullptr ? TextView() : ViewOf(name);
  std::string groups;
  TextView nearest;
  std::size_t best = kNearest + 1;
  for (const GroupCatalogueEntry& entry : catalogue) {
    const TextView candidate = ViewOf(entry.name);
    if (!groups.empty()) groups += ", ";
    groups += Utf16ToUtf8(candidate);
    const std::size_t distance = EditDistance(wanted, candidate);
    if (distance < best) {
      best = distance;
      nearest = candidate;
    }
  }
  std::string reason = name == nullptr ? std::string("no group name given")
                                       : "no group named " + Utf16ToUtf8(wanted);
  reason += " (the groups are: " + groups;
  if (!nearest.empty()) reason += "; did you mean " + Utf16ToUtf8(nearest) + "?";
  if (best == 0) reason += " group names are case-sensitive";
  return reason + ")";
}

}  // namespace tolvane
