#pragma once

#include "satcmd/module_types.h"
#include "satcmd/satcmd_global.h"

namespace kq::api::proto {

// The transceiver's 16-bit status control word with named access to its
// fields. Setters change only their own field; bits 14-15 and the two health
// bits are never written.
class SATCMD_EXPORT scw_properties
{
public:
    scw_properties() = default;
    scw_properties(short value)
        : _word(value)
    {
    }

    scw_properties& operator=(short value)
    {
        _word = value;
        return *this;
    }
    void set_value(short value) { _word = value; }
    short get_value() const { return _word; }

    uart_baud_e get_uart_baud() const { return uart_baud_e(_field(12, 0x3)); }
    void set_uart_baud(uart_baud_e value) { _set_field(12, 0x3, value); }
    bool get_reset() const { return _get_bool(11); }
    void set_reset(bool on) { _set_bool(on, 11); }
    rf_mode_e get_rf_mode() const { return rf_mode_e(_field(8, 0x7)); }
    void set_rf_mode(rf_mode_e value) { _set_field(8, 0x7, value); }
    bool get_echo() const { return _get_bool(7); }
    void set_echo(bool on) { _set_bool(on, 7); }
    bool get_bcn() const { return _get_bool(6); }
    void set_bcn(bool on) { _set_bool(on, 6); }
    bool get_pipe() const { return _get_bool(5); }
    void set_pipe(bool on) { _set_bool(on, 5); }
    bool get_boot() const { return _get_bool(4); }
    void set_boot(bool on) { _set_bool(on, 4); }
    bool get_cts() const { return _get_bool(3); }
    void set_cts(bool on) { _set_bool(on, 3); }
    bool get_sec() const { return _get_bool(2); }
    void set_sec(bool on) { _set_bool(on, 2); }
    bool get_fram() const { return _get_bool(1); } // FRAM health: 1 good
    bool get_rfts() const { return _get_bool(0); } // RF transceiver health: 1 good

private:
    int _field(int pos, int mask) const
    {
        return (static_cast<unsigned short>(_word) >> pos) & mask;
    }
    // Values wider than the field are masked to it.
    void _set_field(int pos, int mask, int value)
    {
        const unsigned w = static_cast<unsigned short>(_word);
        _word =
            static_cast<short>((w & ~(unsigned(mask) << pos)) | ((unsigned(value) & mask) << pos));
    }
    bool _get_bool(int pos) const { return _field(pos, 1) != 0; }
    void _set_bool(bool on, int pos) { _set_field(pos, 1, on ? 1 : 0); }

    short _word = 0;
};

} // namespace kq::api::proto

Q_DECLARE_METATYPE(kq::api::proto::scw_properties)
