/* Preloaded into test processes that run under qemu-user.
 *
 * QProcess probes for pidfd support with waitid(P_PIDFD, ...) and then forks with
 * clone(CLONE_PIDFD). qemu-user 7.2 hands the probe to the host kernel, which answers that
 * pidfds exist, but refuses the clone flag itself; QProcess does not recover from that and
 * never starts the child. Answering the probe as a kernel without pidfds makes QProcess
 * fork the classic way, which the emulator supports.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/syscall.h>

#ifndef P_PIDFD
#define P_PIDFD 3
#endif

/* The kernel takes up to six argument words; like the C library's own syscall(), forward
 * six whatever the caller passed (on ARM EABI the extra words are just unused stack). */
long syscall(long number, ...)
{
    long words[6];
    va_list args;
    va_start(args, number);
    for (int i = 0; i < 6; ++i)
        words[i] = va_arg(args, long);
    va_end(args);

    if (number == SYS_waitid && words[0] == P_PIDFD) {
        errno = ENOSYS;
        return -1;
    }
    static long (*next)(long, ...);
    if (!next)
        next = (long (*)(long, ...))dlsym(RTLD_NEXT, "syscall");
    return next(number, words[0], words[1], words[2], words[3], words[4], words[5]);
}

/* Only the process the emulator started needs this; its children are either native host
 * programs, for which this library has the wrong architecture, or test programs that do not
 * start processes of their own. */
__attribute__((constructor)) static void forgetPreload(void)
{
    unsetenv("LD_PRELOAD");
}
