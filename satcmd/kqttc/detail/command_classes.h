#pragma once

#include "satcmd/kqttc/kqttc_command_base.h"

// The shapes most command classes take, declared in one line each by the
// command sets (UHF, on-board computer, FSPS). A class of the shape named
// NAME gets "NAME" as the context of its errors.

#define KQ_READ_REQUEST(name, code)                                                                \
    class SATCMD_EXPORT name : public kqttc_read_request                                           \
    {                                                                                              \
    public:                                                                                        \
        explicit name(unsigned int device_address)                                                 \
            : kqttc_read_request(QStringLiteral(#name), device_address, code)                      \
        {                                                                                          \
        }                                                                                          \
    };

#define KQ_OK_RESPONSE(name, code, refusal)                                                        \
    KQ_SHAPED_OK_RESPONSE(name, code, refusal, bare_ok_answer())

// A write answer accepted when it matches `answer`.
#define KQ_SHAPED_OK_RESPONSE(name, code, refusal, answer)                                         \
    class SATCMD_EXPORT name : public kqttc_ok_response                                            \
    {                                                                                              \
    public:                                                                                        \
        explicit name(kqttc_request* request = nullptr)                                            \
            : kqttc_ok_response(QStringLiteral(#name), code, request, refusal, answer)             \
        {                                                                                          \
        }                                                                                          \
    };

#define KQ_NUMBER_WRITE_REQUEST(name, code, type, pad, width)                                      \
    class SATCMD_EXPORT name : public kqttc_number_write_request                                   \
    {                                                                                              \
    public:                                                                                        \
        name(unsigned int device_address, type value)                                              \
            : kqttc_number_write_request(QStringLiteral(#name), device_address, code,              \
                                         static_cast<uint64_t>(value), QStringLiteral(pad), width) \
        {                                                                                          \
        }                                                                                          \
    };

// A read answer "OK+" RSSI value; the value is returned by getter.
#define KQ_NUMBER_RESPONSE(name, type, getter)                                                     \
    class SATCMD_EXPORT name : public kqttc_number_response<type>                                  \
    {                                                                                              \
    public:                                                                                        \
        explicit name(kqttc_request* request = nullptr);                                           \
        type getter() const { return _value; }                                                     \
    };

#define KQ_TEXT_RESPONSE(name, getter)                                                             \
    class SATCMD_EXPORT name : public kqttc_text_response                                          \
    {                                                                                              \
    public:                                                                                        \
        explicit name(kqttc_request* request = nullptr);                                           \
        const QString& getter() const { return _text; }                                            \
    };
