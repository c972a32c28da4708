/* The exports of the tolvane library. Every function is exported by name
 * with C linkage and takes UTF-16 text: wchar_t on Windows, char16_t on the
 * portable build (the examples below use L"..."; write u"..." there). All of
 * them use the C calling convention. Each export keeps no state between
 * calls and runs to completion on the caller's thread; the installer
 * authors' README of the Windows archive shows how to call each one from an
 * MSI custom action, Inno Setup, NSIS and C. */
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

#ifdef __cplusplus
}
#endif

#endif /* TOLVANE_TOLVANE_H_ */
