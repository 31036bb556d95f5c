#pragma once

namespace kq::api::proto {

// Speed code as the transceiver stores it in its status control word. The
// codes are not in ascending order of rate: 0 is 9600, 1 is 1200, 7 is ten
// times code 3.
enum uart_baud_e : int {
    uart_baud_9600 = 0,
    uart_baud_1200 = 1,
    uart_baud_19200 = 2,
    uart_baud_115200 = 3,
    uart_baud_1000000 = 4,
    uart_baud_3000000 = 5,
    uart_baud_9000000 = 6,
    uart_baud_1152000 = 7,
};

// Line speeds in bits per second, the values being the rates themselves.
enum baud_rate_e : int {
    baud_rate_1200 = 1200,
    baud_rate_9600 = 9600,
    baud_rate_19200 = 19200,
    baud_rate_115200 = 115200,
    baud_rate_1000000 = 1000000,
    baud_rate_1152000 = 1152000,
    baud_rate_3000000 = 3000000,
    baud_rate_9000000 = 9000000,
};

} // namespace kq::api::proto
