/* The administrator probe: a separate library (tolvane-probe.dll on Windows,
 * libtolvane-probe.so on the portable build) with one export. It shares
 * nothing with the tolvane library and keeps no state; load it and look the
 * export up by name (on Windows it is also at ordinal 2). */
#ifndef TOLVANE_TOLVANE_PROBE_H_
#define TOLVANE_TOLVANE_PROBE_H_

#include <stdint.h>

#ifdef _WIN32
#define TOLVANE_PROBE_CDECL __cdecl
#define TOLVANE_PROBE_EXPORT
#else
#define TOLVANE_PROBE_CDECL
#define TOLVANE_PROBE_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* 1 when the caller holds the local Administrators group (S-1-5-32-544),
 * else 0. The caller is the calling thread's impersonation token when the
 * thread impersonates, the process's token otherwise. Only membership is
 * asked: a group present but disabled or for deny only (an administrator
 * who has not been elevated) still gives 1. Every failure gives 0, so 0
 * cannot tell a standard user from a check that failed. Safe on any thread;
 * no heap allocation. On the portable build the process counts as an
 * administrator when its effective user is root or it holds the group sudo,
 * wheel or admin. */
TOLVANE_PROBE_EXPORT int32_t TOLVANE_PROBE_CDECL TolvaneAmIAdministrator(void);

/* The export's type, for a caller that looks it up at run time. */
typedef int32_t(TOLVANE_PROBE_CDECL* TolvaneAmIAdministratorFn)(void);

#ifdef __cplusplus
}
#endif

#endif /* TOLVANE_TOLVANE_PROBE_H_ */
