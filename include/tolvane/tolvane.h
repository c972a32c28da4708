/* The exports of the tolvane library. Every function is exported by name
 * with C linkage and takes UTF-16 text: wchar_t on Windows, char16_t on the
 * portable build (the examples below use L"..."; write u"..." there). All of
 * them use the C calling convention except the two installer custom actions,
 * which use the one the Windows Installer calls them with (the callee removes
 * its argument; stdcall on x86). Each export keeps no state between calls and
 * runs to completion on the caller's thread; the installer authors' README of
 * the Windows archive shows how to call each one from an MSI custom action,
 * Inno Setup, NSIS and C. */
#ifndef TOLVANE_TOLVANE_H_
#define TOLVANE_TOLVANE_H_

#include <stdint.h>

#ifdef _WIN32
#include <wchar.h>
typedef wchar_t TolvaneChar;
#define TOLVANE_CDECL __cdecl
#define TOLVANE_STDCALL __stdcall
#define TOLVANE_EXPORT
#else
#include <uchar.h>
typedef char16_t TolvaneChar;
#define TOLVANE_CDECL
#define TOLVANE_STDCALL
#define TOLVANE_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* RegProduct: registers one built-in registration group for an installation.
 *
 * groupName   the group, matched exactly (case included): CleanOpenAlways,
 *             COMMON2008_MODULE, ZDW2008_MODULE, TABRIX2008_MODULE,
 *             SHOWRA2008_MODULE, ZDW2008_FILE_EXT, TABRIX2008_FILE_EXT,
 *             SHOWRA2008_FILE_EXT or SELECT_KORVO (`tolvane groups` lists
 *             them). Null or unknown: 1016 at once, nothing written.
 * installDir  the installation directory, with or without a trailing
 *             backslash, at most 259 characters. Null or empty: the
 *             directory of the calling process's executable.
 *
 * Result: 0 when every record of the group succeeded; 1016 (the platform's
 * "registry input/output failed") when the group is unknown, the directory
 * does not fit, or any record failed.
 *
 * Writes: under HKEY_CLASSES_ROOT the group's COM classes and type libraries
 * (from the registrar scripts the library carries, %PATH% standing for
 * installDir), document classes with icons and shell verbs, and MIME
 * entries; under HKEY_CURRENT_USER the per-user extension overrides of the
 * file-extension groups. A script is skipped (as a success) when its module
 * file is not in installDir. A string value equal to the one stored is not
 * rewritten, so a second run changes nothing. When something changed and
 * every record succeeded, the shell is told that file associations changed.
 *
 * Never: rolls back what earlier records wrote when a later one fails (only
 * a failing script block is undone); asks for elevation (machine-wide keys
 * need a caller that already holds the rights); shows a window; keeps state
 * between calls; writes outside the registry.
 *
 * Example:
 *   if (RegProduct(L"ZDW2008_MODULE", L"C:\\Program Files\\Suite\\Bin\\") != 0) {
 *     ... report that the word processor could not be registered ...
 *   }
 */
TOLVANE_EXPORT int32_t TOLVANE_CDECL RegProduct(const TolvaneChar* groupName,
                                                const TolvaneChar* installDir);

/* UnregProduct: takes one registration group back out, for an uninstaller.
 *
 * groupName   the group, as for RegProduct. Null or unknown: 1016 at once,
 *             nothing touched.
 * installDir  the directory the group was registered for, as for
 *             RegProduct (null or empty: the directory of the calling
 *             process's executable; at most 259 characters).
 *
 * Result: 0 when everything was taken back; 1016 when the group is unknown,
 * the directory does not fit, or any registry call failed (the rest of the
 * group is still taken back).
 *
 * Removes, the group's records last first: each string value the group
 * writes, only where it still holds exactly the type and text that
 * RegProduct writes for installDir, then the keys this leaves empty, up to
 * the group's own key below HKEY_CLASSES_ROOT, its MIME database folder or
 * the per-user FileExts key; the values and keys that the group's registrar
 * scripts name (keys only once they have no subkeys, never the ones the
 * scripts mark as shared), whether the module files are still installed or
 * not. When a value of a file extension's key went, and nothing failed, the
 * shell is told that file associations changed. A group that is not (or no
 * longer) registered: nothing changes, result 0.
 *
 * Never: removes a value that a user or another program has changed since
 * (".zdw" now naming another class stays, with its key), a key that still
 * has subkeys (so HKEY_CLASSES_ROOT\CLSID and other shared keys stay), or
 * another program's values beside the group's in a key the group shares;
 * restores what RegProduct deleted (a per-user override that named an
 * application); asks for elevation; shows a window; keeps state.
 *
 * Example (uninstaller, before the files are removed or after: both work):
 *   UnregProduct(L"ZDW2008_FILE_EXT", L"C:\\Program Files\\Suite\\Bin\\");
 *   UnregProduct(L"ZDW2008_MODULE", L"C:\\Program Files\\Suite\\Bin\\");
 */
TOLVANE_EXPORT int32_t TOLVANE_CDECL UnregProduct(const TolvaneChar* groupName,
                                                  const TolvaneChar* installDir);

