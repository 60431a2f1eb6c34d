// Start-up of the programs under Xvfb, from exec to their window mapped, beside a bare Qt
// Widgets program showing one window of the same size; and the memory each holds once idle.
#include "benchmain.h"

#include <benchmark/benchmark.h>

#include <xcb/xcb.h>

#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kDisplay = ":94";

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Starts a program with its output thrown away; 0 when it cannot be started. Where this process
// may, it runs at a real-time priority, so that other work on the machine does not stretch a
// start-up that lasts a few tens of milliseconds (a row and its floor alike).
pid_t Spawn(const std::vector<std::string>& command, const char* folder, const std::vector<std::string>& environment)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (folder)
        posix_spawn_file_actions_addchdir_np(&actions, folder);
    std::vector<std::string> args = command, env = environment;
    std::vector<char*> argv, envp;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawnattr_t realTime;
    posix_spawnattr_init(&realTime);
    posix_spawnattr_setflags(&realTime, POSIX_SPAWN_SETSCHEDULER);
    posix_spawnattr_setschedpolicy(&realTime, SCHED_FIFO);
    const sched_param priority{sched_get_priority_min(SCHED_FIFO)};
    posix_spawnattr_setschedparam(&realTime, &priority);
    pid_t pid = 0;
    int result = posix_spawnp(&pid, argv[0], &actions, &realTime, argv.data(), envp.data());
    if (result == EPERM)
        result = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawnattr_destroy(&realTime);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : 0;
}

void Stop(pid_t pid)
{
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

// Our environment with the display set and Qt on the X platform.
std::vector<std::string> ProgramEnvironment()
{
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (text.rfind("DISPLAY=", 0) != 0 && text.rfind("QT_QPA_PLATFORM=", 0) != 0)
            env.push_back(text);
    }
    env.push_back(std::string("DISPLAY=") + kDisplay);
    env.push_back("QT_QPA_PLATFORM=xcb");
    return env;
}

// The X server on kDisplay: the one already there, or an Xvfb this benchmark starts and stops.
// Its root window reports every window mapped on it.
class XServer {
public:
    XServer()
    {
        connection_ = Connect();
        if (!connection_) {
            server_ = Spawn({"Xvfb", kDisplay, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, nullptr,
                            ProgramEnvironment());
            const auto start = Clock::now();
            while (server_ && !connection_ && MillisecondsSince(start) < 10'000) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                connection_ = Connect();
            }
        }
        if (!connection_)
            return;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, screen->root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection_);
    }

    ~XServer()
    {
        if (connection_)
            xcb_disconnect(connection_);
        if (server_)
            Stop(server_);
    }

    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool Ready() const { return connection_ != nullptr; }

    // Forgets what the windows of earlier programs reported.
    void Drain()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_))
            std::free(event);
    }

    // Waits for a window (not a menu or tooltip) to be mapped; false after the timeout.
    bool WaitForMappedWindow(int timeoutMs)
    {
        const auto start = Clock::now();
        for (;;) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY &&
                                    !reinterpret_cast<xcb_map_notify_event_t*>(event)->override_redirect;
                std::free(event);
                if (mapped)
                    return true;
            }
            const int left = timeoutMs - static_cast<int>(MillisecondsSince(start));
            if (left <= 0 || xcb_connection_has_error(connection_))
                return false;
            pollfd wait{xcb_get_file_descriptor(connection_), POLLIN, 0};
            poll(&wait, 1, left);
        }
    }

private:
    static xcb_connection_t* Connect()
    {
        xcb_connection_t* connection = xcb_connect(kDisplay, nullptr);
        if (xcb_connection_has_error(connection)) {
            xcb_disconnect(connection);
            return nullptr;
        }
        return connection;
    }

    xcb_connection_t* connection_ = nullptr;
    pid_t server_ = 0;
};

XServer& Server()
{
    static XServer server;
    return server;
}

// The CPU time a process has used, in clock ticks.
long long CpuTicks(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold blanks.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14)
            utime = std::atoll(field.c_str());
        if (i == 15) {
            stime = std::atoll(field.c_str());
            break;
        }
    }
    return utime + stime;
}

// Waits until a process has used no CPU for a while: its start-up is over.
void WaitUntilIdle(pid_t pid)
{
    const auto start = Clock::now();
    long long last = CpuTicks(pid);
    int quiet = 0;
    while (quiet < 5 && MillisecondsSince(start) < 5000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const long long now = CpuTicks(pid);
        quiet = now == last ? quiet + 1 : 0;
        last = now;
    }
}

enum class Measure { StartUp, IdleMemory };

void RunProgram(benchmark::State& state, const char* program, Measure measure)
{
    XServer& server = Server();
    if (!server.Ready()) {
        state.SkipWithError("no X server on :94 (is Xvfb installed?)");
        return;
    }
    const std::vector<std::string> environment = ProgramEnvironment();
    for (auto _ : state) {
        server.Drain();
        const auto start = Clock::now();
        const pid_t pid = Spawn({program}, PAGORA_RESOURCES_DIR, environment);
        if (!pid || !server.WaitForMappedWindow(10'000)) {
            if (pid)
                Stop(pid);
            state.SkipWithError("the program showed no window");
            return;
        }
        state.SetIterationTime(MillisecondsSince(start) / 1e3);
        if (measure == Measure::IdleMemory) {
            WaitUntilIdle(pid);
            state.counters[kResidentCounter] = ResidentMegabytes("VmRSS", pid);
        }
        Stop(pid);
    }
}

void StartPagoraed(benchmark::State& state) { RunProgram(state, PAGORAED_PATH, Measure::StartUp); }
void StartPagorashow(benchmark::State& state) { RunProgram(state, PAGORASHOW_PATH, Measure::StartUp); }
void StartBareWindow(benchmark::State& state) { RunProgram(state, BARE_WINDOW_PATH, Measure::StartUp); }
void IdlePagoraed(benchmark::State& state) { RunProgram(state, PAGORAED_PATH, Measure::IdleMemory); }
void IdleBareWindow(benchmark::State& state) { RunProgram(state, BARE_WINDOW_PATH, Measure::IdleMemory); }

BENCHMARK(StartPagoraed)->Name("Startup/pagoraed")->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);
BENCHMARK(StartBareWindow)->Name("Startup/pagoraed/floor")->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);
BENCHMARK(StartPagorashow)->Name("Startup/pagorashow")->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);
BENCHMARK(StartBareWindow)->Name("Startup/pagorashow/floor")->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);
BENCHMARK(IdlePagoraed)->Name("Memory/IdleAfterStartup/pagoraed")->UseManualTime()->Iterations(1);
BENCHMARK(IdleBareWindow)->Name("Memory/IdleAfterStartup/pagoraed/floor")->UseManualTime()->Iterations(1);

} // namespace
