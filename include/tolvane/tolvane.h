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

#ifdef __cplusplus
}
#endif

#endif /* TOLVANE_TOLVANE_H_ */