/* Installer custom action: registers the suite's shared modules and the
 * programs the installation acts on. installer is the handle the Windows
 * Installer passes to a custom action. When none of the features "Velmora",
 * "Tabrix", "Showra", "ZdwDic", "Postra" has an action, returns 0 without
 * reading a property. Otherwise registers group COMMON2007_MODULE for the
 * folder in property "CommonDir" (on failure: shows the failure message,
 * returns 1), self-registers "GrafoChart.ocx" from that folder (loads it and
 * calls its DllRegisterServer; the outcome is not looked at), and registers
 * ZDW2007_MODULE, TABRIX2007_MODULE and SHOWRA2007_MODULE for properties
 * "ZdwDir", "TabrixDir" and "ShowraDir" of each product feature with an
 * action, from the feature first found on; a failing product shows the
 * message and the next still runs; returns 0. Writes only what those groups
 * write; never rolls back, never changes installer state, and refuses a
 * folder longer than 259 characters as a failed registration. The built-in
 * catalogue holds none of the 2007 groups, so with any feature acting the
 * message shows once and the result is 1.
 * Example: a custom action of type 1 with source tolvane.dll and target
 * _RegProduct. */
TOLVANE_EXPORT uint32_t TOLVANE_STDCALL _RegProduct(uint32_t installer);

/* Installer custom action: registers group SELECT_KORVO for the folder in
 * installer property "QmrOcxOldDir" (empty or missing: the host
 * executable's folder); no feature state is asked. Returns 0 when the group
 * ran completely (a folder without "KORVOX.OCX" writes nothing and still
 * succeeds), else shows the failure message and returns 1. Writes only what
 * the group's script writes; never rolls back; a folder longer than 259
 * characters fails without writing.
 * Example: a deferred custom action with source tolvane.dll and target
 * _RegKorvo, after the files are installed. */
TOLVANE_EXPORT uint32_t TOLVANE_STDCALL _RegKorvo(uint32_t installer);

/* Registers group KELT_2005_COM for directory with "zdw65" appended as it
 * stands, so directory should end with a backslash. Returns 1 when the group
 * ran completely; otherwise shows the failure message and returns 0, which
 * also answers a null directory and a path longer than 259 characters
 * (nothing is written then). The built-in catalogue does not hold
 * KELT_2005_COM: the call always shows the message and returns 0, writing
 * nothing.
 * Example: RegProductIS(L"C:\\Suite\\") runs the group for C:\Suite\zdw65. */
TOLVANE_EXPORT int32_t TOLVANE_CDECL RegProductIS(const TolvaneChar* directory);

/* ChangeFileExtAssociation: makes one extension open with a document class.
 *
 * extension   the extension with its leading dot (".zdw"), at most 199
 *             characters.
 * progId      an existing document class under HKEY_CLASSES_ROOT
 *             ("Zdw.Document.8") that the caller may open with full access.
 *
 * Result: 0 when the extension now opens, or already opened, with the
 * program of progId's "open" verb (another class of the same program counts
 * as the same); 5 when the change was refused (null, empty or dot-less
 * extension, a name with a backslash, unknown progId, extension too long) or
 * a write failed.
 *
 * Writes, only when the extension opens with another program:
 * HKEY_CLASSES_ROOT\<extension> default value = progId; and where the
 * current user's Explorer\FileExts override tree exists and is writable,
 * deletes its <extension> "Application" value and sets "ProgID" = progId.
 * Then tells the shell that associations changed.
 *
 * A failed per-user write leaves the HKEY_CLASSES_ROOT value in place and
 * sends no notification.
 *
 * Never: creates or changes progId's class; touches other extensions or
 * other users; writes anything when it answers 5 because of its arguments.
 *
 * Example:
 *   int32_t result = ChangeFileExtAssociation(L".zdw", L"Zdw.Document.8");
 */
TOLVANE_EXPORT int32_t TOLVANE_CDECL ChangeFileExtAssociation(const TolvaneChar* extension,
                                                              const TolvaneChar* progId);

/* SendAssocChangedNotify: tells the shell that file associations changed,
 * so that Explorer refreshes icons and "open with" choices. No arguments.
 *
 * Result: 0, always. Writes nothing.
 *
 * Example (after writing associations of one's own):
 *   SendAssocChangedNotify();
 */
TOLVANE_EXPORT int32_t TOLVANE_CDECL SendAssocChangedNotify(void);

/* Shows the modal association dialog on the calling thread and returns when
 * the user closes it. The user picks one of the programs of programList and
 * sees one three-state check box per extension: checked when the extension
 * already opens with that program, indeterminate when it opens with another
 * one, unchecked when it opens with none. OK and Apply associate every
 * checked extension that is not yet associated, exactly as
 * ChangeFileExtAssociation does (HKEY_CLASSES_ROOT\ext default value and,
 * where the per-user override tree exists, its "ProgID" value), with one
 * association-changed notification per extension written.
 *
 * programList: "Name=.ext:ProgID;.ext:ProgID|Name=.ext:ProgID", programs
 * separated by "|", entries by ";"; each extension begins with ".". A name
 * with nothing after its "=" gets no entry; an entry without its dot or
 * ProgID ends that program's list. Null or empty: an empty program list.
 * Borrowed for the call only.
 *
 * Result: always 0; whether the user left with OK or Cancel is not told.
 * The dialog never removes an association, never writes an unchecked or
 * indeterminate extension, and reports no failed write. The dialog is
 * template 118 of the library's resources, in English or Korean by the
 * user-interface language. The portable library has no windowing toolkit:
 * there the call shows nothing, writes nothing and returns 0 (the tolvane
 * command's "dialog" shows it in a terminal).
 *
 * Example:
 *   PopupFileAssocListDialog(L"Word processor=.zdw:Zdw.Document.8;"
 *                            L".zdt:Zdt.Document.8|Spreadsheet=.tbx:Tabrix.Document.8");
 */
TOLVANE_EXPORT int32_t TOLVANE_CDECL PopupFileAssocListDialog(const TolvaneChar* programList);

#ifdef __cplusplus
}
#endif

#endif /* TOLVANE_TOLVANE_H_ */
