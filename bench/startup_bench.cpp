// Start-up benchmark: time from exec to the mapped window and to its first drawn frame, and peak
// resident memory, for the program on its shipped empty tables beside a minimal Qt Widgets
// program that shows a window of the same size. Interleaved runs, medians, under the X server of
// $DISPLAY (an Xvfb of your own).
//
//     DISPLAY=:61 velmora_startup_bench [--runs N] [--settle MS] [--program PATH]
//                 [--reference PATH] [--templates DIR] [--languages DIR] [--verbose]
//                 [--first-frame FILE]
//
// The program runs as a portable copy in a temporary folder: the executable, its language files
// and, for every run, a fresh copy of the empty tables in data/ beside it. Both programs get a
// home and a runtime folder of their own (the latter in memory, as in a desktop session), so
// nothing of the person running the benchmark is read or changed. The window is watched from
// outside, through the X server (SubstructureNotify on the root window, and a DAMAGE object on
// every new top-level window), so both programs are timed by the same yardstick and neither
// carries code for it. After its first frame each process is given a moment to finish starting
// (the tables, the password check) before it is ended; its
// peak resident size and processor time come from wait4().
//
// --first-frame FILE runs the program once, stops it (SIGSTOP) as its first frame arrives, saves
// the screen to FILE with ImageMagick's import, and lets it go on: what a person sees first.
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

extern char **environ;

namespace fs = std::filesystem;

namespace {

// A process that neither maps nor draws a window in this long has failed to start.
constexpr double StartTimeoutMs = 20000;

double nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double millis(const timeval &t)
{
    return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
}

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

struct Options
{
    int runs = 15;
    int settleMs = 1000;
    bool verbose = false;
    std::string firstFrameShot;
    std::string program = VELMORA_BENCH_PROGRAM;
    std::string reference = VELMORA_BENCH_REFERENCE;
    std::string templates = VELMORA_BENCH_TEMPLATES;
    std::string languages = VELMORA_BENCH_LANGUAGES;
};

Options parse(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::runtime_error(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--runs")
            o.runs = std::max(1, std::stoi(value()));
        else if (arg == "--settle")
            o.settleMs = std::max(0, std::stoi(value()));
        else if (arg == "--program")
            o.program = value();
        else if (arg == "--reference")
            o.reference = value();
        else if (arg == "--templates")
            o.templates = value();
        else if (arg == "--languages")
            o.languages = value();
        else if (arg == "--verbose")
            o.verbose = true;
        else if (arg == "--first-frame")
            o.firstFrameShot = value();
        else
            throw std::runtime_error("unknown option " + arg);
    }
    return o;
}

struct Sample
{
    double mapped = -1; // ms from exec to MapNotify
    double cpuMapped = 0; // processor time of all its threads until then, ms
    double frame = -1;  // ms from exec to the first drawing into the mapped window
    double cpuFrame = 0;  // processor time until then, ms
    long frameKb = 0;     // resident then
    double cpu = 0;     // processor time of the whole run, ms
    long peakKb = 0;
};

// One program as it is started: its command and its environment.
struct Subject
{
    std::string name;
    std::string executable;
    std::vector<std::string> environment;
    fs::path data;      // refilled from `templates` before every run (empty: none)
    fs::path templates;
    fs::path runtime;   // emptied before every run: a clean start finds no lock
};

// Page faults and processor time so far, from /proc: where the time before the mapping went.
std::string processState(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const size_t end = line.rfind(')');
    if (end == std::string::npos)
        return "?";
    std::vector<std::string> fields; // from field 3 (state) on
    std::string field;
    for (size_t i = end + 2; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += line[i];
        }
    }
    if (fields.size() < 13)
        return "?";
    const double tick = 1000.0 / double(sysconf(_SC_CLK_TCK));
    char text[128];
    std::snprintf(text, sizeof text, "%s minor faults, %.0f ms user, %.0f ms system",
                  fields[7].c_str(), std::stod(fields[11]) * tick, std::stod(fields[12]) * tick);
    return text;
}

