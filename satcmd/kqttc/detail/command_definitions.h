#pragma once

// For the command sets' sources only: answer patterns compiled once, and the
// constructors of the response shapes declared in detail/command_classes.h.

#include "satcmd/kqttc/kqttc_command_base.h"

#include <QRegularExpression>

// A function name() returning the pattern text, compiled at its first use.
#define KQ_PATTERN(name, text)                                                                     \
    const QRegularExpression& name()                                                               \
    {                                                                                              \
        static const QRegularExpression rx(QStringLiteral(text));                                  \
        return rx;                                                                                 \
    }

#define KQ_DEFINE_NUMBER_RESPONSE(name, code, pattern, rssi_group, value_group)                    \
    name::name(kqttc_request* request)                                                             \
        : kqttc_number_response(QStringLiteral(#name), code, pattern(), rssi_group, value_group,   \
                                request)                                                           \
    {                                                                                              \
    }

#define KQ_DEFINE_TEXT_RESPONSE(name, code, pattern, value_group)                                  \
    name::name(kqttc_request* request)                                                             \
        : kqttc_text_response(QStringLiteral(#name), code, pattern(), value_group, request)        \
    {                                                                                              \
    }

// A text whose answer also counts it, in units of `unit` characters.
#define KQ_DEFINE_COUNTED_TEXT_RESPONSE(name, code, pattern, count_group, value_group, unit)       \
    name::name(kqttc_request* request)                                                             \
        : kqttc_text_response(QStringLiteral(#name), code, pattern(), value_group, count_group,    \
                              unit, request)                                                       \
    {                                                                                              \
    }
