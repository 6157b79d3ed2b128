// Chosen system calls of this process made to fail with a chosen error, or
// held while something else happens first, as a file system that refuses
// them or another process that acts at that very moment would. For tests of
// what the code does then; use it in a child process only, as a filter lasts
// until the process ends.
#pragma once

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace testsupport {

// A system call, and where given, the flags that must all be set in one of
// its arguments for the rule to apply.
struct SyscallRule {
    long number;  // __NR_...
    int flagsArgument = -1;
    std::uint32_t flags = 0;
};

struct SyscallFault {
    SyscallRule call;
    int error;  // errno the call returns
};

namespace detail {

// A filter that gives each rule's calls `actions[i]` and lets every other
// call through.
inline std::vector<sock_filter> Filter(const std::vector<SyscallRule>& rules, const std::vector<std::uint32_t>& actions)
{
#if defined(__x86_64__)
    constexpr std::uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr std::uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
    constexpr std::uint32_t kArch = 0;  // matches nothing: every call goes through
#endif
    const auto load = [](std::size_t offset) {
        return sock_filter BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<std::uint32_t>(offset));
    };
    std::vector<sock_filter> program{
        load(offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const SyscallRule& r = rules[i];
        const bool masked = r.flagsArgument >= 0;
        program.push_back(load(offsetof(seccomp_data, nr)));
        program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(r.number), 0,
                                   static_cast<std::uint8_t>(masked ? 4 : 1)));
        if (masked) {
            // The low half of the argument, where the flags lie.
            program.push_back(load(offsetof(seccomp_data, args) + 8 * static_cast<std::size_t>(r.flagsArgument)));
            program.push_back(BPF_STMT(BPF_ALU | BPF_AND | BPF_K, r.flags));
            program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, r.flags, 0, 1));
        }
        program.push_back(BPF_STMT(BPF_RET | BPF_K, actions[i]));
    }
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    return program;
}

// Installs the filter; returns what seccomp() returns (the listener with
// SECCOMP_FILTER_FLAG_NEW_LISTENER), -1 on failure.
inline int Install(std::vector<sock_filter> program, unsigned flags)
{
    const sock_fprog fprog{static_cast<unsigned short>(program.size()), program.data()};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return -1;
    return static_cast<int>(syscall(__NR_seccomp, SECCOMP_SET_MODE_FILTER, flags, &fprog));
}

}  // namespace detail

// True when the faults are in force for this process from now on.
inline bool InjectSyscallFaults(const std::vector<SyscallFault>& faults)
{
    std::vector<SyscallRule> rules;
    std::vector<std::uint32_t> actions;
    for (const SyscallFault& f : faults) {
        rules.push_back(f.call);
        actions.push_back(SECCOMP_RET_ERRNO | (static_cast<std::uint32_t>(f.error) & SECCOMP_RET_DATA));
    }
    return detail::Install(detail::Filter(rules, actions), 0) == 0;
}

// From now on, each call that one of `rules` matches waits until `act` has
// run (on another thread of this process), then goes on as it was made. True
// when in force. Once per process: the system takes one such listener.
inline bool RunBeforeEachCall(const std::vector<SyscallRule>& rules, std::function<void()> act)
{
    const int listener =
        detail::Install(detail::Filter(rules, std::vector<std::uint32_t>(rules.size(), SECCOMP_RET_USER_NOTIF)),
                        SECCOMP_FILTER_FLAG_NEW_LISTENER);
    if (listener < 0)
        return false;
    std::thread([listener, act = std::move(act)] {
        for (;;) {
            seccomp_notif call{};
            if (ioctl(listener, SECCOMP_IOCTL_NOTIF_RECV, &call) != 0) {
                if (errno == EINTR || errno == ENOENT)
                    continue;
                return;
            }
            act();
            seccomp_notif_resp reply{};
            reply.id = call.id;
            reply.flags = SECCOMP_USER_NOTIF_FLAG_CONTINUE;
            ioctl(listener, SECCOMP_IOCTL_NOTIF_SEND, &reply);
        }
    }).detach();
    return true;
}

}  // namespace testsupport
