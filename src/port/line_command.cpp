#include "port/line_command.h"

#include "text/decimal.h"

namespace kestrune {

LineCommand::LineCommand(LineControls &controls, SerialPort &port, int &port_is_open)
    : m_controls(controls), m_port(port), m_port_is_open(port_is_open)
{
}

void LineCommand::on_line_button_clicked()
{
    m_controls.renew_lead_byte_store();
    if (m_port_is_open != 0)
        close_line();
    else
        open_line();
}

void LineCommand::on_device_lost(const QString &why)
{
    m_controls.show_line_trouble(why);
}

void LineCommand::close_line()
{
    m_controls.stop_send_timer(); // before the close, so no tick sends on a closing line
    m_controls.show_line_state(false);
    m_port.close();
    m_port_is_open = 0;
}

void LineCommand::open_line()
{
    m_port.set_port_number(m_controls.port_position() + 1);
    m_port.set_baud_rate(leading_integer(m_controls.baud_text()));
    m_port.set_stop_bits(m_controls.stop_bits_position() + 1);
    const int parity_position = m_controls.parity_position();
    if (parity_position == 0) {
        m_port.set_parity_check(0);
        m_port.set_parity(0);
    } else {
        m_port.set_parity_check(1);
        m_port.set_parity(m_controls.parity_value(parity_position));
    }

    if (m_port.open()) {
        m_controls.show_line_state(true);
        m_controls.show_line_trouble(QString());
        m_port_is_open = 1;
    } else {
        m_controls.show_line_state(false);
        m_controls.show_line_trouble(m_port.open_failure());
        m_port_is_open = 0;
    }
}

} // namespace kestrune
