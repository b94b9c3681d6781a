// Helpers of the tests that drive a table from other processes: forked children, a one-byte pipe
// to hand over control, and the independent reader (Debian's python3-dbfread).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

// Runs `work` in a child process; its exit status says whether it ran without an exception.
inline pid_t runChild(const std::function<void()> &work)
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    int status = 0;
    try {
        work();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "child process: %s\n", e.what());
        status = 1;
    } catch (...) {
        status = 1;
    }
    ::_exit(status);
}

// Waits for the child; true when it ended by itself with status 0.
inline bool exitedCleanly(pid_t pid)
{
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return false;
    if (WIFSIGNALED(status))
        std::fprintf(stderr, "child process %d: signal %d\n", int(pid), WTERMSIG(status));
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A pipe one process signals on and another waits on.
class Signal
{
public:
    Signal()
    {
        if (::pipe(m_fd) != 0)
            throw std::runtime_error("pipe");
    }
    ~Signal()
    {
        ::close(m_fd[0]);
        if (m_fd[1] >= 0)
            ::close(m_fd[1]);
    }
    Signal(const Signal &) = delete;
    Signal &operator=(const Signal &) = delete;
    void raise()
    {
        if (::write(m_fd[1], "s", 1) != 1)
            throw std::runtime_error("pipe write");
    }
    // The waiting side calls this after forking the raising one, so that a wait ends in an
    // error rather than hanging when the other process is gone.
    void closeSender()
    {
        ::close(m_fd[1]);
        m_fd[1] = -1;
    }
    void wait()
    {
        char c;
        if (::read(m_fd[0], &c, 1) != 1)
            throw std::runtime_error("pipe read");
    }

private:
    int m_fd[2] = {-1, -1};
};

// The Python interpreter that has dbfread, or "" when none has.
inline std::string dbfreadPython()
{
    for (const char *p : {"/usr/bin/python3", "python3"}) {
        const std::string probe = std::string(p) + " -c 'import dbfread' >/dev/null 2>&1";
        if (std::system(probe.c_str()) == 0)
            return p;
    }
    return {};
}

// What a shell command writes to standard output and error (the command adds "2>&1").
inline std::string commandOutput(const std::string &cmd)
{
    std::string out;
    if (FILE *p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// What dbfread reads in each of `tables` (one interpreter for all of them): per table, the number
// of live records, then one sorted line per live record, "<title>|<memo>" (the memo's space
// filling stripped).
inline std::string dbfreadTitlesAndMemos(const std::string &py, const std::vector<std::string> &tables,
                                         const std::string &titleField, const std::string &memoField)
{
    const std::string script =
        "import sys, dbfread\n"
        "for path in sys.argv[3:]:\n"
        "    t = dbfread.DBF(path, char_decode_errors='strict')\n"
        "    rows = [(r[sys.argv[1]] or '') + '|' + (r[sys.argv[2]] or '').rstrip(' ') for r in t]\n"
        "    print(len(rows))\n"
        "    for r in sorted(rows): print(r)\n";
    std::string cmd = "PYTHONIOENCODING=utf-8 " + py + " -c \"$(cat <<'PY'\n" + script + "PY\n)\" " +
                      titleField + " " + memoField;
    for (const std::string &table : tables)
        cmd += " '" + table + "'";
    cmd += " 2>&1";
    return commandOutput(cmd);
}
