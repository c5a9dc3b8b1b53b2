#pragma once
// libmosquitto opened when a room is first joined. Linking it would map it and the TLS
// libraries it needs (libssl, libcrypto) into every start, although most players never
// join a room.

#include <mosquitto.h>

#include <string>

namespace zorvane::share {

// The functions the room client uses, resolved from the opened library.
struct MosquittoApi {
    decltype(&mosquitto_lib_init) libInit;
    decltype(&mosquitto_new) create;
    decltype(&mosquitto_destroy) destroy;
    decltype(&mosquitto_connect_v5_callback_set) connectCallbackSet;
    decltype(&mosquitto_disconnect_v5_callback_set) disconnectCallbackSet;
    decltype(&mosquitto_publish_v5_callback_set) publishCallbackSet;
    decltype(&mosquitto_message_callback_set) messageCallbackSet;
    decltype(&mosquitto_subscribe_v5_callback_set) subscribeCallbackSet;
    decltype(&mosquitto_log_callback_set) logCallbackSet;
    decltype(&mosquitto_int_option) intOption;
    decltype(&mosquitto_reconnect_delay_set) reconnectDelaySet;
    decltype(&mosquitto_username_pw_set) usernamePwSet;
    decltype(&mosquitto_tls_set) tlsSet;
    decltype(&mosquitto_tls_opts_set) tlsOptsSet;
    decltype(&mosquitto_tls_insecure_set) tlsInsecureSet;
    decltype(&mosquitto_connect_async) connectAsync;
    decltype(&mosquitto_connect_bind_v5) connectBindV5;
    decltype(&mosquitto_property_add_int32) propertyAddInt32;
    decltype(&mosquitto_property_free_all) propertyFreeAll;
    decltype(&mosquitto_loop_start) loopStart;
    decltype(&mosquitto_loop_stop) loopStop;
    decltype(&mosquitto_disconnect) disconnect;
    decltype(&mosquitto_publish) publish;
    decltype(&mosquitto_will_set) willSet;
    decltype(&mosquitto_subscribe_multiple) subscribeMultiple;
    decltype(&mosquitto_strerror) strerror;
    decltype(&mosquitto_connack_string) connackString;
    decltype(&mosquitto_reason_string) reasonString;
};

// The library's functions, opened and initialised once and kept for the rest of the
// process (its threads may still be winding down when a client is destroyed); nullptr
// when it cannot be opened, with the system's reason in `error`. Any thread.
const MosquittoApi* mosquittoApi(std::string* error = nullptr);

} // namespace zorvane::share