// The resident size of the process now: what the first frame holds, against the peak after the
// tables and the pages.
long residentKb(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

// Processor time of every thread of the process so far (the scheduler's own count, in
// nanoseconds): a figure that the machine's load hardly changes.
double processorMs(pid_t pid)
{
    double total = 0;
    std::error_code error;
    for (const auto &task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream in(task.path() / "schedstat");
        double ns = 0;
        if (in >> ns)
            total += ns / 1e6;
    }
    return total;
}

class Watcher
{
public:
    Watcher()
    {
        m_c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_c))
            throw std::runtime_error("cannot open the display (set DISPLAY to an Xvfb of your own)");
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        const xcb_query_extension_reply_t *damage = xcb_get_extension_data(m_c, &xcb_damage_id);
        if (!damage || !damage->present)
            throw std::runtime_error("the X server has no DAMAGE extension");
        m_damageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
        free(xcb_damage_query_version_reply(m_c, xcb_damage_query_version(m_c, 1, 1), nullptr));
        xcb_intern_atom_reply_t *atom =
            xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, 11, "_NET_WM_PID"), nullptr);
        m_pidAtom = atom ? atom->atom : XCB_NONE;
        free(atom);
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_c);
    }
    ~Watcher() { xcb_disconnect(m_c); }

    Sample run(const Subject &subject, int settleMs, bool verbose, const std::string &shot = {});

private:
    pid_t windowPid(xcb_window_t window);
    void drain();

    xcb_connection_t *m_c = nullptr;
    xcb_window_t m_root = 0;
    uint8_t m_damageEvent = 0;
    xcb_atom_t m_pidAtom = XCB_NONE;
};

pid_t Watcher::windowPid(xcb_window_t window)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        m_c, xcb_get_property(m_c, 0, window, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    pid_t pid = -1;
    if (reply && xcb_get_property_value_length(reply) == 4)
        pid = pid_t(*static_cast<uint32_t *>(xcb_get_property_value(reply)));
    free(reply);
    return pid;
}

// Forgets what earlier runs left in the queue.
void Watcher::drain()
{
    free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
    while (xcb_generic_event_t *e = xcb_poll_for_event(m_c))
        free(e);
}

