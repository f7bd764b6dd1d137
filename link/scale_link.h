#pragma once

#include <cstdint>
#include <string>

// The link to one scale: framed, acknowledged request/reply exchanges and the connection start
// with the scale's greeting. Every operation is a non-blocking step: 2 = call again, 1 =
// complete. Failures are thrown as QmComExceptions.
class ScaleLink {
  public:
    // Control characters shared with the code that builds and parses telegram content.
    static constexpr char STX = 0x02;  // first byte of every frame
    static constexpr char ETX = 0x03;  // end of a frame's content; the block check follows
    static constexpr char ETB = 0x17;  // ends the header and each content field
    static constexpr char RS = 0x1E;   // separates the values of a multi-value field

    virtual std::int32_t close() = 0;
    // One step of an exchange. `request` is the frame without ETX and block check, ending with
    // one placeholder byte; it is read only on the call that starts the exchange. On completion
    // `code` is the reply's scale number, `firstByte` its kind and `payload` the reply from its
    // kind on, ETX and block check included.
    virtual std::uint8_t transfer(std::uint8_t& code, char& firstByte, const std::string& request,
                                  std::string& payload) = 0;
    // One step of the connection start: opens the port, waits without a time limit for the
    // scale's greeting and switches the line to 8 data bits.
    virtual std::uint8_t open(std::uint8_t& code, std::string& identification) = 0;
    virtual ~ScaleLink() = default;

    // True from the sending of a request until its reply is complete or the exchange failed.
    bool isBusy() const { return busy; }

  protected:
    bool busy = false;
};
