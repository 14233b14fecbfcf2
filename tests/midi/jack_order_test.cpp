// The order of the service's calls into the JACK library. The library walks
// an active client's port list on its own thread without a lock, so a port
// added or taken away while the client is active crashes the process now and
// then. A crash that rare cannot be waited for in a test; the order can be
// checked every time: this program puts its own functions in front of the
// library's (the executable's definitions come first for every caller) and
// notes what each call found.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <jack/jack.h>

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "jack_server.h"
#include "midi_service.h"

namespace {

struct Calls {
    std::mutex mutex;
    std::set<jack_client_t*> active;
    int registered = 0;   // ports made
    int activations = 0;  // clients activated
    std::vector<std::string> faults;

    // Clients of earlier tests, left behind on a stopped server, are no
    // concern of the next test.
    void reset() {
        std::lock_guard lock(mutex);
        active.clear();
        registered = activations = 0;
        faults.clear();
    }
    void fault(const std::string& what) {
        std::lock_guard lock(mutex);
        faults.push_back(what);
    }
    bool isActive(jack_client_t* c) {
        std::lock_guard lock(mutex);
        return active.count(c) != 0;
    }
};

Calls& calls() {
    static Calls c;
    return c;
}

template <class F>
F real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int jack_activate(jack_client_t* client) {
    static const auto next = real<int (*)(jack_client_t*)>("jack_activate");
    const int rc = next(client);
    if (rc == 0) {
        std::lock_guard lock(calls().mutex);
        calls().active.insert(client);
        ++calls().activations;
    }
    return rc;
}

int jack_deactivate(jack_client_t* client) {
    static const auto next = real<int (*)(jack_client_t*)>("jack_deactivate");
    {
        std::lock_guard lock(calls().mutex);
        calls().active.erase(client);
    }
    return next(client);
}

int jack_client_close(jack_client_t* client) {
    static const auto next = real<int (*)(jack_client_t*)>("jack_client_close");
    {
        std::lock_guard lock(calls().mutex);
        calls().active.erase(client);
    }
    return next(client);
}

jack_port_t* jack_port_register(jack_client_t* client, const char* name, const char* type,
                                unsigned long flags, unsigned long size) {
    static const auto next =
        real<jack_port_t* (*)(jack_client_t*, const char*, const char*, unsigned long, unsigned long)>(
            "jack_port_register");
    if (calls().isActive(client)) calls().fault(std::string("port made on an active client: ") + name);
    jack_port_t* port = next(client, name, type, flags, size);
    if (port) {
        std::lock_guard lock(calls().mutex);
        ++calls().registered;
    }
    return port;
}

int jack_port_unregister(jack_client_t* client, jack_port_t* port) {
    static const auto next = real<int (*)(jack_client_t*, jack_port_t*)>("jack_port_unregister");
    if (calls().isActive(client)) calls().fault("port taken from an active client");
    return next(client, port);
}

}  // extern "C"

namespace {

class JackCallOrder : public korvane::testing::JackTest {};

// Every kind of port the service opens, opened and closed: a device's
// virtual pair and the editor's ports connected to them.
TEST_F(JackCallOrder, PortsChangeOnlyOnInactiveClients) {
    using korvane::createRtMidiService;
    calls().reset();
    auto device = createRtMidiService("kvorder-dev");
    std::string error;
    auto devIn = device->openVirtualInput(
        "in", [](auto, double) {}, error);
    ASSERT_TRUE(devIn) << error;
    auto devOut = device->openVirtualOutput("out", error);
    ASSERT_TRUE(devOut) << error;

    auto editor = createRtMidiService("kvorder-editor");
    for (int round = 0; round < 2; ++round) {
        auto in = editor->openInput(
            devOut->name(), [](auto, double) {}, error);
        ASSERT_TRUE(in) << error;
        auto out = editor->openOutput(devIn->name(), error);
        ASSERT_TRUE(out) << error;
        EXPECT_FALSE(editor->inputPortNames().empty());
    }
    devIn.reset();
    devOut.reset();

    std::lock_guard lock(calls().mutex);
    // One port and one activation for each port opened: the looks at the
    // port lists in between activate nothing.
    EXPECT_EQ(calls().registered, 6);
    EXPECT_EQ(calls().activations, 6);
    for (const auto& f : calls().faults) ADD_FAILURE() << f;
}

}  // namespace
