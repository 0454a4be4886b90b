#include "utils/tests/service_manager_standin.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

extern char** environ;

namespace olvani::testing {
namespace {

constexpr const char* kUnitPrefix = "/org/freedesktop/systemd1/unit";

ServiceManagerStandIn* g_standIn = nullptr;
StandInUnit g_notFound = [] {
    StandInUnit unit;
    unit.loadState = "not-found";
    return unit;
}();

StandInUnit* UnitOf(void* userdata) {
    return static_cast<StandInUnit*>(userdata);
}

int FindUnit(sd_bus*, const char* path, const char*, void*, void** found, sd_bus_error*) {
    char* name = nullptr;
    if (sd_bus_path_decode(path, kUnitPrefix, &name) <= 0)
        return 0;
    std::lock_guard guard(g_standIn->lock);
    StandInUnit* unit = g_standIn->Find(name);
    free(name);
    *found = unit ? unit : &g_notFound;
    return 1;
}

int GetLoadState(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                 void* userdata, sd_bus_error*) {
    std::lock_guard guard(g_standIn->lock);
    return sd_bus_message_append(reply, "s", UnitOf(userdata)->loadState.c_str());
}

// Every read is one poll of the library; a scripted job ends after its reads.
int GetActiveState(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                   void* userdata, sd_bus_error*) {
    std::lock_guard guard(g_standIn->lock);
    StandInUnit* unit = UnitOf(userdata);
    ++unit->stateReads;
    if (unit->jobHeld && unit->readsLeft > 0 && --unit->readsLeft == 0) {
        unit->activeState = unit->settled;
        unit->jobHeld = false;
    }
    return sd_bus_message_append(reply, "s", unit->activeState.c_str());
}

int GetJob(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* userdata,
           sd_bus_error*) {
    std::lock_guard guard(g_standIn->lock);
    const bool held = UnitOf(userdata)->jobHeld;
    return sd_bus_message_append(reply, "(uo)", held ? 1u : 0u,
                                 held ? "/org/freedesktop/systemd1/job/1" : "/");
}

int GetTimeout(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
               void* userdata, sd_bus_error*) {
    std::lock_guard guard(g_standIn->lock);
    return sd_bus_message_append(reply, "t", UnitOf(userdata)->timeoutUsec);
}

int GetExitStatus(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                  void* userdata, sd_bus_error*) {
    std::lock_guard guard(g_standIn->lock);
    return sd_bus_message_append(reply, "i", UnitOf(userdata)->exitStatus);
}

const sd_bus_vtable kUnitVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("LoadState", "s", GetLoadState, 0, 0),
    SD_BUS_PROPERTY("ActiveState", "s", GetActiveState, 0, 0),
    SD_BUS_PROPERTY("Job", "(uo)", GetJob, 0, 0),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable kServiceVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("TimeoutStartUSec", "t", GetTimeout, 0, 0),
    SD_BUS_PROPERTY("TimeoutStopUSec", "t", GetTimeout, 0, 0),
    SD_BUS_PROPERTY("ExecMainStatus", "i", GetExitStatus, 0, 0),
    SD_BUS_PROPERTY("ExecMainCode", "i", GetExitStatus, 0, 0),
    SD_BUS_VTABLE_END,
};

int LoadUnit(sd_bus_message* message, void*, sd_bus_error*) {
    const char* name = nullptr;
    int result = sd_bus_message_read(message, "s", &name);
    char* path = nullptr;
    if (result >= 0)
        result = sd_bus_path_encode(kUnitPrefix, name, &path);
    if (result >= 0) {
        g_standIn->Record(std::string("LoadUnit ") + name);
        result = sd_bus_reply_method_return(message, "o", path);
    }
    free(path);
    return result;
}

// StartUnit and StopUnit: the unit moves to its scripted state.
int ChangeUnit(sd_bus_message* message, sd_bus_error* error, bool start) {
    const char* name = nullptr;
    const char* mode = nullptr;
    const int result = sd_bus_message_read(message, "ss", &name, &mode);
    if (result < 0)
        return result;
    {
        std::lock_guard guard(g_standIn->lock);
        StandInUnit* unit = g_standIn->Find(name);
        if (!unit)
            return sd_bus_error_setf(error, "org.freedesktop.systemd1.NoSuchUnit",
                                     "Unit %s not found.", name);
        unit->activeState = start ? unit->afterStart : unit->afterStop;
        unit->jobHeld = unit->requestHoldsJob;
        unit->readsLeft = unit->settleAfterReads;
    }
    g_standIn->Record(std::string(start ? "StartUnit " : "StopUnit ") + name + " " + mode);
    return sd_bus_reply_method_return(message, "o", "/org/freedesktop/systemd1/job/1");
}

int StartUnit(sd_bus_message* message, void*, sd_bus_error* error) {
    return ChangeUnit(message, error, true);
}

int StopUnit(sd_bus_message* message, void*, sd_bus_error* error) {
    return ChangeUnit(message, error, false);
}

// The unit-file calls are only recorded, with their flags.
int UnitFiles(sd_bus_message* message, void*, sd_bus_error*) {
    char** files = nullptr;
    int result = sd_bus_message_read_strv(message, &files);
    std::string call = sd_bus_message_get_member(message);
    for (char** file = files; result >= 0 && file && *file; ++file)
        call += std::string(" ") + *file;
    for (char** file = files; file && *file; ++file)
        free(*file);
    free(files);
    int flag = 0;
    while (result >= 0 && sd_bus_message_read_basic(message, 'b', &flag) > 0)
        call += flag ? " 1" : " 0";
    if (result < 0)
        return result;
    g_standIn->Record(call);
    if (call.rfind("EnableUnitFiles", 0) == 0)
        return sd_bus_reply_method_return(message, "ba(sss)", 0, 0);
    return sd_bus_reply_method_return(message, "a(sss)", 0);
}

int Reload(sd_bus_message* message, void*, sd_bus_error*) {
    g_standIn->Record("Reload");
    return sd_bus_reply_method_return(message, "");
}

const sd_bus_vtable kManagerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("LoadUnit", "s", "o", LoadUnit, 0),
    SD_BUS_METHOD("StartUnit", "ss", "o", StartUnit, 0),
    SD_BUS_METHOD("StopUnit", "ss", "o", StopUnit, 0),
    SD_BUS_METHOD("EnableUnitFiles", "asbb", "ba(sss)", UnitFiles, 0),
    SD_BUS_METHOD("DisableUnitFiles", "asb", "a(sss)", UnitFiles, 0),
    SD_BUS_METHOD("MaskUnitFiles", "asbb", "a(sss)", UnitFiles, 0),
    SD_BUS_METHOD("UnmaskUnitFiles", "asb", "a(sss)", UnitFiles, 0),
    SD_BUS_METHOD("Reload", "", "", Reload, 0),
    SD_BUS_VTABLE_END,
};

