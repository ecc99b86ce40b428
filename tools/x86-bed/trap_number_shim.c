/*
 * Preloaded into the 32-bit Wine loader of the x86 test bed (tools/x86-bed.sh).
 *
 * qemu-i386 user emulation delivers SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGTRAP
 * with the trap number of the signal context left at -1. Wine's i386 signal
 * handlers decide the Windows exception from that trap number, so under qemu
 * every access violation, guard page hit (stack growth), division by zero and
 * breakpoint would turn into an illegal-instruction exception. This library
 * wraps sigaction() for those signals and, before the registered handler runs,
 * fills the trap number (and, where qemu left it empty, the error code) as the
 * Linux kernel does on real hardware, from the signal number and si_code.
 *
 * A context whose trap number is already set is passed on untouched, and a
 * 64-bit build of this file is empty: the same LD_PRELOAD entry ($LIB) serves
 * both halves of Wine without a loader warning in the 64-bit processes.
 */
#if defined(__i386__)

#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stddef.h>
#include <ucontext.h>

/* Trap numbers of the IA-32 exceptions (Intel SDM vol. 3, 6.15). */
enum {
  kTrapDivide = 0,
  kTrapDebug = 1,
  kTrapBreakpoint = 3,
  kTrapInvalidOpcode = 6,
  kTrapGeneralProtection = 13,
  kTrapPageFault = 14,
  kTrapFloatingPoint = 16,
  kTrapAlignment = 17,
};

/* Page-fault error code bits. */
enum {
  kPageFaultPresent = 1,
  kPageFaultUser = 4,
};

typedef void (*InfoHandler)(int, siginfo_t*, void*);
typedef int (*SigactionFunction)(int, const struct sigaction*, struct sigaction*);

/* The handlers the program registered, by signal; only the five signals above. */
static InfoHandler g_handlers[NSIG];

static int IsWrapped(int signal_number) {
  return signal_number == SIGSEGV || signal_number == SIGBUS || signal_number == SIGILL ||
         signal_number == SIGFPE || signal_number == SIGTRAP;
}

static int TrapNumber(int signal_number, const siginfo_t* info) {
  switch (signal_number) {
    case SIGSEGV:
      /* The kernel sends SI_KERNEL for a general protection fault. */
      return info->si_code == SI_KERNEL ? kTrapGeneralProtection : kTrapPageFault;
    case SIGBUS:
      return info->si_code == BUS_ADRALN ? kTrapAlignment : kTrapPageFault;
    case SIGILL:
      return kTrapInvalidOpcode;
    case SIGFPE:
      return info->si_code == FPE_INTDIV ? kTrapDivide : kTrapFloatingPoint;
    default: /* SIGTRAP */
      return info->si_code == TRAP_TRACE ? kTrapDebug : kTrapBreakpoint;
  }
}

static void FillTrap(int signal_number, siginfo_t* info, void* context) {
  greg_t* registers = ((ucontext_t*)context)->uc_mcontext.gregs;
  if (registers[REG_TRAPNO] != -1) return;
  int trap = TrapNumber(signal_number, info);
  registers[REG_TRAPNO] = trap;
  /* qemu reports the write bit of a page fault in the error code; the
     protection bit follows from si_code when it is missing. */
  if (trap == kTrapPageFault) {
    greg_t error = registers[REG_ERR] | kPageFaultUser;
    if (signal_number == SIGSEGV && info->si_code == SEGV_ACCERR) error |= kPageFaultPresent;
    registers[REG_ERR] = error;
  }
}

static void Trampoline(int signal_number, siginfo_t* info, void* context) {
  InfoHandler handler = __atomic_load_n(&g_handlers[signal_number], __ATOMIC_ACQUIRE);
  if (info != NULL && context != NULL) FillTrap(signal_number, info, context);
  if (handler != NULL) handler(signal_number, info, context);
}

static SigactionFunction RealSigaction(void) {
  static SigactionFunction real;
  SigactionFunction function = __atomic_load_n(&real, __ATOMIC_ACQUIRE);
  if (function == NULL) {
    function = (SigactionFunction)dlsym(RTLD_NEXT, "sigaction");
    __atomic_store_n(&real, function, __ATOMIC_RELEASE);
  }
  return function;
}

int sigaction(int signal_number, const struct sigaction* action, struct sigaction* old_action) {
  SigactionFunction real = RealSigaction();
  if (signal_number <= 0 || signal_number >= NSIG || !IsWrapped(signal_number)) {
    return real(signal_number, action, old_action);
  }
  InfoHandler previous = __atomic_load_n(&g_handlers[signal_number], __ATOMIC_ACQUIRE);
  int result;
  if (action != NULL && (action->sa_flags & SA_SIGINFO) && action->sa_sigaction != NULL) {
    struct sigaction wrapped = *action;
    wrapped.sa_sigaction = Trampoline;
    __atomic_store_n(&g_handlers[signal_number], action->sa_sigaction, __ATOMIC_RELEASE);
    result = real(signal_number, &wrapped, old_action);
    if (result != 0) __atomic_store_n(&g_handlers[signal_number], previous, __ATOMIC_RELEASE);
  } else {
    result = real(signal_number, action, old_action);
    if (result == 0 && action != NULL) {
      __atomic_store_n(&g_handlers[signal_number], NULL, __ATOMIC_RELEASE);
    }
  }
  /* The caller sees its own handler, never the trampoline. */
  if (result == 0 && old_action != NULL && (old_action->sa_flags & SA_SIGINFO) &&
      old_action->sa_sigaction == Trampoline) {
    old_action->sa_sigaction = previous;
  }
  return result;
}

#endif /* __i386__ */
