// The mapping of LineSettings onto the operating system's line description, field by field.
#include <gtest/gtest.h>

#include "platform/line_settings.h"

#ifndef _WIN32
#include <termios.h>

#include "platform/posix/serial_termios.h"

namespace {

termios mapped(const LineSettings& settings) {
    termios tio{};
    // Start from a cooked terminal, so that every flag raw mode must clear is set.
    tio.c_iflag = BRKINT | ICRNL | IXON | IXOFF | ISTRIP | INLCR | IGNCR | PARMRK | INPCK;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_lflag = ISIG | ICANON | IEXTEN | ECHO | ECHOE;
    tio.c_cflag = CS5 | HUPCL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 5;
    EXPECT_TRUE(platform::lineSettingsToTermios(settings, tio));
    return tio;
}

LineSettings with(std::uint8_t dataBits, std::uint8_t parity, std::uint8_t stopBits,
                  std::int32_t handshake) {
    LineSettings settings;
    settings.format = LineFormat{dataBits, parity, stopBits};
    settings.handshake = handshake;
    return settings;
}

}  // namespace

TEST(LineSettingsToTermios, RawModeWithReceiverOnAndNoWaits) {
    termios tio = mapped(LineSettings());
    EXPECT_EQ(
        tio.c_iflag & (BRKINT | ICRNL | IXON | IXOFF | ISTRIP | INLCR | IGNCR | PARMRK | INPCK),
        0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ISIG | ICANON | IEXTEN | ECHO), 0u);
    EXPECT_EQ(tio.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B9600));
}

TEST(LineSettingsToTermios, DataBitsParityAndStopBits) {
    EXPECT_EQ(mapped(with(7, 0, 0, 0)).c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_EQ(mapped(with(8, 0, 0, 0)).c_cflag & CSIZE, static_cast<tcflag_t>(CS8));

    const tcflag_t parityBits = PARENB | PARODD | CMSPAR;
    EXPECT_EQ(mapped(with(8, 0, 0, 0)).c_cflag & parityBits, 0u);
    EXPECT_EQ(mapped(with(8, 1, 0, 0)).c_cflag & parityBits,
              static_cast<tcflag_t>(PARENB | PARODD));
    EXPECT_EQ(mapped(with(8, 2, 0, 0)).c_cflag & parityBits, static_cast<tcflag_t>(PARENB));
    EXPECT_EQ(mapped(with(8, 3, 0, 0)).c_cflag & parityBits,
              static_cast<tcflag_t>(PARENB | PARODD | CMSPAR));
    EXPECT_EQ(mapped(with(8, 4, 0, 0)).c_cflag & parityBits,
              static_cast<tcflag_t>(PARENB | CMSPAR));

    EXPECT_EQ(mapped(with(8, 1, 0, 0)).c_cflag & CSTOPB, 0u);
    EXPECT_EQ(mapped(with(8, 1, 1, 0)).c_cflag & CSTOPB, static_cast<tcflag_t>(CSTOPB));
    EXPECT_EQ(mapped(with(8, 1, 2, 0)).c_cflag & CSTOPB, static_cast<tcflag_t>(CSTOPB));
}

TEST(LineSettingsToTermios, Handshakes) {
    termios hardware = mapped(with(8, 1, 0, 2));
    EXPECT_NE(hardware.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(hardware.c_iflag & (IXON | IXOFF), 0u);
    termios xonXoff = mapped(with(8, 1, 0, 1));
    EXPECT_EQ(xonXoff.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(xonXoff.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    for (std::int32_t none : {0, 3, -1}) {
        termios tio = mapped(with(8, 1, 0, none));
        EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u) << none;
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u) << none;
    }
}

TEST(LineSettingsToTermios, RefusesWhatTermiosCannotExpress) {
    termios tio{};
    LineSettings odd;
    odd.baudRate = 12345;
    EXPECT_FALSE(platform::lineSettingsToTermios(odd, tio));
    EXPECT_FALSE(platform::lineSettingsToTermios(with(9, 0, 0, 0), tio));
    EXPECT_FALSE(platform::lineSettingsToTermios(with(8, 5, 0, 0), tio));
    EXPECT_FALSE(platform::lineSettingsToTermios(with(8, 0, 3, 0), tio));
}

#else
#include <windows.h>

#include "platform/serial_device.h"
#include "platform/win32/serial_dcb.h"

namespace {

// A block as a driver might report it, with every field the mapping must keep set to a
// recognisable value.
DCB reported() {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.fErrorChar = 1;
    dcb.fNull = 1;
    dcb.fAbortOnError = 1;
    dcb.fTXContinueOnXoff = 1;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 77;
    dcb.XoffLim = 88;
    dcb.ErrorChar = '?';
    dcb.EofChar = 0x1A;
    dcb.EvtChar = 'E';
    return dcb;
}

DCB mapped(std::uint8_t dataBits, std::uint8_t parity, std::uint8_t stopBits,
           std::int32_t handshake) {
    LineSettings settings;
    settings.baudRate = 9600;
    settings.format = LineFormat{dataBits, parity, stopBits};
    settings.handshake = handshake;
    DCB dcb = reported();
    platform::lineSettingsToDcb(settings, dcb);
    return dcb;
}

}  // namespace

TEST(LineSettingsToDcb, FrameFieldsAndWhatIsKept) {
    DCB dcb = mapped(7, 1, 0, 0);
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.Parity, 1);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fParity, 1u);
    EXPECT_EQ(dcb.fErrorChar, 0u);
    EXPECT_EQ(dcb.fNull, 0u);
    EXPECT_EQ(dcb.fAbortOnError, 0u);
    EXPECT_EQ(dcb.fTXContinueOnXoff, 1u);
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
    EXPECT_EQ(dcb.XonLim, 77);
    EXPECT_EQ(dcb.XoffLim, 88);
    EXPECT_EQ(dcb.ErrorChar, '?');
    EXPECT_EQ(dcb.EofChar, 0x1A);
    EXPECT_EQ(dcb.EvtChar, 'E');
    EXPECT_EQ(mapped(8, 1, 0, 0).ByteSize, 8);
    for (std::uint8_t parity = 0; parity <= 4; ++parity) {
        DCB p = mapped(8, parity, 0, 0);
        EXPECT_EQ(p.Parity, parity);
        EXPECT_EQ(p.fParity, parity != 0 ? 1u : 0u);
    }
    for (std::uint8_t stop = 0; stop <= 2; ++stop) {
        EXPECT_EQ(mapped(8, 1, stop, 0).StopBits, stop);
    }
}

