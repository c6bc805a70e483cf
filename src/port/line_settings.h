// SPDX-License-Identifier: MIT
#pragma once
// The settings of 端口1 that open applies to the line, as typed values. The
// numbers are those the window's lists carry as item values.

namespace kestrune {

enum class Parity { none = 0, odd = 1, even = 2 };
enum class StopBits { one = 1, two = 2 };
enum class FlowControl { none = 0, xon_xoff = 1, rts_cts = 2, both = 3 };
enum class RtsMode { raised = 0, held_off = 1 };            // raised while the line is open
enum class DtrMode { as_driver_has_it = 0, off = 1, on = 2 };

// A stop-bit code as the open path writes it (position of the stop-bit item + 1):
// 1 or less is one stop bit, 2 and more two (Linux has no one and a half).
constexpr StopBits stop_bits_from_code(int code)
{
    return code <= 1 ? StopBits::one : StopBits::two;
}

// What open applies to the line.
struct LineSettings
{
    int baud_rate = 9600;
    int data_bits = 8;
    StopBits stop_bits = StopBits::one;
    Parity parity = Parity::none;
    bool parity_check = false;
    FlowControl flow_control = FlowControl::none;
    RtsMode rts_mode = RtsMode::raised;
    DtrMode dtr_mode = DtrMode::as_driver_has_it;
};

} // namespace kestrune
