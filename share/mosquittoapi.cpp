#include "share/mosquittoapi.h"

#include "text/sharedlibrary.h"

namespace zorvane::share {
namespace {

#ifdef _WIN32
constexpr const char* kLibraryName = "mosquitto.dll";
#else
constexpr const char* kLibraryName = "libmosquitto.so.1";
#endif

struct Loaded {
    text::SharedLibrary library;
    MosquittoApi api{};
    bool complete = false;
    std::string error;
};

Loaded load() {
    Loaded loaded;
    loaded.library = text::SharedLibrary(kLibraryName);
    if (!loaded.library.isOpen()) {
        loaded.error = loaded.library.error();
        return loaded;
    }
    const text::SharedLibrary& l = loaded.library;
    MosquittoApi& a = loaded.api;
    loaded.complete =
        l.resolve(a.libInit, "mosquitto_lib_init") && l.resolve(a.create, "mosquitto_new") &&
        l.resolve(a.destroy, "mosquitto_destroy") &&
        l.resolve(a.connectCallbackSet, "mosquitto_connect_v5_callback_set") &&
        l.resolve(a.disconnectCallbackSet, "mosquitto_disconnect_v5_callback_set") &&
        l.resolve(a.publishCallbackSet, "mosquitto_publish_v5_callback_set") &&
        l.resolve(a.messageCallbackSet, "mosquitto_message_callback_set") &&
        l.resolve(a.subscribeCallbackSet, "mosquitto_subscribe_v5_callback_set") &&
        l.resolve(a.logCallbackSet, "mosquitto_log_callback_set") &&
        l.resolve(a.intOption, "mosquitto_int_option") &&
        l.resolve(a.reconnectDelaySet, "mosquitto_reconnect_delay_set") &&
        l.resolve(a.usernamePwSet, "mosquitto_username_pw_set") &&
        l.resolve(a.tlsSet, "mosquitto_tls_set") &&
        l.resolve(a.tlsOptsSet, "mosquitto_tls_opts_set") &&
        l.resolve(a.tlsInsecureSet, "mosquitto_tls_insecure_set") &&
        l.resolve(a.connectAsync, "mosquitto_connect_async") &&
        l.resolve(a.connectBindV5, "mosquitto_connect_bind_v5") &&
        l.resolve(a.propertyAddInt32, "mosquitto_property_add_int32") &&
        l.resolve(a.propertyFreeAll, "mosquitto_property_free_all") &&
        l.resolve(a.loopStart, "mosquitto_loop_start") &&
        l.resolve(a.loopStop, "mosquitto_loop_stop") &&
        l.resolve(a.disconnect, "mosquitto_disconnect") &&
        l.resolve(a.publish, "mosquitto_publish") && l.resolve(a.willSet, "mosquitto_will_set") &&
        l.resolve(a.subscribeMultiple, "mosquitto_subscribe_multiple") &&
        l.resolve(a.strerror, "mosquitto_strerror") &&
        l.resolve(a.connackString, "mosquitto_connack_string") &&
        l.resolve(a.reasonString, "mosquitto_reason_string");
    if (!loaded.complete) {
        loaded.error = std::string(kLibraryName) + " lacks functions this program needs";
        return loaded;
    }
    a.libInit();
    return loaded;
}

} // namespace

const MosquittoApi* mosquittoApi(std::string* error) {
    // Never closed: the library's network threads may outlive any one client.
    static const Loaded* const loaded = new Loaded(load());
    if (!loaded->complete) {
        if (error) {
            *error = loaded->error;
        }
        return nullptr;
    }
    return &loaded->api;
}

} // namespace zorvane::share