Sample Watcher::run(const Subject &subject, int settleMs, bool verbose, const std::string &shot)
{
    if (!subject.data.empty()) {
        fs::remove_all(subject.data);
        fs::create_directories(subject.data);
        for (const auto &file : fs::directory_iterator(subject.templates))
            fs::copy_file(file.path(), subject.data / file.path().filename());
    }
    for (const auto &entry : fs::directory_iterator(subject.runtime))
        fs::remove_all(entry.path());
    drain();

    std::vector<char *> env;
    for (const std::string &e : subject.environment)
        env.push_back(const_cast<char *>(e.c_str()));
    env.push_back(nullptr);
    char *argv[] = {const_cast<char *>(subject.executable.c_str()), nullptr};

    Sample s;
    const double start = nowMs();
    pid_t pid = 0;
    // What the programs say goes nowhere, unless asked for.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    if (!verbose) {
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    }
    const int spawned = posix_spawn(&pid, argv[0], &quiet, nullptr, argv, env.data());
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + subject.executable);
    if (verbose)
        std::fprintf(stderr, "  %s: started at %.1f ms (monotonic clock)\n", subject.name.c_str(),
                     start);

    std::map<xcb_window_t, bool> created; // top-level windows made during this run
    xcb_window_t shown = XCB_NONE;
    bool exited = false;
    int status = 0;
    rusage usage{};
    while (s.frame < 0 && nowMs() - start < StartTimeoutMs) {
        xcb_generic_event_t *e = xcb_poll_for_event(m_c);
        if (!e) {
            if (wait4(pid, &status, WNOHANG, &usage) == pid) {
                exited = true;
                break;
            }
            pollfd fd{xcb_get_file_descriptor(m_c), POLLIN, 0};
            poll(&fd, 1, 5);
            continue;
        }
        const uint8_t type = e->response_type & 0x7f;
        if (type == XCB_CREATE_NOTIFY) {
            auto *c = reinterpret_cast<xcb_create_notify_event_t *>(e);
            if (c->parent == m_root) {
                // Watched before it can be mapped, so its first drawing cannot be missed.
                xcb_damage_create(m_c, xcb_generate_id(m_c), c->window,
                                  XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
                xcb_flush(m_c);
                created[c->window] = true;
            }
        } else if (type == XCB_MAP_NOTIFY && shown == XCB_NONE) {
            auto *m = reinterpret_cast<xcb_map_notify_event_t *>(e);
            const double at = nowMs() - start;
            if (created.count(m->window) && !m->override_redirect && windowPid(m->window) == pid) {
                shown = m->window;
                s.mapped = at;
                s.cpuMapped = processorMs(pid);
                if (verbose)
                    std::fprintf(stderr, "  %s: at mapping %s\n", subject.name.c_str(),
                                 processState(pid).c_str());
            }
        } else if (type == m_damageEvent && shown != XCB_NONE) {
            auto *d = reinterpret_cast<xcb_damage_notify_event_t *>(e);
            if (d->drawable == shown && s.frame < 0) {
                s.frame = nowMs() - start;
                s.cpuFrame = processorMs(pid);
                s.frameKb = residentKb(pid);
                if (!shot.empty()) {
                    kill(pid, SIGSTOP);
                    const std::string command = "import -window root '" + shot + "'";
                    if (std::system(command.c_str()) != 0)
                        std::fprintf(stderr, "velmora_startup_bench: %s failed\n", command.c_str());
                    kill(pid, SIGCONT);
                }
                if (verbose)
                    std::fprintf(stderr, "  %s: damage %dx%d\n", subject.name.c_str(), d->area.width,
                                 d->area.height);
            }
        }
        free(e);
    }
    if (!exited) {
        // Time to open its tables and settle, as a person would see it start.
        const double until = nowMs() + settleMs;
        while (nowMs() < until && wait4(pid, &status, WNOHANG, &usage) != pid)
            usleep(20000);
        kill(pid, SIGTERM);
        wait4(pid, &status, 0, &usage);
    }
    s.cpu = millis(usage.ru_utime) + millis(usage.ru_stime);
    s.peakKb = usage.ru_maxrss;
    if (s.frame < 0)
        throw std::runtime_error(subject.name + (exited ? " ended" : " timed out") +
                                 " before showing its window");
    if (verbose)
        std::fprintf(stderr, "  %s: mapped %.1f ms, frame %.1f ms, %.1f ms processor, %ld kB\n",
                     subject.name.c_str(), s.mapped, s.frame, s.cpu, s.peakKb);
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Summary
{
    double mapped, frame, cpu, peakMb, cpuMapped, cpuFrame, frameMb;
    double fastestMapped, fastestFrame; // the least disturbed runs, on a busy machine
};

Summary summarise(const std::vector<Sample> &samples)
{
    std::vector<double> mapped, frame, cpu, peak, cpuMapped, cpuFrame, frameMb;
    for (const Sample &s : samples) {
        cpuFrame.push_back(s.cpuFrame);
        frameMb.push_back(double(s.frameKb) / 1024.0);
        cpuMapped.push_back(s.cpuMapped);
        mapped.push_back(s.mapped);
        frame.push_back(s.frame);
        cpu.push_back(s.cpu);
        peak.push_back(double(s.peakKb) / 1024.0);
    }
    return {median(mapped), median(frame), median(cpu), median(peak), median(cpuMapped),
            median(cpuFrame), median(frameMb), *std::min_element(mapped.begin(), mapped.end()),
            *std::min_element(frame.begin(), frame.end())};
}

// The caller's environment, less what would let the run read or change the caller's own files
// or reach their session, plus a home and runtime folder of the run's own.
std::vector<std::string> environmentFor(const fs::path &home, const fs::path &runtime)
{
    static const char *dropped[] = {"HOME=", "XDG_RUNTIME_DIR=", "XDG_CONFIG_HOME=", "XDG_DATA_HOME=",
                                    "XDG_CACHE_HOME=", "XDG_STATE_HOME=", "QT_QPA_PLATFORM=",
                                    "SESSION_MANAGER="};
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        const std::string entry = *e;
        if (std::none_of(std::begin(dropped), std::end(dropped),
                         [&](const char *d) { return entry.rfind(d, 0) == 0; }))
            env.push_back(entry);
    }
    env.push_back("HOME=" + home.string());
    env.push_back("XDG_RUNTIME_DIR=" + runtime.string());
    env.push_back("XDG_CONFIG_HOME=" + (home / ".config").string());
    env.push_back("XDG_DATA_HOME=" + (home / ".local/share").string());
    env.push_back("XDG_CACHE_HOME=" + (home / ".cache").string());
    env.push_back("QT_QPA_PLATFORM=xcb");
    return env;
}

// A portable installation: the executable, the language files, data/ filled per run.
Subject portableCopy(const Options &o, const fs::path &root, const fs::path &runtime)
{
    const fs::path folder = root / "velmora";
    fs::create_directories(folder);
    fs::copy_file(o.program, folder / "velmora");
    for (const auto &entry : fs::directory_iterator(o.languages)) {
        const fs::path name = entry.path().filename();
        if (entry.path().extension() == ".lng")
            fs::copy_file(entry.path(), folder / name);
        else if (name == "Language")
            fs::copy(entry.path(), folder / name, fs::copy_options::recursive);
    }
    Subject s{"velmora", (folder / "velmora").string(), {}, folder / "data", o.templates,
              runtime / "velmora"};
    fs::create_directories(s.runtime);
    fs::permissions(s.runtime, fs::perms::owner_all, fs::perm_options::replace);
    s.environment = environmentFor(root / "home-velmora", s.runtime);
    return s;
}

