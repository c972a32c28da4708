/* The exports of the tolvane library. Every function is exported by name
 * with C linkage and takes UTF-16 text: wchar_t on Windows, char16_t on the
 * portable build. All of them use the C calling convention. */
#ifndef TOLVANE_TOLVANE_H_
#define TOLVANE_TOLVANE_H_

#include <stdint.h>

#ifdef _WIN32
#include <wchar.h>
typedef wchar_t TolvaneChar;
#define TOLVANE_CDECL __cdecl
#define TOLVANE_EXPORT
#else
#include <uchar.h>
typedef char16_t TolvaneChar;
#define TOLVANE_CDECL
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
