#pragma once

#include "satcmd/kqttc/obc_commands.h"
#include "satcmd/satcmd_global.h"

#include <QMap>

#include <functional>

namespace kq::api::proto::kqttc {

using flash_progress_t =
    std::function<void(const QString& step, const unsigned int& pos, const unsigned int& length)>;

// Flash an image (".BIN", letter "B") or a script (".SCM", letter "A") that
// lies in the computer's file system. The name is sent upper-cased.
class SATCMD_EXPORT req_obc_flash : public obc_file_request
{
public:
    req_obc_flash(unsigned int device_address, const QString& name);
    static QString checked_name(const QString& name);
};

// Follows the computer's free-running output while it flashes: progress
// texts by key, about 600 single "*" chunks, then "OK+ ... Flashing
// completed". Never repeated; tolerates 15 s of silence.
class SATCMD_EXPORT res_obc_flash : public kqttc_response
{
public:
    res_obc_flash(flash_progress_t& progress, unsigned int start, unsigned int end,
                  kqttc_request* request = nullptr);
    using kqttc_response::parse_response;
    void parse_response(const QString& line) override;
    bool parse_multi_line(const QString& line) override;
    bool parse_binary_chunk(const QByteArray& chunk) override;
    unsigned get_command_retries(const module_config_t& config, kqttc_request* request) override;
    unsigned get_media_timeout(const module_config_t& config, kqttc_request* request) override;
    const char* get_readline_term() override;

private:
    void _report_step();
    bool _take_line(const QString& raw);

    flash_progress_t& _progress;
    QByteArray _buffer;
    unsigned int _counter;
    unsigned int _total;
    QMap<QString, QString> _keys;
    QString _key;
    unsigned int _start;
    unsigned int _end;
    bool _started = false;
};

} // namespace kq::api::proto::kqttc