Subject referenceProgram(const Options &o, const fs::path &root, const fs::path &runtime)
{
    Subject s{"reference", o.reference, {}, {}, {}, runtime / "reference"};
    fs::create_directories(s.runtime);
    fs::permissions(s.runtime, fs::perms::owner_all, fs::perm_options::replace);
    s.environment = environmentFor(root / "home-reference", s.runtime);
    return s;
}

void print(const char *name, const Summary &s)
{
    std::printf("%-22s %9.1f ms %11.1f ms %11.1f ms %9.1f MB %9.1f ms %9.1f ms\n", name, s.mapped,
                s.frame, s.cpu, s.peakMb, s.fastestMapped, s.fastestFrame);
}

} // namespace

int main(int argc, char **argv)
{
    try {
        const Options o = parse(argc, argv);
        char pattern[] = "/tmp/velmora-startup-XXXXXX";
        if (!mkdtemp(pattern))
            throw std::runtime_error("cannot make a temporary folder");
        const fs::path root = pattern;
        // A desktop session keeps its runtime folder in memory (tmpfs), where the lock file's
        // flush costs nothing; so do we, where the machine has one.
        char runtimePattern[] = "/dev/shm/velmora-startup-XXXXXX";
        const fs::path runtime = mkdtemp(runtimePattern) ? fs::path(runtimePattern) : root;
        struct Cleanup
        {
            std::vector<fs::path> folders;
            ~Cleanup()
            {
                std::error_code ignored;
                for (const fs::path &f : folders)
                    fs::remove_all(f, ignored);
            }
        } cleanup{{root, runtime}};
        Subject program = portableCopy(o, root, runtime);
        Subject reference = referenceProgram(o, root, runtime);
        Watcher watcher;
        if (!o.firstFrameShot.empty()) {
            watcher.run(program, o.settleMs, o.verbose, o.firstFrameShot);
            return 0;
        }

        const std::string loadBefore = loadAverage();
        // One round unmeasured: the file cache and the font caches are warm from then on.
        watcher.run(reference, o.settleMs, o.verbose);
        watcher.run(program, o.settleMs, o.verbose);
        std::vector<Sample> ours, theirs;
        for (int i = 0; i < o.runs; ++i) {
            // Alternating who goes first, so that neither always runs just after the other.
            if (i % 2) {
                ours.push_back(watcher.run(program, o.settleMs, o.verbose));
                theirs.push_back(watcher.run(reference, o.settleMs, o.verbose));
            } else {
                theirs.push_back(watcher.run(reference, o.settleMs, o.verbose));
                ours.push_back(watcher.run(program, o.settleMs, o.verbose));
            }
        }
        const Summary a = summarise(ours);
        const Summary b = summarise(theirs);
        std::printf("start-up, medians of %d interleaved runs; load average %s before, %s after\n",
                    o.runs, loadBefore.c_str(), loadAverage().c_str());
        std::printf("%-22s %12s %14s %14s %12s %12s %12s\n", "", "mapped", "first frame",
                    "processor", "peak RSS", "min mapped", "min frame");
        print("velmora (empty data)", a);
        print("minimal Qt Widgets", b);
        std::printf("%-22s %9.2f x  %10.2f x  %10.2f x  %8.2f x  %8.2f x  %8.2f x\n", "ratio",
                    a.mapped / b.mapped, a.frame / b.frame, a.cpu / b.cpu, a.peakMb / b.peakMb,
                    a.fastestMapped / b.fastestMapped, a.fastestFrame / b.fastestFrame);
        // The two runs of a round share the machine's load of the moment: their ratio is the
        // steadiest figure where other work comes and goes.
        std::vector<double> mappedRatios, frameRatios;
        for (size_t i = 0; i < ours.size(); ++i) {
            mappedRatios.push_back(ours[i].mapped / theirs[i].mapped);
            frameRatios.push_back(ours[i].frame / theirs[i].frame);
        }
        std::printf("%-22s %9.2f x  %10.2f x\n", "median ratio of rounds", median(mappedRatios),
                    median(frameRatios));
        std::printf("processor time until mapped: %.1f ms against %.1f ms, %.2f x\n", a.cpuMapped,
                    b.cpuMapped, a.cpuMapped / b.cpuMapped);
        std::printf("processor time until the first frame: %.1f ms against %.1f ms, %.2f x\n",
                    a.cpuFrame, b.cpuFrame, a.cpuFrame / b.cpuFrame);
        std::printf("resident at the first frame: %.1f MB against %.1f MB, %.2f x\n", a.frameMb,
                    b.frameMb, a.frameMb / b.frameMb);
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "velmora_startup_bench: %s\n", e.what());
        return 1;
    }
}