TEST(LineSettingsToDcb, Handshakes) {
    DCB hardware = mapped(8, 1, 0, 2);
    EXPECT_EQ(hardware.fOutxCtsFlow, 1u);
    EXPECT_EQ(hardware.fOutxDsrFlow, 1u);
    EXPECT_EQ(hardware.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
    EXPECT_EQ(hardware.fDsrSensitivity, 1u);
    EXPECT_EQ(hardware.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(hardware.fOutX, 0u);
    EXPECT_EQ(hardware.fInX, 0u);
    DCB xonXoff = mapped(8, 1, 0, 1);
    EXPECT_EQ(xonXoff.fOutxCtsFlow, 0u);
    EXPECT_EQ(xonXoff.fOutxDsrFlow, 0u);
    EXPECT_EQ(xonXoff.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(xonXoff.fDsrSensitivity, 0u);
    EXPECT_EQ(xonXoff.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_EQ(xonXoff.fOutX, 1u);
    EXPECT_EQ(xonXoff.fInX, 1u);
    for (std::int32_t none : {0, 3, -1}) {
        DCB dcb = mapped(8, 1, 0, none);
        EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
        EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
        EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
        EXPECT_EQ(dcb.fDsrSensitivity, 0u);
        EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
        EXPECT_EQ(dcb.fOutX, 0u);
        EXPECT_EQ(dcb.fInX, 0u);
    }
}

TEST(SerialDeviceName, ColonFormBelowTenDeviceNamespaceFromTen) {
    EXPECT_EQ(platform::serialDeviceName(3), "Com3:");
    EXPECT_EQ(platform::serialDeviceName(9), "Com9:");
    EXPECT_EQ(platform::serialDeviceName(10), "\\\\.\\COM10");
}

#endif
