// The guards of function-local statics (the C++ ABI's __cxa_guard_*), for
// the library only, on the system's slim locks.
//
// The runtime's own guards go through the static threading library, whose
// first use on a thread makes an event and a copy of the thread's handle
// that live until the thread ends; an installer that loads and frees the
// library once per custom action would gain both on every load. A slim
// lock and a condition variable are plain memory: nothing to free at
// unload.
//
// A guard is 64 bits: byte 0 is set once the static is made (the compiler
// reads it before calling in), byte 1 while some thread makes it.
#include <windows.h>

namespace {

SRWLOCK guardLock = SRWLOCK_INIT;
CONDITION_VARIABLE guardDone = CONDITION_VARIABLE_INIT;

unsigned char* Bytes(long long* guard) { return reinterpret_cast<unsigned char*>(guard); }

}  // namespace

// 1: the caller makes the static and then calls release (or abort if the
// initialiser throws). 0: it is made already.
extern "C" int __cxa_guard_acquire(long long* guard) {
  unsigned char* bytes = Bytes(guard);
  if (__atomic_load_n(&bytes[0], __ATOMIC_ACQUIRE) != 0) return 0;
  ::AcquireSRWLockExclusive(&guardLock);
  int result = 0;
  while (true) {
    if (bytes[0] != 0) break;
    if (bytes[1] == 0) {
      bytes[1] = 1;
      result = 1;
      break;
    }
    ::SleepConditionVariableSRW(&guardDone, &guardLock, INFINITE, 0);
  }
  ::ReleaseSRWLockExclusive(&guardLock);
  return result;
}

extern "C" void __cxa_guard_release(long long* guard) {
  unsigned char* bytes = Bytes(guard);
  ::AcquireSRWLockExclusive(&guardLock);
  bytes[1] = 0;
  __atomic_store_n(&bytes[0], 1, __ATOMIC_RELEASE);
  ::ReleaseSRWLockExclusive(&guardLock);
  ::WakeAllConditionVariable(&guardDone);
}

extern "C" void __cxa_guard_abort(long long* guard) {
  ::AcquireSRWLockExclusive(&guardLock);
  Bytes(guard)[1] = 0;
  ::ReleaseSRWLockExclusive(&guardLock);
  ::WakeAllConditionVariable(&guardDone);
}
