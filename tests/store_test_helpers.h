#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>

// Bytes written as in a hex dump, "7F 41 42": clearer than escapes where 0x7F meets hex digits.
inline std::string Hex(std::string_view dump) {
    std::string bytes;
    for (std::size_t i = 0; i < dump.size(); ++i) {
        if (dump[i] == ' ') continue;
        bytes += static_cast<char>(std::stoi(std::string(dump.substr(i, 2)), nullptr, 16));
        ++i;
    }
    return bytes;
}

// Exit code of RunUnprivileged when root cannot become another user here (a user namespace
// that maps root only); the caller skips its test then.
inline constexpr int kCannotDropRoot = 100;

// Runs body in a child process without root's right to ignore file permissions, and gives its
// exit code, or -1 when it did not exit normally (a crash). The child shares the working
// directory, which the caller must have opened to other users.
inline int RunUnprivileged(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0) {
            constexpr uid_t kNobody = 65534;
            if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) {
                _exit(kCannotDropRoot);
            }
        }
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