void Check(int result, const char* what) {
    if (result < 0)
        throw std::runtime_error(std::string(what) + " failed: " + std::to_string(-result));
}

// Starts the bus daemon on a socket in `folder`; its address comes back on a pipe.
std::string StartBusDaemon(const std::string& folder, pid_t& daemon) {
    const std::string config = folder + "/bus.conf";
    FILE* file = fopen(config.c_str(), "we");
    if (!file)
        throw std::runtime_error("cannot write " + config);
    fprintf(file,
            "<busconfig><type>session</type><listen>unix:path=%s/bus</listen>"
            "<auth>EXTERNAL</auth><policy context=\"default\"><allow "
            "send_destination=\"*\"/><allow receive_sender=\"*\"/>"
            "<allow own=\"*\"/></policy></busconfig>\n",
            folder.c_str());
    fclose(file);
    int pipeEnds[2];
    Check(pipe2(pipeEnds, O_CLOEXEC) == 0 ? 0 : -errno, "pipe2");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 3);
    const std::string configArgument = "--config-file=" + config;
    const char* argv[] = {"dbus-daemon", configArgument.c_str(), "--nofork",
                          "--nopidfile", "--print-address=3",    nullptr};
    const int error =
        posix_spawnp(&daemon, "dbus-daemon", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    Check(-error, "dbus-daemon");
    std::string address;
    char c = 0;
    while (read(pipeEnds[0], &c, 1) == 1 && c != '\n')
        address += c;
    close(pipeEnds[0]);
    if (address.empty())
        throw std::runtime_error("dbus-daemon gave no address");
    return address;
}

} // namespace

ServiceManagerStandIn::ServiceManagerStandIn(const std::string& folder) {
    g_standIn = this;
    address_ = StartBusDaemon(folder, daemon_);
    Check(sd_bus_new(&bus_), "sd_bus_new");
    Check(sd_bus_set_address(bus_, address_.c_str()), "sd_bus_set_address");
    Check(sd_bus_set_bus_client(bus_, 1), "sd_bus_set_bus_client");
    Check(sd_bus_start(bus_), "sd_bus_start");
    Check(sd_bus_add_object_vtable(bus_, nullptr, "/org/freedesktop/systemd1",
                                   "org.freedesktop.systemd1.Manager", kManagerVtable, this),
          "manager vtable");
    Check(sd_bus_add_fallback_vtable(bus_, nullptr, kUnitPrefix, "org.freedesktop.systemd1.Unit",
                                     kUnitVtable, FindUnit, this),
          "unit vtable");
    Check(sd_bus_add_fallback_vtable(bus_, nullptr, kUnitPrefix, "org.freedesktop.systemd1.Service",
                                     kServiceVtable, FindUnit, this),
          "service vtable");
    Check(sd_bus_request_name(bus_, "org.freedesktop.systemd1", 0), "request name");
    thread_ = std::thread([this] { Serve(); });
}

ServiceManagerStandIn::~ServiceManagerStandIn() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    sd_bus_flush_close_unref(bus_);
    if (daemon_ > 0) {
        kill(daemon_, SIGTERM);
        waitpid(daemon_, nullptr, 0);
    }
    g_standIn = nullptr;
}

// Bounded waits so that the destructor's stop is seen within a tenth of a second.
void ServiceManagerStandIn::Serve() {
    while (!stop_) {
        const int result = sd_bus_process(bus_, nullptr);
        if (result < 0)
            return;
        if (result == 0)
            sd_bus_wait(bus_, 100000);
    }
}

void ServiceManagerStandIn::AddUnit(const std::string& name, const StandInUnit& unit) {
    std::lock_guard guard(lock);
    units_[name] = unit;
}

StandInUnit* ServiceManagerStandIn::Find(const std::string& name) {
    const auto found = units_.find(name);
    return found == units_.end() ? nullptr : &found->second;
}

int ServiceManagerStandIn::StateReads(const std::string& name) {
    std::lock_guard guard(lock);
    const StandInUnit* unit = Find(name);
    return unit ? unit->stateReads : -1;
}

std::string ServiceManagerStandIn::ActiveState(const std::string& name) {
    std::lock_guard guard(lock);
    const StandInUnit* unit = Find(name);
    return unit ? unit->activeState : "";
}

void ServiceManagerStandIn::Record(const std::string& call) {
    std::lock_guard guard(lock);
    calls_.push_back(call);
}

std::vector<std::string> ServiceManagerStandIn::Calls() {
    std::lock_guard guard(lock);
    return calls_;
}

} // namespace olvani::testing
