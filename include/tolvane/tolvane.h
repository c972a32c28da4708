/* The exports of the tolvane library. Every function is exported by name
 * with C linkage and takes UTF-16 text: wchar_t on Windows, char16_t on the
 * portable build. All of them use the C calling convention except the two
 * installer custom actions, which use the one the Windows Installer calls
 * them with (the callee removes its argument; stdcall on x86). */
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

/* Registers the named group for installDir (null or empty: the directory of
 * the host executable). 0 when every record succeeded; 1016 when the group
 * is unknown or a record failed. */
TOLVANE_EXPORT int32_t TOLVANE_CDECL RegProduct(const TolvaneChar* groupName,
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

/* Makes extension (".zdw") open with the document class progId, for all
 * users and, where the per-user override tree exists, for the current user;
 * tells the shell when something changed. 0 when the extension opens, or
 * already opened, with progId's program; 5 when the change was refused
 * (extension without its leading dot, unknown progId, ...) or failed. */
TOLVANE_EXPORT int32_t TOLVANE_CDECL ChangeFileExtAssociation(const TolvaneChar* extension,
                                                              const TolvaneChar* progId);

/* Tells the shell that file associations changed. Always 0. */
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
