// Runs a piece of a test as a user who owns none of the test's files: the owner's write
// permission is enough to refuse an ordinary user, but root ignores it, so as root the child
// becomes "nobody".
#pragma once

#include <QString>

#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// Runs `fn` in such a child process and returns the text it gave, or a "<...>" note of what
// failed on the way.
inline QString textOfOtherUser(const std::function<std::string()> &fn)
{
    int fds[2];
    if (pipe(fds) != 0)
        return QStringLiteral("<pipe failed>");
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        const std::string text = fn();
        const ssize_t written = write(fds[1], text.data(), text.size());
        _exit(written == ssize_t(text.size()) ? 0 : 3);
    }
    close(fds[1]);
    std::string text;
    char buffer[512];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return QStringLiteral("<child failed>");
    return QString::fromStdString(text);
}
