// The C++ runtime's one-time initialisation, for the library only, on the
// system's slim locks: the guards of function-local statics (the C++ ABI's
// __cxa_guard_*) and the once calls of the runtime itself (pthread_once,
// which the link redirects here).
//
// The runtime's own versions go through the static threading library, whose
// first use on a thread makes an event and a copy of the thread's handle
// that live until the thread ends; an installer that loads and frees the
// library once per custom action would gain both on every load. On x86 the
// unwinder registers the library's frame tables at every load and takes its
// lock through a once call; the guards do the same on the first static. A
// slim lock and a condition variable are plain memory: nothing to free at
// unload.
//
// A guard is 64 bits: byte 0 is set once the static is made (the compiler
// reads it before calling in), byte 1 while some thread makes it.
#include <windows.h>
// pthread_once_t and its initial value.
#include <pthread.h>

namespace {

SRWLOCK guardLock = SRWLOCK_INIT;
CONDITION_VARIABLE guardDone = CONDITION_VARIABLE_INIT;

unsigned char* Bytes(long long* guard) { return reinterpret_cast<unsigned char*>(guard); }

// The states of a once flag: PTHREAD_ONCE_INIT, then running, then done.
constexpr pthread_once_t kOnceRunning = 1;
constexpr pthread_once_t kOnceDone = 2;

// Puts a once flag back to its initial state when its function throws, so
// that the next caller runs it again rather than waiting for ever.
class OnceRollback {
 public:
  explicit OnceRollback(pthread_once_t* once) : once_(once) {}
  OnceRollback(const OnceRollback&) = delete;
  OnceRollback& operator=(const OnceRollback&) = delete;
  ~OnceRollback() {
    if (once_ == nullptr) return;
    ::AcquireSRWLockExclusive(&guardLock);
    *once_ = PTHREAD_ONCE_INIT;
    ::ReleaseSRWLockExclusive(&guardLock);
    ::WakeAllConditionVariable(&guardDone);
  }
  void Dismiss() { once_ = nullptr; }

 private:
  pthread_once_t* once_;
};

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

// Runs init exactly once per flag; callers that come while another runs it
// wait until it returns. Always 0, as the runtime expects.
extern "C" int __wrap_pthread_once(pthread_once_t* once, void (*init)()) {
  if (__atomic_load_n(once, __ATOMIC_ACQUIRE) == kOnceDone) return 0;
  ::AcquireSRWLockExclusive(&guardLock);
  while (*once == kOnceRunning) ::SleepConditionVariableSRW(&guardDone, &guardLock, INFINITE, 0);
  const bool mine = *once != kOnceDone;
  if (mine) *once = kOnceRunning;
  ::ReleaseSRWLockExclusive(&guardLock);
  if (!mine) return 0;

  OnceRollback rollback(once);
  init();
  rollback.Dismiss();
  ::AcquireSRWLockExclusive(&guardLock);
  __atomic_store_n(once, kOnceDone, __ATOMIC_RELEASE);
  ::ReleaseSRWLockExclusive(&guardLock);
  ::WakeAllConditionVariable(&guardDone);
  return 0;
}
